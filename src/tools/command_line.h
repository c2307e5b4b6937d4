// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// Splits an archiver command line into arguments. Outside double quotes, blanks, tabs and line
// feeds separate arguments (a run of them is one separator). A double quote opens a stretch
// that runs to the next double quote, wherever it stands: -o"a b" is the one argument `-o a b`
// without the quotes. "" standing alone is an empty argument. An unclosed quote runs to the
// end. There is no escape character.
std::vector<std::string> splitCommandLine(const std::string& line);

// The archive an archiver command line names: the first argument after the command letter that
// is not a switch, or the first one after "--", which ends the switches. "" when there is none.
std::string archiveNamed(const std::string& line);

// Finds a program by the rules of the process facility: a name without '/' is looked up in the
// folders of PATH (empty entries skipped); the first regular, non-empty, executable file wins.
// A name with '/' is taken as it is when it names such a file. "" when nothing is found.
std::string findProgram(const std::string& name);
