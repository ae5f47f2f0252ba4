#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pavoline::test {

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
// A text file with a mode as chmod takes it; its whole content.
void WriteText(const std::string& path, const std::string& text, unsigned mode = 0644);
std::string ReadText(const std::string& path);

} // namespace pavoline::test
