#include "update_query.h"

#include "download.h"
#include "update_server.h"

#include <INIReader.h>

#include <fstream>

namespace pavoline::updater {
namespace {

constexpr const char* kInfoSection = "UPDATE_INFO";
constexpr const char* kConfigSection = "UPDATE_CFG";
// inih reads a longer line in pieces and would take a piece's tail for a key of its own.
constexpr size_t kMaxIniLine = 198;
// Far more than an info file needs; a bigger body is not one.
constexpr size_t kMaxInfoFileBytes = 64 * 1024;

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
            Value(reader, kInfoSection, "Md5")};
}

UpdateInfo ReadUpdateInfoFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text;
    char piece[4096];
    while (file.read(piece, sizeof piece) || file.gcount() > 0) {
        text.append(piece, static_cast<size_t>(file.gcount()));
        if (text.size() > kMaxInfoFileBytes) return {};
    }
    return ParseUpdateInfo(text);
}

std::optional<std::string> ReadLauncherName(const std::string& configPath) {
    const std::optional<INIReader> reader = OpenConfig(configPath);
    if (!reader) return std::nullopt;
    return Value(*reader, kConfigSection, "App");
}

} // namespace pavoline::updater
