// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/json_reader.h"

#include "platform/utf8.h"

#include <utility>

namespace {

class Reader {
public:
    Reader(std::string_view text, const JsonLimits& limits) : text_(text), limits_(limits) {}

    bool read(JsonValue& value) {
        if (text_.size() > limits_.maxBytes)
            return fail(0, "a file of at most " + std::to_string(limits_.maxBytes >> 20) + " MiB");
        if (text_.starts_with("\xEF\xBB\xBF")) at_ = 3;
        skipBlanks();
        if (!readValue(value, 1)) return false;
        skipBlanks();
        return at_ == text_.size() || fail(at_, "the end of the text after the value");
    }

    JsonError error;

private:
    bool fail(std::size_t offset, std::string expected) {
        error = jsonPlace(text_, offset, std::move(expected));
        return false;
    }

    bool more() const { return at_ < text_.size(); }
    char peek() const { return more() ? text_[at_] : '\0'; }

    void skipBlanks() {
        while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++at_;
    }

    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word)
            return fail(at_, "a value (an object, array, string, number, true, false or null)");
        at_ += word.size();
        return true;
    }

    bool readValue(JsonValue& value, std::size_t depth) {
        if (++values_ > limits_.maxValues)
            return fail(at_, "at most " + std::to_string(limits_.maxValues) + " values");
        value.offset = at_;
        switch (peek()) {
            case '{':
                value.kind = JsonValue::Kind::object;
                return readObject(value, depth);
            case '[':
                value.kind = JsonValue::Kind::array;
                return readArray(value, depth);
            case '"':
                value.kind = JsonValue::Kind::string;
                return readString(value.text);
            case 't':
                value.kind = JsonValue::Kind::boolean;
                value.flag = true;
                return literal("true");
            case 'f':
                value.kind = JsonValue::Kind::boolean;
                return literal("false");
            case 'n':
                return literal("null");
            default:
                value.kind = JsonValue::Kind::number;
                return readNumber(value.text);
        }
    }

    bool nest(std::size_t depth) {
        return depth <= limits_.maxDepth ||
               fail(at_, "nesting at most " + std::to_string(limits_.maxDepth) + " deep");
    }

    bool readObject(JsonValue& value, std::size_t depth) {
        if (!nest(depth)) return false;
        ++at_;
        skipBlanks();
        if (peek() == '}') {
            ++at_;
            return true;
        }
        for (;;) {
            if (peek() != '"') return fail(at_, "'\"' to start a member's name");
            std::string key;
            if (!readString(key)) return false;
            skipBlanks();
            if (peek() != ':') return fail(at_, "':' after a member's name");
            ++at_;
            skipBlanks();
            value.members.push_back({std::move(key), JsonValue{}});
            if (!readValue(value.members.back().value, depth + 1)) return false;
            skipBlanks();
            if (peek() == '}') {
                ++at_;
                return true;
            }
            if (peek() != ',') return fail(at_, "',' or '}' after a member");
            ++at_;
            skipBlanks();
        }
    }

    bool readArray(JsonValue& value, std::size_t depth) {
        if (!nest(depth)) return false;
        ++at_;
        skipBlanks();
        if (peek() == ']') {
            ++at_;
            return true;
        }
        for (;;) {
            value.items.emplace_back();
            if (!readValue(value.items.back(), depth + 1)) return false;
            skipBlanks();
            if (peek() == ']') {
                ++at_;
                return true;
            }
            if (peek() != ',') return fail(at_, "',' or ']' after an item");
            ++at_;
            skipBlanks();
        }
    }

    bool digits() {
        const std::size_t start = at_;
        while (peek() >= '0' && peek() <= '9') ++at_;
        return at_ > start;
    }

    bool readNumber(std::string& out) {
        const std::size_t start = at_;
        if (peek() == '-') ++at_;
        if (peek() == '0') {
            ++at_;
        } else if (!digits()) {
            return fail(start, "a value (an object, array, string, number, true, false or null)");
        }
        if (peek() == '.') {
            ++at_;
            if (!digits()) return fail(at_, "a digit after the decimal point");
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-') ++at_;
            if (!digits()) return fail(at_, "a digit in the exponent");
        }
        out.assign(text_.substr(start, at_ - start));
        return true;
    }

    // Four hex digits at the cursor as a number; false when they aren't there.
    bool hex4(char32_t& unit) {
        if (text_.size() - at_ < 4) return fail(at_, "four hex digits after \\u");
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_ + static_cast<std::size_t>(i)];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return fail(at_ + static_cast<std::size_t>(i), "a hex digit after \\u");
            unit = (unit << 4) | static_cast<char32_t>(digit);
        }
        at_ += 4;
        return true;
    }

    static void append(std::string& out, char32_t point) {
        if (point < 0x80) {
            out += static_cast<char>(point);
        } else if (point < 0x800) {
            out += static_cast<char>(0xC0 | (point >> 6));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            out += static_cast<char>(0xE0 | (point >> 12));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (point >> 18));
            out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        }
    }

    bool readEscape(std::string& out) {
        const std::size_t start = at_ - 1;
        const char c = peek();
        ++at_;
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                return fail(start, "an escape: \\\" \\\\ \\/ \\b \\f \\n \\r \\t or \\uXXXX");
        }
        char32_t unit = 0;
        if (!hex4(unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return fail(start, "a high surrogate before a low one");
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low = 0;
            if (text_.substr(at_, 2) != "\\u")
                return fail(at_, "\\u and a low surrogate after a high one");
            at_ += 2;
            if (!hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF)
                return fail(at_ - 6, "a low surrogate after a high one");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        append(out, unit);
        return true;
    }

    bool readString(std::string& out) {
        const std::size_t start = at_;
        ++at_;
        for (;;) {
            // Runs of plain characters go in whole, checked as UTF-8 once.
            const std::size_t run = at_;
            while (more() && peek() != '"' && peek() != '\\' &&
                   static_cast<unsigned char>(peek()) >= 0x20)
                ++at_;
            const std::string_view plain = text_.substr(run, at_ - run);
            if (!isUtf8(plain)) return fail(run + validPrefix(plain), "text in UTF-8");
            out += plain;
            if (!more()) return fail(start, "'\"' to end the string started here");
            const char c = peek();
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c != '\\') return fail(at_, "no control character in a string (use \\n, \\t...)");
            ++at_;
            if (!more()) return fail(start, "'\"' to end the string started here");
            if (!readEscape(out)) return false;
        }
    }

    // The length of the longest UTF-8 prefix of `text`, to name where it breaks.
    static std::size_t validPrefix(std::string_view text) {
        std::size_t good = 0;
        for (std::size_t length = 1; length <= 4 && good < text.size();) {
            if (good + length <= text.size() && isUtf8(text.substr(good, length))) {
                good += length;
                length = 1;
            } else {
                ++length;
            }
        }
        return good;
    }

    std::string_view text_;
    const JsonLimits& limits_;
    std::size_t at_ = 0;
    std::size_t values_ = 0;
};

}  // namespace

const JsonValue* JsonValue::member(std::string_view key) const {
    for (auto it = members.rbegin(); it != members.rend(); ++it)
        if (it->key == key) return &it->value;
    return nullptr;
}

JsonError jsonPlace(std::string_view text, std::size_t offset, std::string expected) {
    JsonError place{1, 1, std::move(expected)};
    if (offset > text.size()) offset = text.size();
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++place.line;
            place.column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 &&
                   !(i == 0 && text.starts_with("\xEF\xBB\xBF"))) {  // the mark takes no column
            ++place.column;
        }
    }
    return place;
}

bool readJson(std::string_view text, JsonValue& value, JsonError& error, const JsonLimits& limits) {
    value = JsonValue{};
    Reader reader(text, limits);
    if (reader.read(value)) return true;
    error = std::move(reader.error);
    return false;
}
