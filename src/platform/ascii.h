// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// Text helpers that look at ASCII only. Every other byte (Latin-1 or UTF-8 letters included)
// passes unchanged, so they are safe on the program's 8-bit text whatever its encoding. The
// platform's own lower-casing of names, which also lowers other letters on Windows, is
// `lowerName` in platform/text.h.

// A to Z lowered; nothing else changes.
char lowerAscii(char c);
std::string lowerAscii(std::string text);

// Equal once A to Z are lowered in both.
bool equalIgnoringAsciiCase(std::string_view a, std::string_view b);

// `text` without the characters of `blanks` at its start and end; "" when it holds nothing
// else. The result points into `text`.
std::string_view trimmed(std::string_view text, std::string_view blanks = " \t");

// `text` without the characters of `chars` at its end.
std::string_view trimmedEnd(std::string_view text, std::string_view chars);
