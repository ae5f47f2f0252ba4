#pragma once
// The install of a list of offered models, run on the install thread: for each model download
// its package, check it (with publisher keys in force: the size and SHA-256 the signed catalogue
// names, before the checksum), extract it into the model's directory and flag the record. A
// package that is not the signed one is deleted unopened and ends the run.
// It reports to the progress page by the page's message codes.

#include "download.h"
#include "model_records.h"
#include "platform.h"
#include "signature.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pavoline {

// The page's codes (sent with WM_USER), and what lParam carries with each.
enum InstallCode : unsigned {
    kInstallDownloadProgress = 1, // const DownloadProgress*
    kInstallStatusText = 2,       // const std::string*
    kInstallModelNumber = 3,      // const InstallPosition*: which model of how many is downloaded
    kInstallDownloadError = 4,    // message number
    kInstallChecksumError = 5,    // message number
    kInstallExtractError = 6,     // message number
    kInstallCancelButtons = 7,    // 1 shown, 0 hidden
    kInstallFinished = 8,         // posted, 0
};

// Message numbers of the page's error texts.
enum InstallMessage : intptr_t {
    kMessageDownloadFailed = 0, // "下载失败，请检查网络连接!"
    kMessageChecksumFailed = 1, // "文件校验失败！"
    kMessageInstallFailed = 2,  // "安装失败，请检查磁盘空间！"
    kMessageDiskFull = 3,       // "下载失败，请检查磁盘空间！"
    kMessageNotFromPublisher = 4, // "机型包不是来自发布者，已拒绝安装！"
};

struct InstallPosition {
    size_t number; // from 1
    size_t count;  // the models of the run, each counted once
};

class InstallObserver {
public:
    virtual ~InstallObserver() = default;
    // Synchronous: returns once the page has handled it.
    virtual void send(unsigned code, intptr_t lParam) = 0;
    virtual void post(unsigned code, intptr_t lParam) = 0;
    // The progress bar during extraction, 0 to 100.
    virtual void setProgressPosition(int position) = 0;
};

// The cancel prompt's flags, written by the UI thread and read here, both under this mutex.
constexpr const char* kPromptMutex = "USER_CANCLE2_OPENMUTEX";
struct CancelPromptFlags {
    bool promptOpen = false;
    bool cancelConfirmed = false;
};

class InstallRun {
public:
    InstallRun(OfferedList& models, InstallObserver& observer, CancelPromptFlags& prompt,
               std::string programDir = ProgramDir());
    void run();

    // Extracts one package into the model's directory; the previous installation is replaced only
    // when every entry was written. Reports error 2 itself.
    bool extract(const std::string& package, const std::string& model);

private:
    bool listedBefore(size_t index) const;
    bool waitForPromptClosed(); // false when the user confirmed cancel
    bool pauseBeforeRetry();
    bool installOne(COfferedModel& model, bool& retry);
    InstallPosition positionOf(size_t index) const;
    bool refuseUnsigned(const std::string& package);

    OfferedList& models_;
    InstallObserver& observer_;
    CancelPromptFlags& prompt_;
    std::string programDir_;
};

std::string SizeText(uint64_t bytes);

// What the signed catalogue binds the model's package to; nothing when it names no valid pair.
std::optional<SignedFile> SignedPackageOf(const COfferedModel& model);
// How much of a package to accept: with keys in force, its signed size (nothing without one).
TransferLimits PackageDownloadLimits(const COfferedModel& model);

// Makes the last rename of every following install fail, as a full or vanished disk would.
void FailSwapInForTesting(bool fail);

} // namespace pavoline
