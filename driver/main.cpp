#include <iostream>

#include "driver/Kbnconv.h"
#include "stream/Platform.h"

int main(int argc, char** argv) {
    // The samples' buffers come and go as the bank goes by: they stay in the
    // process for the next samples instead of being faulted in anew.
    kbn::platform::KeepFreedMemory(std::size_t{32} << 20);
    return kbn::RunKbnconv(argc, argv, std::cout, std::cerr);
}
