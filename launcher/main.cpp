#include "app_translations.h"
#include "pavoline_app.h"
#include "suite_plugin_path.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pavoline::InstallQtChineseTranslations();
    pavoline::AddSuitePluginPath();
    return pavoline::CPavolineApp(app).Run();
}
