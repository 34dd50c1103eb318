// Writes the fuzzers' seed corpora: small WAV files, SoundFonts, the banks
// converted from them, and PCM for the codec round trip. Every seed is made
// here from a description, so the corpora can be rebuilt at will:
//   kbn_fuzz_seeds fuzz/corpus
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "import/SoundFontConverter.h"
#include "import/WavImporter.h"
#include "stream/MemoryStream.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/WavBuilder.h"

namespace {

using namespace kbn;
using Bytes = std::vector<uint8_t>;

std::vector<int16_t> Sine(std::size_t length, double step, double amplitude) {
    std::vector<int16_t> pcm(length);
    for (std::size_t i = 0; i < length; ++i) {
        pcm[i] = static_cast<int16_t>(amplitude * std::sin(step * static_cast<double>(i)));
    }
    return pcm;
}

std::vector<int16_t> Noise(std::size_t length, uint32_t seed, int32_t range) {
    std::mt19937 random(seed);
    std::vector<int16_t> pcm(length);
    const auto span = static_cast<uint32_t>(2 * range + 1);
    for (int16_t& v : pcm) v = static_cast<int16_t>(static_cast<int32_t>(random() % span) - range);
    return pcm;
}

std::vector<int16_t> Extremes(std::size_t length) {
    std::vector<int16_t> pcm(length);
    for (std::size_t i = 0; i < length; ++i) pcm[i] = (i * 7919 % 3 == 0) ? INT16_MIN : INT16_MAX;
    return pcm;
}

Bytes PcmBytes(const std::vector<int16_t>& pcm) {
    Bytes bytes;
    for (int16_t v : pcm) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    return bytes;
}

std::vector<std::pair<std::string, Bytes>> WavSeeds() {
    std::vector<std::pair<std::string, Bytes>> seeds;
    test::TestWav mono;
    mono.pcm = Sine(300, 0.07, 12000);
    seeds.push_back({"mono.wav", test::BuildWav(mono)});

    test::TestWav stereo;
    stereo.channels = 2;
    stereo.pcm = Noise(2 * 150, 3, 3000);
    test::TestWavSampler loop;
    loop.unityNote = 64;
    loop.loops = {{10, 120}};
    stereo.sampler = loop;
    seeds.push_back({"stereo-loop.wav", test::BuildWav(stereo)});

    test::TestWav after;
    after.pcm = Extremes(70);
    test::TestWavSampler twoLoops;
    twoLoops.unityNote = 72;
    twoLoops.loops = {{0, 69}, {5, 9}};
    after.sampler = twoLoops;
    after.samplerAfterData = true;
    after.chunksBeforeData.push_back({"LIST", test::OddInfoList()});
    after.fmtSize = 18;
    seeds.push_back({"smpl-after-data.wav", test::BuildWav(after)});

    test::TestWav eightBit;
    eightBit.bitsPerSample = 8;
    eightBit.pcm = {1, 2, 3, 4};
    seeds.push_back({"eight-bit.wav", test::BuildWav(eightBit)});

    test::TestWav empty;
    empty.withData = false;
    seeds.push_back({"no-data.wav", test::BuildWav(empty)});
    return seeds;
}

test::TestSfZone Zone(std::vector<SfGenerator> generators, std::vector<ModulatorRecord> modulators = {}) {
    return test::TestSfZone{std::move(generators), std::move(modulators)};
}

std::vector<std::pair<std::string, Bytes>> SoundFontSeeds() {
    std::vector<std::pair<std::string, Bytes>> seeds;
    test::TestSoundFont one;
    one.samples.push_back({"sine", Sine(200, 0.1, 9000), 20, 180});
    one.instruments.push_back({"inst", {Zone({{43, 0x7F00}, {17, 0xFFCE}, {53, 0}})}});
    one.presets.push_back({"preset", 0, 0, {Zone({{41, 0}})}});
    seeds.push_back({"one-sample.sf2", test::BuildSoundFont(one)});

    test::TestSoundFont full;
    full.samples.push_back({"left", Noise(120, 5, 20000), 0, 100, 22050, 60, -5, 4});
    full.samples.push_back({"right", Noise(97, 6, 40), 3, 90, 22050, 60, 7, 2});
    full.samples.push_back({"rom", Extremes(33), 0, 0, 8000, 69, 0, 0x8001});
    const ModulatorRecord velocity{0x0502, 48, 960, 0, 0};
    const ModulatorRecord link{0x0102, 0x8001, -200, 0x0010, 2};
    full.instruments.push_back(
        {"stereo", {Zone({{17, 0x1000}}, {velocity}), Zone({{43, 0x3C00}, {53, 0}}), Zone({{53, 1}, {54, 1}})}});
    full.instruments.push_back({"rom", {Zone({{53, 2}, {56, 100}, {58, 61}}, {link})}});
    full.presets.push_back({"global", 1, 0, {Zone({{44, 0x7F00}}), Zone({{41, 0}}), Zone({{41, 1}})}});
    full.presets.push_back({"drums", 0, 128, {Zone({{41, 1}, {43, 0x2400}}, {velocity})}});
    test::TestSfFile file = test::MakeSoundFontFile(full);
    file.junkBetweenLists = true;
    file.oddInfoChunk = true;
    seeds.push_back({"three-samples.sf2", test::SerializeSoundFont(file)});

    test::TestSfFile pdtaFirst = test::MakeSoundFontFile(one);
    pdtaFirst.pdtaFirst = true;
    pdtaFirst.withInfo = false;
    pdtaFirst.extraPdtaChunks.push_back({"xtra", {1, 2, 3}});
    seeds.push_back({"pdta-first.sf2", test::SerializeSoundFont(pdtaFirst)});

    seeds.push_back({"empty.sf2", test::BuildSoundFont({})});
    return seeds;
}

Bytes Convert(const std::string& name, const Bytes& source) {
    CMemoryStreamIn in(source, name);
    CMemoryStreamOut out;
    if (name.ends_with(".wav")) {
        ConvertWav(in, out);
    } else {
        ConvertSoundFont(in, out);
    }
    return out.Bytes();
}

void Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: kbn_fuzz_seeds CORPUS_DIR\n";
        return 255;
    }
    const std::filesystem::path root = argv[1];
    try {
        for (const char* kind : {"wav", "sf2", "bank", "roundtrip"}) std::filesystem::create_directories(root / kind);
        for (const auto& [name, bytes] : WavSeeds()) Write(root / "wav" / name, bytes);
        for (const auto& [name, bytes] : SoundFontSeeds()) Write(root / "sf2" / name, bytes);
        for (const auto& [name, bytes] : WavSeeds()) {
            if (name != "eight-bit.wav") Write(root / "bank" / (name + ".bank"), Convert(name, bytes));
        }
        for (const auto& [name, bytes] : SoundFontSeeds())
            Write(root / "bank" / (name + ".bank"), Convert(name, bytes));
        Write(root / "roundtrip" / "sine.pcm", PcmBytes(Sine(500, 0.02, 30000)));
        Write(root / "roundtrip" / "noise.pcm", PcmBytes(Noise(300, 9, 32767)));
        Write(root / "roundtrip" / "quiet.pcm", PcmBytes(Noise(1000, 10, 8)));
        Write(root / "roundtrip" / "extremes.pcm", PcmBytes(Extremes(97)));
        Write(root / "roundtrip" / "silence.pcm", Bytes(130, 0));
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
