#pragma once

class Gui;
struct Catalogue;

// Sorts the catalogue (sortCatalogue), makes one row per entry with its
// removal mode, starting tick and entry, records each entry's row in `rowIndex` and shows
// "Loaded N apps to remove".
void fillAppList(Gui& gui, Catalogue& catalogue);

// Ticks or unticks every row; as a row's state is set whole, no row stays selected.
void setAllTicks(Gui& gui, bool ticked);
