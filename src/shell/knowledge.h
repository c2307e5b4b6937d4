// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Gui;
struct AppKnowledge;
struct AppState;

// "Load app knowledge...": asks for a list in the JSON format of the community debloat lists and
// keeps it in `state`; a file that can't be read or isn't such a list is named in an Error box
// and the knowledge held before stays.
void loadKnowledgeFromWindow(Gui& gui, AppState& state);

// The user ticked or unticked `row`. Ticking an app the knowledge calls Unsafe asks first, and a
// "No" leaves it unticked; ticking an app that others need names them.
void onRowTicked(Gui& gui, const AppKnowledge& knowledge, int row);

// "Select All": ticks every row but those of apps the knowledge calls Unsafe, which only the
// user's own tick (and its question) can take, and says how many it left unticked.
void selectAllRows(Gui& gui, const AppKnowledge& knowledge);
