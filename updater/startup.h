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

// The updater's downloads go to names reserved in the temporary directory ("~0_<tick>.tmp" for the
// info file, "~0_<tick>.rar" for the package), each marked by an empty file of the same name in
// the temp folder, so that what a killed updater left is known to be ours.
std::string ReserveDownloadName(const UpdaterPaths& paths, const std::string& extension);

// What an updater that was cut off left, dealt with at the start of the launcher and of the
// updater, before anything else and while no updater runs: an unfinished swap is undone, and the
// work directories, the set-aside copy, the marked downloads and the temp folder's files go. The
// line to tell the user, empty when nothing needed telling.
std::string CleanUpAfterLastUpdater(const UpdaterPaths& paths);

// The version, when the arguments after the program are at least the version and the hand-over
// token (in any letter case); further arguments are ignored.
std::optional<std::string> VersionHandedOver(const std::vector<std::string>& argumentsAfterProgram);

} // namespace pavoline::updater
