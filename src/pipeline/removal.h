#pragma once

#include <string>

class Gui;

// The archiver's delete command for every path of the ticked rows, by their removal modes:
// d -bd -y "{romPath}" "{path 1}" ... "{path N}". "" when no path was collected, so the archiver
// is never handed `d` with the ROM zip alone (which would empty the zip).
std::string removalCommand(const Gui& gui, const std::string& romPath);
