#pragma once
// The phone-model records of the installed file and of the server catalogue. Model names are the
// key of every set and are compared without regard to letter case.

#include <string>
#include <vector>

namespace pavoline {

bool SameModelName(const std::string& a, const std::string& b);

class COfferedModel {
public:
    COfferedModel() = default;
    virtual ~COfferedModel() = default;
    // A copy carries every field but the size text, which belongs to the install of one record.
    COfferedModel(const COfferedModel& other) { assignFrom(other); }
    COfferedModel& operator=(const COfferedModel& other) {
        if (this != &other) assignFrom(other);
        return *this;
    }
    // A move is the same record in another place (a list closing a gap): it keeps its size text.
    COfferedModel(COfferedModel&& other) noexcept { moveFrom(other); }
    COfferedModel& operator=(COfferedModel&& other) noexcept {
        if (this != &other) moveFrom(other);
        return *this;
    }

    std::string model, family, version, style, lcdsize, softwareurl, checksum, imageurl;
    // What the signed catalogue binds the package to: its SHA-256 and its size in bytes, as written.
    std::string sha256, size;
    std::string sizeText; // "%.2fM", set once the downloaded package passed its checksum
    int installed = 0;

private:
    void moveFrom(COfferedModel& other) {
        assignFrom(other);
        sizeText = std::move(other.sizeText);
    }
    void assignFrom(const COfferedModel& other) {
        model = other.model;
        family = other.family;
        version = other.version;
        style = other.style;
        lcdsize = other.lcdsize;
        softwareurl = other.softwareurl;
        checksum = other.checksum;
        imageurl = other.imageurl;
        sha256 = other.sha256;
        size = other.size;
        installed = other.installed;
        sizeText.clear();
    }
};

class CInstalledModel {
public:
    virtual ~CInstalledModel() = default;
    std::string model, lcdsize, space;
    std::string version; // written to the file, never read back
};

struct PhoneImageSize {
    int height = 0;
    int width = 0;
    int image_gap = 0;
    std::string img_ext;
};

using OfferedList = std::vector<COfferedModel>;
using InstalledList = std::vector<CInstalledModel>;

} // namespace pavoline
