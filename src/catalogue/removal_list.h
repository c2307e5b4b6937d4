#pragma once

#include <cstdint>
#include <string>

class Gui;
struct Catalogue;

// A removal list is an INI file with one group, "Remove", holding for each row of the check
// list the entry's lower-cased name and the row's state (2 = ticked, + 1 = selected).

// Asks for a file name and writes the state of every row. A file that is there is replaced only
// when the user says so. The list goes to a temporary file beside the target and is renamed into
// place only when complete: a save that fails says "Can't save <path>" and leaves any earlier
// file of that name as it was.
void saveRemovalList(Gui& gui, const Catalogue& catalogue);

// Asks for a removal list and applies it to the rows of the entries it names; names that match
// no entry are skipped, rows it doesn't name keep their state. A list that can't be read shows
// "Error" / "Can't read <path>" and changes nothing.
void loadRemovalList(Gui& gui, const Catalogue& catalogue);

// The name a save goes to: ".ini" is appended when the file name has no extension ("list" ->
// "list.ini", "list." -> "list..ini"; "list.txt" stays).
std::string removalListPath(const std::string& chosen);

// A state as written in a removal list: optional sign, then decimal digits, "$" and hexadecimal
// digits, or "%" and binary digits, up to the first other character; anything else reads as 0.
std::int32_t parseStateNumber(const std::string& text);
