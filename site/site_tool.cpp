#include "site_tool.h"

#include "nginx_conf.h"
#include "site_builder.h"
#include "platform.h"
#include "site_server.h"
#include "site_signing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>

namespace pavoline::site {
namespace {

const char kUsage[] = "usage: pavoline-site build --models DIR [--update DIR --version V --features TEXT] [--host HOST[:PORT] [--key SECRET]...] --out SITE\n"
                      "       pavoline-site keygen DIR\n"
                      "       pavoline-site sign SITE [--key SECRET]... [--host HOST[:PORT]]\n"
                      "       pavoline-site serve SITE [--port N] [--bind ADDR] [--rate BYTES_PER_SECOND] [--latency MS]\n"
                      "       pavoline-site nginx-conf SITE --listen ADDRESS:PORT [--prefix DIR]\n";

constexpr const char* kKeyOption = "--key"; // the one option that may be given more than once
constexpr uint64_t kMaxLatencyMs = 60000;     // past it a client would give the server up

// A number of at least 1 and at most `most`, in decimal digits only.
std::optional<uint64_t> CountOption(const std::string& text, uint64_t most) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const uint64_t value = std::strtoull(text.c_str(), nullptr, 10);
    if (value == 0 || value > most) return std::nullopt;
    return value;
}

// "--name value" pairs after the first `positional` arguments; false for anything else. Every
// --key goes to keys.
bool ReadOptions(const std::vector<std::string>& args, size_t from, const std::vector<std::string>& known,
                 std::map<std::string, std::string>& options, std::vector<std::string>* keys = nullptr) {
    for (size_t i = from; i < args.size(); i += 2) {
        if (std::find(known.begin(), known.end(), args[i]) == known.end() || i + 1 >= args.size()) return false;
        if (keys && args[i] == kKeyOption) {
            keys->push_back(args[i + 1]);
            continue;
        }
        if (options.count(args[i])) return false;
        options[args[i]] = args[i + 1];
    }
    return true;
}

int Build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::map<std::string, std::string> o;
    std::vector<std::string> keys;
    if (!ReadOptions(args, 1, {"--models", "--update", "--version", "--features", "--out", "--host", kKeyOption}, o, &keys) ||
        !o.count("--models") || !o.count("--out")) {
        err << kUsage;
        return 1;
    }
    std::string error;
    if (!BuildSite({o["--models"], o["--update"], o["--version"], o["--features"], o["--out"], o["--host"], keys}, out,
                   error)) {
        err << "pavoline-site: " << error << "\n";
        return 1;
    }
    return 0;
}

int Keygen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << kUsage;
        return 1;
    }
    std::string error;
    if (!MakeKeyPairFiles(args[1], out, error)) {
        err << "pavoline-site: " << error << "\n";
        return 1;
    }
    return 0;
}

int Sign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::map<std::string, std::string> o;
    std::vector<std::string> keys;
    if (args.size() < 2 || !ReadOptions(args, 2, {"--host", kKeyOption}, o, &keys)) {
        err << kUsage;
        return 1;
    }
    std::string error;
    if (!SignSite({args[1], keys, o["--host"]}, out, error)) {
        err << "pavoline-site: " << error << "\n";
        return 1;
    }
    return 0;
}

// Serves until SIGINT or SIGTERM. The signals are taken by one thread with sigwait, so no handler
// runs inside the server's threads.
int Serve(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::map<std::string, std::string> o;
    if (args.size() < 2 || !ReadOptions(args, 2, {"--port", "--bind", "--rate", "--latency"}, o)) {
        err << kUsage;
        return 1;
    }
    const std::string site = args[1];
    const std::optional<uint16_t> port = ParseDecimal16(o.count("--port") ? o["--port"] : std::to_string(kDefaultPort));
    const std::string address = o.count("--bind") ? o["--bind"] : "127.0.0.1";
    if (!port) {
        err << "pavoline-site: --port " << o["--port"] << ": not a port number\n";
        return 1;
    }
    const std::optional<uint64_t> rate = o.count("--rate") ? CountOption(o["--rate"], UINT64_MAX) : std::optional<uint64_t>(0);
    if (!rate) {
        err << "pavoline-site: --rate " << o["--rate"] << ": not a number of bytes per second\n";
        return 1;
    }
    const std::optional<uint64_t> latency = o.count("--latency") ? CountOption(o["--latency"], kMaxLatencyMs) : std::optional<uint64_t>(0);
    if (!latency) {
        err << "pavoline-site: --latency " << o["--latency"] << ": not a number of milliseconds from 1 to " << kMaxLatencyMs
            << "\n";
        return 1;
    }
    if (!PathExists(site + "/" + kSiteRecordFile)) {
        err << "pavoline-site: " << site << ": not a site (no " << kSiteRecordFile << "); make one with pavoline-site build\n";
        return 1;
    }

    std::signal(SIGPIPE, SIG_IGN); // a client that goes away mid-download is that request's failure only
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max; // connections waiting for their request cost a descriptor each
        setrlimit(RLIMIT_NOFILE, &files);
    }
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGUSR1}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr); // before the server's threads start, so they inherit it

    SiteServer server(site);
    server.setRate(*rate);
    server.setLatency(std::chrono::milliseconds(*latency));
    std::mutex lines;
    server.setRequestLog([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(lines);
        out << line << std::endl;
    });
    if (server.bind(address, *port) < 0) {
        err << "pavoline-site: cannot listen on " << address << " port " << *port << "\n";
        return 1;
    }
    out << "serving " << site << " on http://" << server.boundHost() << std::endl;

    std::atomic<bool> listening{true};
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&signals, &signal);
        // The loop may not have started yet, and stop() ends only a running one.
        while (listening) {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    server.listen();
    listening = false;
    pthread_kill(waiter.native_handle(), SIGUSR1); // wakes a waiter that got no signal
    waiter.join();
    return 0;
}

// nginx-conf: the configuration on out, for a site built with --host.
int NginxConfCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::map<std::string, std::string> o;
    if (args.size() < 2 || !ReadOptions(args, 2, {"--listen", "--prefix"}, o) || !o.count("--listen")) {
        err << kUsage;
        return 1;
    }
    std::string conf, error;
    if (!NginxConf({args[1], o["--listen"], o["--prefix"]}, conf, error)) {
        err << "pavoline-site: " << error << "\n";
        return 1;
    }
    out << conf;
    return 0;
}

} // namespace

int RunSiteTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && args[0] == "build") return Build(args, out, err);
    if (!args.empty() && args[0] == "serve") return Serve(args, out, err);
    if (!args.empty() && args[0] == "keygen") return Keygen(args, out, err);
    if (!args.empty() && args[0] == "sign") return Sign(args, out, err);
    if (!args.empty() && args[0] == "nginx-conf") return NginxConfCommand(args, out, err);
    err << kUsage;
    return 1;
}

} // namespace pavoline::site
