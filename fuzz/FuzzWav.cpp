// libFuzzer harness: a WAV file from anywhere goes through the importer.
// Either the importer refuses it with a message, or the bank it writes reads
// back strictly and decodes to exactly the file's samples.
#include <cstddef>
#include <cstdint>

#include "import/ConvertedBank.h"
#include "import/WavImporter.h"
#include "stream/Error.h"
#include "stream/MemoryStream.h"
#include "verify/BankVerifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace kbn;
    const std::span<const uint8_t> bytes(data, size);
    CMemoryStreamIn in(bytes, "in.wav");
    CMemoryStreamOut out;
    ConvertedBank converted;
    try {
        ConvertWav(in, out, &converted);
    } catch (const CError&) {
        return 0;  // refused with a message, a read past the end of the input too
    }
    // Anything else escaping, or a bank that does not verify, is a finding.
    CMemoryStreamIn written(out.Bytes(), "out.kbn");
    VerifyBank(written, converted);
    return 0;
}
