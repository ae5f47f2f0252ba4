#pragma once
// Where the updater stands and what it was handed. It lives in the folder "Novarel" directly
// below the suite directory; the launcher starts it with the suite version and the hand-over token.

#include <optional>
#include <string>
#include <vector>

namespace pavoline::updater {

struct UpdaterPaths {
    std::string ownPath;  // the program file
    std::string ownDir;   // its folder, ending with '/'
    std::string suiteDir; // the folder above, ending with '/'

    std::string configPath() const;
    std::string tempFolder() const; // "temp/" in the own folder, emptied at every exit
};

UpdaterPaths PathsOf(const std::string& ownPath);

// The version, when the arguments after the program are at least the version and the hand-over
// token (in any letter case); further arguments are ignored.
std::optional<std::string> VersionHandedOver(const std::vector<std::string>& argumentsAfterProgram);

} // namespace pavoline::updater
