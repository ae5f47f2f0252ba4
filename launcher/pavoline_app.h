#pragma once
// CPavolineApp: the launcher's start-up and the ways it ends.

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace pavoline {

// Messages shown in a plain message box (before the skin exists, and the catalogue's), or on
// standard error when PAVOLINE_MESSAGES_TO_STDERR is set, for tests that run the launcher as a process.
void ShowMessageBox(const QString& caption, const QString& text, QMessageBox::Icon icon);
// Captioned "TavixPavoline", with the warning or the error icon.
void ShowStartupMessage(const QString& text, bool warning);
// The text of the last message box, for tests.
QString LastMessageBoxText();

class CPavolineApp {
public:
    explicit CPavolineApp(QApplication& app) : app_(app) {}
    // Runs the launcher; the process's exit code.
    int Run();

private:
    QApplication& app_;
};

} // namespace pavoline
