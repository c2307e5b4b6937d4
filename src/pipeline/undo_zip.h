#pragma once

#include <string>

class Gui;
struct ProgramPaths;

// The extract command: removalCommand with "d -bd -y" replaced by
// x -bd -y -o"{extractionFolder}"; "" when the removal command is "".
std::string extractCommand(const std::string& removalCommandLine,
                           const std::string& extractionFolder);

// Builds romPath + "_undo.zip": a fresh copy of the template plus the files about to be removed.
// False when the template could not be copied; the caller then ends the run before removing.
bool createUndoZip(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
