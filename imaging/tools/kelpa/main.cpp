#include "encoder_tool.h"
#include "file_io.h"

#include <iostream>

int main(int argc, char** argv) {
    return pavoline::RunKelpa(pavoline::CollectArguments(argc, argv), std::cout, std::cerr);
}
