#pragma once
// Shared by the window tests: the suite's skin loaded from the build, a host window that records
// its messages, and screenshots.

#include "message_window.h"
#include "skin.h"
#include "skin_loader.h"

#include <QCoreApplication>
#include <QDir>
#include <QThreadPool>
#include <QWidget>

#include <vector>

namespace pavoline::test {

// Opens the skin with that description (the suite's by default) as the one every page uses. The
// skin opened before goes, with every form made from it.
inline directui::ISkin* OpenSkin(const QString& description = QDir(PAVOLINE_SUITE_DIR).filePath("Pavoline.dui")) {
    static SkinLoader loader;
    static const bool loaded = loader.load(PAVOLINE_SUITE_DIR) || (qFatal("%s", qPrintable(loader.error())), false);
    (void)loaded;
    directui::ISkin* opened = loader.open(description, QDir(PAVOLINE_SUITE_DIR).filePath("Default.skn"));
    if (!opened) qFatal("cannot open the skin %s", qPrintable(description));
    SetAppSkin(opened);
    return opened;
}

inline directui::ISkin* LoadSuiteSkin() {
    static const bool opened = OpenSkin() != nullptr;
    (void)opened;
    return AppSkin();
}

class HostWindow : public QWidget, public MessageWindow {
public:
    HostWindow() : MessageWindow(this) {}
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        QString listPart; // for WM_SKIN_LISTITEM, copied while the record is valid
        int listRow = -1;
    };
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        Message m{message, wParam, lParam, {}, -1};
        if (message == WM_SKIN_LISTITEM) {
            const auto* record = reinterpret_cast<const directui::SkinListItemNotify*>(wParam);
            m.listPart = record->part;
            m.listRow = record->row;
        }
        messages.push_back(m);
        return 0;
    }
    std::vector<Message> messages;
};

inline QString ScreenshotPath(const QString& name) {
    const QString dir = QString(PAVOLINE_BUILD_DIR) + "/screenshots";
    QDir().mkpath(dir);
    return dir + "/" + name + ".png";
}

// The window as it looks once the pictures being read on the pool have reached their labels.
inline bool SaveScreenshot(QWidget* window, const QString& name) {
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    return window->grab().save(ScreenshotPath(name));
}

} // namespace pavoline::test
