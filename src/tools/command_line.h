// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// The one command line a Windows program gets for `arguments`, as 7z.exe splits it again: an
// argument that is empty or holds a blank, tab or line feed is put in double quotes, which 7z
// takes out wherever they stand, with no escape character. Windows names hold no double quote.
std::string windowsCommandLine(const std::vector<std::string>& arguments);

// Finds a program by the rules of the process facility: a name without '/' is looked up in the
// folders of PATH (empty entries skipped); the first regular, non-empty, executable file wins.
// A name with '/' is taken as it is when it names such a file. "" when nothing is found.
std::string findProgram(const std::string& name);
