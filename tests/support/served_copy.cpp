#include "served_copy.h"

#include "tree_snapshot.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <stdexcept>

namespace pavoline::test {

ServedCopy::ServedCopy(const std::string& siteTool, const std::string& site, const std::string& keyFile,
                       const std::vector<std::string>& serveOptions)
    : siteTool_(siteTool), keyFile_(keyFile), dir_(temp_.file("site")) {
    CopyTree(site, dir_);
    std::vector<std::string> args = {"serve", dir_, "--port", "0", "--bind", "127.0.0.1"};
    args.insert(args.end(), serveOptions.begin(), serveOptions.end());
    serve_ = std::make_unique<RunningProgram>(siteTool_, args);
    const std::string first = serve_->readLine();
    const size_t at = first.rfind(":");
    if (first.rfind("serving ", 0) != 0 || at == std::string::npos) throw std::runtime_error("pavoline-site serve: " + first);
    proxy_ = std::make_unique<TamperingProxy>(std::stoi(first.substr(at + 1)));
    host_ = proxy_->host();
    log_ = std::thread([this] {
        while (!stopping_)
            if (serve_->readLine().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    if (!sign()) throw std::runtime_error("pavoline-site sign refused the copy of " + site);
}

ServedCopy::~ServedCopy() {
    stopping_ = true;
    serve_->signal(SIGTERM); // its end ends the log reader's line
    log_.join();
    serve_->wait();
}

bool ServedCopy::sign() {
    std::vector<std::string> args = {"sign", dir_, "--host", host_};
    if (!keyFile_.empty()) args.insert(args.end(), {"--key", keyFile_});
    const ProcessResult result = RunProgram(siteTool_, args);
    if (result.exitCode != 0) std::fprintf(stderr, "%s", result.err.c_str());
    return result.exitCode == 0;
}

} // namespace pavoline::test
