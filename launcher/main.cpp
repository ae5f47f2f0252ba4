#include "pavoline_app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return pavoline::CPavolineApp(app).Run();
}
