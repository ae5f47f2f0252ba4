#include "update_query.h"

#include "download.h"
#include "md5.h"
#include "update_server.h"

#include <INIReader.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace pavoline::updater {
namespace {

constexpr const char* kInfoSection = "UPDATE_INFO";
constexpr const char* kConfigSection = "UPDATE_CFG";
// inih reads a longer line in pieces and would take a piece's tail for a key of its own.
constexpr size_t kMaxIniLine = 198;
constexpr const char* kSignatureSuffix = ".sig";

bool LinesFitTheReader(const std::string& text) {
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (end - start > kMaxIniLine) return false;
    return text.size() - start <= kMaxIniLine;
}

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
    if (!LinesFitTheReader(text)) return {};
    const INIReader reader(text.data(), text.size());
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
