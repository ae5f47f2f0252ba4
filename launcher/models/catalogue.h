#pragma once
// The two model sets the main frame owns for the process lifetime: the installed list (from
// "InstalledModel.xml") and the offered list (from the last catalogue fetched), kept consistent
// with the installed file.

#include "model_xml_file.h"

#include <memory>
#include <optional>
#include <string>

namespace pavoline {

constexpr const char* kInstalledModelFile = "InstalledModel.xml";
// The file made at first start: 135 bytes of text, then five zero bytes.
extern const char kDefaultInstalledModelText[];
constexpr size_t kDefaultInstalledModelFileSize = 140;

class ModelCatalogue {
public:
    explicit ModelCatalogue(std::string programDir = ProgramDir());

    std::string installedFilePath() const { return programDir_ + kInstalledModelFile; }

    // Creates the installed file with its default content when it does not exist; false when it
    // cannot be created (the launcher then says "文件创建失败!" and ends).
    bool EnsureInstalledModelFile();
    // Loads the installed file and takes its models as the installed list.
    bool LoadInstalled();

    const InstalledList& installed() const { return installed_; }
    // Nothing until the first catalogue was loaded.
    OfferedList* offered() { return offered_ ? &*offered_ : nullptr; }
    PhoneImageSize phoneImageSize() { return installedFile_.ReadPhoneImageSize(); }
    CModelXmlFile& installedFile() { return installedFile_; }

    // An empty path returns the current offered list. Otherwise loads the catalogue file and
    // replaces the offered list with its models; nothing (and no change) when it cannot be loaded.
    OfferedList* LoadOfferedCatalogue(const std::string& path);
    // Flags every offered model whose name is installed.
    void MergeInstalledFlags();

    // Records the models of the list that were installed (flag set) in the installed file.
    void RecordInstalledModels(const OfferedList& models);
    // Removes the models from the installed file.
    void RecordUninstalledModels(const InstalledList& models);

private:
    void flagOffered(const std::string& model, int installed);
    bool isInstalled(const std::string& model, const InstalledList& alsoAdded) const;

    std::string programDir_;
    CModelXmlFile installedFile_;
    std::unique_ptr<CModelXmlFile> catalogueFile_;
    InstalledList installed_;
    std::optional<OfferedList> offered_;
};

} // namespace pavoline
