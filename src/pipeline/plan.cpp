#include "pipeline/plan.h"

#include "pipeline/removal.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

using Keys = std::set<std::string>;

// The files of a listing by their names as 7z compares them; two entries of one name both stay.
std::multimap<std::string, const ArchiveEntry*> filesByKey(const std::vector<ArchiveEntry>& rom) {
    std::multimap<std::string, const ArchiveEntry*> files;
    for (const ArchiveEntry& entry : rom)
        if (!entry.isFolder) files.emplace(archiverNameKey(entry.path), &entry);
    return files;
}

}  // namespace

RunPlan planRun(const CustomizeRequest& request, const std::vector<ArchiveEntry>& rom,
                const std::vector<std::string>& addFiles) {
    // A ROM holds thousands of entries: each name's key is made once.
    std::vector<std::string> keys;
    keys.reserve(rom.size());
    for (const ArchiveEntry& entry : rom) keys.push_back(archiverNameKey(entry.path));

    RunPlan plan;
    std::vector<bool> taken(rom.size(), false);
    for (const TickedEntry& ticked : request.ticked) {
        PlannedApp app{ticked, {}, {}, {}};
        const TickedPaths paths = tickedPaths(ticked);
        app.skipped = paths.skipped;
        std::vector<std::size_t> mine;  // the files this app takes first
        for (const std::string& path : paths.paths) {
            const RemovalPath removal(path);
            bool found = false;
            for (std::size_t i = 0; i < rom.size(); ++i) {
                if (!removal.takes(keys[i])) continue;
                found = true;
                if (rom[i].isFolder || taken[i]) continue;
                taken[i] = true;
                mine.push_back(i);
            }
            if (!found) app.absent.push_back(path);
        }
        std::sort(mine.begin(), mine.end());
        for (const std::size_t i : mine) app.removes.push_back(rom[i]);
        plan.apps.push_back(std::move(app));
    }
    for (std::size_t i = 0; i < rom.size(); ++i)
        if (taken[i]) {
            plan.removed.push_back(rom[i]);
            plan.bytesFreed += rom[i].size;
            plan.packedBytesFreed += rom[i].packedSize;
        }

    // An added file replaces a file of the ROM that the removal keeps. The add folder holds a few
    // files, the ROM thousands: the ROM's files are looked up among the added ones.
    Keys addKeys;
    for (const std::string& file : addFiles) addKeys.insert(archiverNameKey(file));
    Keys replaced;
    if (!addKeys.empty())
        for (std::size_t i = 0; i < rom.size(); ++i)
            if (!rom[i].isFolder && !taken[i] && addKeys.count(keys[i])) replaced.insert(keys[i]);
    for (const std::string& file : addFiles)
        (replaced.count(archiverNameKey(file)) ? plan.replaces : plan.adds).push_back(file);
    return plan;
}

RunCheck checkRun(const RunPlan& plan, const std::vector<ArchiveEntry>& before,
                  const std::vector<ArchiveEntry>& after, bool tested) {
    RunCheck check;
    check.tested = tested;
    const auto beforeFiles = filesByKey(before);
    const auto afterFiles = filesByKey(after);
    Keys removed, added;
    for (const ArchiveEntry& entry : plan.removed) removed.insert(archiverNameKey(entry.path));
    for (const auto* list : {&plan.adds, &plan.replaces})
        for (const std::string& file : *list) added.insert(archiverNameKey(file));

    for (const ArchiveEntry& entry : plan.removed) {
        const std::string key = archiverNameKey(entry.path);
        if (!added.count(key) && afterFiles.count(key)) check.notRemoved.push_back(entry.path);
    }
    for (const auto* list : {&plan.adds, &plan.replaces})
        for (const std::string& file : *list)
            if (afterFiles.count(archiverNameKey(file)) != 1) check.notAdded.push_back(file);

    // Every file no step touches is there as it was: as many entries of its name, with the same
    // sizes and CRCs.
    const auto contents = [](const auto& files, const std::string& key) {
        std::multiset<std::pair<std::uint64_t, std::string>> found;
        const auto [first, last] = files.equal_range(key);
        for (auto it = first; it != last; ++it) found.emplace(it->second->size, it->second->crc);
        return found;
    };
    for (auto it = beforeFiles.begin(); it != beforeFiles.end();
         it = beforeFiles.upper_bound(it->first)) {
        const std::string& key = it->first;
        if (removed.count(key) || added.count(key)) continue;
        if (contents(beforeFiles, key) != contents(afterFiles, key))
            check.changed.push_back(it->second->path);
    }
    for (auto it = afterFiles.begin(); it != afterFiles.end();
         it = afterFiles.upper_bound(it->first))
        if (!beforeFiles.count(it->first) && !added.count(it->first))
            check.changed.push_back(it->second->path);
    return check;
}
