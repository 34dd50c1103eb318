// Writes a SoundFont whose samples are those of a KBN bank repeated N times,
// for measuring how the converter's cost grows with the size of a bank.
//   make_repeated_bank BANK.kbn N OUT.sf2
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>

#include "export/SoundFontWriter.h"
#include "reader/BankReader.h"
#include "stream/AtomicOutputFile.h"
#include "stream/RvFile.h"

int main(int argc, char** argv) {
    unsigned repeat = 0;
    if (argc != 4 || std::from_chars(argv[2], argv[2] + std::char_traits<char>::length(argv[2]), repeat).ec != std::errc() ||
        repeat == 0) {
        std::fprintf(stderr, "usage: make_repeated_bank BANK.kbn N OUT.sf2\n");
        return 2;
    }
    try {
        kbn::CRvFile file;
        file.Open(argv[1], kbn::CRvFile::kAccessRead, 0);
        const kbn::Bank original = kbn::ReadBank(file);
        kbn::Bank repeated = original;
        repeated.samples.clear();
        for (unsigned r = 0; r < repeat; ++r) {
            repeated.samples.insert(repeated.samples.end(), original.samples.begin(), original.samples.end());
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
