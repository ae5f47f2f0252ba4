#include "app_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace pavoline {

bool InstallQtChineseTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    for (const QString& dir : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() + "/translations"})
        if (translator->load("qtbase_zh_CN", dir)) return QCoreApplication::installTranslator(translator);
    delete translator;
    return false;
}

} // namespace pavoline
