// Encoder and decoder throughput on the kinds of PCM a bank holds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "codec/BitReader.h"
#include "codec/BlockDecoding.h"
#include "codec/FullBlockDecoder.h"
#include "codec/SampleDecoder.h"
#include "codec/SampleEncoder.h"
#include "import/SoundFontReader.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "stream/StreamOut.h"

namespace kbn {
namespace {

constexpr std::size_t kFrames = 1 << 20;

// Counts bytes without keeping them, so that only the encoder is measured.
class CountingStream final : public CStreamOut {
public:
    void Write(const void*, uint32_t count) override { bytes += count; }
    uint64_t bytes = 0;
};

// Keeps the last stream written, for the decoder benchmarks.
class KeepingStream final : public CStreamOut {
public:
    void Write(const void* src, uint32_t count) override {
        const auto* p = static_cast<const uint8_t*>(src);
        bytes.insert(bytes.end(), p, p + count);
    }
    std::vector<uint8_t> bytes;
};

std::vector<int16_t> Silence() { return std::vector<int16_t>(kFrames, 0); }

std::vector<int16_t> Sine() {
    std::vector<int16_t> pcm(kFrames);
    for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(12000 * std::sin(0.031 * static_cast<double>(i)));
    return pcm;
}

std::vector<int16_t> Noise() {
    std::mt19937 random(1);
    std::vector<int16_t> pcm(kFrames);
    for (int16_t& v : pcm) v = static_cast<int16_t>(random());
    return pcm;
}

// The sample data of TimGM6mb.sf2 (Debian's timgm6mb-soundfont), or nothing.
std::vector<int16_t> RealPcm() {
    std::ifstream file("/usr/share/sounds/sf2/TimGM6mb.sf2", std::ios::binary);
    if (!file) return {};
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    CMemoryStreamIn in(bytes);
    SoundFontTables tables;
    if (!ReadSoundFont(in, tables) || !tables.hasSampleData) return {};
    std::vector<int16_t> pcm(tables.sampleDataSize / 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = GetS16(bytes.data() + tables.sampleDataPosition + 8 + 2 * i);
    return pcm;
}

const std::vector<int16_t>& Signal(int kind) {
    static const std::vector<int16_t> signals[] = {Silence(), Sine(), Noise(), RealPcm()};
    return signals[kind];
}

const char* const kSignalNames[] = {"silence", "sine", "noise", "TimGM6mb"};

// The real PCM is empty when its bank is not installed: the benchmark is
// then skipped with a word why.
bool SkippedForLackOf(const std::vector<int16_t>& pcm, benchmark::State& state) {
    if (!pcm.empty()) return false;
    state.SkipWithError("TimGM6mb.sf2 is not installed");
    return true;
}

void BM_Encode(benchmark::State& state) {
    const std::vector<int16_t>& pcm = Signal(static_cast<int>(state.range(0)));
    if (SkippedForLackOf(pcm, state)) return;
    CountingStream out;
    for (auto _ : state) {
        EncodeSample(out, pcm.data(), static_cast<int32_t>(pcm.size()));
        benchmark::DoNotOptimize(out.bytes);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pcm.size() * 2));
    state.SetLabel(kSignalNames[state.range(0)]);
}

// A sample's stream: its bit count, then the packed bits.
struct Encoded {
    explicit Encoded(const std::vector<int16_t>& pcm) {
        EncodeSample(stream, pcm.data(), static_cast<int32_t>(pcm.size()));
        bits = GetU64(stream.bytes.data() + 2);
    }
    std::span<const uint8_t> Packed() const { return {stream.bytes.data() + 10, stream.bytes.size() - 10}; }

    KeepingStream stream;
    uint64_t bits = 0;
};

void BM_Decode(benchmark::State& state) {
    const std::vector<int16_t>& pcm = Signal(static_cast<int>(state.range(0)));
    if (SkippedForLackOf(pcm, state)) return;
    const Encoded encoded(pcm);
    std::vector<int16_t> decoded(pcm.size());
    for (auto _ : state) {
        DecodeSample(encoded.Packed(), encoded.bits, decoded);
        benchmark::DoNotOptimize(decoded.data());
    }
    if (decoded != pcm) state.SkipWithError("the decoder does not give back the samples");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pcm.size() * 2));
    state.SetLabel(kSignalNames[state.range(0)]);
}

// One full-block decoder alone, on the full blocks of the real PCM: every
// decoder this processor runs, to compare them (the sample decoder above
// uses the fastest).
void BM_DecodeFullBlocks(benchmark::State& state, FullBlockDecoder decode) {
    const std::vector<int16_t>& pcm = Signal(3);
    if (SkippedForLackOf(pcm, state)) return;
    const Encoded encoded(pcm);
    // The blocks the decoder declines (a long code, or too near the end)
    // are taken one by one, as the sample decoder does.
    const uint64_t blocks = pcm.size() / kSamplesPerBlock;
    std::vector<int16_t> decoded(blocks * kSamplesPerBlock);
    for (auto _ : state) {
        int32_t previous[3] = {0, 0, 0};
        uint64_t position = 0;
        for (uint64_t done = 0; done < blocks;) {
            done += decode(encoded.Packed().data(), encoded.Packed().size(), encoded.bits, position,
                           decoded.data() + kSamplesPerBlock * done, blocks - done, previous);
            if (done == blocks) break;
            block_decoding::Block block;
            CBitReader reader(encoded.Packed(), encoded.bits, position);
            block.order = reader.ReadBits(2);
            const uint32_t k = reader.ReadBits(4);
            for (int16_t& residual : block.residual) {
                const uint32_t low = reader.ReadBits(k);
                residual = block_decoding::ResidualOf((reader.ReadUnary() << k) | low);
            }
            position = reader.Position();
            block_decoding::Reconstruct(block, kSamplesPerBlock, decoded.data() + kSamplesPerBlock * done, previous);
            ++done;
        }
        benchmark::DoNotOptimize(decoded.data());
    }
    if (!std::equal(decoded.begin(), decoded.end(), pcm.begin())) {
        state.SkipWithError("the decoder does not give back the samples");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(decoded.size() * 2));
}

const bool kFullBlockDecodersRegistered = [] {
    for (const NamedFullBlockDecoder& decoder : AvailableFullBlockDecoders()) {
        benchmark::RegisterBenchmark((std::string("BM_DecodeFullBlocks/") + decoder.name).c_str(),
                                     BM_DecodeFullBlocks, decoder.decode)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

BENCHMARK(BM_Encode)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kbn

BENCHMARK_MAIN();
