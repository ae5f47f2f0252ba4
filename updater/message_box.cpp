#include "message_box.h"

#include <QMessageBox>

#include <cstdio>
#include <deque>

namespace pavoline::updater {
namespace {

std::deque<bool>& NextAnswers() {
    static std::deque<bool> answers;
    return answers;
}
QStringList& ShownTexts() {
    static QStringList texts;
    return texts;
}

bool ToStderr() { return qEnvironmentVariableIsSet("PAVOLINE_MESSAGES_TO_STDERR"); }

// The answer, from the queue, standard error or the user.
bool Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text, bool question) {
    ShownTexts().append(text);
    if (!NextAnswers().empty()) {
        const bool yes = NextAnswers().front();
        NextAnswers().pop_front();
        return yes;
    }
    if (ToStderr()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return false;
    }
    QMessageBox box(icon, caption, text, question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

void MessageBox::Inform(QWidget* parent, const QString& caption, const QString& text) {
    Show(parent, QMessageBox::Information, caption, text, false);
}

void MessageBox::Warn(QWidget* parent, const QString& caption, const QString& text) {
    Show(parent, QMessageBox::Warning, caption, text, false);
}

bool MessageBox::Ask(QWidget* parent, const QString& caption, const QString& text) {
    return Show(parent, QMessageBox::Question, caption, text, true);
}

void MessageBox::SetNextAnswer(bool yes) { NextAnswers().push_back(yes); }
QStringList MessageBox::Texts() { return ShownTexts(); }
void MessageBox::ClearTexts() { ShownTexts().clear(); }

} // namespace pavoline::updater
