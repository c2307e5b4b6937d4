// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/fake_gui.h"
#include "tools/archiver.h"

// Runs the archiver and shows its warning in `gui`, as the window does.
inline ArchiverOutcome runArchiver(Gui& gui, const std::string& program,
                                   const std::string& parameters,
                                   const std::string& workingDirectory, bool waitOnly) {
    const ArchiverResult result = runArchiver(program, parameters, workingDirectory, waitOnly);
    if (!result.warning.empty()) gui.messageBox(archiverWarningTitle, result.warning);
    return result.outcome;
}
