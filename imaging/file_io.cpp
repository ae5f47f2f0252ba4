#include "file_io.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline {

std::string ThreeLetterExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return name.size() == 3 ? name : std::string();
    const std::string after = name.substr(dot + 1);
    return after.size() == 3 ? after : std::string();
}

FilePtr OpenFile(const std::string& path, const char* mode) { return {std::fopen(path.c_str(), mode), &std::fclose}; }

int64_t OpenFileLength(FILE* file) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<int64_t>(info.st_size);
}

int64_t FileLength(const std::string& path) {
    const FilePtr file = OpenFile(path, "rb");
    const int64_t length = file ? OpenFileLength(file.get()) : -1;
    return length < 0 ? 0 : length;
}

bool ReadFilePrefix(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    bytes.resize(maxBytes);
    const size_t got = std::fread(bytes.data(), 1, maxBytes, file);
    bytes.resize(got);
    std::fclose(file);
    return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    // Straight to the descriptor: one write call for the whole file, no stdio buffer in between.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const bool closed = close(fd) == 0;
    if (done == bytes.size() && closed) return true;
    RemoveIfRegularFile(path);
    return false;
}

void RemoveIfRegularFile(const std::string& path) {
    // Never a device or directory the user named, such as /dev/full.
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        std::remove(path.c_str());
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

std::vector<std::string> CollectArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

} // namespace pavoline
