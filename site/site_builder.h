#pragma once
// pavoline-site build: a site from model folders and, optionally, a suite directory of a newer
// version. The site is made in a staging directory beside OUT and put in place only when whole.

#include <ostream>
#include <string>
#include <vector>

namespace pavoline::site {

struct BuildOptions {
    std::string modelsDir;
    std::string updateDir; // empty: a site without an update
    std::string version;
    std::string features;
    std::string outDir;
    std::string host; // "HOST[:PORT]" the addresses name; empty: the placeholder, filled in by serve
    std::vector<std::string> keyFiles; // secret keys the site is signed with (it then needs a host)
};

// What was built goes to report, one line per package. False, with the fault (naming its file) in
// error, when the input is refused or a file cannot be written; OUT is then as it was.
bool BuildSite(const BuildOptions& options, std::ostream& report, std::string& error);

// Files of a suite directory that belong to its user, never to an update: the installed list, the
// installed models ("Resource/"), the beta marker and the updater's scratch folder.
bool IsUserFileOfSuite(const std::string& relativePath);

// The feature text as the info file holds it: trimmed, each line break as "##".
std::string FeaturesValue(const std::string& text);

} // namespace pavoline::site
