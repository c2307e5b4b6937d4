// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_list.h"

#include "support/fake_gui.h"
#include "test_catalogue.h"

#include <gtest/gtest.h>

namespace {

TEST(FillAppList, SortsByNameIgnoringCaseAndKeepsLoadOrderOfEqualNames) {
    Catalogue catalogue;
    addEntry(catalogue, "b");
    CatalogueEntry& upper = addEntry(catalogue, "A");
    CatalogueEntry& lower = addEntry(catalogue, "a");
    addEntry(catalogue, "_x");  // '_' lies between 'Z' and 'a': first only when case is folded
    FakeGui gui;

    fillAppList(gui, catalogue);

    ASSERT_EQ(gui.rowCount(), 4);
    EXPECT_EQ(gui.cellText(0, 0), "_x");
    EXPECT_EQ(gui.cellText(1, 0), "A");
    EXPECT_EQ(gui.cellText(2, 0), "a");
    EXPECT_EQ(gui.cellText(3, 0), "b");
    EXPECT_EQ(gui.rowEntry(1), &upper);
    EXPECT_EQ(gui.rowEntry(2), &lower);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(gui.rowEntry(row)->rowIndex, row);
        EXPECT_EQ(gui.rowEntry(row)->name, gui.cellText(row, 0));
    }
    EXPECT_EQ(gui.statusTexts, std::vector<std::string>{"Loaded 4 apps to remove"});
}

TEST(FillAppList, ShowsModesAndStartingTicks) {
    Catalogue catalogue;
    addEntry(catalogue, "Browser", false, true);
    addEntry(catalogue, "Clock", true, false);
    addEntry(catalogue, "Music", true, true);
    FakeGui gui;

    fillAppList(gui, catalogue);

    EXPECT_EQ(gui.cellText(0, 1), "App");
    EXPECT_EQ(gui.cellText(1, 1), "App/Widget");
    EXPECT_EQ(gui.cellText(2, 1), "App/Widget");
    EXPECT_EQ(gui.rowState(0), RowState::ticked);
    EXPECT_EQ(gui.rowState(1), RowState::none);
    EXPECT_EQ(gui.rowState(2), RowState::ticked);
    EXPECT_EQ(gui.selectedRow(), -1);
}

TEST(FillAppList, EmptyCatalogueStillReportsTheCount) {
    Catalogue catalogue;
    FakeGui gui;
    gui.insertRow(0, "stale\nApp");

    fillAppList(gui, catalogue);

    EXPECT_EQ(gui.rowCount(), 0);
    EXPECT_EQ(gui.statusTexts, std::vector<std::string>{"Loaded 0 apps to remove"});
}

TEST(SetAllTicks, TicksOrUnticksEveryRowAndLeavesNoneSelected) {
    Catalogue catalogue;
    addEntry(catalogue, "One", false, true);
    addEntry(catalogue, "Two");
    addEntry(catalogue, "Three");
    FakeGui gui;
    fillAppList(gui, catalogue);
    gui.setRowState(1, RowState::selected);

    setAllTicks(gui, true);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(gui.rowState(row), RowState::ticked) << row;

    gui.setRowState(2, RowState::ticked | RowState::selected);
    setAllTicks(gui, false);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(gui.rowState(row), RowState::none) << row;
}

}  // namespace
