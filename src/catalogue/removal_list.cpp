// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/removal_list.h"

#include "catalogue/catalogue.h"
#include "catalogue/ini_file.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <string>

namespace {

constexpr const char* listGroup = "Remove";

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Writes the list to `temporary`; false when it could not be created or written whole.
bool writeList(const std::string& temporary, const std::vector<RemovalListLine>& lines) {
    IniFile list;
    if (!list.create(temporary)) return false;
    list.selectGroup(listGroup);
    for (const RemovalListLine& line : lines) list.writeNumber(line.name, line.state);
    return list.close();
}

}  // namespace

std::string removalListPath(const std::string& chosen) {
    const auto nameStart = folderOfPath(chosen).size();
    const auto dot = chosen.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && dot >= nameStart && dot + 1 < chosen.size();
    return hasExtension ? chosen : chosen + ".ini";
}

std::int32_t parseStateNumber(const std::string& text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    unsigned base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    } else if (at < text.size() && text[at] == '%') {
        base = 2;
        ++at;
    }
    // Unsigned arithmetic wraps instead of overflowing; only the low bits matter to a state.
    std::uint32_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = digitValue(text[at]);
        if (static_cast<unsigned>(digit) >= base) break;
        value = value * base + static_cast<unsigned>(digit);
    }
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

bool writeRemovalList(const std::string& path, const std::vector<RemovalListLine>& lines) {
    const std::string temporary = firstFreeNumbered(path + ".tmp");
    if (writeList(temporary, lines) && renameFile(temporary, path)) return true;
    removeFile(temporary);
    return false;
}

namespace {

void readLines(IniFile& list, std::vector<RemovalListLine>& lines) {
    list.selectGroup(listGroup);
    if (list.beginKeys())
        while (list.nextKey())
            lines.push_back({nameKey(list.storedKeyName()), parseStateNumber(list.keyValue())});
    list.close();
}

}  // namespace

bool readRemovalList(const std::string& path, std::vector<RemovalListLine>& lines) {
    IniFile list;
    if (!list.open(path)) return false;
    readLines(list, lines);
    return true;
}

void readRemovalListText(std::string_view text, std::vector<RemovalListLine>& lines) {
    IniFile list;
    list.openText(text);
    readLines(list, lines);
}
