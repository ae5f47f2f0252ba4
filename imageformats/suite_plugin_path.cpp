#include "suite_plugin_path.h"

#include <QCoreApplication>
#include <QDir>

namespace pavoline {

void AddSuitePluginPath() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {programDir.filePath("plugins"), programDir.filePath("../plugins")}) {
        if (QDir(candidate).exists("imageformats")) {
            QCoreApplication::addLibraryPath(QDir(candidate).absolutePath());
            return;
        }
    }
}

} // namespace pavoline
