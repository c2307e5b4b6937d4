// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/app_knowledge.h"
#include "catalogue/catalogue.h"
#include "platform/paths.h"

#include <string>

// The values the whole program shares, made once at start-up and handed to every handler.
struct AppState {
    ProgramPaths paths;
    // Always equal to the ROM path field once a ROM has been chosen or the choice cancelled.
    std::string romPath;
    Catalogue catalogue;
    // What a list the user loaded says of the apps; empty until one is loaded.
    AppKnowledge knowledge;
};
