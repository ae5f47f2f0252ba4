#include "site_layout.h"

#include "zip_layer.h"

#include <INIReader.h>

namespace pavoline::site {
namespace {

constexpr const char* kSection = "SITE";

} // namespace

std::string SiteRecordText(const SiteRecord& record) {
    std::string text = std::string("[") + kSection + "]\nFormat=1\n";
    if (record.latestVersion)
        text += "LatestVersion=" + VersionText(*record.latestVersion) + "\nUpdateInfo=" + record.updateInfoFile + "\n";
    return text;
}

std::optional<SiteRecord> ReadSiteRecord(const std::string& text) {
    if (text.find('\0') != std::string::npos) return std::nullopt;
    const INIReader ini(text.data(), text.size());
    if (ini.ParseError() != 0 || !ini.HasSection(kSection)) return std::nullopt;
    SiteRecord record;
    const std::optional<std::string> info = SafeEntryPath(ini.Get(kSection, "UpdateInfo", ""));
    record.latestVersion = ParseSuiteVersion(ini.Get(kSection, "LatestVersion", ""));
    if (!info || !record.latestVersion) {
        record.latestVersion.reset();
        return record;
    }
    record.updateInfoFile = *info;
    return record;
}

std::string PercentEncoded(const std::string& text, bool (*keep)(unsigned char)) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (keep(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string WithHost(std::string text, const std::string& host) {
    const std::string placeholder = kHostPlaceholder, address = "http://" + host;
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + address.size()))
        text.replace(at, placeholder.size(), address);
    return text;
}

} // namespace pavoline::site
