// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Gui;
struct Catalogue;

// Asks for a file name and writes the state of every row of the check list as a removal list.
// A file that is there is replaced only when the user says so. A save that fails says "Can't save
// <path>" and leaves any earlier file of that name as it was.
void saveRemovalList(Gui& gui);

// Asks for a removal list and applies it to the rows of the entries it names; names that match
// no entry are skipped, rows it doesn't name keep their state. A list that can't be read shows
// "Error" / "Can't read <path>" and changes nothing.
void loadRemovalList(Gui& gui, const Catalogue& catalogue);
