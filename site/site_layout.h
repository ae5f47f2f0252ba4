#pragma once
// What a site holds, where, and the site's record of its latest suite version.
//
//   site.ini                 [SITE] LatestVersion=1.0.0.2  UpdateInfo=update/update_info.ini  Host=...
//   catalogue.xml            the model catalogue, answered at /port/themeModel/; each Phone also
//                            names its package's size and sha256
//   catalogue.xml.sig        its signature (signed sites), answered at /port/themeModel.sig
//   models/<M>.zip           a model's package
//   thumbnails/<M>_S.png     its thumbnail
//   update/update_info.ini   [UPDATE_INFO] NewVersionFeatures, ToolLink, Md5, Version, Sha256, Size
//   update/update_info.ini.sig  its signature (signed sites), at the info file's address + ".sig"
//   update/Pavoline-<V>.zip  the update package
//
// Addresses in the catalogue and the info file begin with kHostPlaceholder; the server puts in the
// host it is reached by, so a site works on whatever host and port it is served. A site built for a
// public host (build --host, recorded as Host= in site.ini) names that host instead, byte for byte
// as any static web server serves it.

#include "version_text.h"

#include <optional>
#include <string>

namespace pavoline::site {

constexpr const char* kSiteRecordFile = "site.ini";
constexpr const char* kCatalogueFile = "catalogue.xml";
constexpr const char* kModelsDir = "models";
constexpr const char* kThumbnailsDir = "thumbnails";
constexpr const char* kUpdateDir = "update";
constexpr const char* kUpdateInfoFile = "update/update_info.ini";
constexpr const char* kHostPlaceholder = "http://@HOST@";

constexpr const char* kCatalogueRequestPath = "/port/themeModel/";
// The catalogue's detached signature and the address it is served at (every other signature is a
// file beside the one it signs, served at that file's address with ".sig").
constexpr const char* kCatalogueSignatureFile = "catalogue.xml.sig";
constexpr const char* kCatalogueSignaturePath = "/port/themeModel.sig";
constexpr const char* kVersionQueryPath = "/port/themeEditor/";
constexpr const char* kVersionQueryKey = "vnum";

struct SiteRecord {
    std::optional<SuiteVersion> latestVersion; // nothing for a site without an update
    std::string updateInfoFile;                // relative to the site
    std::string host;                          // the host the addresses name; empty: the request's
};

// A host name, an IPv4 address or a bracketed IPv6 address, with an optional ":PORT".
bool IsHostAndPort(const std::string& host);

std::string SiteRecordText(const SiteRecord& record);
// Nothing for text that is not a site record; a record naming an info file outside the site or a
// malformed version counts as one without an update.
std::optional<SiteRecord> ReadSiteRecord(const std::string& text);

// Bytes that keep() refuses become %XX.
std::string PercentEncoded(const std::string& text, bool (*keep)(unsigned char));

// The content type a site file is sent with, by its extension; the same table for serve and nginx.
struct ContentTypeRule {
    const char* extension;
    const char* type;
};
constexpr ContentTypeRule kContentTypes[] = {{"xml", "text/xml; charset=utf-8"}, {"ini", "text/plain; charset=utf-8"},
                                             {"txt", "text/plain; charset=utf-8"}, {"png", "image/png"},
                                             {"zip", "application/zip"},          {"sig", "application/octet-stream"}};
constexpr const char* kDefaultContentType = "application/octet-stream";
constexpr const char* kVersionReplyType = "text/plain; charset=utf-8";
std::string ContentTypeOf(const std::string& path);

// Every kHostPlaceholder in the text becomes "http://" + host.
std::string WithHost(std::string text, const std::string& host);

} // namespace pavoline::site
