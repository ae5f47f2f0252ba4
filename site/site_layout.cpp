#include "site_layout.h"

#include "zip_layer.h"

#include <INIReader.h>

namespace pavoline::site {
namespace {

constexpr const char* kSection = "SITE";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHostNameChar(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-';
}
bool IsIpv6Char(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.'; }

bool IsPort(const std::string& text) { return ParseDecimal16(text).has_value(); }

bool AllOf(const std::string& text, bool (*allowed)(char)) {
    for (char c : text)
        if (!allowed(c)) return false;
    return !text.empty();
}

} // namespace

std::string SiteRecordText(const SiteRecord& record) {
    std::string text = std::string("[") + kSection + "]\nFormat=1\n";
    if (!record.host.empty()) text += "Host=" + record.host + "\n";
    if (record.latestVersion)
        text += "LatestVersion=" + VersionText(*record.latestVersion) + "\nUpdateInfo=" + record.updateInfoFile + "\n";
    return text;
}

std::optional<SiteRecord> ReadSiteRecord(const std::string& text) {
    if (text.find('\0') != std::string::npos) return std::nullopt;
    const INIReader ini(text.data(), text.size());
    if (ini.ParseError() != 0 || !ini.HasSection(kSection)) return std::nullopt;
    SiteRecord record;
    if (const std::string host = ini.Get(kSection, "Host", ""); IsHostAndPort(host)) record.host = host;
    const std::optional<std::string> info = SafeEntryPath(ini.Get(kSection, "UpdateInfo", ""));
    record.latestVersion = ParseSuiteVersion(ini.Get(kSection, "LatestVersion", ""));
    if (!info || !record.latestVersion) {
        record.latestVersion.reset();
        return record;
    }
    record.updateInfoFile = *info;
    return record;
}

bool IsHostAndPort(const std::string& host) {
    if (!host.empty() && host[0] == '[') {
        const size_t close = host.find(']');
        if (close == std::string::npos || !AllOf(host.substr(1, close - 1), IsIpv6Char)) return false;
        const std::string port = host.substr(close + 1);
        return port.empty() || (port[0] == ':' && IsPort(port.substr(1)));
    }
    const size_t colon = host.find(':');
    if (colon != std::string::npos && !IsPort(host.substr(colon + 1))) return false;
    return AllOf(host.substr(0, colon), IsHostNameChar);
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

std::string ContentTypeOf(const std::string& path) {
    const size_t point = path.find_last_of("./");
    if (point == std::string::npos || path[point] != '.') return kDefaultContentType;
    const std::string extension = path.substr(point + 1);
    for (const ContentTypeRule& rule : kContentTypes)
        if (extension == rule.extension) return rule.type;
    return kDefaultContentType;
}

std::string WithHost(std::string text, const std::string& host) {
    const std::string placeholder = kHostPlaceholder, address = "http://" + host;
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + address.size()))
        text.replace(at, placeholder.size(), address);
    return text;
}

} // namespace pavoline::site
