// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/gtk_gui.h"

#include "gui/gtk/row_model.h"
#include "gui/gui_contract.h"
#include "gui/window_fixture.h"
#include "support/temp_folder.h"

#include <functional>
#include <set>

namespace {

std::string withNewlines(std::string text) {
    for (char& c : text)
        if (c == '\r') c = '\n';
    return text;
}

// A control's place in its GtkFixed: allocations are relative to the nearest GdkWindow.
GdkRectangle placeIn(GtkWidget* widget, GtkWidget* fixed) {
    GdkRectangle place = widget->allocation;
    if (!gtk_widget_get_has_window(fixed)) {
        place.x -= fixed->allocation.x;
        place.y -= fixed->allocation.y;
    }
    return place;
}

std::string labelText(GtkWidget* widget) {
    if (GTK_IS_BIN(widget)) widget = gtk_bin_get_child(GTK_BIN(widget));
    return GTK_IS_LABEL(widget) ? gtk_label_get_text(GTK_LABEL(widget)) : "<no label>";
}

// Runs `inspect` on the first dialog that opens, once `ready` says so, and answers it with
// `response`; gives up with a cancel after a minute.
struct DialogAnswer {
    std::function<void(GtkDialog*)> inspect;
    std::function<bool(GtkDialog*)> ready;
    int response = GTK_RESPONSE_OK;
    bool messageOnly = false;  // answers a message box, never a file chooser
    bool seen = false;
    // A busy machine may take long to map a dialog and fill a chooser: the deadline is generous
    // and counts time, not looks.
    gint64 deadline = 0;
};

gboolean answerDialog(gpointer data) {
    auto* answer = static_cast<DialogAnswer*>(data);
    GList* toplevels = gtk_window_list_toplevels();
    GtkDialog* dialog = nullptr;
    for (GList* item = toplevels; item; item = item->next)
        if (GTK_IS_DIALOG(item->data) && gtk_widget_get_mapped(GTK_WIDGET(item->data)) &&
            (!answer->messageOnly || GTK_IS_MESSAGE_DIALOG(item->data)))
            dialog = GTK_DIALOG(item->data);
    g_list_free(toplevels);
    const bool givingUp = g_get_monotonic_time() > answer->deadline;
    if (!givingUp && (!dialog || (answer->ready && !answer->ready(dialog))))
        return TRUE;  // look again
    if (!dialog) return FALSE;
    if (givingUp) {
        gtk_dialog_response(dialog, GTK_RESPONSE_CANCEL);
        return FALSE;
    }
    answer->seen = true;
    answer->inspect(dialog);
    gtk_dialog_response(dialog, answer->response);
    return FALSE;
}

void answerNextDialog(DialogAnswer& answer) {
    answer.deadline = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    g_timeout_add(20, answerDialog, &answer);
}

std::string takeString(gchar* text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

// An empty file in `folder`; its full path.
std::string touch(const TempFolder& folder, const std::string& name) {
    writeFile(folder / name, "");
    return folder / name;
}

// The file chooser records chosen files in the user's recent-files list; keep that list in a
// folder of the test's own.
class PrivateDataFolder : public ::testing::Environment {
public:
    void SetUp() override { g_setenv("XDG_DATA_HOME", folder_.path().c_str(), TRUE); }

private:
    TempFolder folder_;
};
const auto* const privateDataFolder = ::testing::AddGlobalTestEnvironment(new PrivateDataFolder);

using GtkWindowTest = WindowTest;

class GtkContractWindow : public ContractWindow {
public:
    ~GtkContractWindow() override {
        gui_.destroyWindow();
        while (gtk_events_pending()) gtk_main_iteration();
    }
    Gui& gui() override { return gui_; }
    std::string shownStatus() override { return labelText(gui_.widget(ControlId::statusText)); }
    std::string shownTooltip() override {
        gchar* tip = gtk_widget_get_tooltip_text(gui_.widget(ControlId::appList));
        std::string shown = tip ? tip : "";
        g_free(tip);
        return shown;
    }
    std::string shownCell(int row, int column) override {
        GtkTreeModel* model =
            gtk_tree_view_get_model(GTK_TREE_VIEW(gui_.widget(ControlId::appList)));
        GtkTreeIter iter;
        if (!gtk_tree_model_iter_nth_child(model, &iter, nullptr, row)) return "";
        gchar* text = nullptr;
        gtk_tree_model_get(model, &iter, column == 0 ? rowModelName : rowModelMode, &text, -1);
        return takeString(text);
    }
    bool menuItemEnabled(MenuItem item) override {
        return gtk_widget_get_sensitive(gui_.menuItemWidget(item));
    }

private:
    GtkGui gui_{mainWindowSpec()};
};

std::unique_ptr<ContractWindow> makeGtkWindow() {
    if (!GtkGui::initialise()) return nullptr;
    return std::make_unique<GtkContractWindow>();
}

INSTANTIATE_TEST_SUITE_P(GtkGui, GuiContract, testing::Values(&makeGtkWindow), contractTestName);

TEST_F(GtkWindowTest, WindowIsAFixedSizeCentredToolWindow) {
    show();
    GtkWidget* window = gui->window();
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Slimkit for CWM Roms V# 0.9");
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
    EXPECT_EQ(window->allocation.width, 350);
    EXPECT_EQ(window->allocation.height, 365);

    GdkWMDecoration decorations{};
    ASSERT_TRUE(gdk_window_get_decorations(gtk_widget_get_window(window), &decorations));
    EXPECT_TRUE(decorations & GDK_DECOR_TITLE);
    EXPECT_FALSE(decorations & (GDK_DECOR_MINIMIZE | GDK_DECOR_MAXIMIZE | GDK_DECOR_RESIZEH));

    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(window), &x, &y);
    GdkScreen* screen = gtk_widget_get_screen(window);
    EXPECT_NEAR(x, (gdk_screen_get_width(screen) - 350) / 2, 1);
    EXPECT_NEAR(y, (gdk_screen_get_height(screen) - 365) / 2, 1);
}

TEST_F(GtkWindowTest, EveryControlSitsOnItsRectangleOnItsPage) {
    show();
    GtkWidget* client = gtk_bin_get_child(GTK_BIN(gui->window()));
    GtkNotebook* tabs = GTK_NOTEBOOK(gui->widget(ControlId::tabPanel));
    EXPECT_EQ(gtk_notebook_get_current_page(tabs), 0);
    for (const ControlSpec& layout : windowLayout()) {
        SCOPED_TRACE(layout.name);
        // A page's controls are looked at once the page is chosen, as the user sees them.
        if (layout.tab >= 0 && layout.tab != gtk_notebook_get_current_page(tabs)) {
            gtk_notebook_set_current_page(tabs, layout.tab);
            settle();
        }
        GtkWidget* widget = placed(gui->widget(static_cast<ControlId>(layout.id)));
        ASSERT_NE(widget, nullptr);
        GtkWidget* page = layout.tab < 0 ? client : gui->tabPage(layout.tab);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(gtk_widget_get_parent(widget), page);
        const GdkRectangle place = placeIn(widget, page);
        EXPECT_EQ(place.x, layout.x);
        EXPECT_EQ(place.y, layout.y);
        EXPECT_EQ(place.width, layout.width);
        EXPECT_EQ(place.height, layout.height);
        // Only the credit link may reach past its page, which clips it.
        if (layout.tab >= 0 && layout.id != static_cast<int>(ControlId::creditLink)) {
            EXPECT_LE(layout.x + layout.width, page->allocation.width);
            EXPECT_LE(layout.y + layout.height, page->allocation.height);
        }
    }
    EXPECT_TRUE(gtk_widget_get_has_window(gui->tabPage(3)));
}

// The controls of the pages behind the first are shown only once their page is chosen, so
// sizing their texts doesn't delay the window; the page then shows all of them.
TEST_F(GtkWindowTest, ControlsOfAPageShowWhenThePageIsFirstChosen) {
    show();
    GtkWidget* remove = gui->widget(ControlId::selectAllButton);
    GtkWidget* settings = gui->widget(ControlId::backupCheck);
    GtkWidget* about = gui->widget(ControlId::aboutText);
    EXPECT_TRUE(gtk_widget_get_mapped(remove));
    EXPECT_FALSE(gtk_widget_get_visible(settings));
    EXPECT_FALSE(gtk_widget_get_visible(about));

    GtkNotebook* tabs = GTK_NOTEBOOK(gui->widget(ControlId::tabPanel));
    gtk_notebook_set_current_page(tabs, 2);
    settle();
    EXPECT_TRUE(gtk_widget_get_mapped(settings));
    EXPECT_TRUE(gtk_widget_get_mapped(gui->widget(ControlId::loadListButton)));
    EXPECT_FALSE(gtk_widget_get_visible(about));
    // Going back and forth leaves every page's controls in place.
    gtk_notebook_set_current_page(tabs, 0);
    settle();
    EXPECT_TRUE(gtk_widget_get_mapped(remove));
    gtk_notebook_set_current_page(tabs, 2);
    settle();
    EXPECT_TRUE(gtk_widget_get_mapped(settings));
}

TEST_F(GtkWindowTest, ControlsShowTheirCaptions) {
    for (const ControlSpec& layout : windowLayout()) {
        SCOPED_TRACE(layout.name);
        GtkWidget* widget = gui->widget(static_cast<ControlId>(layout.id));
        switch (layout.kind) {
            case ControlKind::frame:
                EXPECT_EQ(gtk_frame_get_label(GTK_FRAME(widget)), layout.caption);
                break;
            case ControlKind::button:
            case ControlKind::checkBox:
                EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(widget)), layout.caption);
                break;
            case ControlKind::label:
            case ControlKind::centredLabel:
            case ControlKind::link:
                EXPECT_EQ(labelText(widget), withNewlines(layout.caption));
                break;
            default:
                break;
        }
    }

    GtkNotebook* tabs = GTK_NOTEBOOK(gui->widget(ControlId::tabPanel));
    ASSERT_EQ(gtk_notebook_get_n_pages(tabs), 4);
    const char* names[] = {"Remove", "Add", "Settings", "About"};
    for (int tab = 0; tab < 4; ++tab)
        EXPECT_STREQ(gtk_notebook_get_tab_label_text(tabs, gui->tabPage(tab)), names[tab]);

    // The tick boxes have a column of their own, taken out of the first titled column.
    GtkTreeViewColumn* tick = gtk_tree_view_get_column(list(), 0);
    GtkTreeViewColumn* name = gtk_tree_view_get_column(list(), 1);
    GtkTreeViewColumn* mode = gtk_tree_view_get_column(list(), 2);
    ASSERT_TRUE(tick && name && mode);
    EXPECT_EQ(gtk_tree_view_get_column(list(), 3), nullptr);
    EXPECT_STREQ(gtk_tree_view_column_get_title(tick), "");
    EXPECT_STREQ(gtk_tree_view_column_get_title(name), "Apps To Remove");
    EXPECT_STREQ(gtk_tree_view_column_get_title(mode), "Remove");
    EXPECT_EQ(
        gtk_tree_view_column_get_fixed_width(tick) + gtk_tree_view_column_get_fixed_width(name),
        185);
    EXPECT_EQ(gtk_tree_view_column_get_fixed_width(mode), 95);
    EXPECT_FALSE(gtk_tree_view_column_get_clickable(tick));
    EXPECT_FALSE(gtk_tree_view_column_get_clickable(name));
    EXPECT_FALSE(gtk_tree_view_column_get_clickable(mode));
    EXPECT_TRUE(gtk_tree_view_get_fixed_height_mode(list()));
    EXPECT_EQ(gtk_tree_selection_get_mode(gtk_tree_view_get_selection(list())),
              GTK_SELECTION_SINGLE);

    GtkWidget* field = gui->widget(ControlId::romPathField);
    EXPECT_FALSE(gtk_editable_get_editable(GTK_EDITABLE(field)));
}

TEST_F(GtkWindowTest, FontsAndColoursFollowTheTable) {
    show();
    auto fontOf = [](GtkWidget* widget) { return gtk_widget_get_style(widget)->font_desc; };
    for (ControlId id : {ControlId::customizeButton, ControlId::statusText, ControlId::backupCheck,
                         ControlId::appList}) {
        GtkWidget* widget = gui->widget(id);
        if (GTK_IS_BUTTON(widget)) widget = gtk_bin_get_child(GTK_BIN(widget));
        const PangoFontDescription* font = fontOf(widget);
        EXPECT_STREQ(pango_font_description_get_family(font), "Arial");
        EXPECT_EQ(pango_font_description_get_size(font), 8 * PANGO_SCALE);
        EXPECT_EQ(pango_font_description_get_weight(font), PANGO_WEIGHT_NORMAL);
    }
    // The About page's controls take their looks once the page is chosen.
    gtk_notebook_set_current_page(GTK_NOTEBOOK(gui->widget(ControlId::tabPanel)), 3);
    settle();
    GtkWidget* title = gui->widget(ControlId::aboutTitleText);
    EXPECT_STREQ(pango_font_description_get_family(fontOf(title)), "Arial");
    EXPECT_EQ(pango_font_description_get_size(fontOf(title)), 16 * PANGO_SCALE);
    EXPECT_EQ(pango_font_description_get_weight(fontOf(title)), PANGO_WEIGHT_BOLD);

    const GdkColor blue = gtk_widget_get_style(title)->fg[GTK_STATE_NORMAL];
    EXPECT_EQ(blue.red, 0);
    EXPECT_EQ(blue.green, 0);
    EXPECT_EQ(blue.blue, 65535);
    GtkWidget* credit = gtk_bin_get_child(GTK_BIN(gui->widget(ControlId::creditLink)));
    const GdkColor green = gtk_widget_get_style(credit)->fg[GTK_STATE_NORMAL];
    EXPECT_EQ(green.red, 0);
    EXPECT_EQ(green.green, 65535);
    EXPECT_EQ(green.blue, 0);
    const GdkColor white =
        gtk_widget_get_style(gui->widget(ControlId::romPathField))->base[GTK_STATE_NORMAL];
    EXPECT_EQ(white.red + white.green + white.blue, 3 * 65535);

    GdkWindow* link = gtk_widget_get_window(gui->widget(ControlId::creditLink));
    EXPECT_NE(link, gtk_widget_get_window(gui->tabPage(3)));  // the hand is the link's alone
    GdkCursor* cursor = gdk_window_get_cursor(link);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_HAND2);
}

TEST_F(GtkWindowTest, LongTextsWrapInsideTheirRectanglesAndCentredOnesStayCentred) {
    show();
    GtkNotebook* tabs = GTK_NOTEBOOK(gui->widget(ControlId::tabPanel));
    for (const ControlSpec& layout : windowLayout()) {
        if (layout.kind != ControlKind::label && layout.kind != ControlKind::centredLabel) continue;
        SCOPED_TRACE(layout.name);
        if (layout.tab >= 0) {
            gtk_notebook_set_current_page(tabs, layout.tab);
            settle();
        }
        GtkWidget* label = gui->widget(static_cast<ControlId>(layout.id));
        PangoRectangle text;
        pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &text);
        EXPECT_LE(text.width, layout.width);
        if (layout.kind == ControlKind::centredLabel) {
            int x = 0, y = 0;
            gtk_label_get_layout_offsets(GTK_LABEL(label), &x, &y);
            const int textCentre = x + text.x + text.width / 2;
            const GtkAllocation& box = placed(label)->allocation;
            EXPECT_NEAR(textCentre, box.x + box.width / 2, 2);
        }
    }
    const auto lines = [&](ControlId id) {
        return pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(gui->widget(id))));
    };
    EXPECT_GE(lines(ControlId::experimentalText), 4);
    EXPECT_GE(lines(ControlId::aboutText), 5);
}

// The shown list learns of every change to its rows: the view must agree with the rows at
// every step, or clicks and the selection would land on the wrong row.
TEST_F(GtkWindowTest, ShownListFollowsInsertsChangesAndClearing) {
    show();
    GtkTreeModel* model = gtk_tree_view_get_model(list());
    int inserted = 0, changed = 0, deleted = 0;
    auto countRow = +[](GtkTreeModel*, GtkTreePath*, GtkTreeIter*, gpointer counter) {
        ++*static_cast<int*>(counter);
    };
    auto countDeleted =
        +[](GtkTreeModel*, GtkTreePath*, gpointer counter) { ++*static_cast<int*>(counter); };
    g_signal_connect(model, "row-inserted", G_CALLBACK(countRow), &inserted);
    g_signal_connect(model, "row-changed", G_CALLBACK(countRow), &changed);
    g_signal_connect(model, "row-deleted", G_CALLBACK(countDeleted), &deleted);

    addRows(3);
    GtkTreeIter first;
    ASSERT_TRUE(gtk_tree_model_get_iter_first(model, &first));
    gui->insertRow(0, "Top\nApp");
    settle();
    EXPECT_EQ(inserted, 4);
    // An iterator taken before the insertion no longer names a row.
    EXPECT_EQ(gtk_tree_model_get_path(model, &first), nullptr);

    // The view has a row under each of the four, and the one under the last is "Row 2".
    GdkRectangle cell;
    GtkTreePath* last = gtk_tree_path_new_from_indices(3, -1);
    gtk_tree_view_get_cell_area(list(), last, nullptr, &cell);
    gtk_tree_path_free(last);
    GtkTreePath* hit = nullptr;
    ASSERT_TRUE(gtk_tree_view_get_path_at_pos(list(), 5, cell.y + cell.height / 2, &hit, nullptr,
                                              nullptr, nullptr));
    EXPECT_EQ(gtk_tree_path_get_indices(hit)[0], 3);
    gtk_tree_path_free(hit);

    // A tick reaches the view once; setting the same tick again is no change.
    gui->setRowState(3, RowState::ticked);
    gui->setRowState(3, RowState::ticked);
    gui->setCellText(3, 1, "Widget");
    EXPECT_EQ(changed, 2);
    GtkTreeIter fourth;
    ASSERT_TRUE(gtk_tree_model_iter_nth_child(model, &fourth, nullptr, 3));
    gboolean ticked = FALSE;
    gchar* name = nullptr;
    gchar* mode = nullptr;
    gtk_tree_model_get(model, &fourth, 0, &ticked, 1, &name, 2, &mode, -1);
    EXPECT_TRUE(ticked);
    EXPECT_STREQ(name, "Row 2");
    EXPECT_STREQ(mode, "Widget");
    g_free(name);
    g_free(mode);

    gui->setRowState(2, RowState::selected);
    gui->clearRows();
    settle();
    EXPECT_EQ(deleted, 4);
    EXPECT_EQ(gtk_tree_model_iter_n_children(model, nullptr), 0);
    EXPECT_FALSE(gtk_tree_view_get_path_at_pos(list(), 5, 5, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(gui->selectedRow(), -1);
}

TEST_F(GtkWindowTest, PopupMenuHasItsItemsAndRemovalModSubmenu) {
    const char* captions[] = {"Show description", "Open definition file", "App/Widget", "Widget",
                              "Load app knowledge..."};
    for (int item = 0; item < 5; ++item) {
        GtkWidget* widget = gui->menuItemWidget(static_cast<MenuItem>(item));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(labelText(widget), captions[item]);
    }
    GtkWidget* submenu = gtk_widget_get_parent(gui->menuItemWidget(MenuItem::widgetMode));
    EXPECT_EQ(submenu, gtk_widget_get_parent(gui->menuItemWidget(MenuItem::appWidgetMode)));
    GtkWidget* opener = gtk_menu_get_attach_widget(GTK_MENU(submenu));
    EXPECT_EQ(labelText(opener), "Removal Mod");
    GtkWidget* top = gtk_widget_get_parent(gui->menuItemWidget(MenuItem::showDescription));
    EXPECT_EQ(gtk_widget_get_parent(opener), top);
    GList* topItems = gtk_container_get_children(GTK_CONTAINER(top));
    EXPECT_EQ(g_list_length(topItems), 4u);
    EXPECT_EQ(g_list_nth_data(topItems, 2), opener);
    EXPECT_EQ(g_list_nth_data(topItems, 3), gui->menuItemWidget(MenuItem::loadKnowledge));
    g_list_free(topItems);
    EXPECT_EQ(gtk_menu_get_attach_widget(GTK_MENU(top)), gui->window());
}

TEST_F(GtkWindowTest, MessageBoxIsModalWithTitleTextAndOneOkButton) {
    show();
    std::string title, text;
    int buttons = 0;
    bool modal = false;
    GtkWindow* parent = nullptr;
    DialogAnswer answer;
    answer.inspect = [&](GtkDialog* dialog) {
        title = gtk_window_get_title(GTK_WINDOW(dialog));
        gchar* shown = nullptr;
        g_object_get(dialog, "text", &shown, nullptr);
        text = shown ? shown : "";
        g_free(shown);
        GList* children = gtk_container_get_children(GTK_CONTAINER(dialog->action_area));
        buttons = static_cast<int>(g_list_length(children));
        g_list_free(children);
        modal = gtk_window_get_modal(GTK_WINDOW(dialog));
        parent = gtk_window_get_transient_for(GTK_WINDOW(dialog));
    };
    answerNextDialog(answer);
    gui->messageBox("Caf\xe9", "Customzation done ;)\rSee you.");
    ASSERT_TRUE(answer.seen);
    EXPECT_EQ(title, "Caf\xc3\xa9");
    EXPECT_EQ(text, "Customzation done ;)\nSee you.");
    EXPECT_EQ(buttons, 1);
    EXPECT_TRUE(modal);
    EXPECT_EQ(parent, GTK_WINDOW(gui->window()));
}

TEST_F(GtkWindowTest, QuestionBoxIsAnsweredYesOnlyByYes) {
    show();
    for (const int response : {GTK_RESPONSE_YES, GTK_RESPONSE_NO, GTK_RESPONSE_DELETE_EVENT}) {
        GtkMessageType type = GTK_MESSAGE_OTHER;
        DialogAnswer answer;
        answer.response = response;
        answer.inspect = [&](GtkDialog* dialog) {
            g_object_get(dialog, "message-type", &type, nullptr);
        };
        answerNextDialog(answer);
        const bool yes = gui->questionBox("Save Profile File", "list.ini is there.\rReplace it?");
        ASSERT_TRUE(answer.seen);
        EXPECT_EQ(type, GTK_MESSAGE_QUESTION);
        EXPECT_EQ(yes, response == GTK_RESPONSE_YES);
    }
}

TEST_F(GtkWindowTest, OpenDialogFiltersZipsAndStartsAtTheGivenFile) {
    show();
    TempFolder folder;
    const std::string rom = touch(folder, "rom.zip");
    touch(folder, "OTHER.ZIP");
    touch(folder, "notes.txt");
    std::string shownTitle, filterName, startFolder;
    bool zipShown = false, upperZipShown = false, textShown = true;
    GtkFileChooserAction action = GTK_FILE_CHOOSER_ACTION_SAVE;
    DialogAnswer answer;
    answer.response = GTK_RESPONSE_ACCEPT;
    // The chooser selects the start file once it has read the folder.
    answer.ready = [](GtkDialog* dialog) {
        gchar* selected = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        g_free(selected);
        return selected != nullptr;
    };
    answer.inspect = [&](GtkDialog* dialog) {
        auto* chooser = GTK_FILE_CHOOSER(dialog);
        shownTitle = gtk_window_get_title(GTK_WINDOW(dialog));
        action = gtk_file_chooser_get_action(chooser);
        GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
        filterName = filter ? gtk_file_filter_get_name(filter) : "";
        auto shows = [&](const char* name) {
            GtkFileFilterInfo info{};
            info.contains = GTK_FILE_FILTER_DISPLAY_NAME;
            info.display_name = name;
            return filter && gtk_file_filter_filter(filter, &info);
        };
        zipShown = shows("rom.zip");
        upperZipShown = shows("OTHER.ZIP");
        textShown = shows("notes.txt");
        gchar* current = gtk_file_chooser_get_current_folder(chooser);
        startFolder = current ? current : "";
        g_free(current);
    };
    answerNextDialog(answer);
    const std::string chosen = gui->openFileDialog("Select Rom", "CWM ZIP (*.zip)", "*.zip", rom);
    ASSERT_TRUE(answer.seen);
    EXPECT_EQ(shownTitle, "Select Rom");
    EXPECT_EQ(action, GTK_FILE_CHOOSER_ACTION_OPEN);
    EXPECT_EQ(filterName, "CWM ZIP (*.zip)");
    EXPECT_TRUE(zipShown);
    EXPECT_TRUE(upperZipShown);
    EXPECT_FALSE(textShown);
    EXPECT_EQ(startFolder, folder.path());
    EXPECT_EQ(chosen, rom);

    DialogAnswer cancel;
    cancel.response = GTK_RESPONSE_CANCEL;
    cancel.inspect = [](GtkDialog*) {};
    answerNextDialog(cancel);
    EXPECT_EQ(gui->openFileDialog("Open Profile File", "INI file", "*.ini", ""), "");
    EXPECT_TRUE(cancel.seen);
}

TEST_F(GtkWindowTest, SaveDialogGivesTheTypedName) {
    show();
    TempFolder folder;
    std::string shownTitle, filterName;
    GtkFileChooserAction action = GTK_FILE_CHOOSER_ACTION_OPEN;
    DialogAnswer answer;
    answer.response = GTK_RESPONSE_ACCEPT;
    answer.inspect = [&](GtkDialog* dialog) {
        auto* chooser = GTK_FILE_CHOOSER(dialog);
        shownTitle = gtk_window_get_title(GTK_WINDOW(dialog));
        action = gtk_file_chooser_get_action(chooser);
        GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
        filterName = filter ? gtk_file_filter_get_name(filter) : "";
    };
    // Notes the start folder once the chooser has taken it (it looks the folder up in the
    // background), then types the whole path as a user may. Choosing another folder in the
    // chooser instead races with its loading of the places list, which can take the folder
    // back to a place once that list has loaded.
    std::string startFolder;
    answer.ready = [&](GtkDialog* dialog) {
        auto* chooser = GTK_FILE_CHOOSER(dialog);
        startFolder = takeString(gtk_file_chooser_get_current_folder(chooser));
        if (startFolder.empty()) return false;
        gtk_file_chooser_set_current_name(chooser, (folder / "mylist").c_str());
        return true;
    };
    answerNextDialog(answer);
    const std::string chosen = gui->saveFileDialog("Save Profile File", "INI file", "*.ini");
    ASSERT_TRUE(answer.seen) << "the chooser never had a start folder";
    EXPECT_EQ(shownTitle, "Save Profile File");
    EXPECT_EQ(action, GTK_FILE_CHOOSER_ACTION_SAVE);
    EXPECT_EQ(filterName, "INI file");
    EXPECT_EQ(chosen, folder / "mylist");
    EXPECT_FALSE(g_file_test(chosen.c_str(), G_FILE_TEST_EXISTS));
    // With nothing to start from it opens in the home folder, not on recently used files,
    // which have no folder to save in.
    EXPECT_EQ(startFolder, g_get_home_dir());
}

// The chooser's own question: a "Cancel" to it keeps the chooser open, a "Replace" gives the name.
TEST_F(GtkWindowTest, SaveDialogAsksBeforeGivingAFileThatIsThere) {
    show();
    TempFolder folder;
    const std::string taken = touch(folder, "taken.ini");
    for (const int confirm : {GTK_RESPONSE_CANCEL, GTK_RESPONSE_ACCEPT}) {
        DialogAnswer chooser;
        chooser.response = GTK_RESPONSE_ACCEPT;
        chooser.ready = [&](GtkDialog* dialog) {
            auto* files = GTK_FILE_CHOOSER(dialog);
            if (takeString(gtk_file_chooser_get_current_folder(files)).empty()) return false;
            gtk_file_chooser_set_current_name(files, taken.c_str());
            return true;
        };
        chooser.inspect = [](GtkDialog*) {};
        DialogAnswer question;
        question.messageOnly = true;
        question.response = confirm;
        std::string asked;
        question.inspect = [&](GtkDialog* dialog) {
            gchar* text = nullptr;
            g_object_get(dialog, "text", &text, nullptr);
            asked = text ? text : "";
            g_free(text);
        };
        // Closes the chooser that a "Cancel" to the question left open.
        DialogAnswer close;
        close.response = GTK_RESPONSE_CANCEL;
        close.ready = [&](GtkDialog* dialog) {
            return question.seen && !GTK_IS_MESSAGE_DIALOG(dialog);
        };
        close.inspect = [](GtkDialog*) {};
        answerNextDialog(chooser);
        answerNextDialog(question);
        if (confirm == GTK_RESPONSE_CANCEL) answerNextDialog(close);

        const std::string chosen = gui->saveFileDialog("Save Profile File", "INI file", "*.ini");
        ASSERT_TRUE(question.seen) << "no question before replacing " << taken;
        EXPECT_NE(asked.find("taken.ini"), std::string::npos) << asked;
        EXPECT_EQ(chosen, confirm == GTK_RESPONSE_ACCEPT ? taken : "");
        EXPECT_EQ(close.seen, confirm == GTK_RESPONSE_CANCEL);
    }
}

}  // namespace
