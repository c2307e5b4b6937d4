// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// GTK shows only valid UTF-8; the program's other 8-bit strings are taken as Latin-1.
std::string displayText(const std::string& text);

// displayText, with the program's line breaks (a lone carriage return, or CR LF) as line feeds.
std::string displayLines(const std::string& text);
