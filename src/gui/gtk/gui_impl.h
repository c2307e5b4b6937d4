// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/backend/event_queue.h"
#include "gui/gtk/gtk_gui.h"
#include "gui/gtk/row_model.h"

#include <gtk/gtk.h>

#include <map>
#include <string>
#include <vector>

// What the GTK window holds, shared by the files of the back-end.
struct GtkGui::Impl {
    WindowSpec layout;
    GtkWidget* window = nullptr;
    GtkWidget* client = nullptr;  // the window's client area, where its controls lie
    std::map<int, GtkWidget*> controls;
    std::vector<GtkWidget*> pages;
    GtkTreeView* list = nullptr;
    RowModel* rows = nullptr;
    GtkWidget* menu = nullptr;
    std::map<int, GtkWidget*> menuItems;

    EventQueue events;
    bool closeAsked = false;  // during a run: the close button or Escape since the last pump
    // Click tracking on the check list: the button pressed in its rows, and whether the
    // current press completed a double click.
    guint pressedButton = 0;
    bool doubleClick = false;
    guint32 lastClickTime = GDK_CURRENT_TIME;

    std::string romPath;
    // While the catalogue fills the list the rows are detached from their view; a selection set
    // meanwhile is kept here and applied when they go back. -1: none.
    int detachedSelection = -1;

    bool detached() const { return list && !gtk_tree_view_get_model(list); }
    GtkTreeModel* model() const { return GTK_TREE_MODEL(rows); }
    RowModelRow* row(int index) const { return rows ? row_model_row(rows, index) : nullptr; }
    GtkWindow* dialogParent() const {
        return window && gtk_widget_get_visible(window) ? GTK_WINDOW(window) : nullptr;
    }

    // Takes GDK's events first while the window stands (true), or hands them back to GTK.
    void watchEvents(bool watch);
    GtkWidget* makeControl(const ControlSpec& layout);
    GtkWidget* makeWidget(const ControlSpec& layout, GtkWidget** control);
    void placeOnPage(const ControlSpec& layout, GtkWidget* placed);
    GtkWidget* makeCheckList(const ControlSpec& layout);
    GtkWidget* makeTabPanel(const ControlSpec& layout);
};
