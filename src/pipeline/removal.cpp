#include "pipeline/removal.h"

#include "catalogue/catalogue.h"
#include "platform/ascii.h"

namespace {

#ifdef _WIN32
constexpr bool namesFoldCase = true;  // 7-Zip on Windows: '\' is a separator, case is ignored
#else
constexpr bool namesFoldCase = false;
#endif

void collect(TickedPaths& ticked, const std::vector<std::string>& paths,
             const std::vector<std::string>& lost) {
    for (const std::string& path : paths)
        (path.find('"') == std::string::npos ? ticked.paths : ticked.skipped).push_back(path);
    ticked.skipped.insert(ticked.skipped.end(), lost.begin(), lost.end());
}

}  // namespace

std::string archiverNameKey(const std::string& name) {
    if (!namesFoldCase) return name;
    std::string key = name;
    for (char& c : key)
        if (c == '\\') c = '/';
    // 7-Zip on Windows folds the case of letters; lowering A to Z covers the names compared here.
    return lowerAscii(std::move(key));
}

TickedPaths tickedPaths(const TickedEntry& ticked) {
    TickedPaths paths;
    if (!ticked.entry) return paths;
    const CatalogueEntry& entry = *ticked.entry;
    if (ticked.mode != RemovalMode::app) collect(paths, entry.widgetFiles, entry.lostWidgetFiles);
    if (ticked.mode != RemovalMode::widget) collect(paths, entry.files, entry.lostFiles);
    return paths;
}

TickedPaths tickedPaths(const std::vector<TickedEntry>& ticked) {
    TickedPaths all;
    for (const TickedEntry& one : ticked) {
        TickedPaths paths = tickedPaths(one);
        all.paths.insert(all.paths.end(), paths.paths.begin(), paths.paths.end());
        all.skipped.insert(all.skipped.end(), paths.skipped.begin(), paths.skipped.end());
    }
    return all;
}

std::string removalCommand(const std::vector<TickedEntry>& ticked, const std::string& romPath) {
    const std::vector<std::string> paths = tickedPaths(ticked).paths;
    if (paths.empty()) return "";
    std::string command = "d -bd -y -spd -- \"" + romPath + '"';
    for (const std::string& path : paths) command += " \"" + path + '"';
    return command;
}

RemovalPath::RemovalPath(const std::string& path) : name_(archiverNameKey(path)), folder_(name_) {
    while (folder_.ends_with('/')) folder_.pop_back();
}

bool RemovalPath::takes(const std::string& entryKey) const {
    if (entryKey == name_) return true;
    return !folder_.empty() && entryKey.size() > folder_.size() && entryKey.starts_with(folder_) &&
           entryKey[folder_.size()] == '/';
}

bool removalTakes(const std::string& path, const std::string& entry) {
    return RemovalPath(path).takes(archiverNameKey(entry));
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
