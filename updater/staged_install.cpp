#include "staged_install.h"

#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pavoline::updater {
namespace {

constexpr const char* kWorkPrefix = ".novarel-update-";
constexpr const char* kFinishedPrefix = ".novarel-done-";

struct Entry {
    std::string relative;
    bool directory;
};

// The user's own files, which belong to no version of the suite.
bool IsUsersOwnFile(const std::string& relative) { return relative == "InstalledModel.xml" || relative == "test.flag"; }

std::string WhyFailed(const std::string& path) { return path + ": " + std::strerror(errno); }

InstallOutcome Failure(InstallStep step, const std::string& detail) { return {step, detail, true, {}}; }

std::vector<std::string> SortedNames(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(d))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every entry below root, each directory before what it holds; nothing when one of them is
// anything but a directory or a plain file with no other name (offender says which).
std::optional<std::vector<Entry>> ListSafeTree(const std::string& root, std::string& offender) {
    std::vector<Entry> entries;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string dir = pending.back();
        pending.pop_back();
        for (const std::string& name : SortedNames(root + dir)) {
            const std::string relative = dir + name;
            struct stat info {};
            const bool known = lstat((root + relative).c_str(), &info) == 0;
            const bool directory = known && S_ISDIR(info.st_mode);
            if (!directory && !(known && S_ISREG(info.st_mode) && info.st_nlink == 1)) {
                offender = relative;
                return std::nullopt;
            }
            entries.push_back({relative, directory});
            if (directory) pending.push_back(relative + "/");
        }
    }
    return entries;
}

// The renames and new folders of one installation, undone in reverse order on failure.
class FileSwap {
public:
    FileSwap(std::string suite, std::string staged, std::string kept)
        : suite_(std::move(suite)), staged_(std::move(staged)), kept_(std::move(kept)) {}

    bool setAside(const std::string& ownPath, std::string& why) {
        const std::string aside = SetAsideName(ownPath);
        if (PathExists(aside) && unlink(aside.c_str()) != 0) return fail(aside, why);
        return !PathExists(ownPath) || move(ownPath, aside, why);
    }

    bool place(const Entry& entry, std::string& why) {
        const std::string target = suite_ + entry.relative;
        if (entry.directory) {
            if (IsDirectory(target)) return true; // also through a link the user made
            if (PathExists(target) && !keepAside(entry.relative, why)) return false;
            if (mkdir(target.c_str(), 0755) != 0) return fail(target, why);
            done_.push_back({kMadeDirectory, {}, target});
            return true;
        }
        if (IsDirectory(target)) {
            why = target + ": 是一个文件夹";
            return false;
        }
        if (PathExists(target) && !keepAside(entry.relative, why)) return false;
        return move(staged_ + entry.relative, target, why);
    }

    // True when everything was put back.
    bool undo() {
        bool all = true;
        for (auto step = done_.rbegin(); step != done_.rend(); ++step) {
            const bool undone = step->kind == kRenamed ? rename(step->to.c_str(), step->from.c_str()) == 0
                                                       : rmdir(step->to.c_str()) == 0;
            if (!undone) std::fprintf(stderr, "Novarel: cannot undo %s: %s\n", step->to.c_str(), std::strerror(errno));
            all = all && undone;
        }
        done_.clear();
        return all;
    }

private:
    enum Kind { kRenamed, kMadeDirectory };
    struct Step {
        Kind kind;
        std::string from, to;
    };

    static bool fail(const std::string& path, std::string& why) {
        why = WhyFailed(path);
        return false;
    }

    bool move(const std::string& from, const std::string& to, std::string& why) {
        if (rename(from.c_str(), to.c_str()) != 0) return fail(to, why);
        done_.push_back({kRenamed, from, to});
        return true;
    }

    bool keepAside(const std::string& relative, std::string& why) {
        const std::string kept = kept_ + relative;
        if (!MakeDirectories(kept.substr(0, kept.find_last_of('/')))) return fail(kept, why);
        return move(suite_ + relative, kept, why);
    }

    std::string suite_, staged_, kept_;
    std::vector<Step> done_;
};

InstallOutcome SwapIn(const InstallRequest& request, const std::string& work, const std::vector<Entry>& entries) {
    FileSwap swap(request.suiteDir, work + "/new/", work + "/old/");
    std::string why;
    InstallOutcome outcome;
    if (!swap.setAside(request.ownPath, why)) {
        outcome = Failure(InstallStep::kSetAsideFailed, why);
    } else {
        for (const Entry& entry : entries)
            if (!IsUsersOwnFile(entry.relative) && !swap.place(entry, why)) {
                outcome = Failure(InstallStep::kMoveFailed, why);
                break;
            }
    }
    if (!outcome.ok()) {
        outcome.restored = swap.undo();
        if (!outcome.restored) outcome.keptIn = work;
        return outcome;
    }
    // A package without an updater keeps the one that runs.
    if (!PathExists(request.ownPath)) rename(SetAsideName(request.ownPath).c_str(), request.ownPath.c_str());
    return outcome;
}

InstallOutcome InstallInto(const InstallRequest& request, const std::string& work) {
    const std::string staged = work + "/new";
    if (mkdir(staged.c_str(), 0755) != 0 || mkdir((work + "/old").c_str(), 0755) != 0)
        return Failure(InstallStep::kNoWorkDirectory, WhyFailed(work));
    const std::optional<int> code = RunProgramAndWait(request.archiver, {"x", request.package, "-y", "-o" + staged});
    if (!code) return Failure(InstallStep::kArchiverFailed, request.archiver + " 无法运行");
    if (*code != 0) return Failure(InstallStep::kArchiverFailed, request.archiver + " 退出码 " + std::to_string(*code));
    std::string offender;
    const std::optional<std::vector<Entry>> entries = ListSafeTree(staged + "/", offender);
    if (!entries) return Failure(InstallStep::kUnsafeEntry, offender);
    return SwapIn(request, work, *entries);
}

bool HoldsAnyFile(const std::string& dir) {
    for (const std::string& name : SortedNames(dir)) {
        struct stat info {};
        const std::string path = dir + "/" + name;
        if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || HoldsAnyFile(path)) return true;
    }
    return false;
}

// Renamed first, so that a deletion cut off half-way is never taken for replaced files.
void Discard(const std::string& work) {
    const size_t name = work.rfind(kWorkPrefix);
    const std::string finished = work.substr(0, name) + kFinishedPrefix + work.substr(name + std::strlen(kWorkPrefix));
    DeleteTree(rename(work.c_str(), finished.c_str()) == 0 ? finished : work);
}

bool StartsWithWorkName(const std::string& name, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return name.compare(0, length, prefix) == 0 && IsUniqueSuffix(name.substr(length));
}

} // namespace

std::optional<std::string> FindArchiver(const std::string& ownDir) {
    if (IsExecutableFile(ownDir + "7z")) return ownDir + "7z";
    if (std::optional<std::string> found = FindProgramOnPath("7z")) return found;
    return FindProgramOnPath("7zz");
}

InstallOutcome ApplyUpdate(const InstallRequest& request) {
    if (request.archiver.empty()) return Failure(InstallStep::kNoArchiver, "7z / 7zz");
    const std::optional<std::string> work = MakeUniqueDirectory(request.suiteDir + kWorkPrefix);
    if (!work) return Failure(InstallStep::kNoWorkDirectory, WhyFailed(request.suiteDir));
    const InstallOutcome outcome = InstallInto(request, *work);
    if (outcome.restored) Discard(*work);
    return outcome;
}

std::string FailureMessage(const InstallOutcome& outcome) {
    std::string reason;
    switch (outcome.step) {
    case InstallStep::kDone: return {};
    case InstallStep::kNoArchiver: reason = "找不到解压缩程序 7z 或 7zz。"; break;
    case InstallStep::kNoWorkDirectory: reason = "无法在软件目录中建立安装用的文件夹（" + outcome.detail + "）。"; break;
    case InstallStep::kArchiverFailed:
        reason = "解压更新包失败（" + outcome.detail + "），更新包可能已损坏，或磁盘空间不足。";
        break;
    case InstallStep::kUnsafeEntry: reason = "更新包含有不允许的内容：" + outcome.detail + "。"; break;
    case InstallStep::kSetAsideFailed: reason = "无法移开正在运行的升级程序（" + outcome.detail + "）。"; break;
    case InstallStep::kMoveFailed: reason = "无法替换文件（" + outcome.detail + "）。"; break;
    }
    if (!outcome.restored)
        return "更新失败：" + reason + "\n部分文件未能恢复，原来的文件保存在 " + outcome.keptIn + "。";
    return "更新失败：" + reason + "\n软件保持原样，您可以重新更新或退出。";
}

void RemoveInstallLeftovers(const std::string& suiteDir) {
    for (const std::string& name : SortedNames(suiteDir)) {
        const std::string path = suiteDir + name;
        if (StartsWithWorkName(name, kFinishedPrefix) || (StartsWithWorkName(name, kWorkPrefix) && !HoldsAnyFile(path + "/old")))
            DeleteTree(path);
    }
}

std::string SetAsideName(const std::string& ownPath) { return ownPath + ".old"; }

void RemoveSetAsideCopy(const std::string& ownPath) { unlink(SetAsideName(ownPath).c_str()); }

} // namespace pavoline::updater
