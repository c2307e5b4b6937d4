#include "shell/removal_list_dialogs.h"

#include "catalogue/catalogue.h"
#include "catalogue/removal_list.h"
#include "platform/gui.h"
#include "platform/text.h"

#include <string>
#include <vector>

namespace {

constexpr const char* filterName = "INI file";
constexpr const char* filterPattern = "*.ini";

}  // namespace

void saveRemovalList(Gui& gui) {
    const std::string chosen = gui.saveFileDialog("Save Profile File", filterName, filterPattern);
    if (chosen.empty()) return;
    const std::string path = removalListPath(chosen);
    std::vector<RemovalListLine> lines;
    const int rows = gui.rowCount();
    for (int row = 0; row < rows; ++row)
        if (const CatalogueEntry* entry = gui.rowEntry(row))
            lines.push_back({lowerName(entry->name), gui.rowState(row)});
    if (!writeRemovalList(path, lines)) gui.messageBox("Error", "Can't save " + path);
}

void loadRemovalList(Gui& gui, const Catalogue& catalogue) {
    const std::string chosen =
        gui.openFileDialog("Open Profile File", filterName, filterPattern, "");
    if (chosen.empty()) return;
    std::vector<RemovalListLine> lines;
    if (!readRemovalList(chosen, lines)) return;
    for (const RemovalListLine& line : lines) {
        const auto found = catalogue.entryByName.find(line.name);
        if (found == catalogue.entryByName.end()) continue;
        gui.setRowState(found->second->rowIndex,
                        line.state & (RowState::ticked | RowState::selected));
    }
}
