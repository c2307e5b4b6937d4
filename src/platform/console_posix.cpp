// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <unistd.h>
#include <csignal>

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void showProgramTextInConsole() {}

void keepRunningWhenOutputCloses() { std::signal(SIGPIPE, SIG_IGN); }
