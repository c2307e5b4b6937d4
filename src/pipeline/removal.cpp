#include "pipeline/removal.h"

#include "catalogue/catalogue.h"
#include "platform/gui.h"

namespace {

#ifdef _WIN32
constexpr bool namesFoldCase = true;  // 7-Zip on Windows: '\' is a separator, case is ignored
#else
constexpr bool namesFoldCase = false;
#endif

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

// A name as 7z compares it.
std::string comparable(std::string name) {
    if (!namesFoldCase) return name;
    for (char& c : name)
        if (c == '\\') c = '/';
    return lowerAscii(std::move(name));
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

bool removalTakes(const std::string& path, const std::string& entry) {
    const std::string name = comparable(entry);
    std::string folder = comparable(path);
    if (name == folder) return true;
    while (folder.ends_with('/')) folder.pop_back();
    return !folder.empty() && name.starts_with(folder + '/');
}

std::vector<ArchiveEntry> entriesRemoved(const std::vector<ArchiveEntry>& rom,
                                         const std::vector<std::string>& paths) {
    std::vector<ArchiveEntry> removed;
    for (const ArchiveEntry& entry : rom) {
        if (entry.isFolder) continue;
        for (const std::string& path : paths)
            if (removalTakes(path, entry.path)) {
                removed.push_back(entry);
                break;
            }
    }
    return removed;
}
