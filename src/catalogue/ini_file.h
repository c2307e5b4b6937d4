// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// The one INI dialect of every file the program reads or writes itself: the definition files
// and the removal lists. An IniFile holds one whole file in memory as its list of lines.
//
// Reading (`open`):
// - The file is read whole, in one read. There is no limit on line length or line count.
// - A file that begins with the UTF-8 byte-order mark EF BB BF (and is longer than those three
//   bytes) is read in UTF-8 mode; the mark itself is skipped. A file of the mark alone, or an
//   empty file, has no lines.
// - CR and LF each end a line, and any run of them is one line end: CR LF, LF and CR files read
//   alike, and blank lines vanish.
// - Spaces and tabs at the start of a line are skipped; a line holding nothing else is ignored,
//   the last line included. The next character decides the kind of line:
//   ';'  a comment. Comments are kept but never looked at.
//   '['  a group header. The name runs up to the first ']' on the line, or to the line end when
//        there is none, and is not trimmed: "[ main ]" is not the group "main". Text after the
//        ']' is ignored. "[]" is a group with an empty name, which no selectGroup can reach.
//   else a key line. The key runs up to the first '=', without the spaces and tabs in front of
//        it; with no '=' the key is the whole line without its trailing blanks and the value is
//        empty. The value is everything after the '=' once the spaces and tabs right after it
//        are skipped; later '=' and ';' are part of the value ("k=v=w" is k with "v=w"). '#'
//        is an ordinary character. A line starting with '=' has an empty key.
// - Values are held as they stand, trailing blanks included; they are trimmed of spaces and
//   tabs only when read (readString, readNumber, keyValue).
// - Nothing is merged: every header and key line is kept, duplicates included.
//
// Looking up:
// - Group and key names are compared ignoring the case of A-Z only; nothing is trimmed when
//   names are compared.
// - A group's section runs from its header to the next header of any name; no lookup or
//   enumeration leaves it. A group is found by its first header, so keys under a second header
//   of the same name can't be reached. Within a section the first key of a name wins for
//   readString and readNumber; nextKey visits every key, duplicates included.
// - The empty group name stands for the unnamed section: the key lines before the first header.
//
// UTF-8 mode: names and values cross this interface as 8-bit strings, one byte per character
// (code points U+0000 to U+00FF). In UTF-8 mode names handed in are converted with latin1ToUtf8
// before they are compared or stored, and keys and values handed out are converted with fromUtf8
// (and only then trimmed). Without the byte-order mark bytes are taken as they are.
//
// Writing: `create` starts an empty file; writeNumber adds or replaces key lines; `close` writes
// every line as "[name]" or "key = value" (comments as they were read), each ending with
// `lineEnd` of the build, with no blank lines (but for one leading line end when the first line
// of a file without the byte-order mark begins with its bytes, so that the file isn't read back
// in UTF-8 mode). A file opened with `open` and written to is
// written back the same way, keeping its byte-order mark in UTF-8 mode. A file to which nothing
// was written is never touched by `close` (a created one stays as `create` left it: empty).
//
// After `close` (and before the first `open` or `create`) every operation reports false, "" or
// its fallback, and writes are ignored.
class IniFile {
public:
    IniFile() = default;
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;
    ~IniFile();

    // Closes what was held (with its write-back), then reads the file at `path`. False when the
    // file is missing, is not a regular file or can't be read.
    bool open(const std::string& path);
    // Closes what was held (with its write-back), then reads `text` as open reads a file's
    // contents: for text that came from a pipe or a stream. Nothing written is ever kept.
    void openText(std::string_view text);

    // Closes what was held (with its write-back), then creates the file at `path` or empties an
    // existing one, and starts with no lines and without UTF-8 mode. False when the file can't
    // be created or opened for writing.
    bool create(const std::string& path);

    // Makes the first header named `name` the current group and puts the enumeration cursor on
    // it; "" selects the unnamed section. When no header matches, the missing-group mark is set
    // and the name remembered: until the next selectGroup every read gives its fallback, the
    // enumeration is empty, and the first write appends the header "[name]" at the end of the
    // file and makes it the current group. False for a missing group or when nothing is open.
    bool selectGroup(std::string_view name);

    // Puts the cursor back on the current group's header (before the first line for the unnamed
    // section). False while the missing-group mark is set or nothing is open.
    bool beginKeys();
    // Moves the cursor to the next key line of the current section, stepping over comments.
    // False at the next header or the end of the file; the cursor then stays where it was.
    bool nextKey();
    // The key at the cursor; "" when the cursor is not on a key line.
    std::string keyName() const;
    // The value at the cursor, trimmed; "" when the cursor is not on a key line.
    std::string keyValue() const;
    // The same value as the file holds it: in UTF-8 mode its UTF-8 bytes, unconverted.
    std::string storedKeyValue() const;
    // The key at the cursor as the file holds it, like storedKeyValue.
    std::string storedKeyName() const;

    // The trimmed value of the first key `name` in the current section. `fallback` when the key
    // is missing, the missing-group mark is set or nothing is open; a present but empty value
    // gives "".
    std::string readString(std::string_view name, std::string_view fallback) const;
    // The same value as the file holds it (trimmed, unconverted), or `fallback`.
    std::string readStoredString(std::string_view name, std::string_view fallback) const;

    // The value found as by readString, read as a decimal number: blanks skipped, an optional
    // '+' or '-', then digits up to the first other character. A value that doesn't start with a
    // number reads as 0 ("12abc" is 12, "abc" and "" are 0). A number beyond the signed 32-bit
    // range saturates to INT32_MIN or INT32_MAX. `fallback` only in readString's cases.
    std::int32_t readNumber(std::string_view name, std::int32_t fallback) const;

    // Stores `value` in signed decimal under `name` in the current group: the first key of that
    // name in the section gets the new value and the name as given now; otherwise a new key line
    // goes after the last line of the section, so keys stay in the order first written.
    void writeNumber(std::string_view name, std::int32_t value);

    // Writes the file back when anything was written since `open` or `create`, then releases
    // the file and the lines. False only when that write failed (the file may then be cut
    // short); true when there was nothing to write.
    bool close();

    bool isOpen() const { return state_ != State::closed; }
    bool utf8Mode() const { return utf8Mode_; }

private:
    enum class State : std::uint8_t { closed, opened, created };
    enum class LineKind : std::uint8_t { header, comment, key };

    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    // Names and values point into `buffer_`, or into `owned_` for what was written.
    struct Line {
        LineKind kind;
        std::string_view name;   // header name, key, or the whole comment line from its ';'
        std::string_view value;  // key lines only, untrimmed
        std::size_t owned = none;
    };
    struct OwnedText {
        std::string name, value;
    };

    void takeBuffer();
    void parse(std::string_view text);
    std::string handedIn(std::string_view name) const;
    std::string handedOut(std::string_view text) const;
    std::size_t sectionEnd() const;
    std::size_t findKey(std::string_view name) const;
    std::size_t ownedSlot(Line& line);
    bool writeBack();

    State state_ = State::closed;
    std::string path_;
    std::FILE* created_ = nullptr;  // held from `create` to `close`
    std::vector<char> buffer_;
    std::vector<Line> lines_;
    std::deque<OwnedText> owned_;
    std::size_t group_ = none;  // header index of the current group; none: the unnamed section
    std::size_t cursor_ = 0;    // lines passed: the cursor is on line cursor_ - 1, 0 before all
    bool groupMissing_ = false;
    std::string missingGroup_;  // as stored, converted in UTF-8 mode
    bool written_ = false;
    bool utf8Mode_ = false;
};

// Converts UTF-8 back to 8-bit text: a two-byte sequence of a code point up to U+00FF becomes
// that byte; every other sequence (a code point above U+00FF, an overlong C0/C1 form, or a lead
// byte not followed by enough continuation bytes) becomes one '?', and the byte that broke it
// starts the next sequence; a byte that can't begin a sequence (0x80-0xBF, 0xF8-0xFF) and a
// sequence cut off by the end of the text are dropped.
std::string fromUtf8(std::string_view text);
