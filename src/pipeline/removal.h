#pragma once

#include "pipeline/request.h"
#include "tools/archive_listing.h"

#include <string>
#include <vector>

// The in-zip paths of ticked entries, by their removal modes, in the entries' order.
struct TickedPaths {
    std::vector<std::string> paths;  // handed to 7z
    // Paths that can't reach 7z as they are: those that lost characters when their definition
    // file was read, and those holding a double quote, which would end the quoted argument of
    // the one-string command line. They are named to the user instead.
    std::vector<std::string> skipped;
};
TickedPaths tickedPaths(const std::vector<TickedEntry>& ticked);
// The same for one entry: its widget's paths (unless the mode is app), then its app's (unless
// the mode is widget).
TickedPaths tickedPaths(const TickedEntry& ticked);

// The archiver's delete command for the paths of the ticked entries:
// d -bd -y -spd -- "{romPath}" "{path 1}" ... "{path N}". "--" ends the switches, so that no path
// is taken for one; -spd turns 7z's wildcards off, so that a path names one entry, or one folder
// with everything below it, and a '*' or '?' in it matches only itself. "" when no path was
// collected, so the archiver is never handed `d` with the ROM zip alone (which would empty the
// zip).
std::string removalCommand(const std::vector<TickedEntry>& ticked, const std::string& romPath);

// True when the removal of `path` (a definition path, as handed to 7z) deletes the zip entry
// `entry` (as 7z lists it). It is 7z's own rule with its wildcards off: the entry of that very
// name, or any entry below the folder of that name; '*' and '?' are ordinary characters. The
// Windows build's 7z takes '\' and '/' alike and ignores the case of letters.
bool removalTakes(const std::string& path, const std::string& entry);

// A zip entry's name as 7z compares it: on Windows '\' and '/' alike and the case of letters
// ignored; elsewhere the name itself.
std::string archiverNameKey(const std::string& name);

// One definition path made ready to be matched against many entries by removalTakes' rule.
class RemovalPath {
public:
    explicit RemovalPath(const std::string& path);
    // `entryKey`: the entry's archiverNameKey.
    bool takes(const std::string& entryKey) const;

private:
    std::string name_;    // the path's key
    std::string folder_;  // the same without trailing '/'
};

// The files of `rom` (its listing) that removing `paths` deletes, in the listing's order.
std::vector<ArchiveEntry> entriesRemoved(const std::vector<ArchiveEntry>& rom,
                                         const std::vector<std::string>& paths);
