#pragma once
// How the launcher and the updater hand the suite to each other: the launcher starts the updater
// with the suite version and the hand-over token; while the updater holds its lock, a launcher
// starts only when given the hand-back token, which the updater passes when it is done.

namespace pavoline {

constexpr const char* kHandOverToken = "hsaldkrue";
constexpr const char* kHandBackToken = "eurkdlash";
constexpr const char* kUpdaterMutexName = "Tavix_Pavoline_NovarelMutex";

} // namespace pavoline
