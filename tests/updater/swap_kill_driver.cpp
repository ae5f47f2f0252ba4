// The updater's install, cut off on purpose: for the test that kills the updater at each step of
// the swap. It installs a package as the updater's worker does; every call that changes the file
// system below $KILL_UNDER is a step, and at step $KILL_AT_STEP the process kills itself
// (SIGKILL) before taking it. Without $KILL_AT_STEP it writes each step down on standard output
// ("<call> <path>", one a line) and lets them all happen.
//
//   swap_kill_driver install PACKAGE SUITE_DIR ARCHIVER VERSION LAUNCHER
//   swap_kill_driver recover SUITE_DIR     what the launcher's or the updater's start does first
//
// The calls below stand in front of the C library's for the whole program (the swap's code is
// linked into it), so no LD_PRELOAD is needed, and the archiver, a program of its own, is not
// counted.
#undef _FORTIFY_SOURCE // the calls below replace the C library's own, not its checked forms
#include "staged_install.h"
#include "startup.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

long gStep = 0;

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Counts a step that touches a path below $KILL_UNDER, and dies at the chosen one.
void Step(const char* call, const char* path, const char* second = nullptr) {
    const char* under = std::getenv("KILL_UNDER");
    if (!under || !*under) return;
    const size_t length = std::strlen(under);
    const bool ours = std::strncmp(path, under, length) == 0 || (second && std::strncmp(second, under, length) == 0);
    if (!ours) return;
    ++gStep;
    const char* at = std::getenv("KILL_AT_STEP");
    if (!at) {
        std::printf("%s %s%s%s\n", call, path, second ? " " : "", second ? second : "");
        return;
    }
    if (gStep == std::atol(at)) {
        std::fflush(stdout);
        kill(getpid(), SIGKILL);
    }
}

} // namespace

extern "C" {

int rename(const char* from, const char* to) {
    Step("rename", from, to);
    return Real<int (*)(const char*, const char*)>("rename")(from, to);
}

int link(const char* from, const char* to) {
    Step("link", from, to);
    return Real<int (*)(const char*, const char*)>("link")(from, to);
}

int mkdir(const char* path, mode_t mode) {
    Step("mkdir", path);
    return Real<int (*)(const char*, mode_t)>("mkdir")(path, mode);
}

int rmdir(const char* path) {
    Step("rmdir", path);
    return Real<int (*)(const char*)>("rmdir")(path);
}

int unlink(const char* path) {
    Step("unlink", path);
    return Real<int (*)(const char*)>("unlink")(path);
}

int remove(const char* path) {
    Step("remove", path);
    return Real<int (*)(const char*)>("remove")(path);
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    if (flags & O_CREAT) Step("create", path);
    return Real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

} // extern "C"

int main(int argc, char** argv) {
    using namespace pavoline::updater;
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "recover" && argc == 3) {
        const std::string told = CleanUpAfterLastUpdater(PathsOf(std::string(argv[2]) + "Novarel/Novarel"));
        if (!told.empty()) std::fprintf(stderr, "%s\n", told.c_str());
        return 0;
    }
    if (command != "install" || argc != 7) {
        std::fprintf(stderr, "usage: swap_kill_driver install PACKAGE SUITE_DIR ARCHIVER VERSION LAUNCHER | recover SUITE_DIR\n");
        return 2;
    }
    const std::string suite = argv[3];
    const InstallOutcome outcome = ApplyUpdate({argv[2], suite, suite + "Novarel/Novarel", argv[4], argv[5], argv[6]});
    if (!outcome.ok()) std::fprintf(stderr, "%s\n", FailureMessage(outcome).c_str());
    return outcome.ok() ? 0 : 1;
}
