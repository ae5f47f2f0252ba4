#include "model_xml_file.h"

#include "notifier.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <pugixml.hpp>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline {
namespace {

constexpr const char* kCaption = "Pavoline";

// Every element of that name below node, in document order.
void ForEachElement(const pugi::xml_node& node, const char* name, const std::function<void(pugi::xml_node)>& fn) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        if (std::strcmp(child.name(), name) == 0) fn(child);
        ForEachElement(child, name, fn);
    }
}

pugi::xml_node FirstElement(const pugi::xml_document& doc, const char* name) {
    pugi::xml_node found;
    ForEachElement(doc, name, [&](pugi::xml_node n) {
        if (!found) found = n;
    });
    return found;
}

// Leading decimal digits, as the C library's atoi reads them; anything else is 0.
int LeadingInteger(const char* text) {
    const long long value = std::strtoll(text, nullptr, 10);
    return static_cast<int>(value);
}

bool ReadUpTo(int fd, size_t limit, std::string& text) {
    text.resize(limit);
    size_t got = 0;
    while (got < limit) {
        const ssize_t n = read(fd, text.data() + got, limit - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    return true;
}

// Writes the text to a new file beside path and renames it over path, so the old file stays whole
// until the new one is.
bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    struct stat old {};
    fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

} // namespace

int LineOfOffset(const char* text, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset && text[i]; ++i)
        if (text[i] == '\n') ++line;
    return line;
}

CModelXmlFile::CModelXmlFile() = default;
CModelXmlFile::~CModelXmlFile() = default;

int CModelXmlFile::Load(const std::string& path) {
    path_ = path;
    if (doc_) return kXmlOk;
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        ShowUserMessage({std::strerror(errno), kCaption, MessageIcon::Information});
        return kXmlLoadFailed;
    }
    std::string text;
    const bool read = ReadUpTo(fd, kMaxXmlFileBytes, text);
    close(fd);
    if (!read) return kXmlLoadFailed;
    return LoadText(std::move(text));
}

int CModelXmlFile::LoadText(std::string text) {
    if (doc_) return kXmlOk;
    if (text.size() > kMaxXmlFileBytes) text.resize(kMaxXmlFileBytes);
    text.resize(std::strlen(text.c_str())); // the text ends at its first zero byte
    auto doc = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result parsed =
        doc->load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_declaration, pugi::encoding_utf8);
    if (!parsed) {
        std::ostringstream message;
        message << "Syntax Error in XML Document\nLine No " << LineOfOffset(text.c_str(), static_cast<size_t>(parsed.offset))
                << ":" << parsed.description();
        ShowUserMessage({message.str(), kCaption, MessageIcon::Error});
        return kXmlLoadFailed;
    }
    doc_ = std::move(doc);
    return kXmlOk;
}

InstalledList CModelXmlFile::ReadInstalledModels() const {
    InstalledList list;
    if (!doc_) return list;
    ForEachElement(*doc_, "PHONEMODEL", [&](pugi::xml_node n) {
        CInstalledModel m;
        m.model = n.attribute("model").value();
        m.lcdsize = n.attribute("lcdsize").value();
        m.space = n.attribute("space").value();
        list.push_back(m);
    });
    return list;
}

PhoneImageSize CModelXmlFile::ReadPhoneImageSize() {
    if (!doc_) return imageSize_;
    const pugi::xml_node n = FirstElement(*doc_, "PHONEIMAGESIZE");
    if (!n) return imageSize_;
    imageSize_.height = LeadingInteger(n.attribute("height").value());
    imageSize_.width = LeadingInteger(n.attribute("width").value());
    imageSize_.image_gap = LeadingInteger(n.attribute("image_gap").value());
    imageSize_.img_ext = n.attribute("img_ext").value();
    return imageSize_;
}

OfferedList CModelXmlFile::ReadOfferedModels(const std::string& programDir) const {
    OfferedList list;
    if (!doc_) return list;
    const bool betaVisible = PathExists(programDir + kBetaMarkerFile);
    ForEachElement(*doc_, "Phone", [&](pugi::xml_node n) {
        if (std::strcmp(n.attribute("isbeta").value(), "0") != 0 && !betaVisible) return;
        COfferedModel m;
        m.model = n.attribute("model").value();
        m.family = n.attribute("family").value();
        m.version = n.attribute("version").value();
        m.style = n.attribute("style").value();
        m.lcdsize = n.attribute("lcdsize").value();
        m.softwareurl = n.attribute("softwareurl").value();
        m.checksum = n.attribute("checksum").value();
        m.imageurl = n.attribute("imageurl").value();
        list.push_back(m);
    });
    return list;
}

int CModelXmlFile::AddInstalledModels(const InstalledList& models) {
    if (!doc_) return kXmlEditFailed;
    pugi::xml_node root = FirstElement(*doc_, "INSTALLEDMODEL");
    if (!root) return kXmlEditFailed;
    pugi::xml_document before;
    before.reset(*doc_);
    for (const CInstalledModel& m : models) {
        pugi::xml_node n = root.append_child("PHONEMODEL");
        const bool set = n && n.append_attribute("model").set_value(m.model.c_str()) &&
                         n.append_attribute("lcdsize").set_value(m.lcdsize.c_str()) &&
                         n.append_attribute("version").set_value(m.version.c_str()) &&
                         n.append_attribute("space").set_value(m.space.c_str());
        if (!set) {
            doc_->reset(before);
            return kXmlEditFailed;
        }
    }
    return SaveOrRestore(before);
}

int CModelXmlFile::RemoveInstalledModels(const std::vector<std::string>& names) {
    if (!doc_) return kXmlEditFailed;
    pugi::xml_node root = FirstElement(*doc_, "INSTALLEDMODEL");
    if (!root) return kXmlEditFailed;
    pugi::xml_document before;
    before.reset(*doc_);
    for (const std::string& name : names) {
        for (pugi::xml_node n = root.child("PHONEMODEL"); n;) {
            const pugi::xml_node next = n.next_sibling("PHONEMODEL");
            if (SameModelName(n.attribute("model").value(), name)) root.remove_child(n);
            n = next;
        }
    }
    return SaveOrRestore(before);
}

int CModelXmlFile::SaveOrRestore(const pugi::xml_document& before) {
    const int saved = Save();
    if (saved != kXmlOk) doc_->reset(before);
    return saved;
}

int CModelXmlFile::Save() {
    if (!doc_) return kXmlSaveFailed;
    std::ostringstream text;
    doc_->save(text, "\t", pugi::format_default, pugi::encoding_utf8);
    return ReplaceFile(path_, text.str()) ? kXmlOk : kXmlSaveFailed;
}

} // namespace pavoline
