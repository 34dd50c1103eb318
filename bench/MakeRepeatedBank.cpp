// Writes a SoundFont whose samples are those of a KBN bank repeated N times
// (N may be a fraction: 0.04 keeps the first samples, up to 4% of the PCM),
// for measuring how the converter's cost grows with the size of a bank.
//   make_repeated_bank BANK.kbn N OUT.sf2
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

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
        kbn::Bank repeated = original;
        repeated.samples.clear();
        for (uint64_t taken = 0; taken < wanted;) {
            for (const kbn::BankSample& sample : original.samples) {
                if (taken >= wanted) break;
                repeated.samples.push_back(sample);
                taken += sample.record.length;
            }
        }
        const std::size_t count = original.samples.size();
        kbn::CAtomicOutputFile out(argv[3]);
        kbn::WriteSoundFont(
            out.Stream(), repeated,
            [&](uint32_t index) {
                const auto i = static_cast<uint32_t>(index % count);
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
