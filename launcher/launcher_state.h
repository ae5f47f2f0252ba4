#pragma once
// Process-wide values of the launcher, shared by its windows and its update-check worker.

#include <atomic>

namespace pavoline {

// -1 the server could not be reached, 0 a check is running, 1 the server answered.
extern std::atomic<int> gUpdateState;
extern std::atomic<bool> gNewVersion;
// True while the window is maximised by the caption's maximise button.
extern std::atomic<bool> gMaximized;
// Set by the model manager when models were installed or removed; cleared once the phone page
// has been refreshed.
extern std::atomic<bool> gInstalledListChanged;

} // namespace pavoline
