// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/fake_gui.h"
#include "tools/archiver.h"

// Runs the archiver and shows its warning in `gui`, as the window does.
inline ArchiverOutcome runArchiver(Gui& gui, const std::string& program,
                                   const ArchiverCommand& command,
                                   const std::string& workingDirectory) {
    const ArchiverResult result = runArchiver(program, command, workingDirectory);
    if (!result.warning.empty()) gui.messageBox(archiverWarningTitle, result.warning);
    return result.outcome;
}
