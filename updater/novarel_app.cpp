#include "novarel_app.h"

#include "app_translations.h"
#include "hand_over.h"
#include "message_box.h"
#include "named_mutex.h"
#include "novarel_dlg.h"
#include "platform.h"
#include "signature.h"
#include "staged_install.h"
#include "suite_plugin_path.h"
#include "startup.h"

#include <QApplication>

namespace pavoline::updater {

int NovarelMain(int argc, char** argv) {
    // Decided before Qt starts, so that a refused start opens nothing, a display included.
    const std::optional<std::string> version = VersionHandedOver(std::vector<std::string>(argv + 1, argv + argc));
    if (!version) return 0;
    ProcessMutex instance(WithInstanceSuffix(kUpdaterMutexName));
    if (!instance.acquire(kInstanceWaitMs)) return 0;

    UseCompiledPublisherKeys("Novarel");
    const UpdaterPaths paths = PathsOf(ProgramFilePath());
    const std::string recovered = CleanUpAfterLastUpdater(paths);
    {
        QApplication app(argc, argv);
        InstallQtChineseTranslations();
        AddSuitePluginPath();
        if (!recovered.empty()) MessageBox::Inform(nullptr, "在线更新", QString::fromStdString(recovered));
        CNovarelDlg dialog(paths, QString::fromStdString(*version));
        if (dialog.Initialise()) dialog.exec();
    }
    DeleteFilesIn(paths.tempFolder());
    return 0;
}

} // namespace pavoline::updater
