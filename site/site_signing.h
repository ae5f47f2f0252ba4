#pragma once
// The publisher's keys and the signing of a site.
//
//   pavoline-site keygen DIR   DIR/publisher.key (secret, mode 0600) and DIR/publisher.pub
//   pavoline-site sign SITE [--key SECRET]... [--host HOST[:PORT]]
//
// A signed site names its host in every address (a signature covers exact bytes, so nothing may
// fill a host in later). Signing puts the catalogue's and the info file's addresses on the host,
// records it in site.ini and writes catalogue.xml.sig and update/update_info.ini.sig, one line per
// key. The packages are bound by the size and SHA-256 those two files name, so they are not touched.
// Without a key it only puts the addresses on the host (an unsigned site, old signatures removed).

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "signature.h"

namespace pugi {
class xml_document;
}

namespace pavoline::site {

constexpr const char* kSecretKeyFile = "publisher.key";
constexpr const char* kPublicKeyFile = "publisher.pub";
constexpr const char* kSignatureSuffix = ".sig";

// A new key pair in DIR (made when missing); an existing key is never replaced.
bool MakeKeyPairFiles(const std::string& dir, std::ostream& report, std::string& error);

// A secret key file that nobody but its owner may read or write; the fault otherwise.
std::optional<SecretKey> ReadSecretKeyFile(const std::string& path, std::string& error);

// True when path lies inside dir (or is it), after resolving links.
bool IsInside(const std::string& path, const std::string& dir);

struct SignOptions {
    std::string siteDir;
    std::vector<std::string> keyFiles;
    std::string host; // empty: the host the site already names
};

// False with the fault in error; the site's files are each replaced whole.
bool SignSite(const SignOptions& options, std::ostream& report, std::string& error);

// The catalogue as the site holds it: UTF-8, tab-indented, with its declaration.
std::string CatalogueDocumentText(const pugi::xml_document& doc);
// The catalogue's text with every address on oldBase moved to newBase ("http://host").
std::optional<std::string> RehostedCatalogue(const std::string& text, const std::string& oldBase,
                                             const std::string& newBase);
// The info file's text with its ToolLink moved the same way.
std::string RehostedUpdateInfo(const std::string& text, const std::string& oldBase, const std::string& newBase);

} // namespace pavoline::site
