// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/window_layout.h"

#include "gui/gui.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(WindowLayout, EveryControlNumberOnceAndPagesAfterTheirTabPanel) {
    const auto controls = windowLayout();
    std::set<int> numbers;
    bool tabPanelMade = false;
    int lastTab = -1;
    for (const ControlSpec& layout : controls) {
        SCOPED_TRACE(layout.name);
        EXPECT_TRUE(numbers.insert(layout.id).second);
        if (layout.kind == ControlKind::tabPanel) tabPanelMade = true;
        if (layout.tab >= 0) {
            EXPECT_TRUE(tabPanelMade);
            EXPECT_GE(layout.tab, lastTab);  // pages are filled in tab order
            lastTab = layout.tab;
        } else {
            EXPECT_EQ(lastTab, -1) << "window controls come before the pages";
        }
    }
    EXPECT_EQ(numbers.size(), 22u);
    EXPECT_EQ(numbers.count(15), 0u);
    EXPECT_EQ(*numbers.begin(), 0);
    EXPECT_EQ(*numbers.rbegin(), 22);
}

TEST(WindowLayout, CheckListComesBeforeTheButtonsBelowIt) {
    const auto controls = windowLayout();
    auto position = [&](ControlId id) {
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i].id == static_cast<int>(id)) return static_cast<int>(i);
        return -1;
    };
    EXPECT_EQ(position(ControlId::romFrame), 0);
    EXPECT_LT(position(ControlId::appList), position(ControlId::unselectAllButton));
    EXPECT_LT(position(ControlId::unselectAllButton), position(ControlId::selectAllButton));
    const ControlSpec& list = controls[position(ControlId::appList)];
    EXPECT_EQ(list.caption, "Apps To Remove|Remove");
    EXPECT_EQ(list.column0Width, 185);
    EXPECT_EQ(list.column1Width, 95);
}

TEST(WindowLayout, WindowTitleSizeAndMenu) {
    const WindowSpec window = mainWindowSpec();
    EXPECT_EQ(window.title, "Slimkit for CWM Roms V# 0.9");
    EXPECT_EQ(window.width, 350);
    EXPECT_EQ(window.height, 365);
    ASSERT_EQ(window.menu.size(), 5u);
    for (int item = 0; item < 5; ++item) EXPECT_EQ(window.menu[item].id, item);
    EXPECT_EQ(window.menu[1].submenu, "");
    EXPECT_EQ(window.menu[2].submenu, "Removal Mod");
    EXPECT_EQ(window.menu[3].submenu, "Removal Mod");
    EXPECT_EQ(window.menu[4].submenu, "");
}

}  // namespace
