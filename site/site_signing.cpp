#include "site_signing.h"

#include "platform.h"
#include "site_layout.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline::site {
namespace {

constexpr const char* kAddressAttributes[] = {"softwareurl", "imageurl"};
constexpr const char* kToolLinkKey = "ToolLink=";
constexpr mode_t kOthersMayTouch = 077;

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error) {
    const int failed = ReplaceFile(path, [&](int fd) { return WriteAll(fd, text.data(), text.size()); });
    if (failed != 0) error = path + ": cannot be written (" + std::strerror(failed) + ")";
    return failed == 0;
}

std::string Moved(const std::string& address, const std::string& oldBase, const std::string& newBase) {
    const std::string from = oldBase + "/";
    return address.compare(0, from.size(), from) == 0 ? newBase + "/" + address.substr(from.size()) : address;
}

bool MakeKeyFile(const std::string& path, const std::string& line, mode_t mode, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = path + ": cannot be created (" + std::strerror(errno) + ")";
        return false;
    }
    const std::string text = line + "\n";
    const bool written = fchmod(fd, mode) == 0 && WriteAll(fd, text.data(), text.size()) && fsync(fd) == 0;
    if (close(fd) != 0 || !written) {
        error = path + ": cannot be written";
        unlink(path.c_str());
        return false;
    }
    return true;
}

struct SiteSigner {
    const SignOptions& options;
    std::ostream& report;
    std::string& error;
    std::vector<SecretKey> keys;

    bool fail(const std::string& fault) {
        error = fault;
        return false;
    }

    bool readKeys() {
        for (const std::string& file : options.keyFiles) {
            if (IsInside(file, options.siteDir))
                return fail(file + ": the secret key lies inside the site " + options.siteDir + ", which is published");
            const std::optional<SecretKey> key = ReadSecretKeyFile(file, error);
            if (!key) return false;
            keys.push_back(*key);
        }
        return true;
    }

    bool signFile(const std::string& relative) {
        const std::string path = options.siteDir + "/" + relative;
        if (keys.empty()) { // re-hosted only: a signature of the old bytes would only mislead
            if (std::remove((path + kSignatureSuffix).c_str()) != 0 && errno != ENOENT)
                return fail(path + kSignatureSuffix + ": cannot be removed");
            return true;
        }
        const std::optional<std::string> bytes = ReadFile(path);
        if (!bytes) return fail(path + ": cannot be read");
        std::string lines;
        std::vector<PublicKey> publicKeys;
        for (const SecretKey& key : keys) {
            const Signature signature = SignBytes(key, *bytes);
            lines += Base64Text(signature.data(), signature.size()) + "\n";
            publicKeys.push_back(PublicKeyOf(key));
        }
        // Each key's own line must verify, or a key file was damaged.
        for (size_t i = 0; i < keys.size(); ++i)
            if (!SignatureVerifies({publicKeys[i]}, *bytes, lines)) return fail(options.keyFiles[i] + ": not a working secret key");
        if (!WriteFileWhole(path + kSignatureSuffix, lines, error)) return false;
        report << "signed " << relative << " (" << bytes->size() << " bytes) with " << keys.size()
               << (keys.size() == 1 ? " key\n" : " keys\n");
        return true;
    }

    bool run() {
        const std::string recordPath = options.siteDir + "/" + kSiteRecordFile;
        const std::optional<std::string> recordText = ReadFile(recordPath);
        std::optional<SiteRecord> record = recordText ? ReadSiteRecord(*recordText) : std::nullopt;
        if (!record) return fail(options.siteDir + ": not a site (no readable " + std::string(kSiteRecordFile) + ")");
        if (!options.host.empty() && !IsHostAndPort(options.host))
            return fail("--host " + options.host + ": not a host name or address with an optional port");
        const std::string host = options.host.empty() ? record->host : options.host;
        if (host.empty()) return fail(options.siteDir + ": a signed site names its host: add --host HOST[:PORT]");
        if (!readKeys()) return false;

        const std::string oldBase = record->host.empty() ? std::string(kHostPlaceholder) : "http://" + record->host;
        const std::string newBase = "http://" + host;
        const std::string catalogue = options.siteDir + "/" + kCatalogueFile;
        const std::optional<std::string> catalogueText = ReadFile(catalogue);
        if (!catalogueText) return fail(catalogue + ": cannot be read");
        const std::optional<std::string> rehosted = RehostedCatalogue(*catalogueText, oldBase, newBase);
        if (!rehosted) return fail(catalogue + ": not a catalogue");
        if (!WriteFileWhole(catalogue, *rehosted, error)) return false;
        if (record->latestVersion) {
            const std::string info = options.siteDir + "/" + record->updateInfoFile;
            const std::optional<std::string> infoText = ReadFile(info);
            if (!infoText) return fail(info + ": cannot be read");
            if (!WriteFileWhole(info, RehostedUpdateInfo(*infoText, oldBase, newBase), error)) return false;
        }
        record->host = host;
        if (!WriteFileWhole(recordPath, SiteRecordText(*record), error)) return false;
        if (!signFile(kCatalogueFile)) return false;
        if (record->latestVersion && !signFile(record->updateInfoFile)) return false;
        report << "site " << options.siteDir << " names http://" << host << (keys.empty() ? ", unsigned\n" : "\n");
        return true;
    }
};

} // namespace

bool MakeKeyPairFiles(const std::string& dir, std::ostream& report, std::string& error) {
    if (!MakeDirectories(dir)) {
        error = dir + ": cannot be created";
        return false;
    }
    const std::string secretPath = dir + "/" + kSecretKeyFile, publicPath = dir + "/" + kPublicKeyFile;
    for (const std::string& path : {secretPath, publicPath})
        if (PathExists(path)) {
            error = path + ": exists; a key is never replaced (move it away first)";
            return false;
        }
    PublicKey publicKey{};
    SecretKey secretKey{};
    if (!MakeKeyPair(publicKey, secretKey)) {
        error = "no key pair can be made (libsodium did not start)";
        return false;
    }
    if (!MakeKeyFile(secretPath, Base64Text(secretKey.data(), secretKey.size()), 0600, error)) return false;
    if (!MakeKeyFile(publicPath, Base64Text(publicKey.data(), publicKey.size()), 0644, error)) {
        unlink(secretPath.c_str());
        return false;
    }
    report << "secret key " << secretPath << " (keep it off the site and away from others)\n"
           << "public key " << publicPath << ": " << Base64Text(publicKey.data(), publicKey.size()) << "\n";
    return true;
}

std::optional<SecretKey> ReadSecretKeyFile(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0) close(fd);
        error = path + ": not a readable secret key file";
        return std::nullopt;
    }
    if ((status.st_mode & kOthersMayTouch) != 0) {
        close(fd);
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        error = path + ": others may read or write this secret key (mode " + mode + "); chmod 600 it";
        return std::nullopt;
    }
    char text[256];
    const ssize_t n = read(fd, text, sizeof text);
    close(fd);
    const std::optional<SecretKey> key =
        n > 0 ? ParseSecretKey(std::string_view(text, static_cast<size_t>(n))) : std::nullopt;
    if (!key) error = path + ": not a secret key (pavoline-site keygen makes one)";
    return key;
}

bool IsInside(const std::string& path, const std::string& dir) {
    std::error_code failed;
    const std::filesystem::path file = std::filesystem::weakly_canonical(path, failed);
    if (failed) return false;
    const std::filesystem::path root = std::filesystem::weakly_canonical(dir, failed);
    if (failed || root.empty()) return false;
    auto f = file.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++f) {
        if (r->empty()) continue; // a trailing separator
        if (f == file.end() || *f != *r) return false;
    }
    return true;
}

std::string CatalogueDocumentText(const pugi::xml_document& doc) {
    std::ostringstream text;
    doc.save(text, "\t", pugi::format_default, pugi::encoding_utf8);
    return text.str();
}

std::optional<std::string> RehostedCatalogue(const std::string& text, const std::string& oldBase,
                                             const std::string& newBase) {
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_declaration, pugi::encoding_utf8))
        return std::nullopt;
    for (pugi::xml_node phone : doc.child("PhoneList").children("Phone"))
        for (const char* name : kAddressAttributes)
            if (pugi::xml_attribute address = phone.attribute(name))
                address.set_value(Moved(address.value(), oldBase, newBase).c_str());
    return CatalogueDocumentText(doc);
}

std::string RehostedUpdateInfo(const std::string& text, const std::string& oldBase, const std::string& newBase) {
    std::string out;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        const size_t key = std::strlen(kToolLinkKey);
        if (line.compare(0, key, kToolLinkKey) == 0) line = kToolLinkKey + Moved(line.substr(key), oldBase, newBase);
        out += line;
        start = end;
    }
    return out;
}

bool SignSite(const SignOptions& options, std::ostream& report, std::string& error) {
    return SiteSigner{options, report, error, {}}.run();
}

} // namespace pavoline::site
