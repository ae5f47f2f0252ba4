#pragma once
// What a frame hands over when it creates a view: the view's class (a QMetaObject whose class has
// a Q_INVOKABLE constructor taking the parent widget), the current document and the frame.

#include <QMetaObject>
#include <QObject>
#include <QWidget>

namespace pavoline {

struct CCreateContext {
    const QMetaObject* m_pNewViewClass = nullptr;
    QObject* m_pCurrentDoc = nullptr;
    QWidget* m_pCurrentFrame = nullptr;

    // A new instance of the view class as a child of parent; nullptr when it cannot be made.
    QWidget* CreateView(QWidget* parent) const;
};

// The application's main window, for plug-ins and pages that must reach it.
void SetAppMainWindow(QWidget* window);
QWidget* AppMainWindow();

} // namespace pavoline
