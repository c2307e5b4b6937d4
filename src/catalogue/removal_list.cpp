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

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// A free name beside `path` for the list while it is written.
std::string temporaryPath(const std::string& path) {
    for (int n = 0;; ++n) {
        std::string candidate = path + ".tmp" + std::to_string(n);
        if (!pathExists(candidate)) return candidate;
    }
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
    const std::string chosen = gui.saveFileDialog("Save Profile File", filterName, filterPattern);
    if (chosen.empty()) return;
    const std::string path = removalListPath(chosen);
    const std::string temporary = temporaryPath(path);
    if (!writeList(gui, temporary) || !renameFile(temporary, path)) {
        removeFile(temporary);
        gui.messageBox("Error", "Can't save " + path);
    }
}

void loadRemovalList(Gui& gui, const Catalogue& catalogue) {
    const std::string chosen = gui.openFileDialog("Open Profile File", filterName, filterPattern, "");
    if (chosen.empty()) return;
    IniFile list;
    if (!list.open(chosen)) return;
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
