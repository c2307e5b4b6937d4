// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A small, strict JSON reader (RFC 8259) for files the user hands the program. Its work is
// bounded by the text it is given and by JsonLimits: the nesting depth, the size of the text and
// the number of values, so a hostile file costs at most a bounded time and memory and never a
// crash. Strings must be UTF-8; escapes, \uXXXX with surrogate pairs included, are decoded to
// UTF-8.
struct JsonMember;

struct JsonValue {
    enum class Kind : std::uint8_t { null, boolean, number, string, array, object };
    Kind kind = Kind::null;
    bool flag = false;
    std::string text;  // a string's UTF-8 text, or a number as written
    std::vector<JsonValue> items;
    std::vector<JsonMember> members;  // in the order written
    std::size_t offset = 0;           // where the value starts in the text, for messages

    // The last member of that key (a later duplicate wins, as most readers take it), or null.
    const JsonValue* member(std::string_view key) const;
};

struct JsonMember {
    std::string key;
    JsonValue value;
};

struct JsonLimits {
    std::size_t maxDepth = 64;
    std::size_t maxBytes = std::size_t{16} << 20;
    std::size_t maxValues = 1'000'000;
};

// Where reading stopped and what it expected there. Lines and columns count from 1; a column
// counts characters, not bytes.
struct JsonError {
    std::size_t line = 0, column = 0;
    std::string expected;
};

// The line and column of a byte offset of `text`.
JsonError jsonPlace(std::string_view text, std::size_t offset, std::string expected);

// Reads the whole of `text` as one JSON value (surrounding white space allowed, a UTF-8
// byte-order mark at the start skipped). False, with `error` set and `value` unspecified, for
// text that isn't JSON or exceeds the limits.
bool readJson(std::string_view text, JsonValue& value, JsonError& error,
              const JsonLimits& limits = {});
