// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_list.h"

#include "catalogue/app_knowledge.h"
#include "catalogue/catalogue.h"
#include "catalogue/removal_mode.h"
#include "gui/gui.h"
#include "pipeline/block_rom.h"
#include "pipeline/rom_catalogue.h"
#include "platform/paths.h"
#include "tools/archive_listing.h"

#include <string>
#include <unordered_map>

namespace {

constexpr const char* notInRom = " (not in this ROM)";

}  // namespace

void fillAppList(Gui& gui, Catalogue& catalogue) {
    sortCatalogue(catalogue);
    gui.clearRows();
    int row = 0;
    for (const auto& entry : catalogue.entries) {
        entry->rowIndex = row;
        const std::string name = entry->inRom ? entry->name : entry->name + notInRom;
        gui.insertRow(row, name + '\n' + removalModeText(startingMode(*entry)));
        if (entry->enabled) gui.setRowState(row, RowState::ticked);
        gui.setRowEntry(row, entry.get());
        ++row;
    }
    gui.setStatusText("Loaded " + std::to_string(gui.rowCount()) + " apps to remove");
}

void setAllTicks(Gui& gui, bool ticked) {
    const int rows = gui.rowCount();
    for (int row = 0; row < rows; ++row)
        gui.setRowState(row, ticked ? RowState::ticked : RowState::none);
}

std::string rowDescription(const CatalogueEntry& entry, const AppKnowledge& knowledge) {
    std::string text = entry.description;
    if (!entry.inRom)
        text = "Not in this ROM: it holds none of this app's files." +
               (text.empty() ? "" : "\r" + text);
    if (const AppNote* note = knowledge.noteOf(entry)) {
        const std::string known = knowledgeText(*note, "\r");
        if (!known.empty()) text += (text.empty() ? "" : "\r") + known;
    }
    return text;
}

bool fitAppListToRom(Gui& gui, Catalogue& catalogue, const ProgramPaths& paths,
                     const std::string& romPath) {
    // The ticks by the names a removal list keeps them under, to carry them to the new rows.
    std::unordered_map<std::string, int> states;
    for (int row = 0; row < gui.rowCount(); ++row)
        if (const CatalogueEntry* entry = gui.rowEntry(row))
            states[listName(*entry)] = gui.rowState(row) & RowState::ticked;
    bool closeAsked = false;
    const auto carryOn = [&] {
        closeAsked = closeAsked || gui.pumpDuringRun();
        return !closeAsked;
    };

    gui.setStatusText("Reading the apps of the ROM ...");
    std::string problem;
    RomContent content;
    const ArchiveListing listing =
        carryOn() ? listArchive(paths.archiverProgram, romPath) : ArchiveListing{};
    if (closeAsked) {
    } else if (!listing.readable) {
        problem = "Can't read " + romPath + " as a zip archive";
    } else {
        // A block-based ROM zip's files are inside its images, read from them.
        content = readRomContent(
            romPath, listing.entries, problem,
            [&](std::size_t done, std::size_t total) {
                gui.setStatusText("Reading the apps of the ROM ... " + std::to_string(done) +
                                  " of " + std::to_string(total));
                return carryOn();
            },
            carryOn);
    }
    const bool fitted = !closeAsked && problem.empty();
    if (fitted)
        fitCatalogueToRom(catalogue, content.entries, content.apps);
    else
        unfitCatalogue(catalogue);

    fillAppList(gui, catalogue);
    for (const auto& entry : catalogue.entries) {
        const auto kept = states.find(listName(*entry));
        if (kept != states.end()) gui.setRowState(entry->rowIndex, kept->second);
    }
    if (closeAsked) {
        gui.postClose();
        return false;
    }
    if (!fitted) {
        gui.setStatusText(problem);
        return false;
    }
    std::size_t found = 0;
    for (const auto& entry : catalogue.entries) found += entry->found;
    // Short enough for the status line: the count of all rows, and of those only this ROM gives.
    gui.setStatusText("Loaded " + std::to_string(gui.rowCount()) + " apps to remove (" +
                      std::to_string(found) + " from the ROM)");
    return true;
}
