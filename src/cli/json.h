#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes one JSON document, compactly. Texts that are not UTF-8 (a Latin-1 name from a
// definition file) are taken as Latin-1, so the document is always valid UTF-8.
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
    const std::string& text() const { return out_; }

private:
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    void separate();
    void quoted(const std::string& text);

    std::string out_;
    bool first_ = true;
    bool afterKey_ = false;
};
