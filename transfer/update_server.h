#pragma once
// Where the update server is and the addresses the suite asks it for. The host is a build setting
// (PAVOLINE_UPDATE_HOST in CMake) that the environment variable of the same name overrides.

#include <string>

namespace pavoline {

// "name:port" or "name", without scheme.
std::string UpdateServerHost();
// "http://" + host + "/port/themeModel/": the model catalogue.
std::string CatalogueUrl();
// "http://" + host + "/port/themeEditor/?vnum=" + version: whether a newer suite exists.
std::string VersionQueryUrl(const std::string& version);

} // namespace pavoline
