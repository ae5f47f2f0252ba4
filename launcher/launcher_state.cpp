#include "launcher_state.h"

namespace pavoline {

std::atomic<int> gUpdateState{0};
std::atomic<bool> gNewVersion{false};
std::atomic<bool> gMaximized{false};
std::atomic<bool> gInstalledListChanged{false};

} // namespace pavoline
