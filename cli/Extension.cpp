#include "cli/Extension.h"

namespace kbn {

namespace {

// What follows the last '\\', '/' or drive ':'.
std::string_view LastComponent(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace

std::string GetStem(std::string_view path) {
    const std::string_view component = LastComponent(path);
    return std::string(component.substr(0, component.rfind('.')));
}

std::string GetExtension(std::string_view path) {
    constexpr std::size_t kMaxExtensionWithDot = 255;
    const std::string_view component = LastComponent(path);
    const std::size_t dot = component.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string extension(component.substr(dot, kMaxExtensionWithDot));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension.substr(1);
}

}  // namespace kbn
