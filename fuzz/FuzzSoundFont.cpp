// libFuzzer harness: a SoundFont from anywhere goes through the reader, the
// structure check and the conversion. Either it is refused with a message, or
// the bank written reads back strictly and matches the source in structure
// and in every sample.
#include <cstddef>
#include <cstdint>

#include "import/ConvertedBank.h"
#include "import/SoundFontConverter.h"
#include "stream/Error.h"
#include "stream/MemoryStream.h"
#include "verify/BankVerifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace kbn;
    const std::span<const uint8_t> bytes(data, size);
    CMemoryStreamIn in(bytes, "in.sf2");
    CMemoryStreamOut out;
    ConvertedBank converted;
    try {
        ConvertSoundFont(in, out, &converted, 1);
    } catch (const CError&) {
        return 0;
    }
    CMemoryStreamIn written(out.Bytes(), "out.kbn");
    VerifyBank(written, converted);
    return 0;
}
