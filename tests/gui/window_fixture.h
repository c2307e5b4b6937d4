// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/gtk/gtk_gui.h"
#include "shell/window_layout.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>

// A GtkGui with the program's own window built from the layout table, optionally shown.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(GtkGui::initialise()) << "no X display";
        gui = std::make_unique<GtkGui>(mainWindowSpec());
        gui->buildWindow(windowLayout(), [this] { ++listReadyCalls; });
        gui->buildEntryMenu();
    }
    void TearDown() override {
        if (gui) gui->destroyWindow();
        settle();
    }

    void show() {
        gui->showWindow();
        while (!gtk_widget_get_mapped(gui->window())) gtk_main_iteration();
        settle();
    }
    // Lets the toolkit and the X server catch up with everything queued so far.
    static void settle() {
        for (int round = 0; round < 3; ++round) {
            gdk_display_sync(gdk_display_get_default());
            while (gtk_events_pending()) gtk_main_iteration();
        }
    }

    GtkTreeView* list() const { return GTK_TREE_VIEW(gui->widget(ControlId::appList)); }
    // The widget that sits in a GtkFixed for a control (a list's scroller, a label's box).
    static GtkWidget* placed(GtkWidget* widget) {
        while (widget && gtk_widget_get_parent(widget) &&
               !GTK_IS_FIXED(gtk_widget_get_parent(widget)))
            widget = gtk_widget_get_parent(widget);
        return widget;
    }
    void addRows(int count) {
        for (int row = 0; row < count; ++row)
            gui->insertRow(row, "Row " + std::to_string(row) + "\nApp");
    }

    std::unique_ptr<GtkGui> gui;
    int listReadyCalls = 0;
};
