// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// One control of the main window, as the window layout table describes it. Back-ends build the
// window from a list of these, in order; a control whose `tab` is not -1 lies on that page of
// the tab panel, and its rectangle is relative to the page.
enum class ControlKind {
    frame,      // labelled group box that only draws its border
    textField,  // single-line, read-only for the user
    button,
    pictureButton,  // Windows build: shows the Donate picture
    label,          // left-aligned
    centredLabel,
    checkBox,
    tabPanel,   // caption: tab names separated by '|'
    checkList,  // caption: the two column titles separated by '|'
    link,       // text that reacts to clicks, hand pointer
};

struct Rgb {
    unsigned char red = 0, green = 0, blue = 0;
};

struct ControlSpec {
    int id = 0;  // a ControlId value
    const char* name = "";
    ControlKind kind = ControlKind::label;
    int x = 0, y = 0, width = 0, height = 0;
    std::string caption;   // '\r' starts a new line in labels
    int tab = -1;          // page of the tab panel, or -1 for the window itself
    bool checked = false;  // starting tick of a check box
    bool titleFont = false;
    bool hasTextColour = false;
    Rgb textColour{};
    bool hasBackground = false;
    Rgb background{};
    int column0Width = 0, column1Width = 0;  // check list only
};

// One item of the check list's popup menu. Items that name a `submenu` lie in the submenu of
// that caption, which takes the place of its first item.
struct MenuItemSpec {
    int id = 0;  // a MenuItem value
    std::string caption;
    std::string submenu;
};

// The main window itself: its title, the size of its client area and its popup menu.
struct WindowSpec {
    std::string title;
    int width = 0, height = 0;
    std::vector<MenuItemSpec> menu;
};
