#pragma once

#include <string>

class Gui;
struct ProgramPaths;

// What "Customize!" does: checks the ROM, then backup, undo zip, removal and adding, as the
// three check boxes say, with their status texts.
//
// Nothing is written when the ROM path or the program folder holds a double quote, which the
// archiver's one-string command line can't carry ("Error" / "Can't handle a double quote in "
// + the path), nor when 7z can't read the ROM as a zip ("Error" / "Can't read " + the path +
// " as a zip archive"), nor, with adding ticked, when the add folder holds a FIFO, device or
// socket ("Error" / "Can't add " + its path) or a folder that can't be read ("Can't read " + it). A
// failed backup or undo zip ends the run before anything is removed, with its "Error". A step with
// nothing to do runs no archiver. The run ends with "Finish" only when every step succeeded and
// every ticked path reached the archiver; otherwise with a "Warning" that names the skipped paths
// and asks the user to check the ROM zip before flashing it. The status line reads "Ready" after
// every run that got past the checks. When an earlier undo zip made this run's take a numbered
// name, the closing text names it on a second line. A ROM chosen through a symbolic link is worked
// on at the link's target, where its backup and undo zip go too; the link stays a link.
void customize(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
