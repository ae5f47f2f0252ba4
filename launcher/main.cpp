#include "app_translations.h"
#include "pavoline_app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pavoline::InstallQtChineseTranslations();
    return pavoline::CPavolineApp(app).Run();
}
