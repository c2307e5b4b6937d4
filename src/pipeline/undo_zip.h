#pragma once

#include <string>

class Gui;
struct ProgramPaths;

// The extract command: removalCommand with "d -bd -y" replaced by
// x -bd -y -o"{extractionFolder}"; "" when the removal command is "".
std::string extractCommand(const std::string& removalCommandLine,
                           const std::string& extractionFolder);

// Builds romPath + "_undo.zip": a fresh copy of the template plus the files about to be removed,
// and leaves the extraction folder empty. When the template can't be copied (or the extraction
// folder can't be made) it shows "Error" / "Can't create recovery zip " + the undo zip's path,
// leaves an earlier undo zip as it was and returns false: the caller then ends the run before
// removing anything.
bool createUndoZip(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
