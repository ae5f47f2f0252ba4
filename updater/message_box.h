#pragma once
// Every message and question of the updater goes through here. Tests queue the next answers
// instead of clicking; with PAVOLINE_MESSAGES_TO_STDERR set, texts go to standard error and each
// question is answered No, so that a process under test never waits for a click; a ninth No in a
// row ends the process, so that a flow that asks again and again fails at once.

#include <QString>
#include <QStringList>

class QWidget;

namespace pavoline::updater {

class MessageBox {
public:
    static void Inform(QWidget* parent, const QString& caption, const QString& text);
    // A message that something failed.
    static void Warn(QWidget* parent, const QString& caption, const QString& text);
    // True for Yes.
    static bool Ask(QWidget* parent, const QString& caption, const QString& text);

    // The next message or question takes this answer instead of being shown (a message takes any).
    static void SetNextAnswer(bool yes);
    // Every text shown or answered since the last clear, oldest first.
    static QStringList Texts();
    static void ClearTexts();
};

} // namespace pavoline::updater
