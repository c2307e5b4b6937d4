// SPDX-License-Identifier: GPL-3.0-or-later
/* The yardstick for the start-up benchmark: a bare GTK+ 2 program that shows a 350 x 365 window
 * with N rows (N from the command line) in a fixed-height check list of two text columns. */
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 0;

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "bare list");
    gtk_window_set_default_size(GTK_WINDOW(window), 350, 365);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);

    GtkListStore* store = gtk_list_store_new(3, G_TYPE_BOOLEAN, G_TYPE_STRING, G_TYPE_STRING);
    for (int r = 0; r < rows; ++r) {
        char name[32];
        snprintf(name, sizeof name, "App %05d", r);
        GtkTreeIter row;
        gtk_list_store_insert_with_values(store, &row, r, 0, r % 2, 1, name, 2, "App", -1);
    }
    GtkWidget* list = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    GtkTreeViewColumn* column = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(column, "Apps To Remove");
    GtkCellRenderer* tick = gtk_cell_renderer_toggle_new();
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    gtk_tree_view_column_pack_start(column, tick, FALSE);
    gtk_tree_view_column_add_attribute(column, tick, "active", 0);
    gtk_tree_view_column_pack_start(column, text, TRUE);
    gtk_tree_view_column_add_attribute(column, text, "text", 1);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, 185);
    gtk_tree_view_append_column(GTK_TREE_VIEW(list), column);
    GtkTreeViewColumn* mode = gtk_tree_view_column_new_with_attributes(
        "Remove", gtk_cell_renderer_text_new(), "text", 2, NULL);
    gtk_tree_view_column_set_sizing(mode, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(mode, 95);
    gtk_tree_view_append_column(GTK_TREE_VIEW(list), mode);
    /* Every column has a fixed width, so the view can take one row's height for all. */
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(list), TRUE);

    GtkWidget* scroller = gtk_scrolled_window_new(NULL, NULL);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_widget_set_size_request(scroller, 312, 185);
    gtk_container_add(GTK_CONTAINER(scroller), list);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_fixed_put(GTK_FIXED(fixed), scroller, 15, 80);
    gtk_container_add(GTK_CONTAINER(window), fixed);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
