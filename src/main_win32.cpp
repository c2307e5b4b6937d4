// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/win32/win32_gui.h"
#include "platform/archiver_check.h"
#include "platform/paths.h"
#include "shell/program.h"
#include "shell/window_layout.h"

// The Windows program. Building the back-end loads the fonts and decodes the Donate picture;
// then the program folder and the archiver's files are checked before any window is made.
// Arguments are ignored.
int main(int, char** argv) {
    Win32Gui gui(mainWindowSpec());
    const std::string folder = findProgramFolder(argv[0]);
    if (folder.empty()) {
        gui.messageBox("Error", programFolderUnreadableText);
        return 0;
    }
    const ProgramPaths paths = programPaths(folder);
    if (!programFolderFitsPathLimit(paths)) {
        gui.messageBox("Error", programFolderTooLongText);
        return 0;
    }
    if (!checkArchiverPresent(paths)) {
        gui.messageBox("Error", archiverMissingText);
        return 0;
    }
    return runProgram(gui, paths);
}
