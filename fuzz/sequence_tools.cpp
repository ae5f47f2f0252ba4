// Sequence files through the extractor, and the same bytes as the maker's first frame (ABM and PNG).
#include "presk.h"
#include "vandor.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

// A directory of its own, removed at exit; its name lives in a plain array because the exit
// handler may run after static strings are gone.
char gWorkDir[] = "/tmp/pavoline-fuzz-XXXXXX";

const std::string& WorkDir() {
    static const std::string dir = [] {
        if (!mkdtemp(gWorkDir)) std::abort();
        std::atexit([] { std::filesystem::remove_all(gWorkDir); });
        return std::string(gWorkDir);
    }();
    return dir;
}

void ClearFrames(const std::string& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename() != "input") std::filesystem::remove_all(entry.path());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = WorkDir();
    const std::string input = dir + "/input";
    FILE* file = std::fopen(input.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    std::ostringstream out;
    pavoline::RunVandor({input, dir + "/info"}, out, dir);
    ClearFrames(dir);
    pavoline::RunPresk({"ABM", "1", "1", dir + "/out.seq", input}, out);
    pavoline::RunPresk({"PNG", "1", "1", dir + "/out.seq", input, input}, out);
    ClearFrames(dir);
    return 0;
}
