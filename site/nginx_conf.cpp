#include "nginx_conf.h"

#include "site_layout.h"

#include <fstream>
#include <limits.h>
#include <sstream>
#include <stdlib.h>
#include <unistd.h>

namespace pavoline::site {
namespace {

constexpr int kNumberDigits = 5; // 65535

std::string Join(const std::vector<std::string>& parts, const std::string& between) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : between) + part;
    return out;
}

std::string Alternatives(const std::vector<std::string>& parts) {
    return parts.size() == 1 ? parts[0] : "(?:" + Join(parts, "|") + ")";
}

std::string DigitClass(char first, char last) {
    return first == last ? std::string(1, first) : std::string("[") + first + "-" + last + "]";
}

std::string AnyDigits(size_t count) {
    if (count == 0) return "";
    return count == 1 ? "[0-9]" : "[0-9]{" + std::to_string(count) + "}";
}

// Digit strings of one length from lo to hi (both of that length, lo <= hi).
std::string DigitRange(const std::string& lo, const std::string& hi) {
    if (lo.empty()) return "";
    if (lo[0] == hi[0]) return lo.substr(0, 1) + DigitRange(lo.substr(1), hi.substr(1));
    const size_t rest = lo.size() - 1;
    const std::string zeros(rest, '0'), nines(rest, '9');
    std::vector<std::string> parts;
    char first = lo[0], last = hi[0];
    if (lo.substr(1) != zeros) parts.push_back(lo.substr(0, 1) + DigitRange(lo.substr(1), nines)), ++first;
    const bool hiWhole = hi.substr(1) == nines;
    if (!hiWhole) --last;
    if (first <= last) parts.push_back(DigitClass(first, last) + AnyDigits(rest));
    if (!hiWhole) parts.push_back(hi.substr(0, 1) + DigitRange(zeros, hi.substr(1)));
    return Alternatives(parts);
}

std::string Padded(uint32_t value, int digits) {
    std::string text = std::to_string(value);
    return std::string(static_cast<size_t>(digits) - text.size(), '0') + text;
}

// A version's number from lo to hi, written with 1 to 5 digits, leading zeros allowed.
std::string NumberIn(uint32_t lo, uint32_t hi) {
    std::vector<std::string> parts;
    uint32_t widest = 9;
    for (int digits = 1; digits <= kNumberDigits; ++digits, widest = widest * 10 + 9)
        if (lo <= widest) parts.push_back(DigitRange(Padded(lo, digits), Padded(std::min(hi, widest), digits)));
    return Alternatives(parts);
}

// nginx takes a quoted string with any character but these as it stands ("$" starts a variable
// where a path may hold one).
bool NginxCanQuote(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\' || c == '$') return false;
    return true;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string RegexLiteral(const std::string& name) {
    std::string out;
    for (char c : name) out += c == '.' ? std::string("\\.") : std::string(1, c);
    return out;
}

std::optional<std::string> AbsolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

std::optional<SiteRecord> ReadRecord(const std::string& site) {
    std::ifstream file(site + "/" + kSiteRecordFile, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return ReadSiteRecord(text.str());
}

// The host part of "HOST[:PORT]", as server_name takes it.
std::string HostName(const std::string& host) {
    if (!host.empty() && host[0] == '[') return host.substr(0, host.find(']') + 1);
    return host.substr(0, host.find(':'));
}

// How long a cache may keep an answer. The update package's name carries its version; every other
// file keeps its name when the site is rebuilt, so a cache asks again (a 304 costs little) or, for
// the small files the launcher polls, keeps them a minute.
constexpr const char* kKeepBriefly = "public, max-age=60";
constexpr const char* kAskAgain = "no-cache";
constexpr const char* kKeepForEver = "public, max-age=31536000, immutable";

std::string ServerBlock(const std::string& site, const std::string& listen, const SiteRecord& record) {
    std::ostringstream c;
    c << "# The version query: a version older than the site's latest is led to the update info file;\n"
         "# any other, a missing or malformed one included, gets the empty answer (nothing newer).\n"
         "map $arg_vnum $pavoline_update_info {\n    default \"\";\n";
    if (record.latestVersion)
        for (const std::string& pattern : OlderVersionPatterns(*record.latestVersion))
            c << "    " << Quoted("~" + pattern) << " " << Quoted("http://" + record.host + "/" + record.updateInfoFile)
              << ";\n";
    c << "}\n\nserver {\n    listen " << listen << ";\n    server_name " << HostName(record.host) << ";\n"
      << "    root " << Quoted(site) << ";\n"
      << "    sendfile on;\n    tcp_nopush on;\n    autoindex off;\n    server_tokens off;\n"
      << "    disable_symlinks on from=$document_root;\n"
      << "    types {\n";
    for (const ContentTypeRule& rule : kContentTypes) c << "        " << Quoted(rule.type) << " " << rule.extension << ";\n";
    c << "    }\n    default_type " << kDefaultContentType << ";\n"
      << "    if ($request_method !~ ^(GET|HEAD)$) {\n        return 405;\n    }\n\n"
      << "    location = " << kCatalogueRequestPath << " {\n        add_header Cache-Control " << Quoted(kKeepBriefly)
      << ";\n        rewrite ^ /" << kCatalogueFile << " break;\n    }\n"
      << "    location = " << kCatalogueSignaturePath << " {\n        add_header Cache-Control " << Quoted(kKeepBriefly)
      << ";\n        rewrite ^ /" << kCatalogueSignatureFile << " break;\n    }\n"
      << "    location = " << kVersionQueryPath << " {\n        add_header Cache-Control " << Quoted(kKeepBriefly)
      << ";\n        default_type " << Quoted(kVersionReplyType) << ";\n        return 200 $pavoline_update_info;\n    }\n"
      << "    location ~ ^/" << kUpdateDir << "/Pavoline-[0-9.]+\\.zip$ {\n        add_header Cache-Control "
      << Quoted(kKeepForEver) << ";\n        try_files $uri =404;\n    }\n"
      << "    location ~ ^/(" << RegexLiteral(kCatalogueFile) << "|" << kUpdateDir << "/[^/]*\\.ini)(\\.sig)?$ {\n"
      << "        add_header Cache-Control " << Quoted(kKeepBriefly) << ";\n        try_files $uri =404;\n    }\n"
      << "    location / {\n        add_header Cache-Control " << Quoted(kAskAgain) << ";\n        try_files $uri =404;\n"
      << "    }\n}\n";
    return c.str();
}

// Everything nginx would otherwise put below its own compiled-in paths goes into prefix, so that
// any user can run it: nginx -p PREFIX -c PREFIX/nginx.conf -e PREFIX/error.log
std::string WholeConfiguration(const std::string& prefix, const std::string& server) {
    std::ostringstream c;
    // Started by root, nginx would hand the requests to workers running as nobody, who may not read a
    // site in a private folder; this nginx is its user's own.
    c << "daemon off;\n" << (geteuid() == 0 ? "user root;\n" : "") << "worker_processes auto;\npid " << Quoted(prefix + "/nginx.pid") << ";\n"
      << "error_log " << Quoted(prefix + "/error.log") << " warn;\n\n"
      << "events {\n    worker_connections 1024;\n}\n\nhttp {\n"
      << "    access_log " << Quoted(prefix + "/access.log") << ";\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        c << "    " << temp << "_temp_path " << Quoted(prefix + "/" + temp + "_temp") << ";\n";
    c << "\n";
    std::istringstream lines(server);
    for (std::string line; std::getline(lines, line);) c << (line.empty() ? "" : "    ") << line << "\n";
    c << "}\n";
    return c.str();
}

} // namespace

std::vector<std::string> OlderVersionPatterns(const SuiteVersion& latest) {
    std::vector<std::string> patterns;
    const std::string any = NumberIn(0, UINT16_MAX);
    for (size_t differs = 0; differs < latest.size(); ++differs) {
        if (latest[differs] == 0) continue; // nothing is below 0 there
        std::vector<std::string> numbers;
        for (size_t i = 0; i < latest.size(); ++i)
            numbers.push_back(i < differs ? NumberIn(latest[i], latest[i]) : i == differs ? NumberIn(0, latest[i] - 1u) : any);
        patterns.push_back("^" + Join(numbers, "\\.") + "$");
    }
    return patterns;
}

bool NginxConf(const NginxConfOptions& options, std::string& conf, std::string& error) {
    const std::optional<std::string> site = AbsolutePath(options.siteDir);
    const std::optional<SiteRecord> record = site ? ReadRecord(*site) : std::nullopt;
    if (!record) {
        error = options.siteDir + ": not a site (no " + kSiteRecordFile + "); make one with pavoline-site build";
        return false;
    }
    if (record->host.empty()) {
        error = options.siteDir + ": built without --host; nginx serves the files as they stand, so build the site "
                                  "with --host and the public host it is reached by";
        return false;
    }
    const size_t colon = options.listen.rfind(':');
    if (colon == std::string::npos || !IsHostAndPort(options.listen) || options.listen.back() == ']') {
        error = "--listen " + options.listen + ": not ADDRESS:PORT";
        return false;
    }
    std::optional<std::string> prefix;
    if (!options.prefix.empty() && !(prefix = AbsolutePath(options.prefix))) {
        error = "--prefix " + options.prefix + ": no such folder";
        return false;
    }
    for (const std::string& path : {*site, prefix.value_or("")})
        if (!NginxCanQuote(path)) {
            error = path + ": nginx cannot take this path (quotes, backslashes, \"$\" or control characters)";
            return false;
        }
    const std::string server = ServerBlock(*site, options.listen, *record);
    conf = "# pavoline-site nginx-conf " + options.siteDir + " --listen " + options.listen +
           (prefix ? " --prefix " + options.prefix : "") + "\n" +
           (prefix ? WholeConfiguration(*prefix, server) : server);
    return true;
}

} // namespace pavoline::site
