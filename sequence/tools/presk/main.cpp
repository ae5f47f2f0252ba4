#include "file_io.h"
#include "presk.h"

#include <iostream>

int main(int argc, char** argv) { return pavoline::RunPresk(pavoline::CollectArguments(argc, argv), std::cout); }
