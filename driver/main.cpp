#include <iostream>

#include "driver/Kbnconv.h"

int main(int argc, char** argv) { return kbn::RunKbnconv(argc, argv, std::cout, std::cerr); }
