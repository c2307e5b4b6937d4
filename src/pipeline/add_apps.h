#pragma once

#include <string>

class Gui;
struct ProgramPaths;

// a -bd -y -r "{archive}" {pattern}: the pattern is `*` on Linux (7z on Unix takes `*.*`
// literally and would skip names without a dot) and `*.*` on Windows.
std::string addCommand(const std::string& archive);

// Adds everything under the add folder to the ROM zip.
void addApps(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
