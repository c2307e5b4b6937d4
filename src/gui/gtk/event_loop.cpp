// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/gtk_gui.h"

#include "gui/gtk/gui_impl.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <utility>

void GtkGui::runEventLoop(const std::function<void(const Event&)>& handler) {
    impl_->events.run([] { gtk_main_iteration(); }, handler);
}

namespace {

using Impl = GtkGui::Impl;

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

bool toMainWindow(const Impl& impl, const GdkEvent* event) {
    GdkWindow* main = impl.window ? gtk_widget_get_window(impl.window) : nullptr;
    return main && event->any.window && gdk_window_get_toplevel(event->any.window) == main;
}

// The event handler while a run works: the main window paints and follows the desktop, but its
// controls take no input, and closing it only notes the wish for the run to ask about.
void duringRun(GdkEvent* event, gpointer data) {
    auto& impl = *static_cast<Impl*>(data);
    const bool toMain = toMainWindow(impl, event);
    if (toMain && (event->type == GDK_DELETE ||
                   (event->type == GDK_KEY_PRESS && event->key.keyval == GDK_Escape))) {
        impl.closeAsked = true;
        return;
    }
    if (toMain && isInput(event->type)) return;
    gtk_main_do_event(event);
}

void toolkitHandling(GdkEvent* event, gpointer) { gtk_main_do_event(event); }

// The event handler at all other times. GTK drops a close of the main window while a message
// box holds the input (a run's last box, answered just before): the close is queued for the
// program instead, which handles it once the box is gone.
void outsideRun(GdkEvent* event, gpointer data) {
    auto& impl = *static_cast<Impl*>(data);
    GtkWidget* grab = event->type == GDK_DELETE ? gtk_grab_get_current() : nullptr;
    if (grab && gtk_widget_get_toplevel(grab) != impl.window && toMainWindow(impl, event)) {
        impl.events.postClose();
        return;
    }
    gtk_main_do_event(event);
}

}  // namespace

void GtkGui::Impl::watchEvents(bool watch) {
    if (watch)
        gdk_event_handler_set(outsideRun, this, nullptr);
    else
        gdk_event_handler_set(toolkitHandling, nullptr, nullptr);
}

bool GtkGui::pumpDuringRun() {
    Impl& impl = *impl_;
    gdk_event_handler_set(duringRun, &impl, nullptr);
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    impl.watchEvents(true);
    return std::exchange(impl.closeAsked, false);
}

void GtkGui::postClose() { impl_->events.postClose(); }
