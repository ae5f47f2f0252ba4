#include "update_workers.h"

#include "update_query.h"

namespace pavoline::updater {

CUpdateThread::CUpdateThread(MessageWindow* dialog, std::string packageUrl, std::string packagePath, TransferLimits limits)
    : dialog_(dialog), url_(std::move(packageUrl)), path_(std::move(packagePath)), limits_(limits) {}

void CUpdateThread::Start() {
    worker_.start([this] { run(); });
}

void CUpdateThread::run() {
    const int result = url_.empty() ? kUrlNotOpened : DownloadToFile(url_, path_, "", this, kUpdaterTransfer, limits_);
    // A body that ran past its signed size was cut there; the check after the download refuses it.
    const bool downloaded = result == kDownloadComplete || result == kTooLarge;
    const LPARAM ended = downloaded                                      ? 1
                         : result == kUpdaterTransfer.cancelledResult    ? 0
                         : result == kUpdaterTransfer.shortWriteResult ? -2
                                                                         : -1;
    sendMessage(dialog_, WM_USER, kReportDownloadEnded, ended);
}

void CUpdateThread::onDownloadProgress(unsigned code, const DownloadProgress& progress) {
    sendMessage(dialog_, WM_USER, code, reinterpret_cast<LPARAM>(&progress));
}

CUnzipThread::CUnzipThread(MessageWindow* dialog, UpdateInfo info, std::string packagePath, UpdaterPaths paths,
                           std::string suiteVersion)
    : dialog_(dialog), info_(std::move(info)), path_(std::move(packagePath)), paths_(std::move(paths)),
      version_(std::move(suiteVersion)) {}

void CUnzipThread::Start() {
    worker_.start([this] { run(); });
}

void CUnzipThread::run() {
    const PackageVerdict verdict = CheckPackage(info_, path_);
    if (verdict != PackageVerdict::kGenuine) {
        const bool refused = verdict == PackageVerdict::kNotFromPublisher;
        sendMessage(dialog_, WM_USER, refused ? kReportNotFromPublisher : kReportDigestMismatch, 1);
        return;
    }
    outcome_ = ApplyUpdate({path_, paths_.suiteDir, paths_.ownPath, FindArchiver(paths_.ownDir).value_or(""), version_,
                            ReadLauncherName(paths_.configPath()).value_or("")});
    sendMessage(dialog_, WM_USER, kReportInstallEnded, outcome_.ok() ? 1 : 0);
}

} // namespace pavoline::updater
