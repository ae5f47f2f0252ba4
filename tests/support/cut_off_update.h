#pragma once
// What an updater killed in the middle of its swap leaves in a suite: a work folder whose journal
// says it had replaced version.txt (now "new", its old copy "old") and added added.txt.

#include <string>

namespace pavoline::test {

// Returns the work folder.
std::string LeaveCutOffSwap(const std::string& suite, const std::string& fromVersion);

} // namespace pavoline::test
