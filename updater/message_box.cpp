#include "message_box.h"

#include "question_box.h"

#include <cstdio>
#include <cstdlib>
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

// Questions answered No on standard error, one after another, before a flow counts as a loop
// under test (a retry asked again and again) and the process ends instead of asking for ever.
constexpr int kMostUnqueuedNos = 8;

// The answer, from the queue, standard error or the user.
bool Show(QWidget* parent, CQuestionBox::Kind kind, const QString& caption, const QString& text) {
    static int unqueuedNos = 0;
    ShownTexts().append(text);
    if (!NextAnswers().empty()) {
        unqueuedNos = 0;
        const bool yes = NextAnswers().front();
        NextAnswers().pop_front();
        return yes;
    }
    if (ToStderr()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        if (kind == CQuestionBox::kAsk && ++unqueuedNos > kMostUnqueuedNos) {
            std::fprintf(stderr, "Novarel: %d questions in a row answered No, the last \"%s\": a loop, ended\n",
                         unqueuedNos, qPrintable(text));
            std::fflush(stderr);
            std::abort();
        }
        return false;
    }
    return CQuestionBox(parent, kind, caption, text).Run();
}

} // namespace

void MessageBox::Inform(QWidget* parent, const QString& caption, const QString& text) {
    Show(parent, CQuestionBox::kInform, caption, text);
}

void MessageBox::Warn(QWidget* parent, const QString& caption, const QString& text) {
    Show(parent, CQuestionBox::kWarn, caption, text);
}

bool MessageBox::Ask(QWidget* parent, const QString& caption, const QString& text) {
    return Show(parent, CQuestionBox::kAsk, caption, text);
}

void MessageBox::SetNextAnswer(bool yes) { NextAnswers().push_back(yes); }
QStringList MessageBox::Texts() { return ShownTexts(); }
void MessageBox::ClearTexts() { ShownTexts().clear(); }

} // namespace pavoline::updater
