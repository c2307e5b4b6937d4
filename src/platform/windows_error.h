// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Windows only: the system's words for an error code (GetLastError's), without the full stop
// and line end FormatMessage adds; "error " and the number when it has none.
std::string windowsErrorText(unsigned long error);
