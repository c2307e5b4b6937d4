// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Gui;
struct ProgramPaths;

// The whole life of the program on an initialised window system: builds the hidden window (the
// check list is filled from the definition folder while it is built), the popup menu, shows the
// window, answers events until it is closed, then takes the window down. Always 0, the
// process's exit code.
int runProgram(Gui& gui, const ProgramPaths& paths);

// The same for the program started as `argv0`: every path comes from the executable's folder.
int runProgram(Gui& gui, const char* argv0);
