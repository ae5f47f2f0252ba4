#pragma once
// The updater's talk with the update server: the version query, the update info file, and its
// own configuration "UpdateInfo.ini" beside the program.
//
// Update info file (INI, section UPDATE_INFO):
//   NewVersionFeatures  text for the first page; "##" stands for a line break
//   ToolLink            address of the update package
//   Md5                 MD5 digest text of the package (letter case ignored)
//   Version             the suite version the package brings             } what a signed
//   Sha256, Size        the package's SHA-256 (hexadecimal) and its bytes } info file binds
// A signed info file comes with its signature at its own address + ".sig".
// UpdateInfo.ini (section UPDATE_CFG):
//   App                 the launcher's file name relative to the suite directory

#include "download.h"
#include "signature.h"
#include "version_text.h"

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
    std::optional<SuiteVersion> version;
    std::optional<SignedFile> package;
};

// No real info file comes near these bounds; its signature file's are those of every signature.
constexpr TransferLimits kInfoFileLimits{1024 * 1024, 60000};

// The values of an info file's text; all empty when the text cannot be read safely as a whole.
UpdateInfo ParseUpdateInfo(const std::string& text);
UpdateInfo ReadUpdateInfoFile(const std::string& path);

// Whether an update may be used at all. With publisher keys in force it must be signed, name its
// version, package size and SHA-256, and bring a newer suite than the one running; without keys
// every info file is taken as it is.
enum class InfoVerdict {
    kUsable,           // info holds what there is (all empty when a download failed)
    kNotFromPublisher, // missing or wrong signature, or a signed file that binds no package
    kNotNewer,         // a signed but older (or the same) version: a replay
};
struct FetchedUpdateInfo {
    InfoVerdict verdict = InfoVerdict::kUsable;
    UpdateInfo info;
};
// Downloads the info file into infoPath and its signature beside it in memory; a refused info file
// is deleted. A download that fails, or a file that names no package, leaves the values empty.
FetchedUpdateInfo FetchUpdateInfo(const std::string& infoUrl, const std::string& infoPath,
                                  const std::string& runningVersion);
// What a signed info file must say besides its signature: the package, and a newer version.
InfoVerdict CheckSignedUpdateInfo(const UpdateInfo& info, const std::string& runningVersion);

enum class PackageVerdict {
    kGenuine,
    kNotFromPublisher, // not the size or the SHA-256 the signed info file names
    kDigestMismatch,   // the MD5 check of the info file fails
};
// The downloaded package against the info file; a package not from the publisher is deleted.
PackageVerdict CheckPackage(const UpdateInfo& info, const std::string& packagePath);
// How much of the package to accept before the download counts as too large: its signed size.
TransferLimits PackageLimits(const UpdateInfo& info);

// The launcher named by "App" in UpdateInfo.ini (empty when the key is missing); nothing when the
// file is missing or unreadable.
std::optional<std::string> ReadLauncherName(const std::string& configPath);

} // namespace pavoline::updater
