#include "file_io.h"
#include "vandor.h"

#include <iostream>

int main(int argc, char** argv) { return pavoline::RunVandor(pavoline::CollectArguments(argc, argv), std::cout); }
