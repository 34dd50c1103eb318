#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kbn {

enum class Verbosity { Quiet, Normal, Verbose };

struct KbnconvOptions {
    bool help = false;
    bool version = false;
    bool verify = false;
    Verbosity verbosity = Verbosity::Normal;
    unsigned threads = 0;  // 0: one per core
    std::vector<std::string> paths;  // input and output, then anything ignored
};

// Options may stand before, between or after the paths; "--" ends them, so
// that a path may start with '-'. A lone "-" is a path. Returns nothing and
// sets `error` for an unknown option.
std::optional<KbnconvOptions> ParseKbnconvOptions(int argc, const char* const* argv, std::string& error);

}  // namespace kbn
