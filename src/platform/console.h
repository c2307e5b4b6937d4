// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

// The command-line program's terminal.

// True when `stream` goes to a terminal (a console on Windows), where progress can be redrawn
// in place; false for a file or a pipe.
bool isTerminal(std::FILE* stream);

// Makes a console show the program's texts as they are written: on Windows the console takes
// the program's code page (UTF-8, as its manifest asks) for its output; a Linux terminal needs
// nothing.
void showProgramTextInConsole();

// A reader that goes away (`slimkit-cli ... | head -1`) must not end the program in the middle
// of a run: writes to a closed pipe then merely fail, and every step still runs. On Linux
// SIGPIPE is ignored from now on; Windows never ends a program for it.
void keepRunningWhenOutputCloses();
