// What the updater reads from the update server: the version query's reply and the update info
// file. The address and the digest are one line each; every "##" of the features became a break.
#include "update_query.h"
#include "update_server.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string reply = VersionReplyText(text);
    if (reply.size() > 2047 || reply.find('\0') != std::string::npos) __builtin_trap();
    if (ReplyNamesNewerVersion(text) != (reply.rfind("http://", 0) == 0)) __builtin_trap();
    const updater::UpdateInfo info = updater::ParseUpdateInfo(text);
    if (info.toolLink.find('\n') != std::string::npos || info.md5.find('\n') != std::string::npos) __builtin_trap();
    if (info.features.find("##") != std::string::npos) __builtin_trap();
    // What a signed file binds: a version of four numbers, a size and a SHA-256 in their one form.
    if (info.version && ParseSuiteVersion(VersionText(*info.version)) != info.version) __builtin_trap();
    if (info.package && (info.package->sha256.size() != 64 || ParseSha256Text(info.package->sha256) != info.package->sha256))
        __builtin_trap();
    return 0;
}
