#include "staged_install.h"

#include "platform.h"
#include "swap_journal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pavoline::updater {
namespace {

constexpr const char* kOwnNamePrefix = ".novarel-";
constexpr const char* kWorkPrefix = ".novarel-update-";
constexpr const char* kFinishedPrefix = ".novarel-done-";
constexpr const char* kJournalName = "journal";
// Far more than the journal of any suite; a bigger file is not one of ours.
constexpr size_t kMaxJournalBytes = 64 * 1024 * 1024;

struct Entry {
    std::string relative;
    bool directory;
};

// Where one swap keeps its things: the extracted tree, the old copies and the journal.
struct WorkDir {
    std::string path; // without a trailing '/'
    std::string staged(const std::string& relative) const { return path + "/new/" + relative; }
    std::string kept(const std::string& relative) const { return path + "/old/" + relative; }
    std::string journal() const { return path + "/" + kJournalName; }
};

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

std::string ParentOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

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

// Whatever a package carries, it brings nothing of the user's and none of the updater's own names:
// its work directories and the name an earlier updater set itself aside under.
bool TakenFromThePackage(const std::string& relative, const InstallRequest& request) {
    const std::string top = relative.substr(0, relative.find('/'));
    const std::string setAside = SetAsideName(request.ownPath);
    const bool setAsideName = setAside.compare(0, request.suiteDir.size(), request.suiteDir) == 0 &&
                              relative == setAside.substr(request.suiteDir.size());
    return !IsUsersOwnPath(relative) && top.compare(0, std::strlen(kOwnNamePrefix), kOwnNamePrefix) != 0 && !setAsideName;
}

// The steps of the swap, decided before anything changes; nothing when an entry cannot go where
// the suite has something else (why says which).
std::optional<std::vector<SwapStep>> PlanSteps(const InstallRequest& request, const std::vector<Entry>& entries,
                                               std::string& why) {
    std::vector<SwapStep> steps;
    std::optional<SwapStep> launcher;
    for (const Entry& entry : entries) {
        if (!TakenFromThePackage(entry.relative, request)) continue;
        const std::string target = request.suiteDir + entry.relative;
        struct stat info {};
        const bool exists = lstat(target.c_str(), &info) == 0;
        if (entry.directory) {
            if (IsDirectory(target)) continue; // also through a link the user made
            if (exists) {
                why = target + ": 不是文件夹";
                return std::nullopt;
            }
            steps.push_back({SwapAction::kMakeDirectory, entry.relative});
            continue;
        }
        if (IsDirectory(target)) {
            why = target + ": 是一个文件夹";
            return std::nullopt;
        }
        const SwapStep step{exists ? SwapAction::kReplaceFile : SwapAction::kAddFile, entry.relative};
        // The old launcher with a mix of new files starts more surely than a new one with old files.
        if (entry.relative == request.launcher)
            launcher = step;
        else
            steps.push_back(step);
    }
    if (launcher) steps.push_back(*launcher);
    return steps;
}

bool WriteJournal(const WorkDir& work, const SwapJournal& journal) {
    const std::string text = JournalText(journal);
    return ReplaceFile(work.journal(), [&text](int fd) { return WriteAll(fd, text.data(), text.size()); }) == 0;
}

std::optional<SwapJournal> ReadJournal(const WorkDir& work) {
    std::ifstream file(work.journal(), std::ios::binary);
    std::string text;
    char piece[4096];
    while (file.read(piece, sizeof piece) || file.gcount() > 0) {
        text.append(piece, static_cast<size_t>(file.gcount()));
        if (text.size() > kMaxJournalBytes) return std::nullopt;
    }
    return ParseJournal(text);
}

// A second name for each file to be replaced: its old copy, while the suite is still untouched.
bool KeepOldCopies(const std::string& suite, const WorkDir& work, const std::vector<SwapStep>& steps, std::string& why) {
    for (const SwapStep& step : steps) {
        if (step.action != SwapAction::kReplaceFile) continue;
        const std::string kept = work.kept(step.path);
        const std::string folder = ParentOf(kept);
        if ((!IsDirectory(folder) && !MakeDirectories(folder)) || link((suite + step.path).c_str(), kept.c_str()) != 0) {
            why = WhyFailed(suite + step.path);
            return false;
        }
    }
    return true;
}

bool TakeStep(const std::string& suite, const WorkDir& work, const SwapStep& step, std::string& why) {
    const std::string target = suite + step.path;
    const bool taken = step.action == SwapAction::kMakeDirectory ? mkdir(target.c_str(), 0755) == 0
                                                                 : rename(work.staged(step.path).c_str(), target.c_str()) == 0;
    if (!taken) why = WhyFailed(target); // the suite's file, which the user can do something about
    return taken;
}

// Puts back what the steps changed, the latest first. A step that was never taken changes nothing
// here, and neither does one already undone, so it may run again after being cut off itself. True
// when everything is back.
bool UndoSteps(const std::string& suite, const WorkDir& work, const std::vector<SwapStep>& steps) {
    bool all = true;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        const std::string target = suite + step->path;
        struct stat info {};
        bool undone = true;
        switch (step->action) {
        case SwapAction::kReplaceFile: {
            // Still a second name of the old file when the step was not taken: then nothing moves.
            const std::string kept = work.kept(step->path);
            if (lstat(kept.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) undone = rename(kept.c_str(), target.c_str()) == 0;
            break;
        }
        case SwapAction::kAddFile:
            if (lstat(target.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) undone = unlink(target.c_str()) == 0;
            break;
        case SwapAction::kMakeDirectory:
            // One that holds something of the user's stays.
            undone = rmdir(target.c_str()) == 0 || errno == ENOENT || errno == ENOTEMPTY || errno == EEXIST;
            break;
        }
        if (!undone) std::fprintf(stderr, "Novarel: cannot undo %s: %s\n", target.c_str(), std::strerror(errno));
        all = all && undone;
    }
    return all;
}

// Renamed first, so that a deletion cut off half-way is never taken for a swap to undo.
void Discard(const std::string& work) {
    const size_t name = work.rfind(kWorkPrefix);
    const std::string finished = work.substr(0, name) + kFinishedPrefix + work.substr(name + std::strlen(kWorkPrefix));
    DeleteTree(rename(work.c_str(), finished.c_str()) == 0 ? finished : work);
}

InstallOutcome SwapIn(const InstallRequest& request, const WorkDir& work, const std::vector<Entry>& entries) {
    std::string why;
    const std::optional<std::vector<SwapStep>> steps = PlanSteps(request, entries, why);
    if (!steps) return Failure(InstallStep::kMoveFailed, why);
    SwapJournal journal{request.fromVersion, false, *steps};
    if (!SyncFileSystemOf(work.path) || !WriteJournal(work, journal)) return Failure(InstallStep::kNoWorkDirectory, WhyFailed(work.journal()));
    if (!KeepOldCopies(request.suiteDir, work, journal.steps, why)) return Failure(InstallStep::kMoveFailed, why);
    if (!SyncFileSystemOf(work.path)) return Failure(InstallStep::kNoWorkDirectory, WhyFailed(work.path));

    InstallOutcome outcome;
    for (const SwapStep& step : journal.steps)
        if (!TakeStep(request.suiteDir, work, step, why)) {
            outcome = Failure(InstallStep::kMoveFailed, why);
            break;
        }
    if (outcome.ok()) {
        journal.complete = true;
        if (SyncFileSystemOf(request.suiteDir) && WriteJournal(work, journal)) return outcome;
        outcome = Failure(InstallStep::kMoveFailed, WhyFailed(work.journal()));
    }
    outcome.restored = UndoSteps(request.suiteDir, work, journal.steps);
    SyncFileSystemOf(request.suiteDir);
    if (!outcome.restored) outcome.keptIn = work.path; // with its journal: the next start tries again
    return outcome;
}

// An encrypted package would have the archiver ask for a password; its listing tells beforehand.
std::optional<InstallOutcome> RefusedListing(const InstallRequest& request) {
    std::string listing;
    const std::optional<int> code = RunProgramAndWait(request.archiver, {"l", "-slt", request.package}, &listing);
    if (!code) return Failure(InstallStep::kArchiverFailed, request.archiver + " 无法运行");
    if (*code != 0) return Failure(InstallStep::kArchiverFailed, request.archiver + " 退出码 " + std::to_string(*code));
    if (listing.find("\nEncrypted = +") != std::string::npos) return Failure(InstallStep::kEncryptedPackage, request.package);
    return std::nullopt;
}

InstallOutcome InstallInto(const InstallRequest& request, const WorkDir& work) {
    const std::string staged = work.path + "/new";
    if (mkdir(staged.c_str(), 0755) != 0 || mkdir((work.path + "/old").c_str(), 0755) != 0)
        return Failure(InstallStep::kNoWorkDirectory, WhyFailed(work.path));
    if (const std::optional<InstallOutcome> refused = RefusedListing(request)) return *refused;
    const std::optional<int> code = RunProgramAndWait(request.archiver, {"x", request.package, "-y", "-o" + staged});
    if (!code) return Failure(InstallStep::kArchiverFailed, request.archiver + " 无法运行");
    // 1 is a warning, such as a file it could not write: the tree is not whole.
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

bool StartsWithWorkName(const std::string& name, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return name.compare(0, length, prefix) == 0 && IsUniqueSuffix(name.substr(length));
}

// The line for the user about one swap that a journal shows was cut off.
std::string Recover(const std::string& suiteDir, const WorkDir& work) {
    const std::optional<SwapJournal> journal = ReadJournal(work);
    if (!journal) return "上次升级未完成，无法自动恢复，原来的文件保存在 " + work.path + "。";
    if (journal->complete) {
        Discard(work.path);
        return "上次升级已完成。";
    }
    if (!UndoSteps(suiteDir, work, journal->steps))
        return "上次升级未完成，部分文件未能恢复，原来的文件保存在 " + work.path + "。";
    SyncFileSystemOf(suiteDir);
    Discard(work.path);
    return "上次升级未完成，已恢复到 " + (journal->fromVersion.empty() ? std::string("原来的版本") : journal->fromVersion) + "。";
}

} // namespace

std::optional<std::string> FindArchiver(const std::string& ownDir) {
    if (IsExecutableFile(ownDir + "7z")) return ownDir + "7z";
    if (std::optional<std::string> found = FindProgramOnPath("7zz")) return found;
    return FindProgramOnPath("7z");
}

InstallOutcome ApplyUpdate(const InstallRequest& request) {
    if (request.archiver.empty()) return Failure(InstallStep::kNoArchiver, "7zz / 7z");
    const std::optional<std::string> work = MakeUniqueDirectory(request.suiteDir + kWorkPrefix);
    if (!work) return Failure(InstallStep::kNoWorkDirectory, WhyFailed(request.suiteDir));
    const InstallOutcome outcome = InstallInto(request, WorkDir{*work});
    if (outcome.restored) Discard(*work);
    return outcome;
}

std::string FailureMessage(const InstallOutcome& outcome) {
    std::string reason;
    switch (outcome.step) {
    case InstallStep::kDone: return {};
    case InstallStep::kNoArchiver: reason = "找不到解压缩程序 7zz 或 7z。"; break;
    case InstallStep::kNoWorkDirectory: reason = "无法在软件目录中建立安装用的文件夹（" + outcome.detail + "）。"; break;
    case InstallStep::kArchiverFailed:
        reason = "解压更新包失败（" + outcome.detail + "），更新包可能已损坏，或磁盘空间不足。";
        break;
    case InstallStep::kEncryptedPackage: reason = "更新包已加密，无法安装。"; break;
    case InstallStep::kUnsafeEntry: reason = "更新包含有不允许的内容：" + outcome.detail + "。"; break;
    case InstallStep::kMoveFailed: reason = "无法替换文件（" + outcome.detail + "）。"; break;
    }
    if (!outcome.restored)
        return "更新失败：" + reason + "\n部分文件未能恢复，原来的文件保存在 " + outcome.keptIn + "。";
    return "更新失败：" + reason + "\n软件保持原样，您可以重新更新或退出。";
}

std::string RecoverCutOffUpdates(const std::string& suiteDir) {
    std::string told;
    for (const std::string& name : SortedNames(suiteDir)) {
        const WorkDir work{suiteDir + name};
        if (StartsWithWorkName(name, kWorkPrefix) && PathExists(work.journal())) told = Recover(suiteDir, work);
    }
    return told;
}

void RemoveInstallLeftovers(const std::string& suiteDir) {
    for (const std::string& name : SortedNames(suiteDir)) {
        const std::string path = suiteDir + name;
        const bool cutOffBeforeAnyChange = StartsWithWorkName(name, kWorkPrefix) && !PathExists(WorkDir{path}.journal()) &&
                                           !HoldsAnyFile(path + "/old");
        if (StartsWithWorkName(name, kFinishedPrefix) || cutOffBeforeAnyChange) DeleteTree(path);
    }
}

std::string SetAsideName(const std::string& ownPath) { return ownPath + ".old"; }

void RemoveSetAsideCopy(const std::string& ownPath) { unlink(SetAsideName(ownPath).c_str()); }

} // namespace pavoline::updater
