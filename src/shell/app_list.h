// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

class Gui;
struct AppKnowledge;
struct Catalogue;
struct CatalogueEntry;
struct ProgramPaths;

// Sorts the catalogue (sortCatalogue), makes one row per entry with its
// removal mode, starting tick and entry, records each entry's row in `rowIndex` and shows
// "Loaded N apps to remove".
void fillAppList(Gui& gui, Catalogue& catalogue);

// Ticks or unticks every row; as a row's state is set whole, no row stays selected.
void setAllTicks(Gui& gui, bool ticked);

// What a row's tooltip and "Show description" say of its entry: its description, after a note
// when the chosen ROM holds none of its files, then what the loaded knowledge says of it (its
// removal tier and description).
std::string rowDescription(const CatalogueEntry& entry, const AppKnowledge& knowledge);

// Fits the check list to the ROM zip at `romPath` (fitCatalogueToRom): lists it with 7z, reads
// its apps and fills the list again, each row keeping its tick (a found app's by its package). The
// status line counts the apps read while the window keeps painting; a close asked meanwhile
// stops the reading, leaves the list as the definitions make it, and is handed on to the window.
// A ROM that can't be read leaves the list as the definitions make it and says why. True when
// the list was fitted.
bool fitAppListToRom(Gui& gui, Catalogue& catalogue, const ProgramPaths& paths,
                     const std::string& romPath);
