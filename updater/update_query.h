#pragma once
// The updater's talk with the update server: the version query, the update info file, and its
// own configuration "UpdateInfo.ini" beside the program.
//
// Update info file (INI, section UPDATE_INFO):
//   NewVersionFeatures  text for the first page; "##" stands for a line break
//   ToolLink            address of the update package
//   Md5                 MD5 digest text of the package (letter case ignored)
// UpdateInfo.ini (section UPDATE_CFG):
//   App                 the launcher's file name relative to the suite directory

#include <optional>
#include <string>

namespace pavoline::updater {

constexpr const char* kConfigFileName = "UpdateInfo.ini";

enum UpdateCheckResult {
    kConfigMissing = 2,     // UpdateInfo.ini missing or unreadable; nothing was asked
    kServerUnreachable = 3, // the query failed
    kNewerVersion = 4,      // the reply names the update info file
    kUpToDate = 5,
};

struct UpdateCheck {
    UpdateCheckResult result = kServerUnreachable;
    std::string infoUrl; // with kNewerVersion
};

// Checks the configuration first, then asks the server whether a newer suite than version exists.
UpdateCheck QueryUpdate(const std::string& version, const std::string& configPath);

struct UpdateInfo {
    std::string features; // line breaks already in place
    std::string toolLink;
    std::string md5;
};

// The values of an info file's text; all empty when the text cannot be read safely as a whole.
UpdateInfo ParseUpdateInfo(const std::string& text);
UpdateInfo ReadUpdateInfoFile(const std::string& path);

// The launcher named by "App" in UpdateInfo.ini (empty when the key is missing); nothing when the
// file is missing or unreadable.
std::optional<std::string> ReadLauncherName(const std::string& configPath);

} // namespace pavoline::updater
