// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A removal list is an INI file with one group, "Remove", holding for each row of the check
// list the name of its entry as nameKey gives it and the row's state (2 = ticked, + 1 = selected).
struct RemovalListLine {
    std::string name;  // the entry's name or package as nameKey gives it
    std::int32_t state = 0;
};

// Writes the lines to `path`. The list goes to a temporary file beside it and is renamed into
// place only when complete: false when that failed, which leaves any earlier file of that name
// as it was.
bool writeRemovalList(const std::string& path, const std::vector<RemovalListLine>& lines);

// Reads the lines of the list's "Remove" group, in the file's order, with their states as
// parseStateNumber reads them. False when the file can't be read.
bool readRemovalList(const std::string& path, std::vector<RemovalListLine>& lines);
// The same for a list's contents, read by the caller from wherever it came.
void readRemovalListText(std::string_view text, std::vector<RemovalListLine>& lines);

// The name a save goes to: ".ini" is appended when the file name has no extension ("list" ->
// "list.ini", "list." -> "list..ini"; "list.txt" stays).
std::string removalListPath(const std::string& chosen);

// A state as written in a removal list: optional sign, then decimal digits, "$" and hexadecimal
// digits, or "%" and binary digits, up to the first other character; anything else reads as 0.
std::int32_t parseStateNumber(const std::string& text);
