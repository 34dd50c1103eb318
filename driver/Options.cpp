#include "driver/Options.h"

#include <string_view>

#include "cli/JobsOption.h"

namespace kbn {

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
        } else if (TakeJobsOption(argc, argv, i, options.threads, error)) {
            if (!error.empty()) return std::nullopt;
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
