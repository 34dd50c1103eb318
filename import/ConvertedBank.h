#pragma once

#include <cstdint>
#include <vector>

#include "bank/Bank.h"

namespace kbn {

// Where a sample's PCM lies in its source: the record's length of 16-bit
// values from `offset`, `stride` bytes apart (4 for one channel of stereo).
struct PcmLocation {
    uint64_t offset = 0;
    uint32_t stride = 2;
};

// What a conversion wrote, for checking the bank against it afterwards.
struct ConvertedBank {
    Bank bank;                      // records and zones, without stream details
    std::vector<PcmLocation> pcm;   // one per sample
    uint64_t pcmBytes = 0;          // 16-bit PCM read from the source
    // The source's sample depth: 24 for a SoundFont whose "sm24" chunk holds
    // the low bytes, which the bank leaves out; its samples are 16-bit all
    // the same.
    uint32_t sourceBitsPerSample = 16;
};

}  // namespace kbn
