#include <iostream>

#include "dump/Kbndump.h"

int main(int argc, char** argv) { return kbn::RunKbndump(argc, argv, std::cout, std::cerr); }
