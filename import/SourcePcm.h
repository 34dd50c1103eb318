#pragma once

#include <cstdint>
#include <vector>

#include "bank/BankContents.h"
#include "bank/BankLayout.h"
#include "stream/MemoryLimit.h"
#include "stream/StreamIn.h"

namespace kbn {

// Where one sample's PCM lies in its source file.
struct PcmLocation {
    enum class Kind : uint8_t {
        Pcm16,      // `frames` little-endian 16-bit values, `stride` bytes apart
        OggVorbis,  // a mono Ogg Vorbis stream of `bytes` bytes
    };
    Kind kind = Kind::Pcm16;
    uint64_t offset = 0;  // the first byte
    uint32_t frames = 0;
    uint32_t stride = 2;  // 4 for one channel of a stereo WAV
    uint32_t bytes = 0;
};

// The samples of an imported file, read from it (and decoded) again each
// time one is asked for: for the bank writer, then for the verification.
// Reads at positions, from any thread, when the stream can; otherwise with
// Seek and Read, on one thread. `in` must outlive it.
class CSourcePcm final : public CSamplePcmSource {
public:
    // `names` name the samples in messages.
    CSourcePcm(CStreamIn& in, std::vector<PcmLocation> locations, std::vector<Name> names,
               uint64_t largestBuffer = kLargestBuffer);

    std::span<const int16_t> Read(uint32_t index, CScratchBuffer<int16_t>& buffer) const override;
    uint64_t PcmBytes(uint32_t index) const override;
    bool ReadsConcurrently() const override { return in_.CanReadAt(); }

private:
    void ReadBytes(uint64_t position, uint8_t* dst, uint32_t count) const;

    CStreamIn& in_;
    std::vector<PcmLocation> locations_;
    std::vector<Name> names_;
    uint64_t largestBuffer_;
};

}  // namespace kbn
