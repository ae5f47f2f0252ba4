#pragma once
// One XML file held in memory: "InstalledModel.xml" or a downloaded catalogue. The document is the
// master copy; edits are made to it and the whole document is then saved back to the path.
//
// InstalledModel.xml:  <INSTALLEDMODEL>
//                        <PHONEIMAGESIZE width=".." height=".." image_gap=".." [img_ext=".."]/>
//                        <PHONEMODEL model=".." lcdsize=".." version=".." space=".."/> ...
// Catalogue:           any elements; every <Phone model family version style lcdsize softwareurl
//                      checksum imageurl isbeta/> anywhere, in document order, is one model.

#include "model_records.h"
#include "platform.h"

#include <memory>
#include <string>
#include <vector>

namespace pugi {
class xml_document;
}

namespace pavoline {

constexpr size_t kMaxXmlFileBytes = 20480000;
constexpr const char* kBetaMarkerFile = "test.flag";

enum XmlFileResult { kXmlOk = 0, kXmlLoadFailed = 1, kXmlEditFailed = 2, kXmlSaveFailed = 3 };

class CModelXmlFile {
public:
    CModelXmlFile();
    virtual ~CModelXmlFile();
    CModelXmlFile(const CModelXmlFile&) = delete;
    CModelXmlFile& operator=(const CModelXmlFile&) = delete;

    // 0 success, 1 failure. A document already held is kept (only the path is updated). Problems
    // the user should see (file cannot be opened, syntax error) are shown as messages.
    int Load(const std::string& path);
    // The parsing half of Load, on text already read.
    int LoadText(std::string text);
    bool HasDocument() const { return doc_ != nullptr; }
    const std::string& path() const { return path_; }

    InstalledList ReadInstalledModels() const;
    PhoneImageSize ReadPhoneImageSize();
    // Beta entries (isbeta other than "0") only when the marker file lies in programDir.
    OfferedList ReadOfferedModels(const std::string& programDir = ProgramDir()) const;

    // 0 success. On any failure, the save's included, the document is as it was before the call,
    // which is also what the file on disk holds.
    int AddInstalledModels(const InstalledList& models);
    int RemoveInstalledModels(const std::vector<std::string>& names);
    // 0, or 3 when the file cannot be written (also when it is read-only), after telling the user
    // why, naming the file. Writes a new file and renames it over the old.
    int Save();

private:
    int SaveOrRestore(const pugi::xml_document& before);

    std::unique_ptr<pugi::xml_document> doc_;
    std::string path_;
    PhoneImageSize imageSize_;
};

// Line of a byte offset in a text, counting from 1.
int LineOfOffset(const char* text, size_t offset);

} // namespace pavoline
