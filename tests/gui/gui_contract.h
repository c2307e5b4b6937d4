// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/catalogue.h"
#include "gui/gui.h"
#include "shell/window_layout.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The Gui contract, written once and run against GtkGui under Xvfb, Win32Gui under Wine and the
// in-memory FakeGui that the shell's tests use. A test binary includes this header once and
// runs the suite on its back-end:
//     INSTANTIATE_TEST_SUITE_P(GtkGui, GuiContract, testing::Values(&makeGtkWindow),
//                              contractTestName);

// A back-end's window, not built yet, and what it shows of what the interface only writes:
// texts as shown are UTF-8, "" for none.
class ContractWindow {
public:
    virtual ~ContractWindow() = default;
    virtual Gui& gui() = 0;
    virtual std::string shownStatus() = 0;
    virtual std::string shownTooltip() = 0;
    virtual std::string shownCell(int row, int column) = 0;
    virtual bool menuItemEnabled(MenuItem item) = 0;
};
using ContractWindowFactory = std::unique_ptr<ContractWindow> (*)();

// One back-end a binary: the test names need nothing that tells factories apart.
inline std::string contractTestName(const testing::TestParamInfo<ContractWindowFactory>&) {
    return "window";
}

class GuiContract : public testing::TestWithParam<ContractWindowFactory> {
protected:
    void SetUp() override {
        window = GetParam()();
        ASSERT_NE(window, nullptr);
        gui().buildWindow(windowLayout(), {});
        gui().buildEntryMenu();
    }
    Gui& gui() { return window->gui(); }
    void addRows(int count) {
        for (int row = 0; row < count; ++row)
            gui().insertRow(row, "Row " + std::to_string(row) + "\nApp");
    }

    std::unique_ptr<ContractWindow> window;
    // Names from definition files are Latin-1; paths and other texts may be UTF-8 already.
    const std::string latin1 =
        "Gr\xfc\xdf"
        "e Caf\xe9";
    const std::string utf8 =
        "Gr\xc3\xbc\xc3\x9f"
        "e Caf\xc3\xa9";
};

TEST_P(GuiContract, ControlsStartAsTheTableSays) {
    for (const ControlSpec& layout : windowLayout()) {
        if (layout.kind != ControlKind::checkBox) continue;
        EXPECT_EQ(gui().isChecked(static_cast<ControlId>(layout.id)), layout.checked)
            << layout.name;
    }
    EXPECT_FALSE(gui().isChecked(ControlId::customizeButton)) << "not a check box";
    EXPECT_EQ(gui().romPathText(), "");
    EXPECT_EQ(gui().rowCount(), 0);
    EXPECT_EQ(gui().selectedRow(), -1);
    for (int item = 0; item < 5; ++item)
        EXPECT_TRUE(window->menuItemEnabled(static_cast<MenuItem>(item))) << item;
}

// Start-up fills the list as soon as it exists, before the controls after it are made.
TEST_P(GuiContract, TheListTakesRowsAsSoonAsItExists) {
    const std::unique_ptr<ContractWindow> early = GetParam()();
    Gui& gui = early->gui();
    int calls = 0;
    gui.buildWindow(windowLayout(), [&] {
        ++calls;
        EXPECT_FALSE(gui.isChecked(ControlId::enableAddingCheck)) << "made after the list";
        gui.insertRow(0, "Early\nApp");
        gui.insertRow(1, "Later\nWidget");
        gui.setRowState(0, RowState::ticked);
        gui.setRowState(1, RowState::selected);
        gui.insertRow(0, "First\nApp");
        EXPECT_EQ(gui.selectedRow(), 2);
        gui.setStatusText("Loaded 3 apps to remove");
    });
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(gui.rowCount(), 3);
    EXPECT_EQ(gui.cellText(2, 1), "Widget");
    EXPECT_EQ(gui.rowState(1), RowState::ticked);
    EXPECT_EQ(gui.rowState(2), RowState::selected);
    EXPECT_EQ(early->shownStatus(), "Loaded 3 apps to remove");
    EXPECT_TRUE(gui.isChecked(ControlId::enableAddingCheck));
}

TEST_P(GuiContract, RowsGoWhereTheyAreInsertedAndClearingEmptiesTheList) {
    gui().insertRow(0, "Browser\nApp");
    gui().insertRow(1, "Music\nApp/Widget");
    gui().insertRow(1, "Email\nWidget");
    gui().insertRow(5, "Beyond\nApp");
    gui().insertRow(-1, "Before\nApp");
    gui().insertRow(3, "No mode");
    ASSERT_EQ(gui().rowCount(), 4);
    const char* cells[4][2] = {
        {"Browser", "App"}, {"Email", "Widget"}, {"Music", "App/Widget"}, {"No mode", ""}};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(gui().cellText(row, 0), cells[row][0]);
        EXPECT_EQ(gui().cellText(row, 1), cells[row][1]);
    }
    gui().setRowState(2, RowState::selected | RowState::ticked);
    gui().clearRows();
    EXPECT_EQ(gui().rowCount(), 0);
    EXPECT_EQ(gui().selectedRow(), -1);
    gui().insertRow(0, "Again\nApp");
    EXPECT_EQ(gui().rowState(0), RowState::none) << "a new row starts unticked and unselected";
}

TEST_P(GuiContract, RowStatesAreBitsSetAsAWholeAndMoveWithTheirRows) {
    CatalogueEntry browser;
    addRows(4);
    gui().setRowEntry(3, &browser);
    gui().setRowState(1, RowState::selected | RowState::ticked);
    EXPECT_EQ(gui().rowState(1), RowState::selected | RowState::ticked);
    EXPECT_EQ(gui().selectedRow(), 1);

    // Selecting another row takes the selection from the first; its tick stays.
    gui().setRowState(2, RowState::selected);
    EXPECT_EQ(gui().selectedRow(), 2);
    EXPECT_EQ(gui().rowState(1), RowState::ticked);

    // Ticking through the state clears the row's selection, and leaves another row's alone.
    gui().setRowState(2, RowState::ticked);
    EXPECT_EQ(gui().rowState(2), RowState::ticked);
    EXPECT_EQ(gui().selectedRow(), -1);
    gui().setRowState(3, RowState::selected);
    gui().setRowState(0, RowState::ticked);
    EXPECT_EQ(gui().selectedRow(), 3);

    // A row inserted above moves states and entries down with their rows.
    gui().insertRow(0, "Top\nApp");
    EXPECT_EQ(gui().selectedRow(), 4);
    EXPECT_EQ(gui().rowEntry(4), &browser);
    EXPECT_EQ(gui().rowEntry(0), nullptr);
    EXPECT_EQ(gui().rowState(0), RowState::none);
    EXPECT_EQ(gui().rowState(1), RowState::ticked);
    EXPECT_EQ(gui().rowState(3), RowState::ticked);
    gui().setRowState(4, RowState::none);
    EXPECT_EQ(gui().selectedRow(), -1);
}

TEST_P(GuiContract, CellTextsReadBackAsSetAndShowAsUtf8) {
    gui().insertRow(0, latin1 + "\nApp");
    gui().insertRow(1, utf8 + "\n" + latin1);
    EXPECT_EQ(gui().cellText(0, 0), latin1);
    EXPECT_EQ(gui().cellText(1, 0), utf8);
    EXPECT_EQ(gui().cellText(1, 1), latin1);
    EXPECT_EQ(window->shownCell(0, 0), utf8);
    EXPECT_EQ(window->shownCell(1, 0), utf8);
    EXPECT_EQ(window->shownCell(1, 1), utf8);

    gui().setCellText(0, 1, latin1);
    gui().setCellText(0, 0, "Widget");
    EXPECT_EQ(gui().cellText(0, 1), latin1);
    EXPECT_EQ(window->shownCell(0, 1), utf8);
    EXPECT_EQ(window->shownCell(0, 0), "Widget");
}

TEST_P(GuiContract, OperationsOnRowsThatDoNotExistDoNothing) {
    CatalogueEntry entry;
    addRows(2);
    gui().setRowState(0, RowState::selected);
    for (int row : {-1, 2, 9}) {
        SCOPED_TRACE(row);
        gui().setRowState(row, RowState::selected | RowState::ticked);
        gui().setCellText(row, 0, "ignored");
        gui().setRowEntry(row, &entry);
        EXPECT_EQ(gui().rowState(row), RowState::none);
        EXPECT_EQ(gui().cellText(row, 0), "");
        EXPECT_EQ(gui().rowEntry(row), nullptr);
    }
    gui().setCellText(0, 2, "ignored");
    EXPECT_EQ(gui().cellText(0, 2), "") << "a column that doesn't exist";
    EXPECT_EQ(gui().cellText(0, 0), "Row 0");
    EXPECT_EQ(gui().cellText(0, 1), "App");
    EXPECT_EQ(gui().rowCount(), 2);
    EXPECT_EQ(gui().selectedRow(), 0);
}

TEST_P(GuiContract, MenuItemsFollowTheirSwitch) {
    gui().setMenuItemEnabled(MenuItem::appWidgetMode, false);
    gui().setMenuItemEnabled(MenuItem::widgetMode, false);
    EXPECT_FALSE(window->menuItemEnabled(MenuItem::appWidgetMode));
    EXPECT_FALSE(window->menuItemEnabled(MenuItem::widgetMode));
    EXPECT_TRUE(window->menuItemEnabled(MenuItem::showDescription));
    gui().setMenuItemEnabled(MenuItem::widgetMode, true);
    EXPECT_TRUE(window->menuItemEnabled(MenuItem::widgetMode));
    EXPECT_FALSE(window->menuItemEnabled(MenuItem::appWidgetMode));
}

TEST_P(GuiContract, StatusTooltipAndRomPathShowTheirTexts) {
    gui().setStatusText(latin1);
    EXPECT_EQ(window->shownStatus(), utf8);
    gui().setListTooltip(latin1);
    EXPECT_EQ(window->shownTooltip(), utf8);
    gui().setListTooltip("");
    EXPECT_EQ(window->shownTooltip(), "");
    // A path reads back as it was set, whatever its bytes.
    for (const std::string& path : {"/roms/" + latin1 + ".zip", "C:\\roms\\" + utf8 + ".zip"}) {
        gui().setRomPathText(path);
        EXPECT_EQ(gui().romPathText(), path);
    }
}
