#include "bank/NameText.h"

#include <cstdio>

namespace kbn {
namespace {

std::string NameToText(const Name& name) {
    std::string text;
    for (uint8_t byte : name) {
        if (byte == 0) break;
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += static_cast<char>(byte);
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text;
}

}  // namespace

std::string QuotedName(const Name& name) {
    std::string text(1, '"');
    text.append(NameToText(name));
    text.push_back('"');
    return text;
}

}  // namespace kbn
