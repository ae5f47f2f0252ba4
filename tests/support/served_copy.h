#pragma once
// A copy of an update site, served by pavoline-site on an ephemeral port behind a TamperingProxy
// and then signed for the proxy's address, which is where every client goes. Serving comes first,
// so the port is known before the signed files are made and no port is ever guessed.

#include "process.h"
#include "tampering_proxy.h"
#include "temp_dir.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pavoline::test {

class ServedCopy {
public:
    // siteTool: pavoline-site; keyFile: the secret key to sign with, empty for an unsigned copy.
    ServedCopy(const std::string& siteTool, const std::string& site, const std::string& keyFile,
               const std::vector<std::string>& serveOptions = {});
    ~ServedCopy();
    ServedCopy(const ServedCopy&) = delete;
    ServedCopy& operator=(const ServedCopy&) = delete;

    const std::string& host() const { return host_; }
    const std::string& dir() const { return dir_; }
    TamperingProxy& proxy() { return *proxy_; }
    // Signs (or re-hosts) the copy again, after a test changed its files; false with the tool's
    // message on stderr when the tool refuses.
    bool sign();

private:
    std::string siteTool_, keyFile_;
    TempDir temp_;
    std::string dir_, host_;
    std::unique_ptr<RunningProgram> serve_;
    std::unique_ptr<TamperingProxy> proxy_;
    std::atomic<bool> stopping_{false};
    std::thread log_; // keeps reading the request log, so that the server never waits to write it
};

} // namespace pavoline::test
