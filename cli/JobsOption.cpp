#include "cli/JobsOption.h"

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

bool TakeJobsOption(int argc, const char* const* argv, int& i, unsigned& threads, std::string& error) {
    const std::string_view arg = argv[i];
    std::string_view value;
    if (arg.starts_with("--jobs=")) {
        value = arg.substr(7);
    } else if (arg.starts_with("-j") && arg.size() > 2) {
        value = arg.substr(2);
    } else if (arg == "-j" || arg == "--jobs") {
        if (i + 1 < argc) value = argv[++i];
    } else {
        return false;
    }
    if (!ParseThreads(value, threads)) error = "-j takes a number of threads from 1 to " + std::to_string(kMostThreads);
    return true;
}

}  // namespace kbn
