#pragma once
// CPavolineApp: the launcher's start-up and the ways it ends.

#include <QApplication>
#include <QString>

namespace pavoline {

// Start-up messages shown before the skin exists (a plain message box, or standard error when
// PAVOLINE_MESSAGES_TO_STDERR is set, for tests that run the launcher as a process).
void ShowStartupMessage(const QString& text, bool warning);

class CPavolineApp {
public:
    explicit CPavolineApp(QApplication& app) : app_(app) {}
    // Runs the launcher; the process's exit code.
    int Run();

private:
    QApplication& app_;
};

} // namespace pavoline
