// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/dispatch.h"

#include "catalogue/removal_list.h"
#include "fake_opener.h"
#include "shell/app_list.h"
#include "shell/app_state.h"
#include "support/block_images.h"
#include "support/fake_gui.h"
#include "support/temp_folder.h"
#include "support/zip_tools.h"
#include "test_catalogue.h"
#include "tools/desktop.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

Event control(ControlId id, ListEventType type = ListEventType::leftClick) {
    return {Event::Kind::control, static_cast<int>(id), type};
}
Event listEvent(ListEventType type) { return control(ControlId::appList, type); }
Event menu(MenuItem item) { return {Event::Kind::menu, static_cast<int>(item)}; }

// Rows after filling: 0 Browser (app, ticked), 1 Clock (widget), 2 Notes (app, no description).
class Dispatch : public ::testing::Test {
protected:
    Dispatch() {
        state.paths = programPaths(program.path() + "/");
        addEntry(state.catalogue, "Clock", true, false, "Shows the time");
        addEntry(state.catalogue, "Browser", false, true, "The web browser");
        addEntry(state.catalogue, "Notes");
        fillAppList(gui, state.catalogue);
        gui.statusTexts.clear();
    }
    void select(int row) { gui.setRowState(row, gui.rowState(row) | RowState::selected); }
    void send(const Event& event) { dispatch(gui, state, event); }

    TempFolder program;
    FakeGui gui;
    AppState state;
};

TEST_F(Dispatch, LeftClickShowsTheSelectedEntrysDescriptionAsTooltip) {
    send(listEvent(ListEventType::leftClick));
    EXPECT_EQ(gui.tooltip, "");

    select(1);
    send(listEvent(ListEventType::leftClick));
    EXPECT_EQ(gui.tooltip, "Shows the time");

    // The tooltip stays until the next click on a row with an entry.
    gui.setRowState(1, RowState::none);
    send(listEvent(ListEventType::leftClick));
    EXPECT_EQ(gui.tooltip, "Shows the time");
}

TEST_F(Dispatch, RightClickGreysTheModeItemsForAppsAndShowsTheMenu) {
    send(listEvent(ListEventType::rightClick));
    EXPECT_EQ(gui.menuShown, 0);

    select(0);
    send(listEvent(ListEventType::rightClick));
    EXPECT_EQ(gui.menuShown, 1);
    EXPECT_FALSE(gui.menuEnabled.at(MenuItem::appWidgetMode));
    EXPECT_FALSE(gui.menuEnabled.at(MenuItem::widgetMode));

    select(1);
    send(listEvent(ListEventType::rightClick));
    EXPECT_EQ(gui.menuShown, 2);
    EXPECT_TRUE(gui.menuEnabled.at(MenuItem::appWidgetMode));
    EXPECT_TRUE(gui.menuEnabled.at(MenuItem::widgetMode));
}

TEST_F(Dispatch, DoubleClickTogglesTheModeOfWidgetRowsOnly) {
    select(1);
    send(listEvent(ListEventType::leftDoubleClick));
    EXPECT_EQ(gui.cellText(1, 1), "Widget");
    send(listEvent(ListEventType::leftDoubleClick));
    EXPECT_EQ(gui.cellText(1, 1), "App/Widget");
    // A right double click is not a toggle.
    send(listEvent(ListEventType::rightDoubleClick));
    EXPECT_EQ(gui.cellText(1, 1), "App/Widget");

    select(0);
    send(listEvent(ListEventType::leftDoubleClick));
    EXPECT_EQ(gui.cellText(0, 1), "App");
}

TEST_F(Dispatch, DoubleClickReplacesAnyTextButWidgetWithWidget) {
    select(1);
    gui.setCellText(1, 1, "widget");
    send(listEvent(ListEventType::leftDoubleClick));
    EXPECT_EQ(gui.cellText(1, 1), "Widget");
}

TEST_F(Dispatch, RowWithoutEntryIgnoresListEventsAndMenuItems) {
    gui.insertRow(3, "Loose\nApp/Widget");
    select(3);
    gui.tooltip = "before";

    send(listEvent(ListEventType::leftClick));
    send(listEvent(ListEventType::rightClick));
    send(listEvent(ListEventType::leftDoubleClick));
    send(menu(MenuItem::showDescription));

    EXPECT_EQ(gui.tooltip, "before");
    EXPECT_EQ(gui.menuShown, 0);
    EXPECT_EQ(gui.cellText(3, 1), "App/Widget");
    EXPECT_TRUE(gui.messages.empty());
}

TEST_F(Dispatch, ShowDescriptionUsesTheNameAsTitle) {
    send(menu(MenuItem::showDescription));
    EXPECT_TRUE(gui.messages.empty());

    select(0);
    send(menu(MenuItem::showDescription));
    select(2);
    send(menu(MenuItem::showDescription));

    const std::vector<FakeGui::Message> expected{{"Browser", "The web browser"}, {"Notes", ""}};
    EXPECT_EQ(gui.messages, expected);
}

TEST_F(Dispatch, ModeMenuItemsSetTheSelectedRowsMode) {
    gui.setRowState(1, RowState::selected);  // unticked rows may change mode too
    send(menu(MenuItem::widgetMode));
    EXPECT_EQ(gui.cellText(1, 1), "Widget");
    send(menu(MenuItem::widgetMode));
    EXPECT_EQ(gui.cellText(1, 1), "Widget");
    send(menu(MenuItem::appWidgetMode));
    EXPECT_EQ(gui.cellText(1, 1), "App/Widget");
    EXPECT_EQ(gui.cellText(0, 1), "App");
    EXPECT_EQ(gui.cellText(2, 1), "App");
}

TEST_F(Dispatch, SelectAndUnselectAllLeaveNoRowSelected) {
    select(2);
    send(control(ControlId::selectAllButton));
    for (int row = 0; row < 3; ++row) EXPECT_EQ(gui.rowState(row), RowState::ticked);

    select(0);
    send(control(ControlId::unselectAllButton));
    for (int row = 0; row < 3; ++row) EXPECT_EQ(gui.rowState(row), RowState::none);
}

// A loaded list shows its tier and description beside matching rows, asks before an Unsafe app
// is ticked, names the apps that need a ticked one, and keeps Select All off Unsafe apps.
TEST_F(Dispatch, AppKnowledgeInformsTicksButNeverTicks) {
    state.catalogue.entries[0]->package = "com.example.browser";
    state.catalogue.entries[1]->package = "com.example.clock";
    const std::string list = program.path() + "/list.json";
    writeFile(list, R"({"com.example.browser": {"removal": "Recommended", "description": "Web",
                        "neededBy": ["com.example.sync"]},
                        "com.example.clock": {"removal": "Unsafe", "description": "Time"},
                        "com.example.sync": {"dependencies": ["com.example.clock"]}})");
    writeFile(program.path() + "/bad.json", "{\"com.example.clock\": {\"removal\": \"Never\"}}");
    const auto tick = [&](int row, bool ticked) {
        gui.setRowState(row, ticked ? RowState::ticked : RowState::none);
        send({Event::Kind::control, static_cast<int>(ControlId::appList),
              ListEventType::tickChanged, row});
    };

    // Before a list is loaded a tick asks nothing.
    tick(1, true);
    EXPECT_TRUE(gui.questions.empty());
    tick(1, false);

    gui.dialogAnswers = {list, program.path() + "/bad.json", ""};
    send(menu(MenuItem::loadKnowledge));
    EXPECT_EQ(gui.dialogs.back().title, "Load App Knowledge");
    EXPECT_EQ(gui.dialogs.back().pattern, "*.json");
    EXPECT_EQ(gui.statusTexts.back(), "Knowledge of 3 apps, 2 listed here");
    // A bad list is named where it breaks, and the one loaded before stays; a cancel changes
    // nothing.
    send(menu(MenuItem::loadKnowledge));
    ASSERT_EQ(gui.messages.size(), 1u);
    EXPECT_EQ(gui.messages[0].title, "Error");
    EXPECT_EQ(gui.messages[0].text,
              program.path() +
                  "/bad.json:1:35: expected \"removal\" to be Recommended, Advanced, Expert or "
                  "Unsafe");
    EXPECT_EQ(gui.dialogs.back().startPath, list);
    send(menu(MenuItem::loadKnowledge));
    EXPECT_EQ(state.knowledge.notes.size(), 3u);

    select(0);
    send(listEvent(ListEventType::leftClick));
    EXPECT_EQ(gui.tooltip, "The web browser\rRemoval: Recommended\rWeb");
    select(2);
    send(menu(MenuItem::showDescription));
    EXPECT_EQ(gui.messages.back(), (FakeGui::Message{"Notes", ""}));

    // Browser is needed by another app: ticking it names that app.
    gui.messages.clear();
    tick(0, true);
    ASSERT_EQ(gui.messages.size(), 1u);
    EXPECT_EQ(gui.messages[0].title, "Warning");
    EXPECT_EQ(gui.messages[0].text,
              "Browser (com.example.browser) is needed by other apps.\rIt is needed by "
              "com.example.sync.\rThey may stop working without it.");
    tick(0, false);
    EXPECT_EQ(gui.messages.size(), 1u);

    // Clock is Unsafe: a "No" leaves it unticked, a "Yes" ticks it.
    tick(1, true);
    ASSERT_EQ(gui.questions.size(), 1u);
    EXPECT_EQ(gui.questions[0].title, "Unsafe");
    EXPECT_EQ(gui.questions[0].text,
              "Clock (com.example.clock) is marked Unsafe to remove.\rTime\rIt is needed by "
              "com.example.sync.\rRemoving it can keep the phone from starting. Remove it "
              "anyway?");
    EXPECT_EQ(gui.rowState(1), RowState::none);
    gui.questionAnswers = {true};
    tick(1, true);
    EXPECT_EQ(gui.questions.size(), 2u);
    EXPECT_EQ(gui.rowState(1), RowState::ticked);
    tick(1, false);
    EXPECT_EQ(gui.questions.size(), 2u);
    EXPECT_EQ(gui.messages.size(), 1u);

    // Select All leaves the Unsafe app as the user left it, and says so.
    send(control(ControlId::selectAllButton));
    EXPECT_EQ(gui.rowState(0), RowState::ticked);
    EXPECT_EQ(gui.rowState(1), RowState::none);
    EXPECT_EQ(gui.rowState(2), RowState::ticked);
    EXPECT_EQ(gui.statusTexts.back(), "Left 1 Unsafe app unticked");
    EXPECT_EQ(gui.questions.size(), 2u);
}

TEST_F(Dispatch, ChoosingTheRomSetsFieldAndPathAndCancelKeepsThem) {
    gui.dialogAnswers = {"/roms/first.zip", "", "/roms/second.zip"};

    send(control(ControlId::browseButton));
    EXPECT_EQ(gui.romPath, "/roms/first.zip");
    EXPECT_EQ(state.romPath, "/roms/first.zip");

    send(control(ControlId::browseButton));
    EXPECT_EQ(gui.romPath, "/roms/first.zip");
    EXPECT_EQ(state.romPath, "/roms/first.zip");

    send(control(ControlId::browseButton));
    EXPECT_EQ(state.romPath, "/roms/second.zip");

    ASSERT_EQ(gui.dialogs.size(), 3u);
    for (const auto& dialog : gui.dialogs) {
        EXPECT_EQ(dialog.kind, "open");
        EXPECT_EQ(dialog.title, "Select Rom");
        EXPECT_EQ(dialog.filterName, "CWM ZIP (*.zip)");
        EXPECT_EQ(dialog.pattern, "*.zip");
    }
    EXPECT_EQ(gui.dialogs[0].startPath, "");
    EXPECT_EQ(gui.dialogs[1].startPath, "/roms/first.zip");
    EXPECT_EQ(gui.dialogs[2].startPath, "/roms/first.zip");
}

TEST_F(Dispatch, ChoosingARomShowsItsAppsAndMarksWhatItLacksEachTimeARomIsChosen) {
    const std::string fixtures = SLIMKIT_APK_FIXTURES;
    CatalogueEntry& browser = *state.catalogue.entryByName.at("browser");
    browser.files = {"system/app/Test0.apk"};
    state.catalogue.entryByName.at("clock")->files = {"system/priv-app/Test2/"};
    state.catalogue.entryByName.at("notes")->files = {"system/app/Notes.apk"};
    const auto rowNamed = [&](const std::string& name) {
        for (int row = 0; row < gui.rowCount(); ++row)
            if (gui.cellText(row, 0) == name) return row;
        return -1;
    };

    gui.dialogAnswers = {fixtures + "/rom.zip"};
    send(control(ControlId::browseButton));
    // Three definitions and the nine apps of the ROM that neither Browser nor Clock names.
    ASSERT_EQ(gui.rowCount(), 12);
    const int app1 = rowNamed("App 1");
    ASSERT_GE(app1, 0);
    const CatalogueEntry* found = gui.rowEntry(app1);
    ASSERT_TRUE(found && found->found);
    EXPECT_EQ(gui.rowState(app1), RowState::none);
    EXPECT_EQ(gui.cellText(app1, 1), "App");
    EXPECT_EQ(found->description, "org.slimkit.test1.app \xC2\xB7 1.1-res \xC2\xB7 5.0 KiB");
    EXPECT_GE(rowNamed("Text"), 0) << "an APK that isn't a zip keeps its own row";
    EXPECT_EQ(rowNamed("En App 2"), -1) << "Clock's folder holds it";
    EXPECT_EQ(gui.rowState(rowNamed("Browser")), RowState::ticked);
    const int notes = rowNamed("Notes (not in this ROM)");
    ASSERT_GE(notes, 0);
    select(notes);
    send(listEvent(ListEventType::leftClick));
    EXPECT_EQ(gui.tooltip, "Not in this ROM: it holds none of this app's files.");
    send(menu(MenuItem::showDescription));
    EXPECT_EQ(gui.messages.back(),
              (FakeGui::Message{"Notes", "Not in this ROM: it holds none of this app's files."}));
    select(app1);
    send(listEvent(ListEventType::leftClick));
    EXPECT_EQ(gui.tooltip, found->description);
    send(listEvent(ListEventType::rightClick));
    EXPECT_FALSE(gui.menuEnabled[MenuItem::openDefinitionFile]);
    EXPECT_GE(gui.pumps, 12) << "the window paints while the ROM is read";
    EXPECT_NE(std::find(gui.statusTexts.begin(), gui.statusTexts.end(),
                        "Reading the apps of the ROM ... 11 of 11"),
              gui.statusTexts.end());
    EXPECT_EQ(gui.statusTexts.back(), "Loaded 12 apps to remove (9 from the ROM)");

    // A removal list names the found app by its package, and loads it back that way.
    gui.setRowState(app1, RowState::ticked);
    const std::string list = program / "list.ini";
    gui.dialogAnswers = {list};
    send(control(ControlId::saveListButton));
    std::vector<RemovalListLine> lines;
    ASSERT_TRUE(readRemovalList(list, lines));
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const RemovalListLine& line) {
                               return line.name == "org.slimkit.test1.app" && line.state == 2;
                           }),
              lines.end());
    setAllTicks(gui, false);
    gui.dialogAnswers = {list};
    send(control(ControlId::loadListButton));
    EXPECT_EQ(gui.rowState(app1), RowState::ticked);

    // Another ROM: its own rows, the ticks kept, the app's by its package wherever it lies.
    writeFile(program / "second/system/app/One.apk", readFile(fixtures + "/apk/01.apk"));
    writeFile(program / "second/system/app/Notes.apk", "notes");
    ASSERT_TRUE(makeZip(program / "second", program / "second.zip"));
    gui.dialogAnswers = {program / "second.zip"};
    send(control(ControlId::browseButton));
    ASSERT_EQ(gui.rowCount(), 4);
    EXPECT_EQ(gui.rowState(rowNamed("App 1")), RowState::ticked);
    EXPECT_EQ(gui.rowEntry(rowNamed("App 1"))->files,
              std::vector<std::string>{"system/app/One.apk"});
    EXPECT_EQ(gui.rowState(rowNamed("Browser (not in this ROM)")), RowState::ticked);
    EXPECT_GE(rowNamed("Notes"), 0);

    // A block-based ROM: its apps are read from inside its system image; one whose image can't
    // be read says why and leaves the definitions alone.
    writeFile(program / "system/app/One/One.apk", readFile(fixtures + "/apk/01.apk"));
    ASSERT_EQ(blocktest::makeExt4(program / "system", program / "system.img", 8), "");
    const std::string image = readFile(program / "system.img");
    ASSERT_TRUE(writeZip(program / "block.zip", blocktest::fullImageEntries(image, "system", {})));
    gui.dialogAnswers = {program / "block.zip"};
    send(control(ControlId::browseButton));
    ASSERT_GE(rowNamed("App 1"), 0);
    EXPECT_EQ(gui.rowEntry(rowNamed("App 1"))->files,
              (std::vector<std::string>{"system/app/One/One.apk", "system/app/One"}));
    EXPECT_GE(rowNamed("Browser (not in this ROM)"), 0);
    std::string erofs = image;
    erofs.replace(1024, 4, "\xE2\xE1\xF5\xE0");
    ASSERT_TRUE(writeZip(program / "erofs.zip", blocktest::fullImageEntries(erofs, "system", {})));
    gui.dialogAnswers = {program / "erofs.zip"};
    send(control(ControlId::browseButton));
    EXPECT_EQ(gui.rowCount(), 3);
    EXPECT_EQ(
        gui.statusTexts.back(),
        "Can't slim this ROM zip: the system image is EROFS, which this program can't change yet");

    // A ROM that isn't a zip, and a close asked while the ROM is read: the definitions alone.
    writeFile(program / "notes.zip", "notes, not a zip");
    gui.dialogAnswers = {program / "notes.zip"};
    send(control(ControlId::browseButton));
    EXPECT_EQ(gui.rowCount(), 3);
    EXPECT_GE(rowNamed("Notes"), 0);
    EXPECT_EQ(gui.statusTexts.back(), "Can't read " + program / "notes.zip" + " as a zip archive");
    EXPECT_EQ(gui.closesPosted, 0);
    gui.closeAsked = [&](int) { return gui.statusTexts.back().ends_with(" 3 of 11"); };
    gui.statusTexts.clear();
    gui.dialogAnswers = {fixtures + "/rom.zip"};
    send(control(ControlId::browseButton));
    EXPECT_EQ(gui.closesPosted, 1) << "the close goes on to the window";
    EXPECT_EQ(gui.rowCount(), 3);
    EXPECT_EQ(gui.statusTexts,
              (std::vector<std::string>{
                  "Reading the apps of the ROM ...", "Reading the apps of the ROM ... 1 of 11",
                  "Reading the apps of the ROM ... 2 of 11",
                  "Reading the apps of the ROM ... 3 of 11", "Loaded 3 apps to remove"}));
}

// After a run that slimmed the ROM the rows are those of the slimmed ROM, ticks kept; a run that
// changed nothing leaves them.
TEST_F(Dispatch, ARunThatChangedTheRomRefitsTheRows) {
    const std::string fixtures = SLIMKIT_APK_FIXTURES;
    const std::string rom = program / "rom.zip";
    writeFile(rom, readFile(fixtures + "/rom.zip"));
    std::filesystem::create_directories(state.paths.extractionFolder);
    const auto rowNamed = [&](const std::string& name) {
        for (int row = 0; row < gui.rowCount(); ++row)
            if (gui.cellText(row, 0) == name) return row;
        return -1;
    };
    gui.dialogAnswers = {rom};
    send(control(ControlId::browseButton));
    const int rows = gui.rowCount();
    ASSERT_GT(rows, 3);
    setAllTicks(gui, false);
    gui.setRowState(rowNamed("App 1"), RowState::ticked);
    gui.setRowState(rowNamed("Notes (not in this ROM)"), RowState::ticked);
    gui.checks[ControlId::backupCheck] = false;
    gui.checks[ControlId::enableAddingCheck] = false;

    send(control(ControlId::customizeButton));
    ASSERT_EQ(gui.messages.back().title, "Finish") << gui.messages.front();
    EXPECT_EQ(rowNamed("App 1"), -1);
    EXPECT_EQ(gui.rowCount(), rows - 1);
    EXPECT_EQ(gui.rowState(rowNamed("Notes (not in this ROM)")), RowState::ticked);
    EXPECT_EQ(gui.statusTexts.back(), "Ready");

    // Nothing of what is ticked is in the ROM now: the run writes nothing, the rows stay.
    gui.rows[0].cells[0] = "Marked";
    send(control(ControlId::customizeButton));
    EXPECT_EQ(gui.rows[0].cells[0], "Marked");
    EXPECT_EQ(gui.statusTexts.back(), "Ready");
}

TEST_F(Dispatch, CustomizeRunsOnTheChosenRom) {
    send(control(ControlId::customizeButton));
    const std::string missing = program / "missing.zip";
    gui.dialogAnswers = {missing};
    send(control(ControlId::browseButton));
    send(control(ControlId::customizeButton));

    const std::vector<FakeGui::Message> expected{{"Error", "Please select Rom"},
                                                 {"Error", "Can't access " + missing}};
    EXPECT_EQ(gui.messages, expected);
}

TEST_F(Dispatch, RemovalListButtonsOpenTheirDialogs) {
    send(control(ControlId::saveListButton));
    send(control(ControlId::loadListButton));

    ASSERT_EQ(gui.dialogs.size(), 2u);
    EXPECT_EQ(gui.dialogs[0].kind, "save");
    EXPECT_EQ(gui.dialogs[0].title, "Save Profile File");
    EXPECT_EQ(gui.dialogs[1].kind, "open");
    EXPECT_EQ(gui.dialogs[1].title, "Open Profile File");
}

TEST_F(Dispatch, DesktopTargetsReachTheDesktop) {
    FakeOpener opener;
    send(control(ControlId::donateButton));
    ASSERT_EQ(opener.waitForTargets(1).size(), 1u);
    send(control(ControlId::creditLink));
    ASSERT_EQ(opener.waitForTargets(2).size(), 2u);
    send(control(ControlId::openFolderButton));
    ASSERT_EQ(opener.waitForTargets(3).size(), 3u);
    send(menu(MenuItem::openDefinitionFile));  // no row selected: nothing to open
    select(1);
    send(menu(MenuItem::openDefinitionFile));

    const std::vector<std::string> expected{donationUrl, forumThreadUrl,
                                            program.path() + "/app/add/", "/defs/Clock.ini"};
    EXPECT_EQ(opener.waitForTargets(4), expected);
}

TEST_F(Dispatch, OpenFolderHandsOverAPathWithBlanksWhole) {
    FakeOpener opener;
    state.paths = programPaths(program.path() + "/my programs/");
    send(control(ControlId::openFolderButton));
    EXPECT_EQ(opener.waitForTargets(1),
              std::vector<std::string>{program.path() + "/my programs/app/add/"});
}

TEST_F(Dispatch, ControlsWithoutActionAndTheCloseEventChangeNothing) {
    select(0);
    for (ControlId id : {ControlId::romPathField, ControlId::tabPanel, ControlId::statusText,
                         ControlId::enableAddingCheck, ControlId::backupCheck,
                         ControlId::recoveryZipCheck, ControlId::romFrame})
        send(control(id));
    send({Event::Kind::control, 15});
    send({Event::Kind::menu, 5});
    send({Event::Kind::close, 0});

    EXPECT_EQ(gui.rowState(0), RowState::ticked | RowState::selected);
    EXPECT_EQ(gui.rowState(1), RowState::none);
    EXPECT_TRUE(gui.messages.empty());
    EXPECT_TRUE(gui.dialogs.empty());
    EXPECT_TRUE(gui.statusTexts.empty());
    EXPECT_EQ(gui.menuShown, 0);
}

}  // namespace
