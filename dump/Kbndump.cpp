#include "dump/Kbndump.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Extension.h"
#include "cli/Failure.h"
#include "cli/JobsOption.h"
#include "dump/BankListing.h"
#include "dump/SampleFileName.h"
#include "export/SoundFontWriter.h"
#include "export/WavWriter.h"
#include "platform/Platform.h"
#include "reader/BankReader.h"
#include "stream/AtomicOutputFile.h"
#include "stream/RvFile.h"

#ifndef KBN_VERSION
#define KBN_VERSION "unknown"
#endif

namespace kbn {
namespace {

constexpr const char* kHelp =
    "Usage: kbndump [options] BANK.kbn\n"
    "Lists a KBN bank, or tests, extracts or rebuilds it.\n"
    "\n"
    "Options:\n"
    "  -t, --test           decode every sample and check the whole bank\n"
    "  -j, --jobs N         test with N threads (default: one per core it may\n"
    "                       run on)\n"
    "  -x, --extract DIR    write every sample into DIR as a 16-bit mono WAV file\n"
    "                       with a smpl chunk (root key and loop)\n"
    "      --sf2 OUT.sf2    rebuild a SoundFont 2 bank\n"
    "      --json           list the bank as one JSON document\n"
    "  -h, --help           print this help and exit\n"
    "      --version        print the version and exit\n"
    "      --               end of options\n"
    "\n"
    "Without an option the bank is listed on standard output.\n"
    "Exit status: 0 success, 1 a defect in the bank or a failure, 255 usage error.\n";

enum class Mode { List, Json, Test, Extract, Rebuild };

struct DumpOptions {
    bool help = false;
    bool version = false;
    Mode mode = Mode::List;
    unsigned threads = 0;  // 0: one per core
    std::string target;  // the directory or the SoundFont
    std::vector<std::string> paths;
};

std::optional<DumpOptions> ParseOptions(int argc, const char* const* argv, std::string& error) {
    DumpOptions options;
    int modes = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto takeValue = [&](Mode mode, std::string_view name) {
            ++modes;
            options.mode = mode;
            const std::size_t equals = arg.find('=');
            if (equals != std::string_view::npos) {
                options.target = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                options.target = argv[++i];
            } else {
                error = std::string(name) + " needs a value";
            }
        };
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.paths.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (TakeJobsOption(argc, argv, i, options.threads, error)) {
            // Its error, if any, is returned below.
        } else if (arg == "-t" || arg == "--test") {
            ++modes;
            options.mode = Mode::Test;
        } else if (arg == "--json") {
            ++modes;
            options.mode = Mode::Json;
        } else if (arg == "-x" || arg == "--extract" || arg.starts_with("--extract=")) {
            takeValue(Mode::Extract, "--extract");
        } else if (arg == "--sf2" || arg.starts_with("--sf2=")) {
            takeValue(Mode::Rebuild, "--sf2");
        } else {
            error = "unknown option '" + std::string(arg) + "'";
        }
        if (!error.empty()) return std::nullopt;
    }
    if (modes > 1) {
        error = "--test, --json, --extract and --sf2 exclude each other";
        return std::nullopt;
    }
    if (options.threads != 0 && options.mode != Mode::Test) {
        error = "-j goes with --test only";
        return std::nullopt;
    }
    return options;
}

// A bank opened through the library's C API, as a tool would open it.
class CApiBank {
public:
    explicit CApiBank(const std::string& path) : path_(path) {
        kbn_error error;
        bank_ = kbn_open_file(path.c_str(), &error);
        if (bank_ == nullptr) Fail(error);
    }
    ~CApiBank() { kbn_close(bank_); }
    CApiBank(const CApiBank&) = delete;
    CApiBank& operator=(const CApiBank&) = delete;

    kbn_bank* Get() const { return bank_; }
    // A failed call's message names the bank already.
    [[noreturn]] void Fail(const kbn_error& error) const {
        const std::string message = error.message;
        const std::string prefix = path_ + ": ";
        if (message.starts_with(prefix)) throw CError(message.substr(prefix.size()), path_);
        throw CError(message, path_);
    }

private:
    std::string path_;
    kbn_bank* bank_ = nullptr;
};

// Decodes the samples on `threads` threads; the defect reported is the
// first in order whatever the threads.
void TestBank(const CApiBank& bank, const std::string& path, unsigned threads, std::ostream& out) {
    kbn_error error;
    if (kbn_test(bank.Get(), threads, &error) != KBN_OK) bank.Fail(error);
    out << path << ": ok, " << kbn_sample_count(bank.Get()) << " samples, " << kbn_instrument_count(bank.Get())
        << " instruments, " << kbn_preset_count(bank.Get()) << " presets\n";
}

SampleRecord RecordOf(const kbn_sample_info& info) {
    SampleRecord record;
    std::copy(info.name, info.name + kNameSize, record.name.begin());
    record.length = info.length;
    record.loopStart = info.loop_start;
    record.loopEnd = info.loop_end;
    record.sampleRate = info.sample_rate;
    record.rootKey = info.root_key;
    record.pitchCorrection = info.pitch_correction;
    record.flags = info.flags;
    return record;
}

// One sample at a time: its PCM, then its WAV file.
void ExtractSamples(const CApiBank& bank, const std::string& bankPath, const std::string& directory) {
    if (!platform::MakeDirectory(directory)) {
        throw CError("cannot create the directory: " + platform::ErrorText(platform::LastError()), directory);
    }
    std::vector<int16_t> pcm;
    for (uint32_t i = 0; i < kbn_sample_count(bank.Get()); ++i) {
        kbn_sample_info info;
        kbn_error error;
        if (kbn_get_sample(bank.Get(), i, &info, &error) != KBN_OK) bank.Fail(error);
        pcm.resize(info.length);
        if (kbn_decode(bank.Get(), i, 0, info.length, pcm.data(), &error) != KBN_OK) bank.Fail(error);
        const SampleRecord record = RecordOf(info);
        CAtomicOutputFile wav(directory + "/" + SampleFileName(i, record.name), bankPath);
        WriteSampleWav(wav.Stream(), record, pcm);
        wav.Commit();
    }
}

// The SoundFont writer takes the bank's whole structure, which the C++
// reader gives.
void RebuildSoundFont(const std::string& bankPath, const std::string& target) {
    CRvFile file;
    file.Open(bankPath.c_str(), CRvFile::kAccessRead, 0);
    const Bank bank = ReadBank(file);
    CAtomicOutputFile sf2(target, bankPath);
    const SamplePcmSource pcm = [&](uint32_t index) {
        return ReadSamplePcm(file, bank.samples[index], index);
    };
    WriteSoundFont(sf2.Stream(), bank, pcm, GetStem(bankPath));
    sf2.Commit();
}

}  // namespace

int RunKbndump(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    std::string error;
    const std::optional<DumpOptions> options = ParseOptions(argc, argv, error);
    if (!options) {
        err << "kbndump: " << error << " (kbndump --help lists the options)\n";
        return kStatusUsage;
    }
    if (options->help) {
        out << kHelp;
        return 0;
    }
    if (options->version) {
        out << "kbndump " << KBN_VERSION << "\n";
        return 0;
    }
    if (options->paths.size() != 1) {
        err << "Usage: kbndump [--test [-j N] | --json | --extract DIR | --sf2 OUT.sf2] BANK.kbn\n";
        return kStatusUsage;
    }
    const std::string& path = options->paths[0];
    return RunReportingFailures(err, path, [&] {
        if (options->mode == Mode::Rebuild) {
            RebuildSoundFont(path, options->target);
            return 0;
        }
        const CApiBank bank(path);
        switch (options->mode) {
            case Mode::List: ListBank(out, bank.Get()); break;
            case Mode::Json: ListBankAsJson(out, bank.Get()); break;
            case Mode::Test: TestBank(bank, path, options->threads, out); break;
            case Mode::Extract: ExtractSamples(bank, path, options->target); break;
            case Mode::Rebuild: break;
        }
        return 0;
    });
}

}  // namespace kbn
