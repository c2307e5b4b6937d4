// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/gtk_gui.h"

#include "gui/gtk/gui_impl.h"
#include "gui/gtk/text.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <utility>

namespace {

constexpr int tickColumnWidth = 22;

constexpr const char* menuItemKey = "slimkit-menu-item";

using Impl = GtkGui::Impl;

void onMenuItem(GtkMenuItem* item, gpointer data) {
    const int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), menuItemKey));
    static_cast<Impl*>(data)->events.postMenu(id);
}

void onTickToggled(GtkCellRendererToggle*, gchar* path, gpointer data) {
    auto* impl = static_cast<Impl*>(data);
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter_from_string(impl->model(), &iter, path)) return;
    const int index = row_model_index(impl->rows, &iter);
    RowModelRow* row = impl->row(index);
    if (!row) return;
    row->ticked = !row->ticked;
    row_model_changed(impl->rows, index);
    impl->events.postTick(index);
}

gboolean onListPressed(GtkWidget* view, GdkEventButton* event, gpointer data) {
    auto* impl = static_cast<Impl*>(data);
    auto* tree = GTK_TREE_VIEW(view);
    if (event->window != gtk_tree_view_get_bin_window(tree)) return FALSE;
    if (event->type == GDK_2BUTTON_PRESS) {
        impl->doubleClick = true;
    } else if (event->type == GDK_BUTTON_PRESS) {
        impl->doubleClick = false;
        impl->pressedButton = event->button;
    }
    if (event->type != GDK_BUTTON_PRESS) return event->button == 3;

    GtkTreePath* path = nullptr;
    if (!gtk_tree_view_get_path_at_pos(tree, static_cast<gint>(event->x),
                                       static_cast<gint>(event->y), &path, nullptr, nullptr,
                                       nullptr)) {
        // A click below the last row selects nothing, so no entry's menu or text follows it.
        gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(tree));
        return event->button == 3;
    }
    if (event->button == 3) {
        // A right click selects the row under the pointer, as the popup menu acts on it.
        gtk_widget_grab_focus(view);
        gtk_tree_view_set_cursor(tree, path, nullptr, FALSE);
    }
    gtk_tree_path_free(path);
    return event->button == 3;
}

// Space ticks or unticks the row under the keyboard cursor, as in any check list.
gboolean onListKey(GtkWidget* view, GdkEventKey* event, gpointer data) {
    constexpr guint modifiers = GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK;
    if (event->keyval != GDK_space || (event->state & modifiers)) return FALSE;
    GtkTreePath* path = nullptr;
    gtk_tree_view_get_cursor(GTK_TREE_VIEW(view), &path, nullptr);
    if (!path) return FALSE;
    gchar* row = gtk_tree_path_to_string(path);
    onTickToggled(nullptr, row, data);
    g_free(row);
    gtk_tree_path_free(path);
    return TRUE;
}

gboolean onListReleased(GtkWidget* view, GdkEventButton* event, gpointer data) {
    auto* impl = static_cast<Impl*>(data);
    if (event->window != gtk_tree_view_get_bin_window(GTK_TREE_VIEW(view)) ||
        event->button != impl->pressedButton)
        return FALSE;
    impl->pressedButton = 0;
    ListEventType type;
    if (event->button == 1)
        type = impl->doubleClick ? ListEventType::leftDoubleClick : ListEventType::leftClick;
    else if (event->button == 3)
        type = impl->doubleClick ? ListEventType::rightDoubleClick : ListEventType::rightClick;
    else
        return FALSE;
    impl->doubleClick = false;
    impl->lastClickTime = event->time;
    impl->events.postList(type);
    return FALSE;
}

}  // namespace

GtkWidget* GtkGui::Impl::makeCheckList(const ControlSpec& layout) {
    rows = row_model_new();
    GtkWidget* view = gtk_tree_view_new_with_model(model());
    g_object_unref(rows);  // the view holds the model from here on
    list = GTK_TREE_VIEW(view);

    // The tick boxes get a column of their own at the start of each row, taken out of the
    // first titled column's width so the list keeps its layout.
    GtkTreeViewColumn* tickView = gtk_tree_view_column_new();
    gtk_tree_view_column_set_sizing(tickView, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(tickView, tickColumnWidth);
    GtkCellRenderer* tick = gtk_cell_renderer_toggle_new();
    gtk_tree_view_column_pack_start(tickView, tick, FALSE);
    gtk_tree_view_column_add_attribute(tickView, tick, "active", rowModelTick);
    g_signal_connect(tick, "toggled", G_CALLBACK(onTickToggled), this);
    gtk_tree_view_append_column(list, tickView);

    gchar** titles = g_strsplit(layout.caption.c_str(), "|", 2);
    const int widths[2] = {std::max(1, layout.column0Width - tickColumnWidth), layout.column1Width};
    for (int column = 0; column < 2 && titles[column]; ++column) {
        GtkTreeViewColumn* viewColumn = gtk_tree_view_column_new();
        gtk_tree_view_column_set_title(viewColumn, displayText(titles[column]).c_str());
        gtk_tree_view_column_set_sizing(viewColumn, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_fixed_width(viewColumn, widths[column]);
        gtk_tree_view_column_set_resizable(viewColumn, TRUE);
        GtkCellRenderer* text = gtk_cell_renderer_text_new();
        gtk_tree_view_column_pack_start(viewColumn, text, TRUE);
        gtk_tree_view_column_add_attribute(viewColumn, text, "text",
                                           column == 0 ? rowModelName : rowModelMode);
        gtk_tree_view_append_column(list, viewColumn);
    }
    g_strfreev(titles);

    gtk_tree_view_set_fixed_height_mode(list, TRUE);
    gtk_tree_view_set_headers_clickable(list, FALSE);
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(list), GTK_SELECTION_SINGLE);
    g_signal_connect(view, "button-press-event", G_CALLBACK(onListPressed), this);
    g_signal_connect(view, "button-release-event", G_CALLBACK(onListReleased), this);
    g_signal_connect(view, "key-press-event", G_CALLBACK(onListKey), this);

    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(scroller), view);
    return scroller;
}
// A view attached to its model answers every insert and change with work of its own. The list
// is filled while the window is still hidden, so the view need not see it happen: it takes the
// rows in one go when the model goes back.
void GtkGui::fillDetached(const std::function<void()>& fill) {
    Impl& impl = *impl_;
    g_object_ref(impl.rows);
    gtk_tree_view_set_model(impl.list, nullptr);
    fill();
    gtk_tree_view_set_model(impl.list, impl.model());
    g_object_unref(impl.rows);
    const int selected = std::exchange(impl.detachedSelection, -1);
    if (selected >= 0) setRowState(selected, rowState(selected) | RowState::selected);
}

void GtkGui::buildEntryMenu() {
    Impl& impl = *impl_;
    impl.menu = gtk_menu_new();
    gtk_widget_set_name(impl.menu, "slimkit-menu");
    std::map<std::string, GtkWidget*> submenus;
    for (const MenuItemSpec& layout : impl.layout.menu) {
        GtkWidget* shell = impl.menu;
        if (!layout.submenu.empty()) {
            auto& submenu = submenus[layout.submenu];
            if (!submenu) {
                GtkWidget* opener =
                    gtk_menu_item_new_with_label(displayText(layout.submenu).c_str());
                submenu = gtk_menu_new();
                gtk_menu_item_set_submenu(GTK_MENU_ITEM(opener), submenu);
                gtk_menu_shell_append(GTK_MENU_SHELL(impl.menu), opener);
            }
            shell = submenu;
        }
        GtkWidget* item = gtk_menu_item_new_with_label(displayText(layout.caption).c_str());
        g_object_set_data(G_OBJECT(item), menuItemKey, GINT_TO_POINTER(layout.id));
        g_signal_connect(item, "activate", G_CALLBACK(onMenuItem), &impl);
        gtk_menu_shell_append(GTK_MENU_SHELL(shell), item);
        impl.menuItems[layout.id] = item;
    }
    gtk_widget_show_all(impl.menu);
    if (impl.window) gtk_menu_attach_to_widget(GTK_MENU(impl.menu), impl.window, nullptr);
}
int GtkGui::rowCount() const { return impl_->rows ? row_model_size(impl_->rows) : 0; }

void GtkGui::clearRows() {
    impl_->detachedSelection = -1;
    if (impl_->rows) row_model_clear(impl_->rows);
}

void GtkGui::insertRow(int row, const std::string& text) {
    if (!impl_->rows || row < 0 || row > rowCount()) return;
    if (impl_->detached() && impl_->detachedSelection >= row) ++impl_->detachedSelection;
    const auto feed = text.find('\n');
    RowModelRow values;
    values.name = text.substr(0, feed);
    if (feed != std::string::npos) values.mode = text.substr(feed + 1);
    row_model_insert(impl_->rows, row, std::move(values));
}

int GtkGui::selectedRow() const {
    if (impl_->detached()) return impl_->detachedSelection;
    GtkTreeIter iter;
    if (!impl_->list ||
        !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(impl_->list), nullptr, &iter))
        return -1;
    return row_model_index(impl_->rows, &iter);
}

int GtkGui::rowState(int row) const {
    const RowModelRow* values = impl_->row(row);
    if (!values) return RowState::none;
    bool selected = row == impl_->detachedSelection;
    if (!impl_->detached()) {
        GtkTreeIter iter;
        gtk_tree_model_iter_nth_child(impl_->model(), &iter, nullptr, row);
        selected =
            gtk_tree_selection_iter_is_selected(gtk_tree_view_get_selection(impl_->list), &iter);
    }
    return (selected ? RowState::selected : 0) | (values->ticked ? RowState::ticked : 0);
}

void GtkGui::setRowState(int row, int state) {
    RowModelRow* values = impl_->row(row);
    if (!values) return;
    const bool ticked = (state & RowState::ticked) != 0;
    if (values->ticked != ticked) {
        values->ticked = ticked;
        row_model_changed(impl_->rows, row);
    }
    if (impl_->detached()) {
        if (state & RowState::selected)
            impl_->detachedSelection = row;
        else if (impl_->detachedSelection == row)
            impl_->detachedSelection = -1;
        return;
    }
    GtkTreeIter iter;
    gtk_tree_model_iter_nth_child(impl_->model(), &iter, nullptr, row);
    GtkTreeSelection* selection = gtk_tree_view_get_selection(impl_->list);
    if (state & RowState::selected)
        gtk_tree_selection_select_iter(selection, &iter);
    else
        gtk_tree_selection_unselect_iter(selection, &iter);
}

std::string GtkGui::cellText(int row, int column) const {
    const RowModelRow* values = impl_->row(row);
    if (!values || (column != 0 && column != 1)) return "";
    return column == 0 ? values->name : values->mode;
}

void GtkGui::setCellText(int row, int column, const std::string& text) {
    RowModelRow* values = impl_->row(row);
    if (!values || (column != 0 && column != 1)) return;
    (column == 0 ? values->name : values->mode) = text;
    row_model_changed(impl_->rows, row);
}

void GtkGui::setRowEntry(int row, CatalogueEntry* entry) {
    if (RowModelRow* values = impl_->row(row)) values->entry = entry;
}

CatalogueEntry* GtkGui::rowEntry(int row) const {
    const RowModelRow* values = impl_->row(row);
    return values ? values->entry : nullptr;
}

void GtkGui::setListTooltip(const std::string& text) {
    if (!impl_->list) return;
    gtk_widget_set_tooltip_text(GTK_WIDGET(impl_->list),
                                text.empty() ? nullptr : displayLines(text).c_str());
}

void GtkGui::setMenuItemEnabled(MenuItem item, bool enabled) {
    GtkWidget* menuItem = menuItemWidget(item);
    if (menuItem) gtk_widget_set_sensitive(menuItem, enabled);
}

void GtkGui::showEntryMenu() {
    if (!impl_->menu) return;
    gtk_menu_popup(GTK_MENU(impl_->menu), nullptr, nullptr, nullptr, nullptr, 0,
                   impl_->lastClickTime);
}
GtkWidget* GtkGui::menuItemWidget(MenuItem item) const {
    const auto found = impl_->menuItems.find(static_cast<int>(item));
    return found == impl_->menuItems.end() ? nullptr : found->second;
}
