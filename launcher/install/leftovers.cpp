#include "leftovers.h"

#include "catalogue.h"
#include "platform.h"

#include <dirent.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// ".<model>.<work>-XXXXXX" with a model name of at least one character.
bool IsWorkDirName(const std::string& name) {
    if (name.size() <= kUniqueSuffixLength || name[0] != '.') return false;
    if (!IsUniqueSuffix(name.substr(name.size() - kUniqueSuffixLength))) return false;
    const std::string head = name.substr(0, name.size() - kUniqueSuffixLength);
    for (const char* work : {kStagingWork, kOldTreeWork}) {
        const std::string tail = std::string(".") + work + "-";
        if (EndsWith(head, tail) && head.size() > tail.size() + 1) return true;
    }
    return false;
}

bool IsSaveWorkName(const std::string& name) {
    const std::string prefix = std::string(kInstalledModelFile) + ".";
    return name.size() == prefix.size() + kUniqueSuffixLength && name.compare(0, prefix.size(), prefix) == 0 &&
           IsUniqueSuffix(name.substr(prefix.size()));
}

void ForEachEntry(const std::string& dir, const std::function<void(const std::string& name, const struct stat&)>& fn) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (const dirent* entry = readdir(d)) {
        struct stat info {};
        if (lstat((dir + entry->d_name).c_str(), &info) == 0) fn(entry->d_name, info);
    }
    closedir(d);
}

} // namespace

std::string WorkDirPrefix(const std::string& resourceDir, const std::string& model, const char* work) {
    return resourceDir + "." + model + "." + work + "-";
}

void RemoveInstallLeftovers(const std::string& programDir) {
    std::string dir = programDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    ForEachEntry(dir + "Resource/", [&](const std::string& name, const struct stat& info) {
        if (S_ISDIR(info.st_mode) && IsWorkDirName(name)) DeleteTree(dir + "Resource/" + name);
    });
    ForEachEntry(dir, [&](const std::string& name, const struct stat& info) {
        if (S_ISREG(info.st_mode) && IsSaveWorkName(name)) unlink((dir + name).c_str());
    });
}

} // namespace pavoline
