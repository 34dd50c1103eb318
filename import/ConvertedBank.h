#pragma once

#include <cstdint>

#include "bank/BankContents.h"

namespace kbn {

// What an importer read from its source: the bank to write (its samples'
// PCM read from the source again whenever asked for), and what the source
// held that the bank does not keep. Once the bank is written, every
// sample's length is its PCM's, and the whole can be checked against what
// was written.
struct ConvertedBank {
    BankContents contents;
    // The source's sample depth: 24 for a SoundFont whose "sm24" chunk holds
    // the low bytes, which the bank leaves out; its samples are 16-bit all
    // the same.
    uint32_t sourceBitsPerSample = 16;

    // The 16-bit PCM bytes of all samples, once written.
    uint64_t PcmBytes() const {
        uint64_t bytes = 0;
        for (const BankSample& sample : contents.bank.samples) bytes += 2 * uint64_t{sample.record.length};
        return bytes;
    }
};

}  // namespace kbn
