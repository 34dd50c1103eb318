#include <iostream>

#include "dump/Kbndump.h"
#include "stream/Platform.h"

int main(int argc, char** argv) {
    // As in kbnconv: the samples' buffers are reused rather than faulted in
    // anew, and come in huge pages where the system offers them.
    kbn::platform::KeepFreedMemory(std::size_t{32} << 20);
    kbn::platform::UseHugePagesForHeap(std::size_t{32} << 20);
    return kbn::RunKbndump(argc, argv, std::cout, std::cerr);
}
