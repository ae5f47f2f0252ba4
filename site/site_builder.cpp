#include "site_builder.h"

#include "catalogue.h"
#include "md5.h"
#include "model_ini.h"
#include "platform.h"
#include "site_layout.h"
#include "site_signing.h"
#include "zip_layer.h"
#include "zip_writer.h"

#include <INIReader.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace pavoline::site {
namespace {

constexpr const char* kUpdateSection = "UPDATE_INFO";
constexpr uint32_t kUnixDirectoryType = 0040000, kUnixFileType = 0100000, kUnixPermissions = 07777;

// Thrown inside the build for a fault that ends it; the text names the file.
struct Refusal {
    std::string text;
};

[[noreturn]] void Refuse(const std::string& path, const std::string& fault) { throw Refusal{path + ": " + fault}; }

std::string Trimmed(const std::string& text, const char* blanks = " \t\r\n") {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Refuse(path, "cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) Refuse(path, "cannot be written");
}

// What may stand in a URL path as it is; everything else is percent-encoded.
bool IsUnreserved(unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~'; }

struct DirectoryEntry {
    std::string name;
    struct stat status; // of what a symbolic link points to
    bool link = false;
};

std::vector<DirectoryEntry> ListDirectory(const std::string& dir) {
    std::vector<DirectoryEntry> entries;
    std::error_code failed;
    std::filesystem::directory_iterator it(dir, failed);
    if (failed) Refuse(dir, "cannot be listed");
    for (; it != std::filesystem::directory_iterator(); it.increment(failed)) {
        if (failed) Refuse(dir, "cannot be listed");
        DirectoryEntry e;
        e.name = it->path().filename().string();
        const std::string path = dir + "/" + e.name;
        struct stat own {};
        if (lstat(path.c_str(), &own) != 0 || stat(path.c_str(), &e.status) != 0) Refuse(path, "cannot be read");
        e.link = S_ISLNK(own.st_mode);
        entries.push_back(e);
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return entries;
}

// How the entries of one kind of package carry their attributes.
struct PackageStyle {
    unsigned host;
    bool (*skip)(const std::string& relativePath);
};

bool SkipNothing(const std::string&) { return false; }

// Model packages: DOS attributes, a directory exactly 0x10, as the launcher's reader wants them.
const PackageStyle kModelPackage{kZipHostDos, SkipNothing};
// Update packages: Unix modes, so that 7-Zip keeps the programs executable.
const PackageStyle kUpdatePackage{kZipHostUnix, IsUserFileOfSuite};

uint32_t ExternalAttributes(const PackageStyle& style, const struct stat& status) {
    const bool directory = S_ISDIR(status.st_mode);
    if (style.host == kZipHostDos) return directory ? kAttrDirectory : kAttrArchive;
    const uint32_t mode = (directory ? kUnixDirectoryType : kUnixFileType) | (status.st_mode & kUnixPermissions);
    return (mode << 16) | (directory ? kAttrDirectory : 0);
}

// Adds the folder's files, each subfolder's directory entry before its files.
void PackFolder(ZipWriter& zip, const PackageStyle& style, const std::string& root, const std::string& relative,
                const std::string& zipPath) {
    const std::string dir = relative.empty() ? root : root + "/" + relative;
    for (const DirectoryEntry& e : ListDirectory(dir)) {
        const std::string name = relative.empty() ? e.name : relative + "/" + e.name;
        const std::string path = root + "/" + name;
        if (style.skip(name)) continue;
        ZipEntryHeader header{name, style.host, ExternalAttributes(style, e.status), e.status.st_mtime,
                              static_cast<uint64_t>(e.status.st_size)};
        if (S_ISDIR(e.status.st_mode)) {
            if (e.link) Refuse(path, "is a symbolic link to a folder, which a package cannot hold");
            header.name += '/';
            header.size = 0;
            if (!zip.addBytes(header, "")) Refuse(zipPath, "cannot be written");
            PackFolder(zip, style, root, name, zipPath);
        } else if (S_ISREG(e.status.st_mode)) {
            if (!zip.addFile(header, path)) Refuse(zipPath, "cannot be written (or " + path + " read)");
        } else {
            Refuse(path, "is neither a file nor a folder");
        }
    }
}

struct Package {
    std::string md5, sha256;
    uint64_t size = 0;
};

Package WritePackage(const PackageStyle& style, const std::string& folder, const std::string& zipPath) {
    std::unique_ptr<ZipWriter> zip = ZipWriter::Create(zipPath);
    if (!zip) Refuse(zipPath, "cannot be created");
    PackFolder(*zip, style, folder, "", zipPath);
    if (!zip->close()) Refuse(zipPath, "cannot be written");
    Package package{FileMd5Text(zipPath), FileSha256Text(zipPath).value_or(""), FileSize(zipPath).value_or(0)};
    if (package.md5.empty() || package.sha256.empty()) Refuse(zipPath, "cannot be read back for its digests");
    return package;
}

bool SameOffer(const COfferedModel& a, const COfferedModel& b) {
    return a.model == b.model && a.family == b.family && a.version == b.version && a.style == b.style &&
           a.lcdsize == b.lcdsize && a.softwareurl == b.softwareurl && a.checksum == b.checksum &&
           a.imageurl == b.imageurl && a.sha256 == b.sha256 && a.size == b.size;
}

class SiteBuild {
public:
    SiteBuild(const BuildOptions& options, std::ostream& report)
        : options_(options), report_(report), models_(WithoutTrailingSlashes(options.modelsDir)),
          out_(WithoutTrailingSlashes(options.outDir)) {}
    ~SiteBuild() {
        if (!staging_.empty()) DeleteTree(staging_);
    }

    void run() {
        checkUpdateOptions();
        checkOut();
        readModels();
        makeStaging();
        packModels();
        writeCatalogue();
        checkCatalogueReadsBack();
        SiteRecord record;
        if (!options_.updateDir.empty()) record = packUpdate();
        record.host = options_.host;
        WriteWholeFile(staging_ + "/" + kSiteRecordFile, SiteRecordText(record));
        sign();
        putInPlace();
        report_ << "built " << out_ << ": " << offers_.size() << " models"
                << (record.latestVersion ? ", update to " + VersionText(*record.latestVersion) : std::string())
                << (options_.keyFiles.empty() ? ", unsigned" : ", signed for http://" + options_.host) << "\n";
    }

private:
    // Where the catalogue's and the info file's addresses point: the public host when it is known,
    // else the placeholder that serve fills in per request.
    std::string addressBase() const {
        return options_.host.empty() ? std::string(kHostPlaceholder) : "http://" + options_.host;
    }

    void checkUpdateOptions() {
        if (!options_.host.empty() && !IsHostAndPort(options_.host))
            throw Refusal{"--host " + options_.host + ": not a host name or address with an optional port"};
        checkKeys();
        if (options_.updateDir.empty()) {
            if (!options_.version.empty() || !options_.features.empty())
                throw Refusal{"--version and --features come with --update"};
            return;
        }
        version_ = ParseSuiteVersion(options_.version);
        if (!version_) throw Refusal{"--version \"" + options_.version + "\": not four numbers such as 1.0.0.2"};
        const std::string launcher = WithoutTrailingSlashes(options_.updateDir) + "/Pavoline";
        struct stat status {};
        if (stat(launcher.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            Refuse(options_.updateDir, "not a suite directory (it has no Pavoline)");
    }

    // A key that lies among what is packed or published would be handed to everybody.
    void checkKeys() {
        if (options_.keyFiles.empty()) return;
        if (options_.host.empty()) throw Refusal{"--key: a signed site names its host: add --host HOST[:PORT]"};
        for (const std::string& key : options_.keyFiles) {
            for (const std::string& dir : {options_.modelsDir, options_.updateDir, options_.outDir})
                if (!dir.empty() && IsInside(key, dir)) Refuse(key, "the secret key lies inside " + dir + ", which is published");
            std::string fault;
            if (!ReadSecretKeyFile(key, fault)) throw Refusal{fault};
        }
    }

    void sign() {
        if (options_.keyFiles.empty()) return;
        std::string fault;
        if (!SignSite({staging_, options_.keyFiles, ""}, signReport_, fault)) throw Refusal{fault};
    }

    // OUT is replaced whole, so it must be a site already (or nothing, or an empty folder).
    void checkOut() {
        if (out_.empty()) throw Refusal{"--out names no folder"};
        if (!PathExists(out_)) return;
        if (!IsDirectory(out_)) Refuse(out_, "exists and is not a folder");
        if (std::filesystem::is_empty(out_)) return;
        const std::string record = out_ + "/" + kSiteRecordFile;
        if (!PathExists(record) || !ReadSiteRecord(ReadWholeFile(record)))
            Refuse(out_, "exists and is not a site, so it is not replaced");
    }

    void readModels() {
        if (!IsDirectory(models_)) Refuse(models_, "is not a folder");
        std::vector<std::string> iniFiles, folders;
        for (const DirectoryEntry& e : ListDirectory(models_)) {
            if (S_ISDIR(e.status.st_mode)) folders.push_back(e.name);
            else if (S_ISREG(e.status.st_mode) && e.name.size() > 4 &&
                     strcasecmp(e.name.c_str() + e.name.size() - 4, ".ini") == 0)
                iniFiles.push_back(e.name);
        }
        if (iniFiles.empty()) Refuse(models_, "holds no .ini file describing the models");
        if (iniFiles.size() > 1) Refuse(models_, "holds more than one .ini file (" + iniFiles[0] + ", " + iniFiles[1] + ")");
        ini_ = models_ + "/" + iniFiles[0];
        std::string fault;
        if (!ReadModelDescriptions(ReadWholeFile(ini_), described_, fault)) Refuse(ini_, fault);

        // By name sets, so that thousands of models cost no more than looking each one up.
        std::unordered_map<std::string, std::string> folderByFoldedName;
        for (const std::string& folder : folders) {
            const std::string path = models_ + "/" + folder;
            if (!IsPlainModelName(folder)) Refuse(path, "is not a plain model name");
            const auto [other, isNew] = folderByFoldedName.emplace(FoldedModelName(folder), folder);
            if (!isNew) Refuse(path, "differs from " + other->second + " only in letter case, and the launcher ignores case");
        }
        std::unordered_set<std::string> ownFolders;
        for (const ModelDescription& d : described_)
            if (d.package.empty()) ownFolders.insert(d.model);
        for (const std::string& folder : folders)
            if (!ownFolders.count(folder)) {
                const bool shares = std::any_of(described_.begin(), described_.end(),
                                                [&](const ModelDescription& d) { return d.model == folder; });
                Refuse(models_ + "/" + folder, shares ? "belongs to a model that names another's package"
                                                      : "is not described in " + ini_);
            }
        const std::unordered_set<std::string> present(folders.begin(), folders.end());
        for (const std::string& model : ownFolders) {
            const std::string folder = models_ + "/" + model;
            if (!present.count(model)) Refuse(ini_, "[" + model + "] has no folder " + folder);
            for (const std::string& file : {model + ".so", model + "_S.png"}) {
                struct stat status {};
                if (stat((folder + "/" + file).c_str(), &status) != 0 || !S_ISREG(status.st_mode))
                    Refuse(folder + "/" + file, "missing (every model needs its plug-in and its thumbnail)");
            }
        }
    }

    void makeStaging() {
        const size_t slash = out_.find_last_of('/');
        const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : out_.substr(0, slash));
        const std::string name = slash == std::string::npos ? out_ : out_.substr(slash + 1);
        if (!MakeDirectories(parent)) Refuse(parent, "cannot be created");
        std::string pattern = parent + "/." + name + ".staging-XXXXXX";
        if (!mkdtemp(pattern.data())) Refuse(parent, "no staging folder can be made there");
        staging_ = pattern;
        // mkdtemp makes it private; a web server running as its own user must read the site.
        const mode_t mask = umask(0);
        umask(mask);
        if (chmod(staging_.c_str(), 0777 & ~mask) != 0) Refuse(staging_, "cannot be made readable");
        for (const char* dir : {kModelsDir, kThumbnailsDir})
            if (!MakeDirectories(staging_ + "/" + dir)) Refuse(staging_ + "/" + dir, "cannot be created");
    }

    // Each folder is packed once; a model that names another's package is offered with its files.
    void packModels() {
        std::unordered_map<std::string, COfferedModel> packed; // by the model whose folder it is
        size_t sharing = 0;
        for (const ModelDescription& d : described_) {
            if (d.package.empty()) packed.emplace(d.model, packFolder(d));
            else ++sharing;
        }
        for (const ModelDescription& d : described_) {
            COfferedModel offer = packed.at(d.package.empty() ? d.model : d.package);
            offer.model = d.model;
            offer.family = d.family;
            offer.version = d.version;
            offer.style = d.style;
            offer.lcdsize = d.lcdsize;
            offers_.push_back(offer);
        }
        if (sharing > 0) report_ << sharing << " models offered with another's package\n";
    }

    // The package and the thumbnail of a model's own folder, as the catalogue names them.
    COfferedModel packFolder(const ModelDescription& d) {
        const std::string zipName = std::string(kModelsDir) + "/" + d.model + ".zip";
        const std::string thumbnail = std::string(kThumbnailsDir) + "/" + d.model + "_S.png";
        const Package package = WritePackage(kModelPackage, models_ + "/" + d.model, staging_ + "/" + zipName);
        std::filesystem::copy_file(models_ + "/" + d.model + "/" + d.model + "_S.png", staging_ + "/" + thumbnail);
        COfferedModel offer;
        offer.softwareurl = addressBase() + "/" + kModelsDir + "/" + PercentEncoded(d.model, IsUnreserved) + ".zip";
        offer.checksum = package.md5;
        offer.sha256 = package.sha256;
        offer.size = std::to_string(package.size);
        offer.imageurl = addressBase() + "/" + kThumbnailsDir + "/" + PercentEncoded(d.model + "_S.png", IsUnreserved);
        report_ << d.model << (d.beta ? " (beta)" : "") << "  " << zipName << "  " << package.size << " bytes  MD5 "
                << package.md5 << "\n";
        return offer;
    }

    void writeCatalogue() {
        pugi::xml_document doc;
        pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
        declaration.append_attribute("version") = "1.0";
        declaration.append_attribute("encoding") = "UTF-8";
        pugi::xml_node list = doc.append_child("PhoneList");
        for (size_t i = 0; i < offers_.size(); ++i) {
            const COfferedModel& o = offers_[i];
            pugi::xml_node phone = list.append_child("Phone");
            for (const auto& [name, value] :
                 {std::pair<const char*, const std::string&>{"model", o.model}, {"family", o.family},
                  {"version", o.version}, {"style", o.style}, {"lcdsize", o.lcdsize}, {"softwareurl", o.softwareurl},
                  {"checksum", o.checksum}, {"imageurl", o.imageurl}})
                phone.append_attribute(name) = value.c_str();
            phone.append_attribute("isbeta") = described_[i].beta ? "1" : "0";
            phone.append_attribute("size") = o.size.c_str();
            phone.append_attribute("sha256") = o.sha256.c_str();
        }
        WriteWholeFile(staging_ + "/" + kCatalogueFile, CatalogueDocumentText(doc));
    }

    // The launcher's own reading must give back every model, the beta ones only with the marker.
    void checkCatalogueReadsBack() {
        const std::string catalogue = staging_ + "/" + kCatalogueFile;
        const std::string programDir = staging_ + "/.readback/";
        if (!MakeDirectories(programDir)) Refuse(programDir, "cannot be created");
        for (bool marker : {false, true}) {
            if (marker) WriteWholeFile(programDir + kBetaMarkerFile, "");
            OfferedList expected;
            for (size_t i = 0; i < offers_.size(); ++i)
                if (marker || !described_[i].beta) expected.push_back(offers_[i]);
            ModelCatalogue launcher(programDir);
            const OfferedList* read = launcher.LoadOfferedCatalogue(catalogue);
            if (!read) Refuse(catalogue, "the launcher cannot read it");
            if (read->size() != expected.size() || !std::equal(read->begin(), read->end(), expected.begin(), SameOffer))
                Refuse(catalogue, "the launcher reads back other models than were written");
        }
        DeleteTree(programDir);
    }

    SiteRecord packUpdate() {
        const std::string version = VersionText(*version_);
        const std::string zipName = std::string(kUpdateDir) + "/Pavoline-" + version + ".zip";
        if (!MakeDirectories(staging_ + "/" + kUpdateDir)) Refuse(staging_ + "/" + kUpdateDir, "cannot be created");
        const Package package =
            WritePackage(kUpdatePackage, WithoutTrailingSlashes(options_.updateDir), staging_ + "/" + zipName);
        const std::string features = FeaturesValue(options_.features);
        const std::string toolLink = addressBase() + "/" + zipName;
        const std::string info = staging_ + "/" + kUpdateInfoFile;
        WriteWholeFile(info, std::string("[") + kUpdateSection + "]\nNewVersionFeatures=" + features +
                                 "\nToolLink=" + toolLink + "\nMd5=" + package.md5 + "\nVersion=" + version +
                                 "\nSha256=" + package.sha256 + "\nSize=" + std::to_string(package.size) + "\n");
        // Read as the updater reads it: what does not survive (a ';' comment, an over-long line) is refused.
        const INIReader reader(info);
        if (reader.ParseError() != 0 || reader.Get(kUpdateSection, "NewVersionFeatures", "") != features ||
            reader.Get(kUpdateSection, "ToolLink", "") != toolLink || reader.Get(kUpdateSection, "Md5", "") != package.md5 ||
            reader.Get(kUpdateSection, "Version", "") != version)
            throw Refusal{"--features: the info file's reader would not give this text back (it takes lines of under "
                          "200 bytes and cuts a value at \" ;\")"};
        report_ << "update " << version << "  " << zipName << "  " << package.size << " bytes  MD5 " << package.md5
                << "\n";
        return SiteRecord{version_, kUpdateInfoFile, options_.host};
    }

    // The new site takes the old one's place in one step where the file system can swap two folders.
    void putInPlace() {
        if (!PathExists(out_)) {
            if (std::rename(staging_.c_str(), out_.c_str()) != 0) Refuse(out_, "cannot be put in place");
            staging_.clear();
            return;
        }
        if (renameat2(AT_FDCWD, staging_.c_str(), AT_FDCWD, out_.c_str(), RENAME_EXCHANGE) == 0) return;
        std::string aside = staging_ + ".old";
        if (std::rename(out_.c_str(), aside.c_str()) != 0) Refuse(out_, "cannot be replaced");
        if (std::rename(staging_.c_str(), out_.c_str()) != 0) {
            std::rename(aside.c_str(), out_.c_str());
            Refuse(out_, "cannot be replaced");
        }
        staging_ = aside; // the old site, deleted with the staging folder
    }

    const BuildOptions& options_;
    std::ostream& report_;
    std::ostringstream signReport_; // of the staging folder, whose name means nothing to the publisher
    std::string models_, out_, ini_, staging_;
    std::optional<SuiteVersion> version_;
    std::vector<ModelDescription> described_;
    OfferedList offers_;
};

} // namespace

bool IsUserFileOfSuite(const std::string& relativePath) { return IsUsersOwnPath(relativePath); }

std::string FeaturesValue(const std::string& text) {
    std::string value;
    const std::string trimmed = Trimmed(text);
    for (size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == '\r' && i + 1 < trimmed.size() && trimmed[i + 1] == '\n') continue;
        value += trimmed[i] == '\n' || trimmed[i] == '\r' ? std::string("##") : std::string(1, trimmed[i]);
    }
    return value;
}

bool BuildSite(const BuildOptions& options, std::ostream& report, std::string& error) {
    try {
        SiteBuild(options, report).run();
        return true;
    } catch (const Refusal& refusal) {
        error = refusal.text;
    } catch (const std::exception& e) { // a file system error outside the checks above
        error = e.what();
    }
    return false;
}

} // namespace pavoline::site
