// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/utf8.h"

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || i + length > text.size()) return false;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if ((byte & 0xC0) != 0x80) return false;
            point = (point << 6) | (byte & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < smallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string asUtf8(std::string_view text) {
    return isUtf8(text) ? std::string(text) : latin1ToUtf8(text);
}

namespace {

void appendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// Windows-1252's characters for 0x80-0x9F; 0 where the byte stays a control character.
constexpr char16_t windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::string windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char16_t mapped = byte >= 0x80 && byte < 0xA0 ? windows1252High[byte - 0x80] : 0;
        appendUtf8(out, mapped ? mapped : byte);
    }
    return out;
}

std::string textAsUtf8(std::string_view text) {
    return isUtf8(text) ? std::string(text) : windows1252ToUtf8(text);
}

std::string lowerUtf8Letters(std::string_view text) {
    std::string out(text);
    const bool utf8 = isUtf8(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto lead = static_cast<unsigned char>(out[i]);
        if (lead >= 'A' && lead <= 'Z') {
            out[i] = static_cast<char>(lead + 0x20);
            continue;
        }
        // Two-byte letters only: Latin-1 C3 80-9E (not the multiplication sign, 97), Greek
        // CE 91-A9 (A2 is unassigned), Cyrillic D0 80-AF.
        if (!utf8 || lead < 0xC2 || lead >= 0xE0 || i + 1 >= out.size()) continue;
        const auto next = static_cast<unsigned char>(out[i + 1]);
        char32_t point = ((lead & 0x1F) << 6) | (next & 0x3F);
        if ((point >= 0xC0 && point <= 0xDE && point != 0xD7) ||
            (point >= 0x391 && point <= 0x3A9 && point != 0x3A2) ||
            (point >= 0x410 && point <= 0x42F))
            point += 0x20;
        else if (point >= 0x400 && point <= 0x40F)
            point += 0x50;
        // Every lowered letter here still takes two bytes, so it is written in place.
        out[i] = static_cast<char>(0xC0 | (point >> 6));
        out[i + 1] = static_cast<char>(0x80 | (point & 0x3F));
        ++i;
    }
    return out;
}
