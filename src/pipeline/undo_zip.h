#pragma once

#include <string>

class Gui;
struct ProgramPaths;

// The extract command: removalCommand with "d -bd -y" replaced by
// x -bd -y -o"{extractionFolder}"; "" when the removal command is "".
std::string extractCommand(const std::string& removalCommandLine,
                           const std::string& extractionFolder);

// Builds romPath + "_undo.zip": a fresh copy of the template plus the files about to be removed.
// The extraction folder is emptied before the extraction, so nothing of an interrupted run
// goes in, and again at the end. The files are added to a copy of the template under a
// temporary name, which replaces an earlier undo zip only when the extraction and the adding
// both ended with 7z's success line. Otherwise (or when the template can't be copied or the
// extraction folder can't be emptied) it shows "Error" / "Can't create recovery zip " + the
// undo zip's path, leaves an earlier undo zip as it was and returns false: the caller then
// ends the run before removing anything.
bool createUndoZip(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
