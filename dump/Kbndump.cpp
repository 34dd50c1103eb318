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
#include "platform/Threads.h"
#include "reader/BankReader.h"
#include "reader/SampleReader.h"
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
    "  -h, --help           print this help and exit\n"
    "      --version        print the version and exit\n"
    "      --               end of options\n"
    "\n"
    "Without an option the bank is listed on standard output.\n"
    "Exit status: 0 success, 1 a defect in the bank or a failure, 255 usage error.\n";

enum class Mode { List, Test, Extract, Rebuild };

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
        error = "--test, --extract and --sf2 exclude each other";
        return std::nullopt;
    }
    if (options.threads != 0 && options.mode != Mode::Test) {
        error = "-j goes with --test only";
        return std::nullopt;
    }
    return options;
}

struct OpenBank {
    CRvFile file;
    Bank bank;
};

void Open(OpenBank& opened, const std::string& path) {
    opened.file.Open(path.c_str(), CRvFile::kAccessRead, 0);
    opened.bank = ReadBank(opened.file);
}

// Decodes the samples on `threads` threads, each reading its own; the
// defect reported is the first in order whatever the threads.
void TestBank(OpenBank& opened, const std::string& path, unsigned threads, std::ostream& out) {
    CheckBankReferences(opened.bank);
    const Bank& bank = opened.bank;
    ForEachOnThreads(
        static_cast<uint32_t>(bank.samples.size()), threads,
        [&] { return CSampleReader(opened.file, SampleAccess::AtPositions); },
        [&](CSampleReader& reader, uint32_t i) { reader.Read(bank.samples[i], i); });
    out << path << ": ok, " << opened.bank.samples.size() << " samples, " << opened.bank.instruments.size()
        << " instruments, " << opened.bank.presets.size() << " presets\n";
}

void ExtractSamples(OpenBank& opened, const std::string& bankPath, const std::string& directory) {
    if (!platform::MakeDirectory(directory)) {
        throw CError("cannot create the directory: " + platform::ErrorText(platform::LastError()), directory);
    }
    CSampleReader reader(opened.file);
    for (uint32_t i = 0; i < opened.bank.samples.size(); ++i) {
        const BankSample& sample = opened.bank.samples[i];
        const std::span<const int16_t> pcm = reader.Read(sample, i);
        CAtomicOutputFile wav(directory + "/" + SampleFileName(i, sample.record.name), bankPath);
        WriteSampleWav(wav.Stream(), sample.record, pcm);
        wav.Commit();
    }
}

void RebuildSoundFont(OpenBank& opened, const std::string& bankPath, const std::string& target) {
    CAtomicOutputFile sf2(target, bankPath);
    const SamplePcmSource pcm = [&](uint32_t index) {
        return ReadSamplePcm(opened.file, opened.bank.samples[index], index);
    };
    WriteSoundFont(sf2.Stream(), opened.bank, pcm, GetStem(bankPath));
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
        err << "Usage: kbndump [--test [-j N] | --extract DIR | --sf2 OUT.sf2] BANK.kbn\n";
        return kStatusUsage;
    }
    const std::string& path = options->paths[0];
    return RunReportingFailures(err, path, [&] {
        OpenBank opened;
        Open(opened, path);
        switch (options->mode) {
            case Mode::List: ListBank(out, opened.bank); break;
            case Mode::Test:
                TestBank(opened, path, options->threads != 0 ? options->threads : DefaultThreadCount(), out);
                break;
            case Mode::Extract: ExtractSamples(opened, path, options->target); break;
            case Mode::Rebuild: RebuildSoundFont(opened, path, options->target); break;
        }
        return 0;
    });
}

}  // namespace kbn
