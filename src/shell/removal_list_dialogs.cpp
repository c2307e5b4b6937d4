// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/removal_list_dialogs.h"

#include "catalogue/catalogue.h"
#include "catalogue/removal_list.h"
#include "gui/gui.h"
#include "platform/file_layer.h"
#include "platform/text.h"

#include <string>
#include <vector>

namespace {

constexpr const char* filterName = "INI file";
constexpr const char* filterPattern = "*.ini";
constexpr const char* saveTitle = "Save Profile File";

// The file a save goes to, "" when the user cancelled. The dialog asks before it gives the name
// of a file that is there; the name with ".ini" added is asked about here, and a "No" opens the
// dialog again, as a "No" to the dialog's own question leaves it open.
std::string chooseListFile(Gui& gui) {
    for (;;) {
        const std::string chosen = gui.saveFileDialog(saveTitle, filterName, filterPattern);
        if (chosen.empty()) return "";
        const std::string path = removalListPath(chosen);
        if (path == chosen || !pathExists(path) ||
            gui.questionBox(saveTitle, path + " already exists.\rDo you want to replace it?"))
            return path;
    }
}

}  // namespace

void saveRemovalList(Gui& gui) {
    const std::string path = chooseListFile(gui);
    if (path.empty()) return;
    std::vector<RemovalListLine> lines;
    const int rows = gui.rowCount();
    for (int row = 0; row < rows; ++row)
        if (const CatalogueEntry* entry = gui.rowEntry(row))
            lines.push_back({listName(*entry), gui.rowState(row)});
    if (!writeRemovalList(path, lines)) gui.messageBox("Error", "Can't save " + path);
}

void loadRemovalList(Gui& gui, const Catalogue& catalogue) {
    const std::string chosen =
        gui.openFileDialog("Open Profile File", filterName, filterPattern, "");
    if (chosen.empty()) return;
    std::vector<RemovalListLine> lines;
    if (!readRemovalList(chosen, lines)) {
        gui.messageBox("Error", "Can't read " + chosen);
        return;
    }
    for (const RemovalListLine& line : lines) {
        const CatalogueEntry* entry = entryOfListName(catalogue, line.name);
        if (!entry) continue;
        gui.setRowState(entry->rowIndex, line.state & (RowState::ticked | RowState::selected));
    }
}
