#include "suite_plugin_path.h"
#include "thumbnailer.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    pavoline::AddSuitePluginPath();
    return pavoline::RunThumbnailer(app.arguments().mid(1), std::cerr);
}
