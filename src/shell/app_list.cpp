#include "shell/app_list.h"

#include "catalogue/catalogue.h"
#include "catalogue/removal_mode.h"
#include "platform/gui.h"

#include <algorithm>
#include <string>

namespace {

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool nameBefore(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(asciiLower(x)) <
               static_cast<unsigned char>(asciiLower(y));
    });
}

}  // namespace

void fillAppList(Gui& gui, Catalogue& catalogue) {
    auto& entries = catalogue.entries;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return nameBefore(a->name, b->name); });
    gui.clearRows();
    int row = 0;
    for (const auto& entry : entries) {
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
