// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// With UTF-8 as the program's code page, paths are UTF-8 while names and descriptions from
// definition files are Latin-1: a text that is not UTF-8 is shown as Latin-1, as in the GTK
// build. In any other code page texts are shown as they are.
std::string displayText(const std::string& text);

// displayText, with the program's line breaks (a lone carriage return) as the controls' CR LF.
std::string displayLines(const std::string& text);

// The names a table caption lists, separated by `separator`.
std::vector<std::string> splitAt(const std::string& text, char separator);
