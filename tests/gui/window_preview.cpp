// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the main window from the layout table with a few sample rows and writes a picture of it:
//   slimkit_window_preview OUT.png [TAB]
// Run it under an X server (xvfb-run -a).
#include "gui/gtk/gtk_gui.h"
#include "shell/window_layout.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || !GtkGui::initialise()) {
        std::fprintf(stderr, "usage: %s OUT.png [TAB] (with a display)\n", argv[0]);
        return 2;
    }
    GtkGui gui(mainWindowSpec());
    gui.buildWindow(windowLayout(), [&gui] {
        const char* rows[][2] = {{"Browser", "App"},    {"Calendar", "App/Widget"},
                                 {"Car Home", "App"},   {"Email", "App/Widget"},
                                 {"Music", "Widget"},   {"News and Weather", "App/Widget"},
                                 {"Talk", "App"},       {"Voice Dialer", "App"},
                                 {"Wallpapers", "App"}, {"YouTube", "App"}};
        int row = 0;
        for (const auto& cells : rows) {
            gui.insertRow(row, std::string(cells[0]) + "\n" + cells[1]);
            if (row % 3 != 1) gui.setRowState(row, RowState::ticked);
            ++row;
        }
        gui.setRowState(3, RowState::selected | RowState::ticked);
        gui.setStatusText("Loaded " + std::to_string(row) + " apps to remove");
    });
    gui.buildEntryMenu();
    gui.setRomPathText("/home/user/roms/cwm-rom-2.3.zip");
    gui.showWindow();
    if (argc > 2)
        gtk_notebook_set_current_page(GTK_NOTEBOOK(gui.widget(ControlId::tabPanel)),
                                      std::atoi(argv[2]));
    GtkWidget* window = gui.window();
    while (!gtk_widget_get_mapped(window) || gtk_events_pending()) gtk_main_iteration();
    gdk_window_process_all_updates();
    gdk_display_sync(gdk_display_get_default());

    const GtkAllocation area = window->allocation;
    GdkPixbuf* picture = gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(window),
                                                      nullptr, 0, 0, 0, 0, area.width, area.height);
    const bool saved = picture && gdk_pixbuf_save(picture, argv[1], "png", nullptr, nullptr);
    if (picture) g_object_unref(picture);
    gui.destroyWindow();
    return saved ? 0 : 1;
}
