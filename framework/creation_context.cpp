#include "creation_context.h"

#include <QPointer>

namespace pavoline {

QWidget* CCreateContext::CreateView(QWidget* parent) const {
    if (!m_pNewViewClass) return nullptr;
    QObject* made = m_pNewViewClass->newInstance(Q_ARG(QWidget*, parent));
    QWidget* view = qobject_cast<QWidget*>(made);
    if (!view) delete made;
    return view;
}

namespace {
QPointer<QWidget>& MainWindowSlot() {
    static QPointer<QWidget> window;
    return window;
}
} // namespace

void SetAppMainWindow(QWidget* window) { MainWindowSlot() = window; }
QWidget* AppMainWindow() { return MainWindowSlot(); }

} // namespace pavoline
