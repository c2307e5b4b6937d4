// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <io.h>
#include <windows.h>

bool isTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void showProgramTextInConsole() { SetConsoleOutputCP(GetACP()); }

void keepRunningWhenOutputCloses() {}
