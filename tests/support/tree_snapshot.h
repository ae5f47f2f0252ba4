#pragma once
// Everything a directory holds, to tell whether anything in it changed: each entry's kind, mode
// and content (a link's target), by relative path.

#include <map>
#include <string>

namespace pavoline::test {

using TreeSnapshot = std::map<std::string, std::string>;

TreeSnapshot SnapshotOf(const std::string& dir);
// A suite directory as its user sees it: the user's own files (and the updater's scratch folder) aside.
TreeSnapshot SuiteSnapshotOf(const std::string& suite);

// Copies a directory tree with modes (cp -a); throws when it cannot.
void CopyTree(const std::string& from, const std::string& to);

} // namespace pavoline::test
