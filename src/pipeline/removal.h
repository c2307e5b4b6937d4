#pragma once

#include <string>
#include <vector>

class Gui;

// The in-zip paths of the ticked rows, by their removal modes, in row order.
struct TickedPaths {
    std::vector<std::string> paths;  // handed to 7z
    // Paths that can't reach 7z as they are: those that lost characters when their definition
    // file was read, and those holding a double quote, which would end the quoted argument of
    // the one-string command line. They are named to the user instead.
    std::vector<std::string> skipped;
};
TickedPaths tickedPaths(const Gui& gui);

// The archiver's delete command for the paths of the ticked rows:
// d -bd -y -spd -- "{romPath}" "{path 1}" ... "{path N}". "--" ends the switches, so that no path
// is taken for one; -spd turns 7z's wildcards off, so that a path names one entry, or one folder
// with everything below it, and a '*' or '?' in it matches only itself. "" when no path was collected, so the archiver is never handed `d` with the
// ROM zip alone (which would empty the zip).
std::string removalCommand(const Gui& gui, const std::string& romPath);
