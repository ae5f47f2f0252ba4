#pragma once
// Work an install or a save leaves beside what it replaces while it runs: the new tree of a model
// ("Resource/.<model>.staging-XXXXXX"), the old one on its way out (".<model>.old-XXXXXX") and a
// new "InstalledModel.xml.XXXXXX". A process killed in the middle leaves them behind; the next
// launcher removes them.

#include <string>

namespace pavoline {

constexpr const char* kStagingWork = "staging";
constexpr const char* kOldTreeWork = "old";

// resourceDir + "." + model + "." + work + "-", to which a unique suffix is added.
std::string WorkDirPrefix(const std::string& resourceDir, const std::string& model, const char* work);

// Removes those leftovers and nothing else: only directories (never a link) of the two work
// patterns in Resource/, and only files of the save's pattern in the program directory. Call it
// only while no other launcher runs.
void RemoveInstallLeftovers(const std::string& programDir);

} // namespace pavoline
