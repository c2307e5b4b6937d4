// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/control_layout.h"

#include <vector>

// The main window described once, as data; every back-end builds the same window from it.

// Every control of the main window in creation order: the window-level controls, then each tab
// panel page ("Remove", "Add", "Settings", "About") with the controls on it.
std::vector<ControlSpec> windowLayout();

// The window itself: title, client size and the check list's popup menu.
WindowSpec mainWindowSpec();
