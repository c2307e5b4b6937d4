#include "platform/gtk/gtk_gui.h"

#include "platform/gtk/gui_impl.h"

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
