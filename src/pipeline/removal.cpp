#include "pipeline/removal.h"

#include "catalogue/catalogue.h"
#include "platform/gui.h"

namespace {

// The modes are the program's own ASCII texts: lowering A to Z is enough.
std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void appendQuoted(std::string& command, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) command += '"' + path + "\" ";
}

}  // namespace

std::string removalCommand(const Gui& gui, const std::string& romPath) {
    const std::string head = "d -bd -y \"" + romPath + '"';
    std::string command = head + ' ';
    const int rows = gui.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (!(gui.rowState(row) & RowState::ticked)) continue;
        const CatalogueEntry* entry = gui.rowEntry(row);
        if (!entry) continue;
        const std::string mode = lowerAscii(gui.cellText(row, 1));
        if (mode != "app") appendQuoted(command, entry->widgetFiles);
        if (mode == "app/widget" || mode == "app") appendQuoted(command, entry->files);
    }
    const auto first = command.find_first_not_of(' ');
    const auto last = command.find_last_not_of(' ');
    command = first == std::string::npos ? "" : command.substr(first, last - first + 1);
    return command == head ? "" : command;
}
