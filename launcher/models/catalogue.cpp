#include "catalogue.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace pavoline {

const char kDefaultInstalledModelText[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<INSTALLEDMODEL>\r\n\t<PHONEIMAGESIZE width=\"219\" height=\"312\" "
    "image_gap=\"96\"/>\r\n</INSTALLEDMODEL>\0\0\0\0";

bool SameModelName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

ModelCatalogue::ModelCatalogue(std::string programDir) : programDir_(std::move(programDir)) {
    if (!programDir_.empty() && programDir_.back() != '/') programDir_ += '/';
}

bool ModelCatalogue::EnsureInstalledModelFile() {
    const std::string path = installedFilePath();
    if (PathExists(path)) return true;
    // Written beside and renamed into place, so a half-written file never stands under the name.
    const std::string temp = path + ".new";
    FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) return false;
    // The text, its terminating zero and four more zero bytes.
    const bool written = std::fwrite(kDefaultInstalledModelText, 1, kDefaultInstalledModelFileSize, file) ==
                         kDefaultInstalledModelFileSize;
    const bool closed = std::fclose(file) == 0;
    if (written && closed && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    std::remove(temp.c_str());
    return false;
}

bool ModelCatalogue::LoadInstalled() {
    const bool loaded = installedFile_.Load(installedFilePath()) == kXmlOk;
    installed_ = installedFile_.ReadInstalledModels();
    return loaded;
}

OfferedList* ModelCatalogue::LoadOfferedCatalogue(const std::string& path) {
    if (path.empty()) return offered();
    // A fresh file object for every fetch: one that already holds a document would keep it.
    auto fetched = std::make_unique<CModelXmlFile>();
    if (fetched->Load(path) != kXmlOk) return nullptr;
    catalogueFile_ = std::move(fetched);
    offered_ = catalogueFile_->ReadOfferedModels(programDir_);
    // A model's name also names its thumbnail and its directory: one that is not a plain file name
    // would address paths outside the cache and outside "Resource/".
    offered_->erase(std::remove_if(offered_->begin(), offered_->end(),
                                   [](const COfferedModel& m) { return !IsPlainName(m.model); }),
                    offered_->end());
    return &*offered_;
}

void ModelCatalogue::MergeInstalledFlags() {
    if (!offered_) return;
    for (COfferedModel& offered : *offered_)
        for (const CInstalledModel& installed : installed_)
            if (SameModelName(offered.model, installed.model)) {
                offered.installed = 1;
                break;
            }
}

// A catalogue may list one model more than once: every entry of the name follows the install.
void ModelCatalogue::flagOffered(const std::string& model, int installed) {
    if (!offered_) return;
    for (COfferedModel& offered : *offered_)
        if (SameModelName(offered.model, model)) offered.installed = installed;
}

bool ModelCatalogue::isInstalled(const std::string& model, const InstalledList& alsoAdded) const {
    for (const InstalledList* list : {&installed_, &alsoAdded})
        for (const CInstalledModel& m : *list)
            if (SameModelName(m.model, model)) return true;
    return false;
}

void ModelCatalogue::RecordInstalledModels(const OfferedList& models) {
    if (!offered_) return;
    InstalledList added;
    for (const COfferedModel& m : models) {
        if (!m.installed) continue;
        flagOffered(m.model, 1);
        if (isInstalled(m.model, added)) continue; // one entry per model in the file
        CInstalledModel record;
        record.model = m.model;
        record.lcdsize = m.lcdsize;
        record.version = m.version;
        record.space = m.sizeText;
        added.push_back(record);
    }
    if (!added.empty() && installedFile_.AddInstalledModels(added) == kXmlOk)
        installed_ = installedFile_.ReadInstalledModels();
}

void ModelCatalogue::RecordUninstalledModels(const InstalledList& models) {
    std::vector<std::string> names;
    for (const CInstalledModel& m : models) {
        flagOffered(m.model, 0);
        names.push_back(m.model);
    }
    if (!names.empty() && installedFile_.RemoveInstalledModels(names) == kXmlOk)
        installed_ = installedFile_.ReadInstalledModels();
}

} // namespace pavoline
