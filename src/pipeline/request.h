// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/removal_mode.h"

#include <string>
#include <vector>

struct CatalogueEntry;

// The three choices of a run; the defaults are the ticks the window's check boxes start with.
struct RunOptions {
    bool backup = true;    // copy the ROM zip beside it first
    bool undoZip = false;  // build the flashable undo zip before anything is removed
    bool addApps = true;   // add the files of the add folder last
    bool testZip = false;  // have 7z read the whole ROM zip after the run (the console's check)
};

// One entry to remove, with the part of it that goes.
struct TickedEntry {
    const CatalogueEntry* entry = nullptr;  // referred to, never owned
    RemovalMode mode = RemovalMode::app;
};

// Everything a customize run is asked to do.
struct CustomizeRequest {
    std::string romPath;
    RunOptions options;
    std::vector<TickedEntry> ticked;  // in the order their paths go to 7z
};
