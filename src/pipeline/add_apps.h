#pragma once

#include <string>

class Gui;
struct ProgramPaths;

// a -bd -y -r "{archive}" *: every file below the working folder. Not `*.*`, which 7-Zip takes
// to mean only names with a dot.
std::string addCommand(const std::string& archive);

// Adds everything under the add folder to the ROM zip.
void addApps(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
