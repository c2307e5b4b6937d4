// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/desktop.h"

#include "tools/process.h"

// Tried as a program first; a URL, a folder or a definition file then goes to the shell, which
// opens it with the default handler of its type. The handler's process is not waited for.
void openWithDesktop(const std::string& target) { startProcess(target, {}, "", 0); }
