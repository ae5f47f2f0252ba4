#include "tree_snapshot.h"

#include "platform.h"
#include "process.h"
#include "temp_dir.h"

#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

namespace pavoline::test {

TreeSnapshot SnapshotOf(const std::string& dir) {
    namespace fs = std::filesystem;
    TreeSnapshot snapshot;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        std::string description = std::to_string(info.st_mode) + " ";
        if (S_ISLNK(info.st_mode))
            description += fs::read_symlink(entry.path()).string();
        else if (S_ISREG(info.st_mode)) {
            const std::vector<uint8_t> bytes = ReadBytes(entry.path());
            description.append(bytes.begin(), bytes.end());
        }
        snapshot[fs::relative(entry.path(), dir).string()] = description;
    }
    return snapshot;
}

TreeSnapshot SuiteSnapshotOf(const std::string& suite) {
    TreeSnapshot snapshot = SnapshotOf(suite);
    for (auto entry = snapshot.begin(); entry != snapshot.end();)
        entry = IsUsersOwnPath(entry->first) ? snapshot.erase(entry) : std::next(entry);
    return snapshot;
}

void CopyTree(const std::string& from, const std::string& to) {
    const ProcessResult copied = RunProgram("/bin/cp", {"-a", from, to});
    if (copied.exitCode != 0) throw std::runtime_error("cannot copy " + from + ": " + copied.err);
}

} // namespace pavoline::test
