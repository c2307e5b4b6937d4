#include "shell/app_list.h"

#include "catalogue/catalogue.h"
#include "catalogue/removal_mode.h"
#include "platform/gui.h"

#include <string>

void fillAppList(Gui& gui, Catalogue& catalogue) {
    sortCatalogue(catalogue);
    gui.clearRows();
    int row = 0;
    for (const auto& entry : catalogue.entries) {
        entry->rowIndex = row;
        gui.insertRow(row, entry->name + '\n' + removalModeText(startingMode(*entry)));
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
