// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/program.h"

#include "catalogue/catalogue.h"
#include "gui/gui.h"
#include "platform/paths.h"
#include "shell/app_list.h"
#include "shell/app_state.h"
#include "shell/dispatch.h"
#include "shell/window_layout.h"

int runProgram(Gui& gui, const ProgramPaths& paths) {
    AppState state{paths, {}, {}, {}};
    // The definition files are read before the window's controls are made: reading needs no
    // window, and meanwhile the toolkit can set up its fonts, which the first control that
    // measures a text waits for. The list is still filled as soon as it exists.
    const bool listed = loadDefinitions(state.catalogue, state.paths.definitionFolder);
    gui.buildWindow(windowLayout(), [&] {
        // A folder that can't be listed leaves the list empty and the status text unset.
        if (listed) fillAppList(gui, state.catalogue);
    });
    gui.buildEntryMenu();
    gui.showWindow();
    gui.runEventLoop([&](const Event& event) { dispatch(gui, state, event); });
    gui.destroyWindow();
    return 0;
}

int runProgram(Gui& gui, const char* argv0) {
    return runProgram(gui, programPaths(findProgramFolder(argv0)));
}
