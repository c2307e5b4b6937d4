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
