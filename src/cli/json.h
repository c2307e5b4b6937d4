// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes one JSON document, compactly; every string in it is valid UTF-8. A text that is not
// UTF-8 (a message naming a path that isn't) is taken as Latin-1, as it is printed. A path
// keeps its exact bytes: when they are not UTF-8 it is written as the object
// {"text": the path with U+FFFD for each byte that isn't UTF-8, "bytes": its bytes in base64}.
class JsonWriter {
public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    // The key of the next value in an object.
    JsonWriter& key(const std::string& name);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text) { return value(std::string(text)); }
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(int number);
    JsonWriter& value(bool flag);
    JsonWriter& null();
    JsonWriter& strings(const std::vector<std::string>& texts);
    // A path with '/' between its folders on every build: 7z.exe lists a zip's entries with '\'
    // as Windows writes its own paths, and either is taken there. A path that isn't UTF-8 keeps
    // its exact bytes beside the text.
    JsonWriter& path(const std::string& bytes);
    JsonWriter& paths(const std::vector<std::string>& paths);
    // A message as an array of its lines (the window breaks them with CR).
    JsonWriter& lines(const std::string& text);
    const std::string& text() const { return out_; }

private:
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    void separate();
    void quoted(const std::string& text);
    void escaped(const std::string& utf8);

    std::string out_;
    bool first_ = true;
    bool afterKey_ = false;
};
