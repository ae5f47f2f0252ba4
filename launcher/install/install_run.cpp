#include "install_run.h"

#include "leftovers.h"
#include "md5.h"
#include "named_mutex.h"
#include "platform.h"
#include "zip_layer.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace pavoline {
namespace {

constexpr uint32_t kPromptPollMs = 20;
constexpr uint32_t kRetryPauseMs = 1000;

// Turns download reports into the page's code 1.
class ProgressForwarder : public DownloadProgressReceiver {
public:
    explicit ProgressForwarder(InstallObserver& observer) : observer_(observer) {}
    void onDownloadProgress(unsigned code, const DownloadProgress& progress) override {
        observer_.send(code, reinterpret_cast<intptr_t>(&progress));
    }

private:
    InstallObserver& observer_;
};

std::string Formatted(const char* format, const std::string& model) {
    char text[1024];
    std::snprintf(text, sizeof text, format, model.c_str());
    return text;
}

std::atomic<bool> gFailSwapIn{false};

// The last step of an install: the new tree takes the model directory's name.
bool SwapIn(const std::string& staging, const std::string& dir) {
    return !gFailSwapIn.load() && std::rename(staging.c_str(), dir.c_str()) == 0;
}

// A fresh directory beside the model directories, for a package to be written into.
std::string MakeWorkDir(const std::string& resourceDir, const std::string& model, const char* work) {
    const std::optional<std::string> dir = MakeUniqueDirectory(WorkDirPrefix(resourceDir, model, work));
    return dir ? *dir + "/" : std::string();
}

class Extraction {
public:
    Extraction(ZipReader& zip, const std::string& root, InstallObserver& observer)
        : zip_(zip), root_(root), observer_(observer) {
        for (const ZipEntryInfo& e : zip.entries()) grandTotal_ += e.uncompressedSize;
    }

    bool writeAll() {
        for (const ZipEntryInfo& entry : zip_.entries())
            if (!writeEntry(entry)) return false;
        return true;
    }

private:
    bool writeEntry(const ZipEntryInfo& entry) {
        const std::optional<std::string> relative = SafeEntryPath(entry.name);
        if (!relative || entry.symbolicLink) return false;
        const std::string target = root_ + *relative;
        const bool directory = (entry.attributes & kAttrDirectory) || entry.name.back() == '/' ||
                               entry.name.back() == '\\';
        if (directory) return MakeDirectories(target);
        if (!MakeDirectories(target.substr(0, target.find_last_of('/')))) return false;
        // Always a new file: nothing that an old installation left is ever written over.
        const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const bool copied = copyEntry(entry, fd);
        return close(fd) == 0 && copied;
    }

    bool copyEntry(const ZipEntryInfo& entry, int fd) {
        if (!zip_.beginEntry(entry.index)) return false;
        std::vector<uint8_t> piece(kZipPieceSize);
        for (;;) {
            const int n = zip_.readPiece(piece.data(), piece.size());
            if (n < 0) {
                zip_.endEntry();
                return false;
            }
            if (n == 0) break;
            if (!WriteAll(fd, piece.data(), static_cast<size_t>(n))) {
                zip_.endEntry();
                return false;
            }
            written_ += static_cast<uint64_t>(n);
            if (grandTotal_ > 0) observer_.setProgressPosition(static_cast<int>(written_ * 100.0 / grandTotal_));
        }
        return zip_.endEntry();
    }

    ZipReader& zip_;
    std::string root_;
    InstallObserver& observer_;
    uint64_t grandTotal_ = 0, written_ = 0;
};

} // namespace

void FailSwapInForTesting(bool fail) { gFailSwapIn.store(fail); }

std::optional<SignedFile> SignedPackageOf(const COfferedModel& model) { return ParseSignedFile(model.size, model.sha256); }

TransferLimits PackageDownloadLimits(const COfferedModel& model) {
    if (!SignaturesRequired()) return {};
    const std::optional<SignedFile> signedFile = SignedPackageOf(model);
    // Without a signed size nothing is accepted (1 byte, which no check then passes).
    return {signedFile ? std::max<uint64_t>(signedFile->size, 1) : 1, 0};
}

std::string SizeText(uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2fM", static_cast<double>(bytes) / 1048576.0);
    return text;
}

InstallRun::InstallRun(OfferedList& models, InstallObserver& observer, CancelPromptFlags& prompt, std::string programDir)
    : models_(models), observer_(observer), prompt_(prompt), programDir_(std::move(programDir)) {}

bool InstallRun::waitForPromptClosed() {
    for (;;) {
        bool open, confirmed;
        {
            NamedLock lock(kPromptMutex);
            open = prompt_.promptOpen;
            confirmed = prompt_.cancelConfirmed;
        }
        if (!open) return !confirmed;
        SleepMs(kPromptPollMs);
    }
}

// A damaged package is downloaded again without end; between tries the cancel button stays up for
// a moment, so a user can leave a server that keeps sending it damaged. False when they did.
bool InstallRun::pauseBeforeRetry() {
    observer_.send(kInstallCancelButtons, 1);
    for (uint32_t waited = 0; waited < kRetryPauseMs; waited += kPromptPollMs) {
        if (gDownloadCancel.load() != 0 || !waitForPromptClosed()) return false;
        SleepMs(kPromptPollMs);
    }
    return gDownloadCancel.load() == 0 && waitForPromptClosed();
}

bool InstallRun::installOne(COfferedModel& model, bool& retry) {
    retry = false;
    const std::string status = Formatted("正在下载（%s）", model.model);
    observer_.send(kInstallCancelButtons, 1);
    observer_.send(kInstallStatusText, reinterpret_cast<intptr_t>(&status));
    const std::string package = TempFileName("zip");
    ProgressForwarder forwarder(observer_);
    const int downloaded =
        DownloadToFile(model.softwareurl, package, "", &forwarder, kLauncherTransfer, PackageDownloadLimits(model));
    if (downloaded == kTooLarge) return refuseUnsigned(package);
    if (downloaded != kDownloadComplete) {
        if (downloaded != kLauncherCancelled)
            observer_.send(kInstallDownloadError, downloaded == kShortWrite ? kMessageDiskFull : kMessageDownloadFailed);
        return false; // the partial package stays where it is
    }
    observer_.send(kInstallCancelButtons, 0);
    if (!waitForPromptClosed()) return false;

    if (SignaturesRequired()) {
        const std::optional<SignedFile> signedFile = SignedPackageOf(model);
        if (!signedFile || !FileMatchesSigned(package, *signedFile)) return refuseUnsigned(package);
    }
    if (!ChecksumMatches(model.checksum, FileMd5Text(package))) {
        observer_.send(kInstallChecksumError, kMessageChecksumFailed);
        std::remove(package.c_str());
        retry = pauseBeforeRetry();
        return false;
    }
    model.sizeText = SizeText(FileSize(package).value_or(0));
    const std::string installing = Formatted("正在安装（%s）", model.model);
    observer_.send(kInstallStatusText, reinterpret_cast<intptr_t>(&installing));
    const bool extracted = extract(package, model.model);
    std::remove(package.c_str());
    if (!extracted) return false;
    model.installed = 1;
    return true;
}

// A catalogue may list a model twice (also in two letter cases): it is installed once, by its
// first record; the others stay unflagged and so are never recorded.
bool InstallRun::listedBefore(size_t index) const {
    for (size_t i = 0; i < index; ++i)
        if (SameModelName(models_[i].model, models_[index].model)) return true;
    return false;
}

InstallPosition InstallRun::positionOf(size_t index) const {
    InstallPosition at{0, 0};
    for (size_t i = 0; i < models_.size(); ++i) {
        if (listedBefore(i)) continue;
        ++at.count;
        if (i <= index) ++at.number;
    }
    return at;
}

// Nothing of it is opened: the package goes, the models stay as they were, and the run ends.
bool InstallRun::refuseUnsigned(const std::string& package) {
    std::remove(package.c_str());
    observer_.send(kInstallChecksumError, kMessageNotFromPublisher);
    return false;
}

void InstallRun::run() {
    for (size_t i = 0; i < models_.size();) {
        bool retry = false;
        const InstallPosition at = positionOf(i);
        if (!listedBefore(i)) observer_.send(kInstallModelNumber, reinterpret_cast<intptr_t>(&at));
        if (listedBefore(i))
            ++i;
        else if (installOne(models_[i], retry))
            ++i;
        else if (!retry)
            break;
    }
    observer_.post(kInstallFinished, 0);
}

bool InstallRun::extract(const std::string& package, const std::string& model) {
    const std::string resourceDir = ResourceDir(programDir_);
    const std::optional<std::string> existing = ExistingModelDir(model, programDir_);
    const bool existedBefore = existing && IsDirectory(*existing);
    const std::optional<std::string> modelDir = ModelPackageDir(model, programDir_);
    const std::string staging = modelDir ? MakeWorkDir(resourceDir, model, kStagingWork) : std::string();
    bool ok = !staging.empty();
    if (ok) {
        std::unique_ptr<ZipReader> zip = ZipReader::Open(package);
        ok = zip && Extraction(*zip, staging, observer_).writeAll();
    }
    if (ok) {
        // Swap the new tree in; the old one is moved aside whole (a running editor keeps its
        // mapped library) and then deleted.
        const std::string dir = modelDir->substr(0, modelDir->size() - 1);
        const std::string old = MakeWorkDir(resourceDir, model, kOldTreeWork);
        ok = !old.empty() && std::rename(dir.c_str(), (old + "tree").c_str()) == 0;
        if (ok && !SwapIn(staging.substr(0, staging.size() - 1), dir)) {
            std::rename((old + "tree").c_str(), dir.c_str()); // put the old installation back
            ok = false;
        }
        if (!old.empty()) DeleteTree(old);
    }
    if (!staging.empty() && !ok) DeleteTree(staging);
    if (!ok) {
        if (modelDir && !existedBefore) DeleteTree(*modelDir);
        observer_.send(kInstallExtractError, kMessageInstallFailed);
    }
    return ok;
}

} // namespace pavoline
