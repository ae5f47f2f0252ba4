#include "process.h"

#include "temp_dir.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace pavoline::test {
namespace {

// Starts the program with the file actions; throws when it cannot start.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, posix_spawn_file_actions_t& actions) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
    return pid;
}

// A program under test that has not ended in this time is taken to hang: it is killed, so the test
// fails with its exit code instead of waiting out its CTest limit.
constexpr int kProgramLimitMs = 90000;

int WaitForExitCode(pid_t pid) {
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
        if (waited >= kProgramLimitMs) {
            std::fprintf(stderr, "test: the program (pid %d) still ran after %d s: killed\n", static_cast<int>(pid),
                         kProgramLimitMs / 1000);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        usleep(10000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir) {
    TempDir capture;
    const std::string outPath = capture.file("out"), errPath = capture.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());

    ProcessResult result;
    result.exitCode = WaitForExitCode(Spawn(program, args, actions));
    const std::vector<uint8_t> out = ReadBytes(outPath), err = ReadBytes(errPath);
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return result;
}

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    out_ = pipeEnds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    try {
        pid_ = Spawn(program, args, actions);
    } catch (...) {
        close(pipeEnds[1]);
        close(out_);
        throw;
    }
    close(pipeEnds[1]);
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        WaitForExitCode(pid_);
    }
    close(out_);
}

std::string RunningProgram::readLine() {
    constexpr int kSilenceMs = 30000;
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        pollfd ready{out_, POLLIN, 0};
        char piece[4096];
        const ssize_t n = poll(&ready, 1, kSilenceMs) == 1 ? read(out_, piece, sizeof piece) : 0;
        if (n <= 0) return std::exchange(pending_, std::string());
        pending_.append(piece, static_cast<size_t>(n));
    }
}

void RunningProgram::signal(int number) { kill(pid_, number); }

int RunningProgram::wait() {
    const int code = WaitForExitCode(pid_);
    pid_ = -1;
    return code;
}

std::string SuiteProgram(const std::string& name) { return std::string(PAVOLINE_SUITE_DIR) + "/" + name; }

} // namespace pavoline::test
