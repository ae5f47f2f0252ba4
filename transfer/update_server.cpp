#include "update_server.h"

#include <cstdlib>

#ifndef PAVOLINE_DEFAULT_UPDATE_HOST
#define PAVOLINE_DEFAULT_UPDATE_HOST "127.0.0.1:8480"
#endif

namespace pavoline {

std::string UpdateServerHost() {
    const char* host = std::getenv("PAVOLINE_UPDATE_HOST");
    return host && *host ? host : PAVOLINE_DEFAULT_UPDATE_HOST;
}

std::string CatalogueUrl() { return "http://" + UpdateServerHost() + "/port/themeModel/"; }

std::string CatalogueSignatureUrl() { return "http://" + UpdateServerHost() + "/port/themeModel.sig"; }

std::string VersionQueryUrl(const std::string& version) {
    return "http://" + UpdateServerHost() + "/port/themeEditor/?vnum=" + version;
}

std::string VersionReplyText(const std::string& body) {
    constexpr size_t kReplyChars = 2047;
    std::string head = body.substr(0, kReplyChars);
    head = head.substr(0, head.find('\0'));
    // Many servers end the address with a line break; no address ends in white space.
    return head.substr(0, head.find_last_not_of(" \t\r\n\f\v") + 1);
}

bool ReplyNamesNewerVersion(const std::string& body) { return VersionReplyText(body).rfind("http://", 0) == 0; }

} // namespace pavoline
