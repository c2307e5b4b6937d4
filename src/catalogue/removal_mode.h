// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

struct CatalogueEntry;

// What a ticked entry takes out of the ROM zip: the app's files, its widget's, or both. An entry
// without a widget is only ever `app`; a widget entry starts as `appWidget` and switches between
// that and `widget`.
enum class RemovalMode { app, appWidget, widget };

// The text of a mode, as the check list's second column and the popup menu show it: "App",
// "App/Widget", "Widget".
const char* removalModeText(RemovalMode mode);

// The mode a text names, ignoring the case of A to Z. A text that names no mode takes the
// widget's files only, as a row of that text always has.
RemovalMode removalModeOfText(const std::string& text);

// The mode an entry starts with in the check list.
RemovalMode startingMode(const CatalogueEntry& entry);

// Whether an entry may be removed in `mode`: a widget entry with or without its app, any other
// entry only as an app.
bool modeAllowed(const CatalogueEntry& entry, RemovalMode mode);
