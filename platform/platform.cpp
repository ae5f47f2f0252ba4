#include "platform.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <random>
#include <spawn.h>
#include <strings.h>
#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pavoline {
namespace {

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

} // namespace

std::string ProgramFilePath() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string ProgramDir() {
    if (const char* dir = std::getenv("PAVOLINE_PROGRAM_DIR"); dir && *dir) return WithSlash(dir);
    const std::string exe = ProgramFilePath();
    if (exe.empty()) return "./";
    return exe.substr(0, exe.find_last_of('/') + 1);
}

std::string WithInstanceSuffix(const std::string& name) {
    const char* suffix = std::getenv("PAVOLINE_INSTANCE_SUFFIX");
    return suffix ? name + suffix : name;
}

std::string TempDir() {
    const char* dir = std::getenv("TMPDIR");
    return WithSlash(dir && *dir ? dir : "/tmp");
}

uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SleepMs(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

std::string ReserveFileName(const std::string& dir, const std::string& prefix, const std::string& extension) {
    for (uint32_t tick = TickCount();; ++tick) {
        const std::string path = dir + prefix + std::to_string(static_cast<int>(tick)) + "." + extension;
        // Creating the file reserves the name, also against other processes.
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            return path;
        }
        if (errno != EEXIST) return path;
    }
}

std::string TempFileName(const std::string& extension) {
    return extension.empty() ? TempDir() : ReserveFileName(TempDir(), "~tavix_", extension);
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsReadOnly(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) == 0;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return false;
    const mode_t mode = readOnly ? (info.st_mode & ~0222) : (info.st_mode | 0200);
    return chmod(path.c_str(), mode & 07777) == 0;
}

std::optional<uint64_t> FileSize(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

namespace {

std::string UniqueSuffix() {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix(kUniqueSuffixLength, ' ');
    for (char& c : suffix) c = kAlphabet[pick(random)];
    return suffix;
}

// Tries prefix + a fresh suffix until make succeeds, or fails for another reason than a taken name.
std::optional<std::string> MakeUnique(const std::string& prefix, const std::function<bool(const std::string&)>& make) {
    for (;;) {
        const std::string name = prefix + UniqueSuffix();
        if (make(name)) return name;
        if (errno != EEXIST) return std::nullopt;
    }
}

void SyncDirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

} // namespace

bool IsUniqueSuffix(const std::string& text) {
    if (text.size() != kUniqueSuffixLength) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

std::optional<std::string> MakeUniqueDirectory(const std::string& prefix) {
    return MakeUnique(prefix, [](const std::string& name) { return mkdir(name.c_str(), 0755) == 0; });
}

int ReplaceFile(const std::string& path, const std::function<bool(int fd)>& writeTo) {
    if (path.empty()) return ENOENT;
    // Renaming over a file would pass over its read-only mode: one that may not be written stays.
    const int existing = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (existing >= 0)
        close(existing);
    else if (errno != ENOENT)
        return errno;
    int fd = -1;
    const std::optional<std::string> temp = MakeUnique(path + ".", [&fd](const std::string& name) {
        fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return fd >= 0;
    });
    if (!temp) return errno;
    struct stat old {};
    if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
    errno = 0;
    bool ok = writeTo(fd) && fsync(fd) == 0;
    int error = ok ? 0 : (errno ? errno : EIO);
    if (close(fd) != 0 && ok) error = errno;
    if (error == 0 && rename(temp->c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temp->c_str());
        return error;
    }
    // The rename is on disk only with its directory; should that sync fail, the file is replaced
    // all the same, so the save stands.
    SyncDirectoryOf(path);
    return 0;
}

bool SyncFileSystemOf(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = syncfs(fd) == 0;
    close(fd);
    return synced;
}

bool DeleteTree(const std::string& path) {
    struct stat self {};
    const std::string bare = path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    if (lstat(bare.c_str(), &self) == 0 && S_ISLNK(self.st_mode)) return unlink(bare.c_str()) == 0;
    const std::string dir = WithSlash(path);
    bool removed = true;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            const std::string child = dir + name;
            struct stat info {};
            if (lstat(child.c_str(), &info) != 0) {
                removed = false;
                continue;
            }
            if (S_ISDIR(info.st_mode)) {
                removed = DeleteTree(child) && removed;
                continue;
            }
            if (!S_ISLNK(info.st_mode) && IsReadOnly(child)) SetReadOnly(child, false);
            if (unlink(child.c_str()) != 0) removed = false;
        }
        closedir(d);
    }
    return rmdir(dir.c_str()) == 0 && removed;
}

bool MakeDirectories(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    mkdir(path.c_str(), 0755);
    return IsDirectory(path);
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool IsUsersOwnPath(const std::string& relative) {
    auto isOrIsBelow = [&relative](const std::string& folder) {
        return relative == folder || relative.compare(0, folder.size() + 1, folder + "/") == 0;
    };
    return relative == "InstalledModel.xml" || relative == "test.flag" || isOrIsBelow("Resource") || isOrIsBelow("Novarel/temp");
}

std::string ResourceDir(const std::string& programDir) {
    const std::string dir = WithSlash(programDir) + "Resource/";
    if (!IsDirectory(dir)) mkdir(dir.c_str(), 0755);
    return dir;
}

std::string EntryNamedIgnoringCase(const std::string& dir, const std::string& name) {
    if (PathExists(dir + name)) return name;
    std::string found = name;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(d))
            if (strcasecmp(entry->d_name, name.c_str()) == 0) {
                found = entry->d_name;
                break;
            }
        closedir(d);
    }
    return found;
}

std::optional<std::string> ExistingModelDir(const std::string& model, const std::string& programDir) {
    if (!IsPlainName(model)) return std::nullopt;
    const std::string resource = ResourceDir(programDir);
    return resource + EntryNamedIgnoringCase(resource, model);
}

std::optional<std::string> ModelPackageDir(const std::string& model, const std::string& programDir) {
    std::optional<std::string> dir = ExistingModelDir(model, programDir);
    if (!dir) return std::nullopt;
    if (!IsDirectory(*dir)) mkdir(dir->c_str(), 0755);
    return *dir + "/";
}

std::string ModelFile(const std::string& dir, const std::string& model, const std::string& suffix) {
    return dir + EntryNamedIgnoringCase(dir, model + suffix);
}

namespace {

// argv for posix_spawn: the program, the arguments, a null; valid while its strings live.
std::vector<char*> ArgumentVector(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

} // namespace

bool StartProgram(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv = ArgumentVector(program, args);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    // Reaped in the background so that no zombie is left while this process goes on.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

namespace {

// The child's side, between fork and exec: only calls that are safe there.
[[noreturn]] void ExecTiedChild(const char* program, char* const* argv, int output, int report, pid_t parent) {
    // Whatever ends the caller ends the child too, so that nothing it does outlives the caller.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing < 0 || dup2(nothing, STDIN_FILENO) < 0 || dup2(output >= 0 ? output : nothing, STDOUT_FILENO) < 0) _exit(127);
    execve(program, argv, environ);
    const int error = errno;
    [[maybe_unused]] const ssize_t told = write(report, &error, sizeof error);
    _exit(127);
}

void ReadAllFrom(int fd, std::string& into) {
    char piece[4096];
    for (ssize_t n; (n = read(fd, piece, sizeof piece)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        into.append(piece, static_cast<size_t>(n));
    }
}

} // namespace

std::optional<int> RunProgramAndWait(const std::string& program, const std::vector<std::string>& args, std::string* output) {
    std::vector<char*> argv = ArgumentVector(program, args);
    int outputPipe[2] = {-1, -1}, reportPipe[2] = {-1, -1};
    if ((output && pipe2(outputPipe, O_CLOEXEC) != 0) || pipe2(reportPipe, O_CLOEXEC) != 0) {
        for (int fd : {outputPipe[0], outputPipe[1]})
            if (fd >= 0) close(fd);
        return std::nullopt;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) ExecTiedChild(program.c_str(), argv.data(), outputPipe[1], reportPipe[1], parent);
    for (int fd : {outputPipe[1], reportPipe[1]})
        if (fd >= 0) close(fd);
    if (output) {
        output->clear();
        if (pid > 0) ReadAllFrom(outputPipe[0], *output);
        close(outputPipe[0]);
    }
    int execError = 0;
    const bool notStarted = pid < 0 || read(reportPipe[0], &execError, sizeof execError) == sizeof execError;
    close(reportPipe[0]);
    if (pid < 0) return std::nullopt;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return std::nullopt;
    if (notStarted || !WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> FindProgramOnPath(const std::string& name) {
    const char* variable = std::getenv("PATH");
    const std::string dirs = variable ? variable : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        if (IsExecutableFile(WithSlash(dir) + name)) return WithSlash(dir) + name;
        start = end + 1;
    }
    return std::nullopt;
}

void DeleteFilesIn(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    const std::string prefix = WithSlash(dir);
    while (const dirent* entry = readdir(d)) {
        struct stat info {};
        const std::string path = prefix + entry->d_name;
        if (lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) unlink(path.c_str());
    }
    closedir(d);
}

} // namespace pavoline
