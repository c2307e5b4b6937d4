// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json.h"

#include "platform/paths.h"
#include "platform/utf8.h"

#include <cstdio>
#include <string_view>

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

namespace {

// The bytes with each one that isn't part of a UTF-8 sequence replaced by U+FFFD.
std::string replacingStrayBytes(const std::string& bytes) {
    std::string text;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string_view sequence = std::string_view(bytes).substr(at, length);
        if (sequence.size() == length && isUtf8(sequence)) {
            text += sequence;
            at += length;
        } else {
            text += "\xEF\xBF\xBD";
            ++at;
        }
    }
    return text;
}

std::string base64(const std::string& bytes) {
    constexpr const char* digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        std::uint32_t group = static_cast<unsigned char>(bytes[at]) << 16;
        if (at + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[at + 1]) << 8;
        if (at + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[at + 2]);
        out += digits[(group >> 18) & 63];
        out += digits[(group >> 12) & 63];
        out += at + 1 < bytes.size() ? digits[(group >> 6) & 63] : '=';
        out += at + 2 < bytes.size() ? digits[group & 63] : '=';
    }
    return out;
}

}  // namespace

void JsonWriter::quoted(const std::string& raw) { escaped(asUtf8(raw)); }

void JsonWriter::escaped(const std::string& text) {
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

JsonWriter& JsonWriter::path(const std::string& spelled) {
    const std::string bytes = slashSeparated(spelled);
    if (isUtf8(bytes)) {
        separate();
        escaped(bytes);
        return *this;
    }
    beginObject().key("text");
    separate();
    escaped(replacingStrayBytes(bytes));
    return key("bytes").value(base64(spelled)).endObject();
}

JsonWriter& JsonWriter::paths(const std::vector<std::string>& texts) {
    beginArray();
    for (const std::string& text : texts) path(text);
    return endArray();
}

JsonWriter& JsonWriter::lines(const std::string& text) {
    beginArray();
    std::size_t start = 0;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at < text.size() && text[at] != '\r' && text[at] != '\n') continue;
        if (at == text.size() && start == at) break;  // no line after the last line break
        value(text.substr(start, at - start));
        if (at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n') ++at;
        start = at + 1;
    }
    return endArray();
}

JsonWriter& JsonWriter::strings(const std::vector<std::string>& texts) {
    beginArray();
    for (const std::string& text : texts) value(text);
    return endArray();
}
