#include "driver/Options.h"

#include <charconv>
#include <string_view>

namespace kbn {

namespace {

constexpr unsigned kMostThreads = 256;

bool ParseThreads(std::string_view text, unsigned& threads) {
    unsigned value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status != std::errc() || end != text.data() + text.size() || value < 1 || value > kMostThreads) return false;
    threads = value;
    return true;
}

}  // namespace

std::optional<KbnconvOptions> ParseKbnconvOptions(int argc, const char* const* argv, std::string& error) {
    KbnconvOptions options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.paths.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--verify") {
            options.verify = true;
        } else if (arg == "-j" || arg == "--jobs" || arg.starts_with("--jobs=") || (arg.starts_with("-j") && arg.size() > 2)) {
            std::string_view value;
            if (arg.starts_with("--jobs=")) {
                value = arg.substr(7);
            } else if (arg.starts_with("-j") && arg.size() > 2) {
                value = arg.substr(2);
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            if (!ParseThreads(value, options.threads)) {
                error = "-j takes a number of threads from 1 to " + std::to_string(kMostThreads);
                return std::nullopt;
            }
        } else if (arg == "-q" || arg == "--quiet") {
            options.verbosity = Verbosity::Quiet;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbosity = Verbosity::Verbose;
        } else {
            error = "unknown option '" + std::string(arg) + "'";
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace kbn
