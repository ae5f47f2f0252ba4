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

// Visits every element of that name below root, in document order, until fn returns false. A
// loop, not recursion: a catalogue from the server may nest elements deeper than any stack.
void ForEachElement(const pugi::xml_node& root, const char* name, const std::function<bool(pugi::xml_node)>& fn) {
    pugi::xml_node node = root.first_child();
    while (node) {
        if (node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0 && !fn(node)) return;
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != root && !node.next_sibling()) node = node.parent();
        if (node == root) return;
        node = node.next_sibling();
    }
}

pugi::xml_node FirstElement(const pugi::xml_document& doc, const char* name) {
    pugi::xml_node found;
    ForEachElement(doc, name, [&](pugi::xml_node n) {
        found = n;
        return false;
    });
    return found;
}

// Removes a node with everything below it, deepest first: pugixml frees a subtree recursively.
void RemoveSubtree(pugi::xml_node top) {
    pugi::xml_node node = top;
    for (;;) {
        while (node.first_child()) node = node.first_child();
        if (node == top) break;
        pugi::xml_node parent = node.parent();
        parent.remove_child(node);
        node = parent;
    }
    top.parent().remove_child(top);
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

// Hands pugixml's output straight to a file, remembering a failed write.
class FileWriter : public pugi::xml_writer {
public:
    explicit FileWriter(int fd) : fd_(fd) {}
    void write(const void* data, size_t size) override { ok_ = ok_ && WriteAll(fd_, data, size); }
    bool ok() const { return ok_; }

private:
    int fd_;
    bool ok_ = true;
};

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
    // A file that may not be written is still read; its saves fail then.
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string text;
    if (fd < 0 || !ReadUpTo(fd, kMaxXmlFileBytes, text)) {
        ShowUserMessage({std::strerror(errno), kCaption, MessageIcon::Information});
        if (fd >= 0) close(fd);
        return kXmlLoadFailed;
    }
    close(fd);
    return LoadText(std::move(text));
}

int CModelXmlFile::LoadText(std::string text) {
    if (doc_) return kXmlOk;
    if (text.size() > kMaxXmlFileBytes) text.resize(kMaxXmlFileBytes);
    text.resize(std::strlen(text.c_str())); // the text ends at its first zero byte
    auto doc = std::make_unique<pugi::xml_document>();
    // Comments, processing instructions and the DOCTYPE are kept, so a save writes back the
    // document as it was read, apart from the edits. Nothing in a DOCTYPE is ever fetched or expanded.
    const pugi::xml_parse_result parsed = doc->load_buffer(
        text.data(), text.size(),
        pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype,
        pugi::encoding_utf8);
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
        return true;
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
        if (std::strcmp(n.attribute("isbeta").value(), "0") != 0 && !betaVisible) return true;
        COfferedModel m;
        m.model = n.attribute("model").value();
        m.family = n.attribute("family").value();
        m.version = n.attribute("version").value();
        m.style = n.attribute("style").value();
        m.lcdsize = n.attribute("lcdsize").value();
        m.softwareurl = n.attribute("softwareurl").value();
        m.checksum = n.attribute("checksum").value();
        m.imageurl = n.attribute("imageurl").value();
        m.sha256 = n.attribute("sha256").value();
        m.size = n.attribute("size").value();
        list.push_back(m);
        return true;
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
            if (SameModelName(n.attribute("model").value(), name)) RemoveSubtree(n);
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
    const int error = ReplaceFile(path_, [this](int fd) {
        FileWriter writer(fd);
        doc_->save(writer, "\t", pugi::format_default, pugi::encoding_utf8);
        return writer.ok();
    });
    if (error == 0) return kXmlOk;
    ShowUserMessage({path_ + ": " + std::strerror(error), kCaption, MessageIcon::Information});
    return kXmlSaveFailed;
}

} // namespace pavoline
