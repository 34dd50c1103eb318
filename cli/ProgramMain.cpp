#include "cli/ProgramMain.h"

#include <exception>
#include <iostream>

#include "platform/Platform.h"
#include "stream/StandardOutput.h"

namespace kbn {

int RunProgramMain(const char* name, ProgramBody body, int argc, const char* const* argv) {
    CStandardOutputBuffer buffer;
    std::ostream out(&buffer);
    int status = 1;
    try {
        status = body(argc, argv, out, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << name << ": " << e.what() << "\n";
    }
    if (const int error = buffer.Finish(); error != 0) {
        std::cerr << name << ": cannot write to standard output: " << platform::ErrorText(error) << "\n";
        if (status == 0) status = 1;
    }
    return status;
}

}  // namespace kbn
