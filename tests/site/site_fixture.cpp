#include "site_fixture.h"

#include "platform.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline::site::test {

const std::vector<SampleModel>& SampleModels() {
    static const std::vector<SampleModel> models = {
        {"N70", "N系列", "直板", false}, {"E71", "E系列", "直板", false}, {"X6", "X系列", "触屏", true}};
    return models;
}

std::string IniSection(const SampleModel& m) {
    return "[" + m.model + "]\nfamily = " + m.family + "\nstyle = " + m.style + "\nversion = 1.0\nlcdsize = 240x320\n" +
           (m.beta ? "isbeta = 1\n" : "");
}

std::string MovieBytes() {
    std::string bytes(1500000, '\0');
    uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u; // does not compress, so the package stays large
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string PluginBytes(const std::string& model) { return "plug-in of " + model + std::string(3000, 'x'); }

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = pavoline::test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
    pavoline::test::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void MakeModelFolders(const std::string& dir, const std::vector<SampleModel>& models) {
    std::string ini = "; the test models\n";
    for (const SampleModel& m : models) {
        const std::string folder = dir + "/" + m.model + "/";
        MakeDirectories(folder);
        WriteText(folder + m.model + ".so", PluginBytes(m.model));
        for (const char* picture : {"_1", "_2", "_3", "_S"}) WriteText(folder + m.model + picture + ".png", m.model + picture);
        ini += IniSection(m);
    }
    MakeDirectories(dir + "/N70/skins");
    WriteText(dir + "/N70/skins/blue.txt", "blue");
    WriteText(dir + "/N70/skins/movie.bin", MovieBytes());
    WriteText(dir + "/models.ini", ini);
}

void MakeSuiteDirectory(const std::string& dir, const std::string& version) {
    MakeDirectories(dir + "/Novarel");
    WriteText(dir + "/Pavoline", "#!/bin/sh\necho " + version + "\n");
    chmod((dir + "/Pavoline").c_str(), 0755);
    WriteText(dir + "/Novarel/Novarel", "updater");
    chmod((dir + "/Novarel/Novarel").c_str(), 0755);
    WriteText(dir + "/version.txt", "Pavoline " + version + "\n");
    WriteText(dir + "/InstalledModel.xml", "<INSTALLEDMODEL/>");
}

pavoline::test::ProcessResult ExtractWith7Zip(const std::string& package, const std::string& dir) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string program = dirs.substr(start, end - start) + "/7zz";
        if (access(program.c_str(), X_OK) == 0) return pavoline::test::RunProgram(program, {"x", package, "-y", "-o" + dir});
        start = end + 1;
    }
    throw std::runtime_error("7zz (Debian's 7zip) is not on the PATH");
}

bool BuildTestSite(const pavoline::test::TempDir& dir, std::string& error) {
    MakeModelFolders(dir.file("models"), SampleModels());
    MakeSuiteDirectory(dir.file("suite"), "1.0.0.10");
    std::ostringstream report;
    return BuildSite({dir.file("models"), dir.file("suite"), "1.0.0.10", "first\nsecond", dir.file("site"), "", {}}, report,
                     error);
}

} // namespace pavoline::site::test
