#include "startup.h"

#include "hand_over.h"
#include "update_query.h"

#include <strings.h>

namespace pavoline::updater {
namespace {

// "/a/b/" -> "/a/"; the root stays the root. The program's path is absolute.
std::string ParentDir(const std::string& dir) {
    const size_t slash = dir.find_last_of('/', dir.size() >= 2 ? dir.size() - 2 : 0);
    return slash == std::string::npos ? dir + "../" : dir.substr(0, slash + 1);
}

} // namespace

std::string UpdaterPaths::configPath() const { return ownDir + kConfigFileName; }
std::string UpdaterPaths::tempFolder() const { return ownDir + "temp/"; }

UpdaterPaths PathsOf(const std::string& ownPath) {
    const size_t slash = ownPath.find_last_of('/');
    const std::string ownDir = slash == std::string::npos ? "./" : ownPath.substr(0, slash + 1);
    return {ownPath, ownDir, ParentDir(ownDir)};
}

std::optional<std::string> VersionHandedOver(const std::vector<std::string>& arguments) {
    if (arguments.size() < 2 || strcasecmp(arguments[1].c_str(), kHandOverToken) != 0) return std::nullopt;
    return arguments[0];
}

} // namespace pavoline::updater
