#include "novarel_app.h"

int main(int argc, char** argv) { return pavoline::updater::NovarelMain(argc, argv); }
