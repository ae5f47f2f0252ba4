#pragma once
// Model folders and suite directories as a publisher has them, for building test sites.

#include "process.h"
#include "site_builder.h"
#include "temp_dir.h"

#include <string>
#include <vector>

namespace pavoline::site::test {

struct SampleModel {
    std::string model, family, style;
    bool beta = false;
};

// N70 (with a subfolder), E71, and X6 marked beta.
const std::vector<SampleModel>& SampleModels();

std::string IniSection(const SampleModel& m);
// DIR/<M>/ with its plug-in and pictures, N70 also with skins/; plus DIR/models.ini.
void MakeModelFolders(const std::string& dir, const std::vector<SampleModel>& models);
// Pavoline (a script printing the version), Novarel/Novarel, version.txt, and the user's own
// InstalledModel.xml, which an update must not carry.
void MakeSuiteDirectory(const std::string& dir, const std::string& version);

// N70/skins/movie.bin: 1.5 MB that do not compress.
std::string MovieBytes();
// The plug-in bytes of a model, as MakeModelFolders writes them.
std::string PluginBytes(const std::string& model);
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

// Extracts a package over the folder as the updater does, with Debian's 7-Zip (7zz) from the PATH.
pavoline::test::ProcessResult ExtractWith7Zip(const std::string& package, const std::string& dir);

// The sample models and a suite of 1.0.0.10 built into dir/site; false with the error otherwise.
bool BuildTestSite(const pavoline::test::TempDir& dir, std::string& error);

} // namespace pavoline::site::test
