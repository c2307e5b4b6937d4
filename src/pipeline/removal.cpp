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

void collect(TickedPaths& ticked, const std::vector<std::string>& paths,
             const std::vector<std::string>& lost) {
    for (const std::string& path : paths)
        (path.find('"') == std::string::npos ? ticked.paths : ticked.skipped).push_back(path);
    ticked.skipped.insert(ticked.skipped.end(), lost.begin(), lost.end());
}

}  // namespace

TickedPaths tickedPaths(const Gui& gui) {
    TickedPaths ticked;
    const int rows = gui.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (!(gui.rowState(row) & RowState::ticked)) continue;
        const CatalogueEntry* entry = gui.rowEntry(row);
        if (!entry) continue;
        const std::string mode = lowerAscii(gui.cellText(row, 1));
        if (mode != "app") collect(ticked, entry->widgetFiles, entry->lostWidgetFiles);
        if (mode == "app/widget" || mode == "app") collect(ticked, entry->files, entry->lostFiles);
    }
    return ticked;
}

std::string removalCommand(const Gui& gui, const std::string& romPath) {
    const std::vector<std::string> paths = tickedPaths(gui).paths;
    if (paths.empty()) return "";
    std::string command = "d -bd -y -spd -- \"" + romPath + '"';
    for (const std::string& path : paths) command += " \"" + path + '"';
    return command;
}
