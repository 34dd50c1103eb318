#include <iostream>

#include "driver/Kbnconv.h"
#include "stream/Platform.h"

int main(int argc, char** argv) {
    // The samples' buffers come and go as the bank goes by: they stay in the
    // process for the next samples instead of being faulted in anew, and
    // come in huge pages where the system offers them.
    kbn::platform::KeepFreedMemory(std::size_t{32} << 20);
    kbn::platform::UseHugePagesForHeap(std::size_t{32} << 20);
    return kbn::RunKbnconv(argc, argv, std::cout, std::cerr);
}
