#pragma once

#include "tools/archiver.h"

#include <string>

class Gui;
struct ProgramPaths;

// a -bd -y -r -- "{archive}" *: every file below the working folder. "--" ends the switches
// before the archive's path. Not `*.*`, which 7-Zip takes to mean only names with a dot.
std::string addCommand(const std::string& archive);

// Adds everything under the add folder to the ROM zip. An add folder that holds no file runs no
// archiver: the ROM zip is not rewritten for nothing. A folder that can't be made is reported
// under "Warning".
ArchiverOutcome addApps(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
