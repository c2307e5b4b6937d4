// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/gtk_gui.h"
#include "shell/program.h"
#include "shell/window_layout.h"

#include <cstdio>

// The program takes no arguments; any that are given are ignored.
int main(int, char** argv) {
    // Without a display there is no window to show a message in.
    if (!GtkGui::initialise()) {
        std::fputs("slimkit: can't open the display\n", stderr);
        return 1;
    }
    GtkGui gui(mainWindowSpec());
    return runProgram(gui, argv[0]);
}
