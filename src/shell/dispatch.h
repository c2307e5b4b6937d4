// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Gui;
struct AppState;
struct Event;

// Answers one event of the main window or its popup menu. The close event is the back-end's
// business (it ends the event loop); here it does nothing, like every event of a control that
// has no action.
void dispatch(Gui& gui, AppState& state, const Event& event);
