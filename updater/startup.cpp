#include "startup.h"

#include "hand_over.h"
#include "platform.h"
#include "staged_install.h"
#include "update_query.h"

#include <cctype>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline::updater {
namespace {

constexpr const char* kDownloadPrefix = "~0_";

// "~0_" + a tick (negative after the clock wraps) + ".tmp" or ".rar": ReserveFileName's names.
bool IsDownloadName(const std::string& name) {
    const size_t prefix = std::strlen(kDownloadPrefix);
    if (name.size() < prefix + 5 || name.compare(0, prefix, kDownloadPrefix) != 0) return false;
    const std::string extension = name.substr(name.size() - 4);
    if (extension != ".tmp" && extension != ".rar") return false;
    std::string tick = name.substr(prefix, name.size() - prefix - 4);
    if (!tick.empty() && tick[0] == '-') tick.erase(0, 1);
    if (tick.empty()) return false;
    for (const char c : tick)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

void RemoveMarkedDownloads(const std::string& tempFolder) {
    DIR* d = opendir(tempFolder.c_str());
    if (!d) return;
    while (const dirent* entry = readdir(d)) {
        struct stat info {};
        const std::string download = TempDir() + entry->d_name;
        if (IsDownloadName(entry->d_name) && lstat(download.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            unlink(download.c_str());
    }
    closedir(d);
}

// "/a/b/" -> "/a/"; the root stays the root. The program's path is absolute.
std::string ParentDir(const std::string& dir) {
    const size_t slash = dir.find_last_of('/', dir.size() >= 2 ? dir.size() - 2 : 0);
    return slash == std::string::npos ? dir + "../" : dir.substr(0, slash + 1);
}

} // namespace

std::string UpdaterPaths::configPath() const { return ownDir + kConfigFileName; }
std::string UpdaterPaths::tempFolder() const { return ownDir + "temp/"; }

UpdaterPaths PathsOf(const std::string& ownPath) {
    const size_t slash = ownPath.find_last_of('/');
    const std::string ownDir = slash == std::string::npos ? "./" : ownPath.substr(0, slash + 1);
    return {ownPath, ownDir, ParentDir(ownDir)};
}

std::string ReserveDownloadName(const UpdaterPaths& paths, const std::string& extension) {
    const std::string path = ReserveFileName(TempDir(), kDownloadPrefix, extension);
    MakeDirectories(paths.tempFolder());
    const int marker = open((paths.tempFolder() + path.substr(path.find_last_of('/') + 1)).c_str(),
                            O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (marker >= 0) close(marker);
    return path;
}

std::string CleanUpAfterLastUpdater(const UpdaterPaths& paths) {
    const std::string told = RecoverCutOffUpdates(paths.suiteDir);
    RemoveInstallLeftovers(paths.suiteDir);
    RemoveSetAsideCopy(paths.ownPath);
    RemoveMarkedDownloads(paths.tempFolder());
    DeleteFilesIn(paths.tempFolder());
    return told;
}

std::optional<std::string> VersionHandedOver(const std::vector<std::string>& arguments) {
    if (arguments.size() < 2 || strcasecmp(arguments[1].c_str(), kHandOverToken) != 0) return std::nullopt;
    return arguments[0];
}

} // namespace pavoline::updater
