// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/knowledge.h"

#include "catalogue/app_knowledge.h"
#include "catalogue/catalogue.h"
#include "gui/gui.h"
#include "shell/app_state.h"

#include <string>

namespace {

// How a message names an entry: its name, and the package the knowledge matched it by.
std::string appName(const CatalogueEntry& entry) {
    return entry.name == entry.package ? entry.name : entry.name + " (" + entry.package + ")";
}

}  // namespace

void loadKnowledgeFromWindow(Gui& gui, AppState& state) {
    const std::string chosen =
        gui.openFileDialog("Load App Knowledge", "JSON file", "*.json", state.knowledge.source);
    if (chosen.empty()) return;
    std::string error;
    if (!loadAppKnowledge(chosen, state.knowledge, error)) {
        gui.messageBox("Error", error);
        return;
    }
    std::size_t matched = 0;
    for (const auto& entry : state.catalogue.entries)
        matched += state.knowledge.noteOf(*entry) != nullptr;
    gui.setStatusText("Knowledge of " + std::to_string(state.knowledge.notes.size()) + " apps, " +
                      std::to_string(matched) + " listed here");
}

void onRowTicked(Gui& gui, const AppKnowledge& knowledge, int row) {
    const CatalogueEntry* entry = gui.rowEntry(row);
    const int state = gui.rowState(row);
    if (!entry || !(state & RowState::ticked)) return;
    const AppNote* note = knowledge.noteOf(*entry);
    if (!note) return;
    const std::vector<std::string> dependents = knowledge.dependentsOf(entry->package);
    const std::string neededBy =
        dependents.empty() ? "" : "It is needed by " + packageNames(dependents) + ".";
    if (note->tier == RemovalTier::unsafe) {
        std::string question = appName(*entry) + " is marked Unsafe to remove.";
        if (!note->description.empty()) question += "\r" + note->description;
        if (!neededBy.empty()) question += "\r" + neededBy;
        question += "\rRemoving it can keep the phone from starting. Remove it anyway?";
        if (!gui.questionBox("Unsafe", question)) gui.setRowState(row, state & ~RowState::ticked);
        return;
    }
    if (!neededBy.empty())
        gui.messageBox("Warning", appName(*entry) + " is needed by other apps.\r" + neededBy +
                                      "\rThey may stop working without it.");
}

void selectAllRows(Gui& gui, const AppKnowledge& knowledge) {
    const int rows = gui.rowCount();
    int unsafe = 0;
    for (int row = 0; row < rows; ++row) {
        const CatalogueEntry* entry = gui.rowEntry(row);
        const AppNote* note = entry ? knowledge.noteOf(*entry) : nullptr;
        if (note && note->tier == RemovalTier::unsafe) {
            // One the user ticked already (and answered for) stays ticked.
            const int kept = gui.rowState(row) & RowState::ticked;
            unsafe += kept == 0;
            gui.setRowState(row, kept);
        } else {
            gui.setRowState(row, RowState::ticked);
        }
    }
    if (unsafe)
        gui.setStatusText("Left " + std::to_string(unsafe) + " Unsafe app" +
                          (unsafe == 1 ? "" : "s") + " unticked");
}
