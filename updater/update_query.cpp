#include "update_query.h"

#include "download.h"
#include "md5.h"
#include "update_server.h"

#include <INIReader.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace pavoline::updater {
namespace {

constexpr const char* kInfoSection = "UPDATE_INFO";
constexpr const char* kConfigSection = "UPDATE_CFG";
constexpr size_t kMaxValueCharacters = 511;
constexpr const char* kSignatureSuffix = ".sig";

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// At most that many characters of UTF-8 text, never half of one.
std::string CutToCharacters(const std::string& text, size_t characters) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == characters) return text.substr(0, i);
    return text;
}

// An INI text as the system's profile reader takes it, whatever the length of its lines (inih cuts
// them at 200 bytes, and release notes are longer): sections and keys in any letter case, a key's
// first value, each value cut at 511 characters, the text ending at a zero byte.
class ProfileText {
public:
    explicit ProfileText(const std::string& text) {
        const std::string whole = text.substr(0, text.find('\0'));
        std::string section;
        size_t start = 0;
        for (size_t end = 0; start < whole.size(); start = end + 1) {
            end = std::min(whole.find('\n', start), whole.size());
            const std::string line = Trimmed(whole.substr(start, end - start));
            if (line.empty() || line[0] == ';' || line[0] == '#') continue;
            if (line[0] == '[') {
                section = Lowered(Trimmed(line.substr(1, line.find(']') - 1)));
                continue;
            }
            const size_t equals = line.find('=');
            if (equals == std::string::npos) continue;
            values_.emplace(section + '\n' + Lowered(Trimmed(line.substr(0, equals))),
                            CutToCharacters(Trimmed(line.substr(equals + 1)), kMaxValueCharacters));
        }
    }
    std::string Get(const std::string& section, const std::string& key) const {
        const auto found = values_.find(Lowered(section) + '\n' + Lowered(key));
        return found == values_.end() ? std::string() : found->second;
    }

private:
    std::map<std::string, std::string> values_; // "section\nkey", lower case
};

std::string Value(const ProfileText& text, const char* section, const char* key) { return text.Get(section, key); }

std::string WithLineBreaks(std::string text) {
    for (size_t at = 0; (at = text.find("##", at)) != std::string::npos; ++at) text.replace(at, 2, "\n");
    return text;
}

// The first value given for the key, as the system's own profile reader takes it; inih joins a
// repeated key's values, and a continued value, with line breaks.
std::string Value(const INIReader& reader, const char* section, const char* key) {
    const std::string joined = reader.Get(section, key, "");
    return joined.substr(0, joined.find('\n'));
}

std::optional<INIReader> OpenConfig(const std::string& configPath) {
    INIReader reader(configPath);
    if (reader.ParseError() < 0) return std::nullopt; // a line it cannot read is skipped, as before
    return reader;
}

} // namespace

UpdateCheck QueryUpdate(const std::string& version, const std::string& configPath) {
    if (!OpenConfig(configPath)) return {kConfigMissing, {}};
    std::string body;
    if (FetchText(VersionQueryUrl(version), body, kUpdaterTransfer) != kDownloadComplete) return {kServerUnreachable, {}};
    if (!ReplyNamesNewerVersion(body)) return {kUpToDate, {}};
    return {kNewerVersion, VersionReplyText(body)};
}

UpdateInfo ParseUpdateInfo(const std::string& text) {
    const ProfileText reader(text);
    return {WithLineBreaks(Value(reader, kInfoSection, "NewVersionFeatures")), Value(reader, kInfoSection, "ToolLink"),
            Value(reader, kInfoSection, "Md5"), ParseSuiteVersion(Value(reader, kInfoSection, "Version")),
            ParseSignedFile(Value(reader, kInfoSection, "Size"), Value(reader, kInfoSection, "Sha256"))};
}

namespace {

// The file's bytes, when it has no more than an info file may.
std::optional<std::string> ReadInfoBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text;
    char piece[4096];
    while (file.read(piece, sizeof piece) || file.gcount() > 0) {
        text.append(piece, static_cast<size_t>(file.gcount()));
        if (text.size() > kInfoFileLimits.maxBytes) return std::nullopt;
    }
    return text;
}

} // namespace

UpdateInfo ReadUpdateInfoFile(const std::string& path) {
    const std::optional<std::string> text = ReadInfoBytes(path);
    return text ? ParseUpdateInfo(*text) : UpdateInfo{};
}

InfoVerdict CheckSignedUpdateInfo(const UpdateInfo& info, const std::string& runningVersion) {
    if (!SignaturesRequired()) return InfoVerdict::kUsable;
    if (!info.package) return InfoVerdict::kNotFromPublisher;
    const std::optional<SuiteVersion> running = ParseSuiteVersion(runningVersion);
    if (!info.version || !running || !IsOlder(*running, *info.version)) return InfoVerdict::kNotNewer;
    return InfoVerdict::kUsable;
}

FetchedUpdateInfo FetchUpdateInfo(const std::string& infoUrl, const std::string& infoPath,
                                  const std::string& runningVersion) {
    if (DownloadToFile(infoUrl, infoPath, "", nullptr, kUpdaterTransfer, kInfoFileLimits) != kDownloadComplete) return {};
    const std::optional<std::string> bytes = ReadInfoBytes(infoPath);
    if (!bytes) return {};
    // What names no package (an error page, say) is no info file: it cannot be read, and offers nothing
    // to be checked.
    if (ParseUpdateInfo(*bytes).toolLink.empty()) {
        std::remove(infoPath.c_str());
        return {};
    }
    const SignatureCheck signature = CheckPublisherSignature(infoUrl + kSignatureSuffix, *bytes, kUpdaterTransfer);
    if (signature == SignatureCheck::kUnavailable) return {}; // as if the info file had not come: nothing to offer
    FetchedUpdateInfo fetched{InfoVerdict::kUsable, ParseUpdateInfo(*bytes)};
    fetched.verdict = signature == SignatureCheck::kRefused ? InfoVerdict::kNotFromPublisher
                                                            : CheckSignedUpdateInfo(fetched.info, runningVersion);
    if (fetched.verdict != InfoVerdict::kUsable) {
        std::remove(infoPath.c_str());
        fetched.info = {};
    }
    return fetched;
}

PackageVerdict CheckPackage(const UpdateInfo& info, const std::string& packagePath) {
    if (SignaturesRequired() && (!info.package || !FileMatchesSigned(packagePath, *info.package))) {
        std::remove(packagePath.c_str());
        return PackageVerdict::kNotFromPublisher;
    }
    return ChecksumMatches(info.md5, FileMd5Text(packagePath)) ? PackageVerdict::kGenuine : PackageVerdict::kDigestMismatch;
}

TransferLimits PackageLimits(const UpdateInfo& info) {
    // A signed size of 0 still stops the first byte (0 would mean no bound at all).
    return {SignaturesRequired() && info.package ? std::max<uint64_t>(info.package->size, 1) : 0, 0};
}

std::optional<std::string> ReadLauncherName(const std::string& configPath) {
    const std::optional<INIReader> reader = OpenConfig(configPath);
    if (!reader) return std::nullopt;
    return Value(*reader, kConfigSection, "App");
}

} // namespace pavoline::updater
