#include "named_mutex.h"

#include "platform.h"

#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <unistd.h>

namespace pavoline {
namespace {

std::mutex gRegistryMutex;
std::map<std::string, std::weak_ptr<NamedMutex>>& Registry() {
    static std::map<std::string, std::weak_ptr<NamedMutex>> registry;
    return registry;
}

} // namespace

std::shared_ptr<NamedMutex> NamedMutex::Create(const std::string& name) {
    std::lock_guard<std::mutex> guard(gRegistryMutex);
    std::weak_ptr<NamedMutex>& slot = Registry()[name];
    std::shared_ptr<NamedMutex> mutex = slot.lock();
    if (!mutex) {
        mutex = std::shared_ptr<NamedMutex>(new NamedMutex());
        slot = mutex;
    }
    return mutex;
}

std::shared_ptr<NamedMutex> NamedMutex::Open(const std::string& name) {
    std::lock_guard<std::mutex> guard(gRegistryMutex);
    const auto found = Registry().find(name);
    return found == Registry().end() ? nullptr : found->second.lock();
}

std::string ProcessMutex::LockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime && IsDirectory(runtime) ? std::string(runtime) + "/" : TempDir();
    return dir + "pavoline-" + name + ".lock";
}

ProcessMutex::ProcessMutex(const std::string& name) : path_(LockPath(name)) {}

ProcessMutex::~ProcessMutex() { release(); }

bool ProcessMutex::acquire(unsigned timeoutMs) {
    if (held_) return true;
    if (fd_ < 0) fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return false;
    const uint32_t start = TickCount();
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (TickCount() - start >= timeoutMs) return false;
        SleepMs(10);
    }
    held_ = true;
    return true;
}

void ProcessMutex::release() {
    if (fd_ >= 0) close(fd_); // closing drops the lock
    fd_ = -1;
    held_ = false;
}

bool ProcessMutex::IsHeldElsewhere(const std::string& name) {
    const int fd = open(LockPath(name).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return !free;
}

} // namespace pavoline
