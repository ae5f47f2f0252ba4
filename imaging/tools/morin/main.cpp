#include "decoder_shell.h"
#include "file_io.h"

#include <iostream>

int main(int argc, char** argv) {
    return pavoline::RunDecoderShell(pavoline::kAb2DecoderTool, pavoline::CollectArguments(argc, argv), std::cout,
                                     std::cerr);
}
