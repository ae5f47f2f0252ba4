#include "site_tool.h"

#include <iostream>

int main(int argc, char** argv) {
    return pavoline::site::RunSiteTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
