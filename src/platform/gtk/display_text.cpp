#include "platform/gtk/display_text.h"

#include <glib.h>

std::string displayText(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    std::string converted;
    converted.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            converted += c;
        } else {
            converted += static_cast<char>(0xC0 | (byte >> 6));
            converted += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return converted;
}

std::string displayLines(const std::string& text) {
    std::string lines = displayText(text);
    std::string result;
    result.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == '\r') {
            result += '\n';
            if (i + 1 < lines.size() && lines[i + 1] == '\n') ++i;
        } else {
            result += lines[i];
        }
    }
    return result;
}
