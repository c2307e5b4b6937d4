// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/removal_list.h"
#include "shell/removal_list_dialogs.h"

#include "shell/app_list.h"
#include "support/fake_gui.h"
#include "support/faults.h"
#include "support/temp_folder.h"
#include "test_catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Rows after filling: 0 Browser, 1 Gallery, 2 Music.
class RemovalList : public ::testing::Test {
protected:
    RemovalList() {
        addEntry(catalogue, "Music");
        addEntry(catalogue, "Gallery");
        addEntry(catalogue, "Browser");
        fillAppList(gui, catalogue);
    }
    std::vector<int> states() const {
        std::vector<int> result;
        for (int row = 0; row < gui.rowCount(); ++row) result.push_back(gui.rowState(row));
        return result;
    }
    void save(const std::string& answer) {
        gui.dialogAnswers.push_back(answer);
        saveRemovalList(gui);
    }
    void load(const std::string& text) {
        const std::string path = folder / "load.ini";
        writeFile(path, text);
        gui.dialogAnswers.push_back(path);
        loadRemovalList(gui, catalogue);
    }

    TempFolder folder;
    Catalogue catalogue;
    FakeGui gui;
};

TEST(RemovalListPath, AppendsIniOnlyWhenTheNameHasNoExtension) {
    EXPECT_EQ(removalListPath("/lists/mylist"), "/lists/mylist.ini");
    EXPECT_EQ(removalListPath("/lists/mylist."), "/lists/mylist..ini");
    EXPECT_EQ(removalListPath("/lists/mylist.txt"), "/lists/mylist.txt");
    EXPECT_EQ(removalListPath("/lists/mylist.INI"), "/lists/mylist.INI");
    EXPECT_EQ(removalListPath("/my.lists/mylist"), "/my.lists/mylist.ini");
    EXPECT_EQ(removalListPath("/lists/.hidden"), "/lists/.hidden");
}

TEST(StateNumber, ReadsDecimalHexadecimalAndBinaryForms) {
    EXPECT_EQ(parseStateNumber("3"), 3);
    EXPECT_EQ(parseStateNumber("+2"), 2);
    EXPECT_EQ(parseStateNumber("-7"), -7);
    EXPECT_EQ(parseStateNumber("12abc"), 12);
    EXPECT_EQ(parseStateNumber("$1F"), 31);
    EXPECT_EQ(parseStateNumber("$a"), 10);
    EXPECT_EQ(parseStateNumber("%101"), 5);
    EXPECT_EQ(parseStateNumber("%102"), 2);
    EXPECT_EQ(parseStateNumber("yes"), 0);
    EXPECT_EQ(parseStateNumber(""), 0);
    EXPECT_EQ(parseStateNumber("$"), 0);
    EXPECT_EQ(parseStateNumber(" 2"), 0);
    // Far beyond 32 bits: wraps instead of failing; only the low bits count.
    EXPECT_EQ(parseStateNumber("$FFFFFFFFFFFFFFF3") & 3, 3);
}

TEST_F(RemovalList, SavesEveryRowsStateUnderItsLowerCasedName) {
    gui.setRowState(0, RowState::ticked | RowState::selected);
    gui.setRowState(1, RowState::ticked);

    save(folder / "mylist.ini");

    EXPECT_EQ(readFile(folder / "mylist.ini"), "[Remove]\nbrowser = 3\ngallery = 2\nmusic = 0\n");
    ASSERT_EQ(gui.dialogs.size(), 1u);
    EXPECT_EQ(gui.dialogs[0].kind, "save");
    EXPECT_EQ(gui.dialogs[0].title, "Save Profile File");
    EXPECT_EQ(gui.dialogs[0].filterName, "INI file");
    EXPECT_EQ(gui.dialogs[0].pattern, "*.ini");
    EXPECT_TRUE(gui.messages.empty());
}

TEST_F(RemovalList, SaveAddsTheExtensionAndLeavesNoTemporaryFile) {
    save(folder / "mylist");
    save(folder / "other.txt");
    EXPECT_EQ(folderNames(folder.path()), (std::vector<std::string>{"mylist.ini", "other.txt"}));
}

// The dialog itself asks about the name it gives; the name with ".ini" added is asked about
// afterwards, and a "No" opens the dialog again.
TEST_F(RemovalList, SaveReplacesAnEarlierListOnlyWhenTheUserSaysSo) {
    const std::string earlier = "[Remove]\nold = 2\n";
    const std::string all = "[Remove]\nbrowser = 2\ngallery = 2\nmusic = 2\n";
    writeFile(folder / "list.ini", earlier);
    setAllTicks(gui, true);

    gui.dialogAnswers = {folder / "list", folder / "other"};
    gui.questionAnswers = {false};
    saveRemovalList(gui);
    EXPECT_EQ(gui.questions,
              (std::vector<FakeGui::Message>{
                  {"Save Profile File", folder / "list.ini" + " already exists.\rDo you want to "
                                                              "replace it?"}}));
    EXPECT_EQ(gui.dialogs.size(), 2u);
    EXPECT_EQ(readFile(folder / "list.ini"), earlier);
    EXPECT_EQ(readFile(folder / "other.ini"), all);

    gui.questionAnswers = {true};
    save(folder / "list");
    EXPECT_EQ(readFile(folder / "list.ini"), all);

    writeFile(folder / "list.ini", earlier);
    save(folder / "list.ini");
    EXPECT_EQ(readFile(folder / "list.ini"), all);
    EXPECT_EQ(gui.questions.size(), 2u);
    EXPECT_TRUE(gui.messages.empty());
}

TEST_F(RemovalList, CancelledSaveWritesNothing) {
    save("");
    EXPECT_TRUE(folderNames(folder.path()).empty());
    EXPECT_TRUE(gui.messages.empty());
}

TEST_F(RemovalList, SaveOfAnEmptyListGivesAnEmptyFile) {
    gui.clearRows();
    save(folder / "empty.ini");
    ASSERT_TRUE(std::filesystem::exists(folder / "empty.ini"));
    EXPECT_EQ(std::filesystem::file_size(folder / "empty.ini"), 0u);
}

TEST_F(RemovalList, NamesEqualIgnoringCaseShareOneLineWithTheLowerRowsState) {
    Catalogue twins;
    addEntry(twins, "Foo");
    CatalogueEntry& later = addEntry(twins, "FOO");
    FakeGui twinGui;
    fillAppList(twinGui, twins);
    twinGui.setRowState(0, RowState::ticked);
    twinGui.dialogAnswers = {folder / "twins.ini", folder / "twins.ini"};

    saveRemovalList(twinGui);
    EXPECT_EQ(readFile(folder / "twins.ini"), "[Remove]\nfoo = 0\n");

    setAllTicks(twinGui, true);
    loadRemovalList(twinGui, twins);
    EXPECT_EQ(twinGui.rowState(later.rowIndex), RowState::none);
    EXPECT_EQ(twinGui.rowState(1 - later.rowIndex), RowState::ticked);
}

TEST_F(RemovalList, SaveThatCannotCreateTheFileSaysSo) {
    const std::string path = folder / "missing/list.ini";
    save(path);
    EXPECT_EQ(gui.messages, (std::vector<FakeGui::Message>{{"Error", "Can't save " + path}}));
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST_F(RemovalList, SaveOntoAFolderFailsAndLeavesTheFolderAlone) {
    std::filesystem::create_directory(folder / "taken.ini");
    writeFile(folder / "taken.ini/keep", "kept");

    save(folder / "taken.ini");

    EXPECT_EQ(gui.messages,
              (std::vector<FakeGui::Message>{{"Error", "Can't save " + folder / "taken.ini"}}));
    EXPECT_EQ(readFile(folder / "taken.ini/keep"), "kept");
    EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"taken.ini"});
}

TEST_F(RemovalList, FailedWriteSaysSoAndKeepsTheEarlierList) {
    const std::string earlier = "[Remove]\nbrowser = 2\n";
    writeFile(folder / "list.ini", earlier);
    setAllTicks(gui, true);
    {
        FileSizeLimit limit(12);
        save(folder / "list.ini");
    }
    EXPECT_EQ(gui.messages,
              (std::vector<FakeGui::Message>{{"Error", "Can't save " + folder / "list.ini"}}));
    EXPECT_EQ(readFile(folder / "list.ini"), earlier);
    EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"list.ini"});
}

TEST_F(RemovalList, LoadMatchesNamesIgnoringCaseAndSkipsUnknownOnes) {
    load("[Remove]\nGALLERY = 2\nnobody = 3\nMusic = 3\n");

    EXPECT_EQ(states(), (std::vector<int>{RowState::none, RowState::ticked,
                                          RowState::ticked | RowState::selected}));
    ASSERT_EQ(gui.dialogs.size(), 1u);
    EXPECT_EQ(gui.dialogs[0].kind, "open");
    EXPECT_EQ(gui.dialogs[0].title, "Open Profile File");
    EXPECT_EQ(gui.dialogs[0].filterName, "INI file");
    EXPECT_EQ(gui.dialogs[0].pattern, "*.ini");
    EXPECT_TRUE(gui.messages.empty());
}

TEST_F(RemovalList, LoadReadsEveryNumberForm) {
    setAllTicks(gui, true);
    load("[remove]\nbrowser = yes\ngallery = $A\nmusic = %11\n");
    EXPECT_EQ(states(), (std::vector<int>{RowState::none, RowState::ticked,
                                          RowState::ticked | RowState::selected}));

    load("[Remove]\nbrowser = -1\nmusic = 0\n");
    EXPECT_EQ(states(), (std::vector<int>{RowState::ticked | RowState::selected, RowState::ticked,
                                          RowState::none}));
}

TEST_F(RemovalList, SelectionMovesToTheRowTheListSelects) {
    gui.setRowState(0, RowState::ticked | RowState::selected);
    load("[Remove]\ngallery = 1\n");
    EXPECT_EQ(states(), (std::vector<int>{RowState::ticked, RowState::selected, RowState::none}));
}

TEST_F(RemovalList, ListWithoutTheGroupChangesNothingAndOneThatCantBeReadSaysSo) {
    gui.setRowState(2, RowState::ticked);
    const std::vector<int> before = states();

    load("[Other]\nbrowser = 2\n");
    load("browser = 2\n");
    gui.dialogAnswers = {""};
    loadRemovalList(gui, catalogue);
    EXPECT_TRUE(gui.messages.empty());

    std::filesystem::create_directory(folder / "folder.ini");
    gui.dialogAnswers = {folder / "absent.ini", folder / "folder.ini"};
    loadRemovalList(gui, catalogue);
    loadRemovalList(gui, catalogue);

    EXPECT_EQ(states(), before);
    EXPECT_EQ(gui.messages,
              (std::vector<FakeGui::Message>{{"Error", "Can't read " + folder / "absent.ini"},
                                             {"Error", "Can't read " + folder / "folder.ini"}}));
}

TEST_F(RemovalList, SavedListLoadsBackTicksAndSelection) {
    gui.setRowState(0, RowState::ticked);
    gui.setRowState(2, RowState::ticked | RowState::selected);
    const std::vector<int> saved = states();
    save(folder / "round");

    setAllTicks(gui, false);
    gui.setRowState(1, RowState::selected);
    gui.dialogAnswers = {folder / "round.ini"};
    loadRemovalList(gui, catalogue);

    EXPECT_EQ(states(), saved);
}

}  // namespace
