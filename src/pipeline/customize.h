#pragma once

#include <string>

class Gui;
struct ProgramPaths;

// What "Customize!" does: checks the ROM, then backup, undo zip, removal and adding, as the
// three check boxes say, with their status texts and the closing "Finish" message.
void customize(Gui& gui, const ProgramPaths& paths, const std::string& romPath);
