#pragma once

#include <string>

class Gui;

// Runs the 7z archiver with one command line (without the program name) and judges the outcome.
//
// Wait mode (`waitOnly`): starts it, waits for its end, reads and reports nothing, returns 1.
// Read mode: reads its output until it ends. The first non-empty error-stream line kills it and
// is shown under "Warning"; the result is then 0. Otherwise a last output line other than
// "everything is ok" (any case, blanks around it) gives a "Warning" and the result stays 1.
// An empty `workingDirectory` asks for the build's default. `program` is the archiver to start
// (ProgramPaths::archiverProgram).
int runArchiver(Gui& gui, const std::string& program, const std::string& parameters,
                const std::string& workingDirectory, bool waitOnly);
