// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// The program's texts are 8-bit: paths and UTF-8 definition files give UTF-8, 8-bit definition
// files give Latin-1. The conversions between the two live here, for every layer.

// Converts Latin-1 text to UTF-8: each byte 0x80-0xFF becomes the two-byte sequence of the code
// point of the same value; other bytes stay.
std::string latin1ToUtf8(std::string_view text);

// True when `text` is well-formed UTF-8: no stray or missing continuation byte, no overlong
// form, no surrogate and no code point beyond U+10FFFF.
bool isUtf8(std::string_view text);

// `text` as it is when it is UTF-8, otherwise read as Latin-1 and converted: how a text that may
// be either is shown, or handed on where UTF-8 is required.
std::string asUtf8(std::string_view text);
