#pragma once
// Where the update server is and the addresses the suite asks it for. The host is a build setting
// (PAVOLINE_UPDATE_HOST in CMake) that the environment variable of the same name overrides.

#include <string>

namespace pavoline {

// "name:port" or "name", without scheme.
std::string UpdateServerHost();
// "http://" + host + "/port/themeModel/": the model catalogue.
std::string CatalogueUrl();
// "http://" + host + "/port/themeModel.sig": the catalogue's signature.
std::string CatalogueSignatureUrl();
// "http://" + host + "/port/themeEditor/?vnum=" + version: whether a newer suite exists.
std::string VersionQueryUrl(const std::string& version);

// The version query's reply as text: at most its first 2047 bytes, up to its first zero byte,
// without white space at its end.
std::string VersionReplyText(const std::string& body);
// A reply that begins with "http://" (exactly, at its first character) names the update info file
// of a newer suite; anything else, an empty reply too, means the suite is current.
bool ReplyNamesNewerVersion(const std::string& body);

} // namespace pavoline
