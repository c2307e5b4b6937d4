// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/gtk_gui.h"

#include "gui/gtk/gui_impl.h"
#include "gui/gtk/text.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <utility>

namespace {

constexpr const char* controlKey = "slimkit-control";

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

// The widget of a control as its kind makes it; `control` is set when the widget the program
// works with lies inside it (a list in its scroller, a centred label in its box).
GtkWidget* GtkGui::Impl::makeWidget(const ControlSpec& layout, GtkWidget** control) {
    GtkWidget* placed = nullptr;
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
            placed = makeCentredLabel(layout, control);
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
            *control = GTK_WIDGET(list);
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
    return placed;
}

namespace {

// The table's font and colours for a control whose text `textWidget` draws.
void applyLook(const ControlSpec& layout, GtkWidget* placed, GtkWidget* textWidget) {
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
}

}  // namespace

// Puts a control on its page, or on the window when it belongs to no page.
void GtkGui::Impl::placeOnPage(const ControlSpec& layout, GtkWidget* placed) {
    GtkWidget* parent = client;
    if (layout.tab >= 0 && layout.tab < static_cast<int>(pages.size())) {
        parent = pages[layout.tab];
        // Only the first page shows at start.
        gtk_widget_set_no_show_all(placed, layout.tab > 0);
    }
    gtk_fixed_put(GTK_FIXED(parent), placed, layout.x, layout.y);
    gtk_widget_set_size_request(placed, layout.width, layout.height);
}

GtkWidget* GtkGui::Impl::makeControl(const ControlSpec& layout) {
    GtkWidget* control = nullptr;
    GtkWidget* placed = makeWidget(layout, &control);
    if (!control) control = placed;
    gtk_widget_set_name(placed, layout.name);
    g_object_set_data(G_OBJECT(placed), controlKey, GINT_TO_POINTER(layout.id));
    applyLook(layout, placed,
              layout.kind == ControlKind::link ? gtk_bin_get_child(GTK_BIN(placed)) : control);
    placeOnPage(layout, placed);
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
    impl.watchEvents(true);

    impl.client = gtk_fixed_new();
    gtk_widget_set_size_request(impl.client, impl.layout.width, impl.layout.height);
    gtk_container_add(GTK_CONTAINER(impl.window), impl.client);

    for (const ControlSpec& layout : controls) {
        impl.makeControl(layout);
        if (layout.kind == ControlKind::checkList && onListReady) fillDetached(onListReady);
    }
}

void GtkGui::showWindow() {
    GtkWidget* window = impl_->window;
    if (!window) return;
    gtk_widget_realize(window);
    // A fixed-size tool window: moved and closed, never minimised, maximised or resized.
    GdkWindow* frame = gtk_widget_get_window(window);
    gdk_window_set_decorations(
        frame, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
    gdk_window_set_functions(frame, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
    gtk_widget_show_all(window);
    // Nothing starts focused: the first focusable control is the read-only path field, whose
    // caret would suggest it can be typed into.
    gtk_window_set_focus(GTK_WINDOW(window), nullptr);
}
void GtkGui::destroyWindow() {
    Impl& impl = *impl_;
    if (gdk_display_get_default()) impl.watchEvents(false);
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
GtkWidget* GtkGui::widget(ControlId id) const {
    const auto found = impl_->controls.find(static_cast<int>(id));
    return found == impl_->controls.end() ? nullptr : found->second;
}

GtkWidget* GtkGui::window() const { return impl_->window; }

GtkWidget* GtkGui::tabPage(int tab) const {
    return tab >= 0 && tab < static_cast<int>(impl_->pages.size()) ? impl_->pages[tab] : nullptr;
}
