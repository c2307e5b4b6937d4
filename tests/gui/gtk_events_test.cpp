// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/gtk_gui.h"

#include "gui/window_fixture.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>

#include <gmock/gmock.h>

#include <functional>
#include <sstream>
#include <vector>

namespace {

using ::testing::ElementsAre;

struct Point {
    int x = 0, y = 0;
};

// Real input through the X server's test extension, as a user's mouse gives it. The command
// ends with a question to the server, which answers only once it has handled the input before
// it: the input's events are then on their way to the program, ahead of anything it asks later
// (a settle() reads them all).
void xdotool(const std::vector<std::string>& words) {
    std::vector<gchar*> argv{const_cast<gchar*>("xdotool")};
    for (const std::string& word : words) argv.push_back(const_cast<gchar*>(word.c_str()));
    argv.push_back(const_cast<gchar*>("getmouselocation"));
    argv.push_back(nullptr);
    gint status = -1;
    GError* error = nullptr;
    const gboolean ran =
        g_spawn_sync(nullptr, argv.data(), nullptr,
                     static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL),
                     nullptr, nullptr, nullptr, nullptr, &status, &error);
    ASSERT_TRUE(ran) << (error ? error->message : "xdotool");
    ASSERT_EQ(status, 0);
}

void click(Point at, int button = 1, int count = 1) {
    xdotool({"mousemove", std::to_string(at.x), std::to_string(at.y), "click", "--repeat",
             std::to_string(count), "--delay", "60", std::to_string(button)});
}

Point windowOrigin(GdkWindow* window) {
    Point origin;
    gdk_window_get_origin(window, &origin.x, &origin.y);
    return origin;
}

// The screen point at (x, y) inside a widget's allocation.
Point onScreen(GtkWidget* widget, int x, int y) {
    Point at = windowOrigin(gtk_widget_get_window(widget));
    if (!gtk_widget_get_has_window(widget)) {
        at.x += widget->allocation.x;
        at.y += widget->allocation.y;
    }
    return {at.x + x, at.y + y};
}

Point centreOf(GtkWidget* widget) {
    return onScreen(widget, widget->allocation.width / 2, widget->allocation.height / 2);
}

void postClose(GtkWidget* window) {
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    close->any.send_event = TRUE;
    gdk_event_put(close);
    gdk_event_free(close);
}

bool isListEvent(const Event& event, ListEventType type) {
    return event.kind == Event::Kind::control && event.id == static_cast<int>(ControlId::appList) &&
           event.listEvent == type;
}

class GtkEventTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        addRows(6);
        show();
    }

    // Runs the event loop until `expected` events have come or `patience` ms have passed, then
    // closes the window the way its close button does. `onEvent` sees each event as it comes.
    // The patience is for a busy machine: a passing test never waits it out.
    std::vector<Event> collect(std::size_t expected, guint patience = 30000,
                               const std::function<void(const Event&)>& onEvent = {}) {
        struct Timer {
            GtkWidget* window;
            bool fired = false;
        } timer{gui->window()};
        const guint source = g_timeout_add(
            patience,
            [](gpointer data) -> gboolean {
                auto* timer = static_cast<Timer*>(data);
                timer->fired = true;
                postClose(timer->window);
                return FALSE;
            },
            &timer);
        std::vector<Event> events;
        bool closed = false;
        gui->runEventLoop([&](const Event& event) {
            if (event.kind == Event::Kind::close) {
                closed = true;
                return;
            }
            events.push_back(event);
            if (onEvent) onEvent(event);
            if (events.size() == expected) postClose(gui->window());
        });
        EXPECT_TRUE(closed);
        if (!timer.fired) g_source_remove(source);
        return events;
    }

    // The events that the input given so far has caused. xdotool() returns once the server has
    // handled the input, so after a settle() every event it causes is waiting in the queue.
    std::vector<Event> reportedSoFar() {
        settle();
        return collect(0, 0);
    }

    // Where a row's cell lies on the screen: column 0 holds the tick box, 1 the name, 2 the mode.
    Point cellPoint(int row, int column) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
        GdkRectangle cell;
        gtk_tree_view_get_cell_area(list(), path, gtk_tree_view_get_column(list(), column), &cell);
        gtk_tree_path_free(path);
        const Point bin = windowOrigin(gtk_tree_view_get_bin_window(list()));
        return {bin.x + cell.x + std::min(cell.width / 2, 12), bin.y + cell.y + cell.height / 2};
    }
};

TEST_F(GtkEventTest, ClickOnARowSelectsItAndIsReportedOnRelease) {
    const Point name = cellPoint(2, 1);
    xdotool({"mousemove", std::to_string(name.x), std::to_string(name.y), "mousedown", "1"});
    EXPECT_TRUE(reportedSoFar().empty());
    EXPECT_EQ(gui->selectedRow(), 2);

    xdotool({"mouseup", "1"});
    const auto events = collect(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isListEvent(events[0], ListEventType::leftClick));
    EXPECT_EQ(gui->rowState(2), RowState::selected);
}

TEST_F(GtkEventTest, DoubleClickComesAsAClickThenADoubleClick) {
    // xdotool may be held up between the two clicks on a busy machine; a slow hand's setting
    // keeps them one double click.
    g_object_set(gtk_settings_get_default(), "gtk-double-click-time", 10000, nullptr);
    click(cellPoint(4, 2), 1, 2);
    const auto events = collect(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(isListEvent(events[0], ListEventType::leftClick));
    EXPECT_TRUE(isListEvent(events[1], ListEventType::leftDoubleClick));
    EXPECT_EQ(gui->selectedRow(), 4);
}

TEST_F(GtkEventTest, RightClickSelectsTheRowBeforeItIsReported) {
    gui->setRowState(0, RowState::selected | RowState::ticked);
    click(cellPoint(3, 1), 3);
    int selectedWhenReported = -1;
    const auto events =
        collect(1, 30000, [&](const Event&) { selectedWhenReported = gui->selectedRow(); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isListEvent(events[0], ListEventType::rightClick));
    EXPECT_EQ(selectedWhenReported, 3);
    EXPECT_EQ(gui->rowState(0), RowState::ticked);
}

TEST_F(GtkEventTest, ClicksBelowTheLastRowSelectNothing) {
    const Point lastRow = cellPoint(5, 1);
    const int rowHeight = cellPoint(5, 1).y - cellPoint(4, 1).y;
    const Point blank{lastRow.x, lastRow.y + rowHeight};
    gint binWidth = 0, binHeight = 0;
    GdkWindow* bin = gtk_tree_view_get_bin_window(list());
    gdk_drawable_get_size(bin, &binWidth, &binHeight);
    ASSERT_LT(blank.y + rowHeight / 2, windowOrigin(bin).y + binHeight) << "no room below the rows";

    gui->setRowState(2, RowState::selected);
    click(blank, 3);
    auto events = collect(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isListEvent(events[0], ListEventType::rightClick));
    EXPECT_EQ(gui->selectedRow(), -1);

    gui->setRowState(4, RowState::selected | RowState::ticked);
    click(blank);
    events = collect(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isListEvent(events[0], ListEventType::leftClick));
    EXPECT_EQ(gui->rowState(4), RowState::ticked);
}

TEST_F(GtkEventTest, PopupMenuShownOnARightClickReportsTheChosenItem) {
    click(cellPoint(1, 1), 3);
    const auto events = collect(2, 30000, [&](const Event& event) {
        if (!isListEvent(event, ListEventType::rightClick)) return;
        gui->showEntryMenu();
        settle();  // the server has mapped the menu before the click comes
        click(centreOf(gui->menuItemWidget(MenuItem::openDefinitionFile)));
    });
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(isListEvent(events[0], ListEventType::rightClick));
    EXPECT_EQ(events[1].kind, Event::Kind::menu);
    EXPECT_EQ(events[1].id, static_cast<int>(MenuItem::openDefinitionFile));
}

// The user's tick comes as an event naming its row, before the click's own; the program's
// setRowState reports nothing.
TEST_F(GtkEventTest, ClickingATickBoxTogglesTheTickAndReportsIt) {
    const auto isTick = [](const Event& event, int row) {
        return isListEvent(event, ListEventType::tickChanged) && event.row == row;
    };
    gui->setRowState(5, RowState::ticked);
    click(cellPoint(1, 0));
    auto events = collect(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(isTick(events[0], 1));
    EXPECT_TRUE(isListEvent(events[1], ListEventType::leftClick));
    EXPECT_TRUE(gui->rowState(1) & RowState::ticked);
    EXPECT_EQ(gui->rowState(5), RowState::ticked);

    click(cellPoint(5, 0));
    events = collect(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(isTick(events[0], 5));
    EXPECT_FALSE(gui->rowState(5) & RowState::ticked);
    EXPECT_TRUE(gui->rowState(1) & RowState::ticked);

    // A click on the name selects the row without touching its tick; Space then toggles it.
    click(cellPoint(3, 1));
    events = collect(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isListEvent(events[0], ListEventType::leftClick));
    EXPECT_EQ(gui->rowState(3), RowState::selected);
    xdotool({"key", "space"});
    events = reportedSoFar();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isTick(events[0], 3));
    EXPECT_EQ(gui->rowState(3), RowState::selected | RowState::ticked);
}

TEST_F(GtkEventTest, ButtonsAndTheLinkReportTheirControlNumbers) {
    click(centreOf(gui->widget(ControlId::customizeButton)));
    click(centreOf(gui->widget(ControlId::selectAllButton)));
    auto events = collect(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, Event::Kind::control);
    EXPECT_EQ(events[0].id, static_cast<int>(ControlId::customizeButton));
    EXPECT_EQ(events[1].id, static_cast<int>(ControlId::selectAllButton));

    gtk_notebook_set_current_page(GTK_NOTEBOOK(gui->widget(ControlId::tabPanel)), 3);
    settle();
    GtkWidget* link = gui->widget(ControlId::creditLink);
    click(onScreen(link, 20, 10));
    events = collect(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::Kind::control);
    EXPECT_EQ(events[0].id, static_cast<int>(ControlId::creditLink));

    // Plain labels and the page around them report nothing.
    click(centreOf(gui->widget(ControlId::aboutText)));
    EXPECT_TRUE(reportedSoFar().empty());
}

TEST_F(GtkEventTest, ClickingAColumnHeaderDoesNothing) {
    gui->setCellText(0, 0, "Zebra");
    GtkWidget* header = gtk_tree_view_get_column(list(), 1)->button;
    click(centreOf(header));
    EXPECT_TRUE(reportedSoFar().empty());
    EXPECT_EQ(gui->cellText(0, 0), "Zebra");
    EXPECT_EQ(gui->selectedRow(), -1);
}

// Real key presses. Each case ends with keys that press a known button: keys before it that
// wrongly pressed something would show up as an earlier event.
TEST_F(GtkEventTest, EnterAndSpacePressOnlyTheFocusedButton) {
    GtkWindow* window = GTK_WINDOW(gui->window());
    // Without a window manager the keyboard goes to the window under the pointer.
    const Point status = centreOf(gui->widget(ControlId::statusText));
    xdotool({"mousemove", std::to_string(status.x), std::to_string(status.y)});
    const auto pressed = [&](ControlId focus, const std::string& keys) {
        gtk_widget_grab_focus(gui->widget(focus));
        settle();
        std::vector<std::string> words{"key", "--delay", "30"};
        std::istringstream split(keys);
        for (std::string key; split >> key;) words.push_back(key);
        xdotool(words);
        const auto events = collect(1);
        return events.empty() ? -1 : events[0].id;
    };
    const auto id = [](ControlId control) { return static_cast<int>(control); };

    EXPECT_EQ(pressed(ControlId::customizeButton, "Return"), id(ControlId::customizeButton));
    EXPECT_EQ(pressed(ControlId::selectAllButton, "space"), id(ControlId::selectAllButton));
    EXPECT_EQ(pressed(ControlId::customizeButton, "Escape KP_Enter"),
              id(ControlId::customizeButton));
    EXPECT_EQ(pressed(ControlId::romPathField, "Return Escape Tab space"),
              id(ControlId::browseButton));
    gui->setRowState(2, RowState::selected | RowState::ticked);
    EXPECT_EQ(pressed(ControlId::appList, "Return Escape Tab Return"),
              id(ControlId::unselectAllButton));
    EXPECT_EQ(gui->rowState(2), RowState::selected | RowState::ticked);

    gtk_notebook_set_current_page(GTK_NOTEBOOK(gui->widget(ControlId::tabPanel)), 2);
    EXPECT_EQ(pressed(ControlId::backupCheck, "Return Tab space Tab Return"),
              id(ControlId::saveListButton));
    EXPECT_TRUE(
        gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(gui->widget(ControlId::backupCheck))));
    EXPECT_TRUE(
        gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(gui->widget(ControlId::recoveryZipCheck))));
    gtk_notebook_set_current_page(GTK_NOTEBOOK(gui->widget(ControlId::tabPanel)), 3);
    EXPECT_EQ(pressed(ControlId::donateButton, "Return"), id(ControlId::donateButton));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
}

TEST_F(GtkEventTest, TabGoesFromThePathToTheTabsThenThePageAndCustomizeLast) {
    GtkWindow* window = GTK_WINDOW(gui->window());
    const Point status = centreOf(gui->widget(ControlId::statusText));
    xdotool({"mousemove", std::to_string(status.x), std::to_string(status.y)});
    gtk_widget_grab_focus(gui->widget(ControlId::romPathField));
    std::vector<GtkWidget*> visited;
    for (int step = 0; step < 6; ++step) {
        xdotool({"key", "Tab"});
        settle();
        visited.push_back(gtk_window_get_focus(window));
    }
    EXPECT_THAT(
        visited,
        ElementsAre(gui->widget(ControlId::browseButton), gui->widget(ControlId::tabPanel),
                    gui->widget(ControlId::appList), gui->widget(ControlId::unselectAllButton),
                    gui->widget(ControlId::selectAllButton),
                    gui->widget(ControlId::customizeButton)));
}

// The dialog the program shows now, or null.
GtkWidget* shownDialog() {
    GtkWidget* dialog = nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next) {
        GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(item->data));
        if (GTK_IS_DIALOG(item->data) && window &&
            !(gdk_window_get_state(window) & GDK_WINDOW_STATE_WITHDRAWN))
            dialog = GTK_WIDGET(item->data);
    }
    g_list_free(toplevels);
    return dialog;
}

// Presses Escape, with real keys, in the first dialog that opens once the X server shows it;
// after a minute the dialog is answered by its response instead and the test fails.
class EscapeInDialog {
public:
    EscapeInDialog() { source_ = g_timeout_add(20, look, this); }
    ~EscapeInDialog() {
        if (source_) g_source_remove(source_);
    }
    // The dialog was closed, and not by the deadline's response.
    bool closedByEscape() const { return pressed_ && !gaveUp_; }

private:
    static gboolean look(gpointer data) {
        auto* self = static_cast<EscapeInDialog*>(data);
        GtkWidget* dialog = shownDialog();
        if (g_get_monotonic_time() > self->deadline_) {
            self->gaveUp_ = true;
            self->source_ = 0;
            if (dialog) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
            return FALSE;
        }
        if (dialog && !self->pressed_ && focus(dialog)) {
            self->pressed_ = true;
            xdotool({"key", "Escape"});
        }
        return TRUE;
    }

    // A dialog just shown may refuse the keyboard for a moment: false then, to try again.
    static bool focus(GtkWidget* dialog) {
        const std::string id = std::to_string(GDK_WINDOW_XID(gtk_widget_get_window(dialog)));
        gchar* argv[] = {const_cast<gchar*>("xdotool"), const_cast<gchar*>("windowfocus"),
                         const_cast<gchar*>("--sync"), const_cast<gchar*>(id.c_str()), nullptr};
        gint status = -1;
        const auto quiet = static_cast<GSpawnFlags>(
            G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
        return g_spawn_sync(nullptr, argv, nullptr, quiet, nullptr, nullptr, nullptr, nullptr,
                            &status, nullptr) &&
               status == 0;
    }

    guint source_ = 0;
    bool pressed_ = false, gaveUp_ = false;
    gint64 deadline_ = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
};

TEST_F(GtkEventTest, EscapeClosesMessageBoxesAndFileDialogs) {
    {
        EscapeInDialog escape;
        gui->messageBox("Notice", "Escape closes this box");
        EXPECT_TRUE(escape.closedByEscape());
    }
    EscapeInDialog escape;
    EXPECT_EQ(gui->openFileDialog("Select Rom", "CWM ZIP (*.zip)", "*.zip", ""), "");
    EXPECT_TRUE(escape.closedByEscape());
}

TEST_F(GtkEventTest, NothingStartsFocusedSoThePathFieldShowsNoCaret) {
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(gui->window())), nullptr);
}

TEST_F(GtkEventTest, CloseEventEndsTheLoopAfterTheHandlerHasSeenIt) {
    postClose(gui->window());
    std::vector<Event> events;
    gui->runEventLoop([&](const Event& event) { events.push_back(event); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::Kind::close);
    // The program closes the window itself after the loop.
    EXPECT_TRUE(gtk_widget_get_visible(gui->window()));
}

// The main window closed while a message box is up (a run's last box, answered right after):
// the close is handled once the box is gone, never dropped.
TEST_F(GtkEventTest, CloseWhileAMessageBoxIsUpIsHandledAfterTheBox) {
    struct Answer {
        GtkWidget* window;
        bool closeSent = false;
    } answer{gui->window()};
    g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
            auto* answer = static_cast<Answer*>(data);
            GtkWidget* dialog = shownDialog();
            if (!dialog) return TRUE;
            if (!answer->closeSent) {
                postClose(answer->window);
                answer->closeSent = true;
                return TRUE;
            }
            // The close has been dealt with while the box was up: now the box is answered.
            if (gtk_events_pending()) return TRUE;
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
            return FALSE;
        },
        &answer);
    gui->messageBox("Finish", "Customzation done ;)");
    ASSERT_TRUE(answer.closeSent);

    struct Deadline {
        GtkWidget* window;
        bool passed = false;
    } deadline{gui->window()};
    const guint source = g_timeout_add(
        30000,
        [](gpointer data) -> gboolean {
            auto* deadline = static_cast<Deadline*>(data);
            deadline->passed = true;
            postClose(deadline->window);
            return FALSE;
        },
        &deadline);
    std::vector<Event> events;
    gui->runEventLoop([&](const Event& event) { events.push_back(event); });
    if (!deadline.passed) g_source_remove(source);
    EXPECT_FALSE(deadline.passed) << "the close sent during the box was lost";
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::Kind::close);
}

// While a run works the window paints, a click on its controls is dropped rather than kept for
// after the run, and the close button and Escape come out as a wish to stop, not as events.
TEST_F(GtkEventTest, DuringARunTheWindowPaintsTakesNoInputAndAsksToStopOnClose) {
    // Pumps at least once and until `done` holds, for at most a minute; true when a stop was
    // asked meanwhile.
    const auto pumpUntil = [&](const std::function<bool()>& done) {
        bool asked = false;
        const gint64 deadline = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
        do {
            asked = gui->pumpDuringRun() || asked;
            g_usleep(1000);
        } while (!done() && g_get_monotonic_time() < deadline);
        return asked;
    };
    int exposed = 0;
    g_signal_connect(gui->widget(ControlId::statusText), "expose-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventExpose*, gpointer count) -> gboolean {
                         ++*static_cast<int*>(count);
                         return FALSE;
                     }),
                     &exposed);
    gui->setStatusText("Removing files ... 42%");
    gdk_window_invalidate_rect(gtk_widget_get_window(gui->window()), nullptr, TRUE);
    EXPECT_FALSE(pumpUntil([&] { return exposed > 0; }));
    EXPECT_GT(exposed, 0);

    click(centreOf(gui->widget(ControlId::selectAllButton)));
    gdk_display_sync(gdk_display_get_default());
    EXPECT_FALSE(pumpUntil([] { return !gtk_events_pending(); }));
    EXPECT_TRUE(reportedSoFar().empty());

    postClose(gui->window());
    EXPECT_TRUE(pumpUntil([] { return !gtk_events_pending(); }));
    GdkEvent* escape = gdk_event_new(GDK_KEY_PRESS);
    escape->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(gui->window())));
    escape->key.send_event = TRUE;
    escape->key.keyval = GDK_Escape;
    gdk_event_put(escape);
    gdk_event_free(escape);
    EXPECT_TRUE(pumpUntil([] { return !gtk_events_pending(); }));
    EXPECT_FALSE(gui->pumpDuringRun()) << "a wish to stop is told once";
    EXPECT_TRUE(gtk_widget_get_visible(gui->window()));
    EXPECT_TRUE(reportedSoFar().empty());
}

// A close that work other than a run saw while pumping (reading a ROM's apps) is handed back
// with postClose: the loop gets it once the handler has returned.
TEST_F(GtkEventTest, ACloseHandedBackAfterPumpingEndsTheLoop) {
    postClose(gui->window());
    bool asked = false;
    const gint64 deadline = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    while (!asked && g_get_monotonic_time() < deadline) asked = gui->pumpDuringRun();
    ASSERT_TRUE(asked);
    gui->postClose();
    std::vector<Event> events;
    gui->runEventLoop([&](const Event& event) { events.push_back(event); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::Kind::close);
}

TEST_F(GtkEventTest, StatusTextIsPaintedWithoutRunningTheLoop) {
    GtkWidget* label = gui->widget(ControlId::statusText);
    auto picture = [&] {
        GdkPixbuf* pixels = gdk_pixbuf_get_from_drawable(
            nullptr, gtk_widget_get_window(label), nullptr, label->allocation.x,
            label->allocation.y, 0, 0, label->allocation.width, label->allocation.height);
        std::string bytes(reinterpret_cast<const char*>(gdk_pixbuf_get_pixels(pixels)),
                          gdk_pixbuf_get_rowstride(pixels) * gdk_pixbuf_get_height(pixels));
        g_object_unref(pixels);
        return bytes;
    };
    const std::string blank = picture();
    gui->setStatusText("Working on the ROM");
    EXPECT_NE(picture(), blank);
}

}  // namespace
