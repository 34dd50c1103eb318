#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "bank/Bank.h"
#include "stream/ScratchBuffer.h"

namespace kbn {

// Where the samples of a bank come from: an importer's account of each
// sample's PCM in its source.
class CSamplePcmSource {
public:
    virtual ~CSamplePcmSource() = default;
    // Reads sample `index`'s PCM into `buffer`'s memory and returns it: its
    // record's length of values, or for a compressed sample as many as it
    // decodes to. Throws when the source fails or holds no such PCM.
    virtual std::span<const int16_t> Read(uint32_t index, CScratchBuffer<int16_t>& buffer) const = 0;
    // About how many bytes of PCM Read gives for the sample, before it is read.
    virtual uint64_t PcmBytes(uint32_t index) const = 0;
    // Whether Read may run on several threads at once, each for a sample of
    // its own; otherwise it runs on one thread, in order.
    virtual bool ReadsConcurrently() const = 0;
};

// A bank as an importer describes it: every record and zone (in the bank's
// numbering, offsets and stream details unset), and the samples' PCM.
// WriteBank writes it, setting each sample's length to its PCM's.
struct BankContents {
    Bank bank;
    std::shared_ptr<const CSamplePcmSource> pcm;
};

}  // namespace kbn
