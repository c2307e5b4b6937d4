#include "platform/gtk/gtk_gui.h"
#include "shell/program.h"
#include "shell/window_layout.h"

// The program takes no arguments; any that are given are ignored.
int main(int, char** argv) {
    GtkGui gui(mainWindowSpec());
    return runProgram(gui, argv[0]);
}
