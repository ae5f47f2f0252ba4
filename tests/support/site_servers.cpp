#include "site_servers.h"

#include "http_server.h"
#include "process.h"
#include "temp_dir.h"
#include "tree_snapshot.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pavoline::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);

std::string NginxProgram() {
    for (const char* path : {"/usr/sbin/nginx", "/usr/bin/nginx"})
        if (access(path, X_OK) == 0) return path;
    throw std::runtime_error("nginx is not installed (scripts/bootstrap installs Debian's)");
}

// Starts program with its output to log; extra names an environment entry and a descriptor it inherits.
// The server ends with the test process, also with one that aborts: none is left serving a removed site.
int SpawnLogged(const std::string& program, const std::vector<std::string>& args, const std::string& log,
                const std::string& extraEnvironment = "") {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    if (!extraEnvironment.empty()) env.push_back(const_cast<char*>(extraEnvironment.c_str()));
    env.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot start " + program);
    if (pid == 0) { // only calls that are safe between fork and exec
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int input = open("/dev/null", O_RDONLY);
        const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (input < 0 || output < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) _exit(127);
        if (input > 2) close(input);
        if (output > 2) close(output);
        execve(program.c_str(), argv.data(), env.data());
        _exit(127);
    }
    return pid;
}

bool Exited(int pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

// Waits until ready() holds; throws with what the server wrote when it ends or takes too long.
template <typename Ready>
void WaitForStart(int pid, const std::string& log, Ready ready) {
    const auto limit = std::chrono::steady_clock::now() + kStartLimit;
    while (!ready()) {
        if (Exited(pid) || std::chrono::steady_clock::now() > limit)
            throw std::runtime_error("the site's server did not start: " + (FileExists(log) ? ReadText(log) : ""));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

const char* SiteServerName(SiteServerKind kind) { return kind == SiteServerKind::kServe ? "serve" : "nginx"; }

SiteRecipe SampleSiteRecipe(const std::string& buildDir) {
    std::ifstream file(buildDir + "/sample_site/recipe.txt");
    SiteRecipe recipe;
    for (std::string line; std::getline(file, line);) recipe.push_back(line);
    if (recipe.empty()) throw std::runtime_error("no recipe of the sample site in " + buildDir + "/sample_site");
    return recipe;
}

void PrepareSite(SiteServerKind kind, const std::string& siteTool, const SiteRecipe& recipe, const std::string& host,
                 const std::string& out, const std::string& keyFile) {
    std::vector<std::string> args{"build"};
    args.insert(args.end(), recipe.begin(), recipe.end());
    if (kind == SiteServerKind::kNginx) args.insert(args.end(), {"--host", host});
    if (kind == SiteServerKind::kNginx && !keyFile.empty()) args.insert(args.end(), {"--key", keyFile});
    args.insert(args.end(), {"--out", out});
    const ProcessResult built = RunProgram(siteTool, args);
    if (built.exitCode != 0) throw std::runtime_error("pavoline-site build failed: " + built.err);
}

RunningSite::RunningSite(SiteServerKind kind, const std::string& siteTool, const SiteRecipe& recipe,
                         const std::string& workDir, const std::string& keyFile)
    : work_(workDir), site_(workDir + "/site") {
    std::filesystem::create_directories(work_);
    if (kind == SiteServerKind::kServe) {
        PrepareSite(kind, siteTool, recipe, "", site_);
        startServe(siteTool, {});
        signForHost(siteTool, keyFile);
        return;
    }
    // nginx takes over a socket that already listens, so the port is known before the site is
    // built for it, and no other program can take it meanwhile.
    int port = 0;
    const int listening = LoopbackSocket(port);
    if (listening < 0 || ::listen(listening, SOMAXCONN) != 0) throw std::runtime_error("no loopback port to listen on");
    host_ = "127.0.0.1:" + std::to_string(port);
    try {
        PrepareSite(kind, siteTool, recipe, host_, site_, keyFile);
        startNginx(siteTool, listening);
    } catch (...) {
        close(listening);
        throw;
    }
    close(listening);
}

RunningSite::RunningSite(const std::string& siteTool, const std::string& site, const std::string& workDir,
                         const std::vector<std::string>& serveOptions, const std::string& keyFile)
    : work_(workDir), site_(keyFile.empty() ? site : workDir + "/site") {
    std::filesystem::create_directories(work_);
    if (!keyFile.empty()) CopyTree(site, site_);
    startServe(siteTool, serveOptions);
    signForHost(siteTool, keyFile);
}

void RunningSite::signForHost(const std::string& siteTool, const std::string& keyFile) {
    if (keyFile.empty()) return;
    const ProcessResult signedSite = RunProgram(siteTool, {"sign", site_, "--host", host_, "--key", keyFile});
    if (signedSite.exitCode != 0) throw std::runtime_error("pavoline-site sign failed: " + signedSite.err);
}

RunningSite::~RunningSite() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
}

void RunningSite::startServe(const std::string& siteTool, const std::vector<std::string>& options) {
    log_ = work_ + "/serve.log";
    std::vector<std::string> args{"serve", site_, "--port", "0"};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = SpawnLogged(siteTool, args, log_);
    const std::string shown = " on http://";
    WaitForStart(pid_, log_, [&] { return FileExists(log_) && ReadText(log_).find('\n') != std::string::npos; });
    const std::string first = ReadText(log_).substr(0, ReadText(log_).find('\n'));
    const size_t at = first.rfind(shown);
    if (at == std::string::npos) throw std::runtime_error("pavoline-site serve said: " + first);
    host_ = first.substr(at + shown.size());
}

void RunningSite::startNginx(const std::string& siteTool, int listening) {
    const std::string prefix = work_ + "/nginx";
    mkdir(prefix.c_str(), 0700);
    const ProcessResult conf = RunProgram(siteTool, {"nginx-conf", site_, "--listen", host_, "--prefix", prefix});
    if (conf.exitCode != 0) throw std::runtime_error("pavoline-site nginx-conf failed: " + conf.err);
    WriteText(prefix + "/nginx.conf", conf.out);
    log_ = prefix + "/access.log";
    // nginx's way of taking over listening sockets (as in its binary upgrade): NGINX="fd;". It takes
    // the socket as it is, and a blocking one would hold a worker in accept() whenever the other
    // worker took the connection both were woken for, its open connections unanswered meanwhile.
    fcntl(listening, F_SETFD, 0);
    fcntl(listening, F_SETFL, fcntl(listening, F_GETFL) | O_NONBLOCK);
    pid_ = SpawnLogged(NginxProgram(), {"-p", prefix, "-c", prefix + "/nginx.conf", "-e", prefix + "/error.log"},
                       prefix + "/output.log", "NGINX=" + std::to_string(listening) + ";");
    WaitForStart(pid_, prefix + "/error.log", [&] { return FileExists(prefix + "/nginx.pid"); });
}

int RunningSite::requests(const std::string& text) const {
    std::istringstream lines(FileExists(log_) ? ReadText(log_) : "");
    int count = 0;
    for (std::string line; std::getline(lines, line);) count += line.find(text) != std::string::npos;
    return count;
}

} // namespace pavoline::test
