#include "catalogue/removal_list.h"

#include "catalogue/catalogue.h"
#include "catalogue/ini_file.h"
#include "platform/file_layer.h"
#include "platform/gui.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <string>

namespace {

constexpr const char* listGroup = "Remove";
constexpr const char* filterName = "INI file";
constexpr const char* filterPattern = "*.ini";
constexpr const char* saveTitle = "Save Profile File";

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Writes the list to `temporary`; false when it could not be created or written whole.
bool writeList(Gui& gui, const std::string& temporary) {
    IniFile list;
    if (!list.create(temporary)) return false;
    list.selectGroup(listGroup);
    const int rows = gui.rowCount();
    for (int row = 0; row < rows; ++row) {
        const CatalogueEntry* entry = gui.rowEntry(row);
        if (entry) list.writeNumber(lowerName(entry->name), gui.rowState(row));
    }
    return list.close();
}

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

std::string removalListPath(const std::string& chosen) {
    const auto separator = chosen.find_last_of(std::string("/") + pathSeparator);
    const auto nameStart = separator == std::string::npos ? 0 : separator + 1;
    const auto dot = chosen.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && dot >= nameStart && dot + 1 < chosen.size();
    return hasExtension ? chosen : chosen + ".ini";
}

std::int32_t parseStateNumber(const std::string& text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    unsigned base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    } else if (at < text.size() && text[at] == '%') {
        base = 2;
        ++at;
    }
    // Unsigned arithmetic wraps instead of overflowing; only the low bits matter to a state.
    std::uint32_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = digitValue(text[at]);
        if (static_cast<unsigned>(digit) >= base) break;
        value = value * base + static_cast<unsigned>(digit);
    }
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

void saveRemovalList(Gui& gui, const Catalogue&) {
    const std::string path = chooseListFile(gui);
    if (path.empty()) return;
    const std::string temporary = firstFreeNumbered(path + ".tmp");
    if (!writeList(gui, temporary) || !renameFile(temporary, path)) {
        removeFile(temporary);
        gui.messageBox("Error", "Can't save " + path);
    }
}

void loadRemovalList(Gui& gui, const Catalogue& catalogue) {
    const std::string chosen =
        gui.openFileDialog("Open Profile File", filterName, filterPattern, "");
    if (chosen.empty()) return;
    IniFile list;
    if (!list.open(chosen)) {
        gui.messageBox("Error", "Can't read " + chosen);
        return;
    }
    list.selectGroup(listGroup);
    if (list.beginKeys()) {
        while (list.nextKey()) {
            const auto found = catalogue.entryByName.find(lowerName(list.keyName()));
            if (found == catalogue.entryByName.end()) continue;
            const std::int32_t state = parseStateNumber(list.keyValue());
            gui.setRowState(found->second->rowIndex,
                            state & (RowState::ticked | RowState::selected));
        }
    }
    list.close();
}
