#include "cli/json.h"

#include <cstdio>

namespace {

// The length of the UTF-8 sequence at `at`, or 0 when the bytes there are not one.
std::size_t utf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead < 0x80                   ? 1
                         : lead >= 0xC2 && lead < 0xE0 ? 2
                         : lead >= 0xE0 && lead < 0xF0 ? 3
                         : lead >= 0xF0 && lead < 0xF5 ? 4
                                                       : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}

bool isUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8Length(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string latin1ToUtf8(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | byte >> 6);
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

}  // namespace

JsonWriter& JsonWriter::open(char bracket) {
    separate();
    out_ += bracket;
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    out_ += bracket;
    first_ = false;
    return *this;
}

void JsonWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_) out_ += ',';
    first_ = false;
}

JsonWriter& JsonWriter::key(const std::string& name) {
    separate();
    quoted(name);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

void JsonWriter::quoted(const std::string& raw) {
    const std::string text = isUtf8(raw) ? raw : latin1ToUtf8(raw);
    out_ += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out_ += "\\\"";
                break;
            case '\\':
                out_ += "\\\\";
                break;
            case '\n':
                out_ += "\\n";
                break;
            case '\r':
                out_ += "\\r";
                break;
            case '\t':
                out_ += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out_ += escaped;
                } else {
                    out_ += c;
                }
        }
    }
    out_ += '"';
}

JsonWriter& JsonWriter::value(const std::string& text) {
    separate();
    quoted(text);
    return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(int number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    separate();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    out_ += "null";
    return *this;
}

JsonWriter& JsonWriter::strings(const std::vector<std::string>& texts) {
    beginArray();
    for (const std::string& text : texts) value(text);
    return endArray();
}
