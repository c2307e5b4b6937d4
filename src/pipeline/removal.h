#pragma once

#include "pipeline/request.h"

#include <string>
#include <vector>

// The in-zip paths of ticked entries, by their removal modes, in the entries' order.
struct TickedPaths {
    std::vector<std::string> paths;  // each names one entry, or one folder with what is below it
    // Paths that can't name an entry literally: those that lost characters when their definition
    // file was read, those holding a double quote, and those 7z reads as something other than
    // the name they spell (empty, a leading separator, doubled separators, a "." or ".."
    // folder: `system/app/.` is every entry of the zip to 7z). They are named to the user
    // instead.
    std::vector<std::string> skipped;
};
TickedPaths tickedPaths(const std::vector<TickedEntry>& ticked);
// The same for one entry: its widget's paths (unless the mode is app), then its app's (unless
// the mode is widget).
TickedPaths tickedPaths(const TickedEntry& ticked);

// True when 7z, handed `name` with its wildcards off, takes exactly the entry of that name (and
// what lies below it): no empty name, leading or doubled separator, "." or ".." folder, and no
// double quote, which would end the quoted argument of the one-string command line.
bool namesEntryLiterally(const std::string& name);

// A definition path's key as archiverNameKey gives it, less the one separator that may end it
// to say "this folder".
std::string definitionPathKey(const std::string& path);

// The archiver's delete command for the entries `names` (as the ROM's listing spells them):
// d -bd -y -spd -- "{romPath}" "{name 1}" ... "{name N}". "--" ends the switches, so that no name
// is taken for one; -spd turns 7z's wildcards off, in the names and in the ROM's own path. ""
// when there is no name, so the archiver is never handed `d` with the ROM zip alone (which would
// empty the zip).
std::string removalCommand(const std::string& romPath, const std::vector<std::string>& names);

// The extract command for the same entries into `extractionFolder`:
// x -bd -y -spd -o"{extractionFolder}" -- "{romPath}" "{name 1}" ...; "" when there is no name.
std::string extractCommand(const std::string& romPath, const std::string& extractionFolder,
                           const std::vector<std::string>& names);
