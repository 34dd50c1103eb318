// Writes a SoundFont whose samples are those of a KBN bank repeated N times
// (N may be a fraction: 0.04 keeps every 25th sample, up to 4% of the PCM,
// so that a small bank holds the same kind of PCM as the whole), for
// measuring how the converter's cost grows with the size of a bank.
//   make_repeated_bank BANK.kbn N OUT.sf2
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "export/SoundFontWriter.h"
#include "reader/BankReader.h"
#include "stream/AtomicOutputFile.h"
#include "stream/RvFile.h"

int main(int argc, char** argv) {
    const double repeat = argc == 4 ? std::strtod(argv[2], nullptr) : 0;
    if (argc != 4 || !(repeat > 0)) {
        std::fprintf(stderr, "usage: make_repeated_bank BANK.kbn N OUT.sf2\n");
        return 2;
    }
    try {
        kbn::CRvFile file;
        file.Open(argv[1], kbn::CRvFile::kAccessRead, 0);
        const kbn::Bank original = kbn::ReadBank(file);
        uint64_t total = 0;
        for (const kbn::BankSample& sample : original.samples) total += sample.record.length;
        const auto wanted = static_cast<uint64_t>(repeat * static_cast<double>(total));
        const auto count = static_cast<uint32_t>(original.samples.size());
        const uint32_t stride = repeat < 1 ? static_cast<uint32_t>(std::max(1.0, std::round(1 / repeat))) : 1;
        std::vector<uint32_t> sources;  // the original sample of each one written
        kbn::Bank repeated = original;
        repeated.samples.clear();
        for (uint64_t taken = 0, pass = 0; taken < wanted; ++pass) {
            for (uint32_t i = static_cast<uint32_t>(pass % stride); i < count && taken < wanted; i += stride) {
                sources.push_back(i);
                repeated.samples.push_back(original.samples[i]);
                taken += original.samples[i].record.length;
            }
        }
        // A bank with fewer samples than the original keeps its instruments:
        // their zones point at samples that are still there.
        const auto kept = static_cast<uint16_t>(std::min<std::size_t>(repeated.samples.size(), 65535));
        for (kbn::BankInstrument& instrument : repeated.instruments) {
            for (kbn::BankZone& zone : instrument.zones) {
                for (kbn::GeneratorEntry& entry : zone.generators) {
                    if (entry.id == kbn::kGenSampleId) entry.amount = static_cast<uint16_t>(entry.amount % kept);
                }
            }
        }
        kbn::CAtomicOutputFile out(argv[3]);
        kbn::WriteSoundFont(
            out.Stream(), repeated,
            [&](uint32_t index) {
                const uint32_t i = sources[index];
                return kbn::ReadSamplePcm(file, original.samples[i], i);
            },
            "repeated");
        out.Commit();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_repeated_bank: %s\n", e.what());
        return 1;
    }
    return 0;
}
