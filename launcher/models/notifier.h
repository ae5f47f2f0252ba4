#pragma once
// Messages the catalogue code shows to the user. The launcher connects a message box; until then
// (and in tests) they go to standard error and are kept for reading.

#include <functional>
#include <string>
#include <vector>

namespace pavoline {

enum class MessageIcon { Information, Error };

struct UserMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

using MessageSink = std::function<void(const UserMessage&)>;

void SetMessageSink(MessageSink sink); // nullptr restores the default
void ShowUserMessage(const UserMessage& message);

} // namespace pavoline
