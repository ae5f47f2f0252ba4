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

std::string VersionQueryUrl(const std::string& version) {
    return "http://" + UpdateServerHost() + "/port/themeEditor/?vnum=" + version;
}

} // namespace pavoline
