#pragma once
// The updater's two workers. Each does its whole job on its own thread and reports to the dialog
// by synchronous WM_USER messages (wParam the code, lParam as below):
//   1003  &DownloadProgress   download progress
//   1006  1                   the package's digest does not match
//   1007  1 / 0               the package was installed / the installation failed and was undone
//                             (CUnzipThread::Outcome says why)
//   1008  1 / 0 / -1 / -2     the package was downloaded / the download was cancelled / it failed /
//                             it could not be written whole (the temporary directory's disk is full)
//   1009  1                   the package is not the one the signed info file names (deleted)

#include "download.h"
#include "message_window.h"
#include "staged_install.h"
#include "startup.h"
#include "update_query.h"
#include "worker_thread.h"

#include <string>

namespace pavoline::updater {

enum WorkerReport : WPARAM {
    kReportProgress = 1003,
    kReportDigestMismatch = 1006,
    kReportInstallEnded = 1007,
    kReportDownloadEnded = 1008,
    kReportNotFromPublisher = 1009,
};

class CUpdateThread : private DownloadProgressReceiver {
public:
    // The download stops at the limits (a signed package's size).
    CUpdateThread(MessageWindow* dialog, std::string packageUrl, std::string packagePath, TransferLimits limits = {});
    void Start();
    // Returns once the worker has ended, serving its sends meanwhile.
    void WaitServingSends() { worker_.waitServingSends(); }

private:
    void run();
    void onDownloadProgress(unsigned code, const DownloadProgress& progress) override;

    MessageWindow* dialog_;
    std::string url_, path_;
    TransferLimits limits_;
    WorkerThread worker_;
};

class CUnzipThread {
public:
    CUnzipThread(MessageWindow* dialog, UpdateInfo info, std::string packagePath, UpdaterPaths paths,
                 std::string suiteVersion);
    void Start();
    // Read when 1007 arrives; the worker no longer writes it then.
    const InstallOutcome& Outcome() const { return outcome_; }

private:
    void run();

    MessageWindow* dialog_;
    UpdateInfo info_;
    std::string path_;
    UpdaterPaths paths_;
    std::string version_;
    InstallOutcome outcome_;
    WorkerThread worker_;
};

} // namespace pavoline::updater
