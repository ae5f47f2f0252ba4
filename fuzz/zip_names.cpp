// Stored zip entry names and attributes through the name rules and the path check: whatever comes
// out must stay below the model directory.
#include "zip_layer.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline;
    if (size < 5) return 0;
    uint32_t external;
    std::memcpy(&external, data + 1, 4);
    MapEntryAttributes(data[0], external);
    IsSymbolicLinkEntry(data[0], external);
    const std::string name = ApplyEntryNameRules(std::string(reinterpret_cast<const char*>(data + 5), size - 5));
    const std::optional<std::string> path = SafeEntryPath(name);
    if (!path) return 0;
    if (path->empty() || (*path)[0] == '/' || *path == ".." || path->rfind("../", 0) == 0 ||
        path->find("/../") != std::string::npos || path->find('\\') != std::string::npos ||
        (path->size() >= 3 && path->compare(path->size() - 3, 3, "/..") == 0))
        __builtin_trap();
    return 0;
}
