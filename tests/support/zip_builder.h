#pragma once
// Real zip archives for the install tests, with any host and attributes an archive may claim.

#include <cstdint>
#include <string>
#include <vector>

namespace pavoline::test {

struct ZipEntrySpec {
    std::string name;
    std::string data;
    unsigned host = 0;             // 0 DOS/Windows, 3 Unix
    uint32_t externalAttributes = 0;
    bool directory = false;        // adds the directory bits of its host
};

ZipEntrySpec FileEntry(const std::string& name, const std::string& data);
ZipEntrySpec DirectoryEntry(const std::string& name);
ZipEntrySpec UnixFileEntry(const std::string& name, const std::string& data);
ZipEntrySpec UnixDirectoryEntry(const std::string& name);
ZipEntrySpec UnixSymlinkEntry(const std::string& name, const std::string& target);

void WriteZip(const std::string& path, const std::vector<ZipEntrySpec>& entries);

// Flips bytes inside the first entry's compressed data, so inflating it fails.
void DamageFirstEntryData(const std::string& path);

} // namespace pavoline::test
