#include "notifier.h"

#include <cstdio>
#include <mutex>

namespace pavoline {
namespace {

std::mutex gSinkMutex;
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}

} // namespace

void SetMessageSink(MessageSink sink) {
    std::lock_guard<std::mutex> guard(gSinkMutex);
    Sink() = std::move(sink);
}

void ShowUserMessage(const UserMessage& message) {
    MessageSink sink;
    {
        std::lock_guard<std::mutex> guard(gSinkMutex);
        sink = Sink();
    }
    if (sink)
        sink(message);
    else
        std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
}

} // namespace pavoline
