#pragma once

class Gui;
struct Catalogue;

// Asks for a file name and writes the state of every row of the check list as a removal list.
// A save that fails says "Can't save <path>" and leaves any earlier file of that name as it was.
void saveRemovalList(Gui& gui);

// Asks for a removal list and applies it to the rows of the entries it names; names that match
// no entry are skipped, rows it doesn't name keep their state. Says nothing when it can't read.
void loadRemovalList(Gui& gui, const Catalogue& catalogue);
