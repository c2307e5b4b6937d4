#include "platform/gtk/gtk_gui.h"

#include "platform/event_queue.h"
#include "platform/gtk/text.h"
#include "platform/gtk/row_model.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <utility>

namespace {

constexpr int tickColumnWidth = 22;

constexpr const char* controlKey = "slimkit-control";
constexpr const char* menuItemKey = "slimkit-menu-item";

// "Arial" 8 pt is the program's default font, and the main window and the popup menu ask for it
// by name as well, so a theme that names fonts for its widgets doesn't change them. With one
// default, only one face is loaded before the window shows.
constexpr const char* bodyFontStyle =
    "gtk-font-name = \"Arial 8\"\n"
    "style \"slimkit-body\" { font_name = \"Arial 8\" }\n"
    "widget \"slimkit-main*\" style \"slimkit-body\"\n"
    "widget \"*slimkit-menu*\" style \"slimkit-body\"\n";
constexpr const char* titleFont = "Arial Bold 16";

GdkColor toColour(Rgb rgb) {
    GdkColor colour{};
    colour.red = static_cast<guint16>(rgb.red * 257);
    colour.green = static_cast<guint16>(rgb.green * 257);
    colour.blue = static_cast<guint16>(rgb.blue * 257);
    return colour;
}

// GTK's filter patterns are case-sensitive; the program's "*.zip" must find "ROM.ZIP" too.
std::string caseFreePattern(const std::string& pattern) {
    std::string result;
    for (const char c : pattern) {
        if (g_ascii_isalpha(c)) {
            result += '[';
            result += g_ascii_tolower(c);
            result += g_ascii_toupper(c);
            result += ']';
        } else {
            result += c;
        }
    }
    return result;
}

std::string takeString(gchar* text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

}  // namespace

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

    GtkWidget* makeControl(const ControlSpec& layout);
    GtkWidget* makeCheckList(const ControlSpec& layout);
    GtkWidget* makeTabPanel(const ControlSpec& layout);
};

namespace {

using Impl = GtkGui::Impl;

ControlId controlOf(gpointer widget) {
    return static_cast<ControlId>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), controlKey)));
}

void onButtonClicked(GtkButton* button, gpointer data) {
    static_cast<Impl*>(data)->events.postControl(controlOf(button));
}

gboolean onLinkReleased(GtkWidget* link, GdkEventButton* event, gpointer data) {
    if (event->button == 1) static_cast<Impl*>(data)->events.postControl(controlOf(link));
    return TRUE;
}

void onLinkRealized(GtkWidget* link, gpointer) {
    GdkCursor* hand = gdk_cursor_new_for_display(gtk_widget_get_display(link), GDK_HAND2);
    gdk_window_set_cursor(gtk_widget_get_window(link), hand);
    gdk_cursor_unref(hand);
}

// Enter presses the focused push button and does nothing anywhere else: GTK would otherwise
// toggle a focused check box, which takes only Space, as in the Windows build. Escape has no
// binding in a plain window and stays without effect.
gboolean onWindowKey(GtkWidget* window, GdkEventKey* event, gpointer) {
    const guint key = event->keyval;
    if (key != GDK_Return && key != GDK_KP_Enter && key != GDK_ISO_Enter) return FALSE;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    const bool pushButton = focus && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus);
    return pushButton ? FALSE : TRUE;
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<Impl*>(data)->events.postClose();
    return TRUE;  // the program closes the window itself once the loop has ended
}

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

// A wrapping label set to the width of its rectangle draws its lines from the left edge, even
// when centred; so a centred label is made as wide as its widest wrapped line and centred in
// its rectangle by its parent.
void fitCentredLabel(GtkWidget* label, GtkStyle*, gpointer rectangleWidth) {
    const int width = GPOINTER_TO_INT(rectangleWidth);
    PangoLayout* layout =
        gtk_widget_create_pango_layout(label, gtk_label_get_text(GTK_LABEL(label)));
    pango_layout_set_width(layout, width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    gtk_widget_set_size_request(label, std::min(width, logical.width + 1), -1);
}

GtkWidget* makeLabel(const ControlSpec& layout) {
    GtkWidget* label = gtk_label_new(displayLines(layout.caption).c_str());
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    return label;
}

GtkWidget* makeCentredLabel(const ControlSpec& layout, GtkWidget** label) {
    *label = makeLabel(layout);
    gtk_misc_set_alignment(GTK_MISC(*label), 0.5f, 0.0f);
    gtk_label_set_justify(GTK_LABEL(*label), GTK_JUSTIFY_CENTER);
    g_signal_connect(*label, "style-set", G_CALLBACK(fitCentredLabel),
                     GINT_TO_POINTER(layout.width));
    GtkWidget* box = gtk_alignment_new(0.5f, 0.0f, 0.0f, 1.0f);
    gtk_container_add(GTK_CONTAINER(box), *label);
    return box;
}

// The controls of a page that isn't showing are shown the first time their page is chosen:
// sizing their texts (and loading the title's bold face) took a good part of the time before
// the window first appeared.
void showPageControls(GtkNotebook* notebook, gpointer, guint page, gpointer) {
    GtkWidget* chosen = gtk_notebook_get_nth_page(notebook, static_cast<gint>(page));
    GList* children = gtk_container_get_children(GTK_CONTAINER(chosen));
    for (GList* child = children; child; child = child->next) {
        auto* control = static_cast<GtkWidget*>(child->data);
        if (!gtk_widget_get_no_show_all(control)) continue;
        gtk_widget_set_no_show_all(control, FALSE);
        gtk_widget_show_all(control);
    }
    g_list_free(children);
}

}  // namespace

GtkWidget* GtkGui::Impl::makeTabPanel(const ControlSpec& layout) {
    GtkWidget* notebook = gtk_notebook_new();
    g_signal_connect(notebook, "switch-page", G_CALLBACK(showPageControls), nullptr);
    gchar** names = g_strsplit(layout.caption.c_str(), "|", -1);
    for (gchar** name = names; *name; ++name) {
        GtkWidget* page = gtk_fixed_new();
        // A page of its own window clips controls that reach past its edge.
        gtk_fixed_set_has_window(GTK_FIXED(page), TRUE);
        GtkWidget* tab = gtk_label_new(displayText(*name).c_str());
        gtk_notebook_append_page(GTK_NOTEBOOK(notebook), page, tab);
        pages.push_back(page);
    }
    g_strfreev(names);
    return notebook;
}

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

GtkWidget* GtkGui::Impl::makeControl(const ControlSpec& layout) {
    GtkWidget* placed = nullptr;
    GtkWidget* control = nullptr;
    switch (layout.kind) {
    case ControlKind::frame:
        placed = gtk_frame_new(displayText(layout.caption).c_str());
        break;
    case ControlKind::textField:
        placed = gtk_entry_new();
        gtk_editable_set_editable(GTK_EDITABLE(placed), FALSE);
        gtk_entry_set_text(GTK_ENTRY(placed), displayText(layout.caption).c_str());
        break;
    case ControlKind::button:
    case ControlKind::pictureButton:
        placed = gtk_button_new_with_label(displayText(layout.caption).c_str());
        g_signal_connect(placed, "clicked", G_CALLBACK(onButtonClicked), this);
        break;
    case ControlKind::label:
        placed = makeLabel(layout);
        break;
    case ControlKind::centredLabel:
        placed = makeCentredLabel(layout, &control);
        break;
    case ControlKind::checkBox:
        placed = gtk_check_button_new_with_label(displayText(layout.caption).c_str());
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(placed), layout.checked);
        break;
    case ControlKind::tabPanel:
        placed = makeTabPanel(layout);
        break;
    case ControlKind::checkList:
        placed = makeCheckList(layout);
        control = GTK_WIDGET(list);
        break;
    case ControlKind::link: {
        placed = gtk_event_box_new();
        gtk_widget_add_events(placed, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
        ControlSpec text = layout;
        text.kind = ControlKind::label;
        GtkWidget* label = makeLabel(text);
        gtk_container_add(GTK_CONTAINER(placed), label);
        g_signal_connect(placed, "button-release-event", G_CALLBACK(onLinkReleased), this);
        g_signal_connect(placed, "realize", G_CALLBACK(onLinkRealized), nullptr);
        break;
    }
    }
    if (!control) control = placed;
    gtk_widget_set_name(placed, layout.name);
    g_object_set_data(G_OBJECT(placed), controlKey, GINT_TO_POINTER(layout.id));

    GtkWidget* textWidget =
        layout.kind == ControlKind::link ? gtk_bin_get_child(GTK_BIN(placed)) : control;
    if (layout.titleFont) {
        PangoFontDescription* font = pango_font_description_from_string(titleFont);
        gtk_widget_modify_font(textWidget, font);
        pango_font_description_free(font);
    }
    if (layout.hasTextColour) {
        const GdkColor colour = toColour(layout.textColour);
        gtk_widget_modify_fg(textWidget, GTK_STATE_NORMAL, &colour);
    }
    if (layout.hasBackground) {
        const GdkColor colour = toColour(layout.background);
        if (layout.kind == ControlKind::textField)
            gtk_widget_modify_base(placed, GTK_STATE_NORMAL, &colour);
        else
            gtk_widget_modify_bg(placed, GTK_STATE_NORMAL, &colour);
    }

    GtkWidget* parent = client;
    if (layout.tab >= 0 && layout.tab < static_cast<int>(pages.size())) {
        parent = pages[layout.tab];
        // Only the first page shows at start.
        gtk_widget_set_no_show_all(placed, layout.tab > 0);
    }
    gtk_fixed_put(GTK_FIXED(parent), placed, layout.x, layout.y);
    gtk_widget_set_size_request(placed, layout.width, layout.height);
    controls[layout.id] = control;
    return placed;
}

bool GtkGui::initialise() { return gtk_init_check(nullptr, nullptr); }

GtkGui::GtkGui(WindowSpec window) : impl_(std::make_unique<Impl>()) {
    impl_->layout = std::move(window);
    if (!initialise()) return;
    gtk_rc_parse_string(bodyFontStyle);
    // Creating the font map starts the toolkit's font set-up on a thread of its own, so it runs
    // while the program reads its definition files instead of when the first text is measured.
    pango_cairo_font_map_get_default();
}

GtkGui::~GtkGui() { destroyWindow(); }

void GtkGui::buildWindow(const std::vector<ControlSpec>& controls,
                         const std::function<void()>& onListReady) {
    Impl& impl = *impl_;
    impl.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(impl.window);
    gtk_widget_set_name(impl.window, "slimkit-main");
    gtk_window_set_title(window, displayText(impl.layout.title).c_str());
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    g_signal_connect(impl.window, "delete-event", G_CALLBACK(onDelete), &impl);
    g_signal_connect(impl.window, "key-press-event", G_CALLBACK(onWindowKey), nullptr);

    impl.client = gtk_fixed_new();
    gtk_widget_set_size_request(impl.client, impl.layout.width, impl.layout.height);
    gtk_container_add(GTK_CONTAINER(impl.window), impl.client);

    for (const ControlSpec& layout : controls) {
        impl.makeControl(layout);
        if (layout.kind == ControlKind::checkList && onListReady) fillDetached(onListReady);
    }
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
                GtkWidget* opener = gtk_menu_item_new_with_label(displayText(layout.submenu).c_str());
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

void GtkGui::showWindow() {
    GtkWidget* window = impl_->window;
    if (!window) return;
    gtk_widget_realize(window);
    // A fixed-size tool window: moved and closed, never minimised, maximised or resized.
    GdkWindow* frame = gtk_widget_get_window(window);
    gdk_window_set_decorations(
        frame, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
    gdk_window_set_functions(frame,
                             static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
    gtk_widget_show_all(window);
    // Nothing starts focused: the first focusable control is the read-only path field, whose
    // caret would suggest it can be typed into.
    gtk_window_set_focus(GTK_WINDOW(window), nullptr);
}

void GtkGui::runEventLoop(const std::function<void(const Event&)>& handler) {
    impl_->events.run([] { gtk_main_iteration(); }, handler);
}

namespace {

bool isInput(GdkEventType type) {
    switch (type) {
        case GDK_MOTION_NOTIFY:
        case GDK_BUTTON_PRESS:
        case GDK_2BUTTON_PRESS:
        case GDK_3BUTTON_PRESS:
        case GDK_BUTTON_RELEASE:
        case GDK_KEY_PRESS:
        case GDK_KEY_RELEASE:
        case GDK_SCROLL:
            return true;
        default:
            return false;
    }
}

// The event handler while a run works: the main window paints and follows the desktop, but its
// controls take no input, and closing it only notes the wish for the run to ask about.
void duringRun(GdkEvent* event, gpointer data) {
    auto& impl = *static_cast<Impl*>(data);
    GdkWindow* main = impl.window ? gtk_widget_get_window(impl.window) : nullptr;
    const bool toMain =
        main && event->any.window && gdk_window_get_toplevel(event->any.window) == main;
    if (toMain && (event->type == GDK_DELETE ||
                   (event->type == GDK_KEY_PRESS && event->key.keyval == GDK_Escape))) {
        impl.closeAsked = true;
        return;
    }
    if (toMain && isInput(event->type)) return;
    gtk_main_do_event(event);
}

void toolkitHandling(GdkEvent* event, gpointer) { gtk_main_do_event(event); }

}  // namespace

bool GtkGui::pumpDuringRun() {
    Impl& impl = *impl_;
    gdk_event_handler_set(duringRun, &impl, nullptr);
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_event_handler_set(toolkitHandling, nullptr, nullptr);
    return std::exchange(impl.closeAsked, false);
}

void GtkGui::destroyWindow() {
    Impl& impl = *impl_;
    if (impl.menu) gtk_widget_destroy(impl.menu);
    if (impl.window) gtk_widget_destroy(impl.window);
    impl.menu = nullptr;
    impl.window = nullptr;
    impl.client = nullptr;
    impl.menuItems.clear();
    impl.controls.clear();
    impl.pages.clear();
    impl.list = nullptr;
    impl.rows = nullptr;
    impl.events.clear();
    if (gdk_display_get_default()) gdk_flush();
}

void GtkGui::setStatusText(const std::string& text) {
    GtkWidget* label = widget(ControlId::statusText);
    if (!label) return;
    gtk_label_set_text(GTK_LABEL(label), displayText(text).c_str());
    // The pipeline may block the thread right after this; paint the text now, without running
    // the main loop (which would also take the user's input).
    if (gtk_widget_get_mapped(label)) {
        gdk_window_process_updates(gtk_widget_get_window(label), TRUE);
        gdk_flush();
    }
}

std::string GtkGui::romPathText() const {
    GtkWidget* field = widget(ControlId::romPathField);
    if (!field) return "";
    const std::string shown = gtk_entry_get_text(GTK_ENTRY(field));
    return shown == displayText(impl_->romPath) ? impl_->romPath : shown;
}

void GtkGui::setRomPathText(const std::string& text) {
    GtkWidget* field = widget(ControlId::romPathField);
    if (!field) return;
    impl_->romPath = text;
    gtk_entry_set_text(GTK_ENTRY(field), displayText(text).c_str());
}

bool GtkGui::isChecked(ControlId box) const {
    GtkWidget* check = widget(box);
    return check && GTK_IS_TOGGLE_BUTTON(check) &&
           gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check));
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
        !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(impl_->list), nullptr,
                                         &iter))
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

namespace {

// Shows a modal box over `parent` (the screen's centre without one) and returns its answer.
gint runBox(GtkWindow* parent, GtkMessageType type, GtkButtonsType buttons,
            const std::string& title, const std::string& text) {
    GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, buttons, "%s",
                                            displayLines(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), displayText(title).c_str());
    gtk_window_set_position(GTK_WINDOW(box),
                            parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    const gint answer = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return answer;
}

}  // namespace

void GtkGui::messageBox(const std::string& title, const std::string& text) {
    runBox(impl_->dialogParent(), GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, title, text);
}

bool GtkGui::questionBox(const std::string& title, const std::string& text) {
    return runBox(impl_->dialogParent(), GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, title, text) ==
           GTK_RESPONSE_YES;
}

namespace {

std::string runFileDialog(GtkWindow* parent, GtkFileChooserAction action, const char* accept,
                          const std::string& title, const std::string& filterName,
                          const std::string& pattern, const std::string& startPath) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        displayText(title).c_str(), parent, action, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
        accept, GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    auto* chooser = GTK_FILE_CHOOSER(dialog);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, displayText(filterName).c_str());
    gtk_file_filter_add_pattern(filter, caseFreePattern(displayText(pattern)).c_str());
    gtk_file_chooser_add_filter(chooser, filter);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, action == GTK_FILE_CHOOSER_ACTION_SAVE);
    // Without a start path GTK opens on its recently used files, where a save dialog has no
    // folder to save in; the home folder is where a desktop user expects to start.
    if (!startPath.empty())
        gtk_file_chooser_set_filename(chooser, startPath.c_str());
    else
        gtk_file_chooser_set_current_folder(chooser, g_get_home_dir());
    std::string chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT)
        chosen = takeString(gtk_file_chooser_get_filename(chooser));
    gtk_widget_destroy(dialog);
    return chosen;
}

}  // namespace

std::string GtkGui::openFileDialog(const std::string& title, const std::string& filterName,
                                   const std::string& pattern, const std::string& startPath) {
    return runFileDialog(impl_->dialogParent(), GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_OPEN,
                         title, filterName, pattern, startPath);
}

std::string GtkGui::saveFileDialog(const std::string& title, const std::string& filterName,
                                   const std::string& pattern) {
    return runFileDialog(impl_->dialogParent(), GTK_FILE_CHOOSER_ACTION_SAVE, GTK_STOCK_SAVE,
                         title, filterName, pattern, "");
}

GtkWidget* GtkGui::widget(ControlId id) const {
    const auto found = impl_->controls.find(static_cast<int>(id));
    return found == impl_->controls.end() ? nullptr : found->second;
}

GtkWidget* GtkGui::window() const { return impl_->window; }

GtkWidget* GtkGui::tabPage(int tab) const {
    return tab >= 0 && tab < static_cast<int>(impl_->pages.size()) ? impl_->pages[tab] : nullptr;
}

GtkWidget* GtkGui::menuItemWidget(MenuItem item) const {
    const auto found = impl_->menuItems.find(static_cast<int>(item));
    return found == impl_->menuItems.end() ? nullptr : found->second;
}
