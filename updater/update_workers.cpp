#include "update_workers.h"

#include "md5.h"
#include "update_query.h"

namespace pavoline::updater {

CUpdateThread::CUpdateThread(MessageWindow* dialog, std::string packageUrl, std::string packagePath)
    : dialog_(dialog), url_(std::move(packageUrl)), path_(std::move(packagePath)) {}

void CUpdateThread::Start() {
    worker_.start([this] { run(); });
}

void CUpdateThread::run() {
    const int result = url_.empty() ? kUrlNotOpened : DownloadToFile(url_, path_, "", this, kUpdaterTransfer);
    const LPARAM ended = result == kDownloadComplete                     ? 1
                         : result == kUpdaterTransfer.cancelledResult    ? 0
                         : result == kUpdaterTransfer.shortWriteResult ? -2
                                                                         : -1;
    sendMessage(dialog_, WM_USER, kReportDownloadEnded, ended);
}

void CUpdateThread::onDownloadProgress(unsigned code, const DownloadProgress& progress) {
    sendMessage(dialog_, WM_USER, code, reinterpret_cast<LPARAM>(&progress));
}

CUnzipThread::CUnzipThread(MessageWindow* dialog, std::string expectedMd5, std::string packagePath, UpdaterPaths paths,
                           std::string suiteVersion)
    : dialog_(dialog), md5_(std::move(expectedMd5)), path_(std::move(packagePath)), paths_(std::move(paths)),
      version_(std::move(suiteVersion)) {}

void CUnzipThread::Start() {
    worker_.start([this] { run(); });
}

void CUnzipThread::run() {
    if (!ChecksumMatches(md5_, FileMd5Text(path_))) {
        sendMessage(dialog_, WM_USER, kReportDigestMismatch, 1);
        return;
    }
    outcome_ = ApplyUpdate({path_, paths_.suiteDir, paths_.ownPath, FindArchiver(paths_.ownDir).value_or(""), version_,
                            ReadLauncherName(paths_.configPath()).value_or("")});
    sendMessage(dialog_, WM_USER, kReportInstallEnded, outcome_.ok() ? 1 : 0);
}

} // namespace pavoline::updater
