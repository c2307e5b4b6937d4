// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/plan.h"

#include "pipeline/removal.h"
#include "platform/text.h"

#include <algorithm>
#include <numeric>
#include <span>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr std::size_t none = static_cast<std::size_t>(-1);

// The entries of a listing sorted by their names as 7z compares them, so that an entry and
// everything below it are found by two binary searches.
class ListingIndex {
public:
    explicit ListingIndex(const std::vector<ArchiveEntry>& entries) : order_(entries.size()) {
        keys_.reserve(entries.size());
        for (const ArchiveEntry& entry : entries) keys_.push_back(archiverNameKey(entry.path));
        std::iota(order_.begin(), order_.end(), std::size_t{0});
        std::stable_sort(order_.begin(), order_.end(),
                         [&](std::size_t a, std::size_t b) { return keys_[a] < keys_[b]; });
    }

    const std::string& key(std::size_t entry) const { return keys_[entry]; }

    // The entries named `key` and those below the folder of that name, as positions in order().
    std::pair<std::size_t, std::size_t> named(const std::string& key) const {
        return {lowerBound(key), upperBound(key)};
    }
    std::pair<std::size_t, std::size_t> below(const std::string& key) const {
        // Every name that starts with key + '/' sorts before key + '0', '0' following '/'.
        return {lowerBound(key + '/'), lowerBound(key + '0')};
    }
    std::size_t at(std::size_t position) const { return order_[position]; }

private:
    std::size_t lowerBound(const std::string& key) const {
        return static_cast<std::size_t>(
            std::lower_bound(order_.begin(), order_.end(), key,
                             [&](std::size_t a, const std::string& k) { return keys_[a] < k; }) -
            order_.begin());
    }
    std::size_t upperBound(const std::string& key) const {
        return static_cast<std::size_t>(
            std::upper_bound(order_.begin(), order_.end(), key,
                             [&](const std::string& k, std::size_t a) { return k < keys_[a]; }) -
            order_.begin());
    }

    std::vector<std::string> keys_;
    std::vector<std::size_t> order_;
};

bool holdsLineBreakOrTab(std::string_view name) {
    return name.find_first_of("\t\r\n") != std::string_view::npos;
}

// Why the undo zip can't give `entry` back, or "" when it can.
std::string undoFault(const ArchiveEntry& entry, std::size_t entriesOfItsName, bool filesBelow,
                      const std::unordered_set<std::string>& templateKeys, const std::string& key) {
    if (templateKeys.count(key)) return "the undo zip's installer has a file of this name";
    if (entriesOfItsName > 1) return "the ROM zip holds more than one entry of this name";
    // Saved as files, the two would need one name as a file and as a folder.
    if (filesBelow) return "the ROM zip holds files below a file of this name";
    if (entry.encrypted) return "it is encrypted";
    if (entry.isLink) return "it is a symbolic link, which the undo zip can't restore";
    if (holdsLineBreakOrTab(entry.path)) return "its name holds a tab, CR or line feed";
    if (!isWritableFileName(entry.path)) return "its name can't be a file's name here";
    return "";
}

// The files of listings, sorted by name as 7z compares them, then by size and CRC: the files of
// one name, and whether two listings hold the same ones, are found without a table per name.
struct FileRecord {
    std::string key;
    std::uint64_t size;
    std::string_view crc;
    const ArchiveEntry* entry;
    auto operator<=>(const FileRecord& other) const {
        return std::tie(key, size, crc) <=> std::tie(other.key, other.size, other.crc);
    }
    bool operator==(const FileRecord& other) const {
        return key == other.key && size == other.size && crc == other.crc;
    }
};

class FileRecords {
public:
    explicit FileRecords(std::initializer_list<const std::vector<ArchiveEntry>*> listings) {
        for (const auto* listing : listings)
            for (const ArchiveEntry& entry : *listing)
                if (!entry.isFolder)
                    records_.push_back(
                        {archiverNameKey(entry.path), entry.size, entry.crc, &entry});
        std::sort(records_.begin(), records_.end());
    }

    using Range = std::span<const FileRecord>;
    const std::vector<FileRecord>& all() const { return records_; }
    Range named(std::string_view key) const {
        const auto first = std::lower_bound(
            records_.begin(), records_.end(), key,
            [](const FileRecord& record, std::string_view k) { return record.key < k; });
        auto last = first;
        while (last != records_.end() && last->key == key) ++last;
        return {first, last};
    }

private:
    std::vector<FileRecord> records_;
};

bool sameFiles(FileRecords::Range a, FileRecords::Range b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// Sorted keys, for lookups of names.
class KeySet {
public:
    void add(const std::string& name) { keys_.push_back(archiverNameKey(name)); }
    void seal() { std::sort(keys_.begin(), keys_.end()); }
    bool holds(std::string_view key) const {
        return std::binary_search(keys_.begin(), keys_.end(), key);
    }

private:
    std::vector<std::string> keys_;
};

}  // namespace

std::vector<std::string> RunPlan::leftOut() const {
    std::vector<std::string> names;
    for (const PlannedApp& app : apps) {
        names.insert(names.end(), app.skipped.begin(), app.skipped.end());
        names.insert(names.end(), app.unreachable.begin(), app.unreachable.end());
    }
    return names;
}

namespace {

// Which app takes each entry of the ROM, while the plan is made.
struct Claims {
    std::vector<std::size_t> owner;                     // the app that takes each entry, or none
    std::vector<std::vector<std::size_t>> unreachable;  // per app: files 7z can't be handed
};

// Each ticked app claims the entries its paths name, the first app to name one taking it; a
// path that names nothing is absent from the ROM.
Claims claimEntries(const CustomizeRequest& request, const std::vector<ArchiveEntry>& rom,
                    const ListingIndex& index, RunPlan& plan) {
    Claims claims{std::vector<std::size_t>(rom.size(), none),
                  std::vector<std::vector<std::size_t>>(request.ticked.size())};
    for (std::size_t a = 0; a < request.ticked.size(); ++a) {
        const TickedEntry& ticked = request.ticked[a];
        PlannedApp app{ticked, {}, {}, {}, {}};
        const TickedPaths paths = tickedPaths(ticked);
        app.skipped = paths.skipped;
        for (const std::string& path : paths.paths) {
            const std::string key = definitionPathKey(path);
            // A path ending with a separator names a folder: never a file of that name.
            const bool folderOnly = key.size() < archiverNameKey(path).size();
            bool found = false;
            for (const auto& [first, last] : {index.named(key), index.below(key)})
                for (std::size_t p = first; p < last; ++p) {
                    const std::size_t i = index.at(p);
                    if (folderOnly && !rom[i].isFolder && index.key(i) == key) continue;
                    found = true;
                    if (claims.owner[i] != none) continue;
                    if (namesEntryLiterally(rom[i].path))
                        claims.owner[i] = a;
                    else if (!rom[i].isFolder)
                        claims.unreachable[a].push_back(i);
                }
            if (!found) app.absent.push_back(path);
        }
        plan.apps.push_back(std::move(app));
    }
    return claims;
}

// 7z, handed a name, takes everything below it too: an entry goes only when all that lies
// below it goes with it. Deepest first, so that what stays keeps the folders above it.
void keepWhatHoldsKeptEntries(const std::vector<ArchiveEntry>& rom, const ListingIndex& index,
                              Claims& claims) {
    std::vector<std::size_t> taken;
    for (std::size_t i = 0; i < rom.size(); ++i)
        if (claims.owner[i] != none) taken.push_back(i);
    std::sort(taken.begin(), taken.end(),
              [&](std::size_t a, std::size_t b) { return index.key(a) > index.key(b); });
    for (const std::size_t i : taken) {
        const auto [first, last] = index.below(index.key(i));
        for (std::size_t p = first; p < last; ++p) {
            if (claims.owner[index.at(p)] != none) continue;
            if (!rom[i].isFolder) claims.unreachable[claims.owner[i]].push_back(i);
            claims.owner[i] = none;
            break;
        }
    }
}

// The names 7z is handed, each app's files, what they free, and, with the undo zip, the files
// it could not give back.
void planRemoval(const CustomizeRequest& request, const std::vector<ArchiveEntry>& rom,
                 const ListingIndex& index, const Claims& claims,
                 const std::vector<ArchiveEntry>& undoTemplate, RunPlan& plan) {
    std::unordered_map<std::string, std::size_t> filesOfName;
    for (std::size_t i = 0; i < rom.size(); ++i)
        if (!rom[i].isFolder) ++filesOfName[index.key(i)];
    std::unordered_set<std::string> templateKeys;
    for (const ArchiveEntry& entry : undoTemplate)
        if (!entry.isFolder) templateKeys.insert(archiverNameKey(entry.path));

    std::unordered_set<std::string> refused;  // two entries of one name are named once
    for (std::size_t i = 0; i < rom.size(); ++i) {
        if (claims.owner[i] == none) continue;
        plan.removalNames.push_back(rom[i].path);
        if (rom[i].isFolder) continue;
        plan.apps[claims.owner[i]].removes.push_back(rom[i]);
        plan.removed.push_back(rom[i]);
        plan.bytesFreed += rom[i].size;
        plan.packedBytesFreed += rom[i].packedSize;
        if (!request.options.undoZip) continue;
        const auto [first, last] = index.below(index.key(i));
        bool filesBelow = false;
        for (std::size_t p = first; p < last && !filesBelow; ++p)
            filesBelow = !rom[index.at(p)].isFolder;
        const std::string fault =
            undoFault(rom[i], filesOfName[index.key(i)], filesBelow, templateKeys, index.key(i));
        if (!fault.empty() && refused.insert(index.key(i)).second)
            plan.refusals.push_back(rom[i].path + ": " + fault);
    }
    for (std::size_t a = 0; a < claims.unreachable.size(); ++a) {
        std::vector<std::size_t> unreachable = claims.unreachable[a];
        std::sort(unreachable.begin(), unreachable.end());
        unreachable.erase(std::unique(unreachable.begin(), unreachable.end()), unreachable.end());
        for (const std::size_t i : unreachable) plan.apps[a].unreachable.push_back(rom[i].path);
    }
}

// An added file replaces a file of the ROM that the removal keeps; 7z can replace only one
// entry of a name.
void planAdds(const std::vector<ArchiveEntry>& rom, const ListingIndex& index, const Claims& claims,
              const std::vector<std::string>& addFiles, RunPlan& plan) {
    std::unordered_map<std::string, std::size_t> kept;
    if (!addFiles.empty())
        for (std::size_t i = 0; i < rom.size(); ++i)
            if (!rom[i].isFolder && claims.owner[i] == none) ++kept[index.key(i)];
    for (const std::string& file : addFiles) {
        const auto found = kept.find(archiverNameKey(file));
        if (found == kept.end()) {
            plan.adds.push_back(file);
            continue;
        }
        plan.replaces.push_back(file);
        if (found->second > 1)
            plan.refusals.push_back(file +
                                    ": the ROM zip holds more than one entry of this name, "
                                    "which the added file can't replace");
    }
}

}  // namespace

RunPlan planRun(const CustomizeRequest& request, const std::vector<ArchiveEntry>& rom,
                const std::vector<std::string>& addFiles,
                const std::vector<ArchiveEntry>& undoTemplate) {
    const ListingIndex index(rom);
    RunPlan plan;
    Claims claims = claimEntries(request, rom, index, plan);
    keepWhatHoldsKeptEntries(rom, index, claims);
    planRemoval(request, rom, index, claims, undoTemplate, plan);
    planAdds(rom, index, claims, addFiles, plan);
    return plan;
}

RunCheck checkRun(const RunPlan& plan, const std::vector<ArchiveEntry>& before,
                  const std::vector<ArchiveEntry>& after, bool tested, bool added) {
    RunCheck check;
    check.tested = tested;
    const FileRecords beforeFiles({&before});
    const FileRecords afterFiles({&after});
    KeySet removed, addedKeys;
    for (const ArchiveEntry& entry : plan.removed) removed.add(entry.path);
    if (added)
        for (const auto* list : {&plan.adds, &plan.replaces})
            for (const std::string& file : *list) addedKeys.add(file);
    for (const std::string& entry : plan.rewritten) addedKeys.add(entry);
    removed.seal();
    addedKeys.seal();

    for (const ArchiveEntry& entry : plan.removed) {
        const std::string key = archiverNameKey(entry.path);
        if (!addedKeys.holds(key) && !afterFiles.named(key).empty())
            check.notRemoved.push_back(entry.path);
    }
    if (added)
        for (const auto* list : {&plan.adds, &plan.replaces})
            for (const std::string& file : *list)
                if (afterFiles.named(archiverNameKey(file)).size() != 1)
                    check.notAdded.push_back(file);
    for (const std::string& entry : plan.rewritten)
        if (afterFiles.named(archiverNameKey(entry)).size() != 1) check.notAdded.push_back(entry);

    // Every file no step touches is there as it was: as many entries of its name, with the same
    // sizes and CRCs. Each name is looked at once, at its first record.
    const auto& first = beforeFiles.all();
    for (std::size_t i = 0; i < first.size(); ++i) {
        const std::string& key = first[i].key;
        if (i > 0 && first[i - 1].key == key) continue;
        if (removed.holds(key) || addedKeys.holds(key)) continue;
        if (!sameFiles(beforeFiles.named(key), afterFiles.named(key)))
            check.changed.push_back(first[i].entry->path);
    }
    const auto& second = afterFiles.all();
    for (std::size_t i = 0; i < second.size(); ++i) {
        const std::string& key = second[i].key;
        if (i > 0 && second[i - 1].key == key) continue;
        if (beforeFiles.named(key).empty() && !addedKeys.holds(key))
            check.changed.push_back(second[i].entry->path);
    }
    return check;
}

std::vector<std::string> undoZipFaults(const RunPlan& plan,
                                       const std::vector<ArchiveEntry>& undoTemplate,
                                       const std::vector<ArchiveEntry>& undo) {
    const FileRecords expected({&undoTemplate, &plan.removed});
    const FileRecords held({&undo});
    std::vector<std::string> faults;
    const auto& wanted = expected.all();
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const std::string& key = wanted[i].key;
        if ((i == 0 || wanted[i - 1].key != key) &&
            !sameFiles(expected.named(key), held.named(key)))
            faults.push_back(wanted[i].entry->path);
    }
    const auto& found = held.all();
    for (std::size_t i = 0; i < found.size(); ++i)
        if ((i == 0 || found[i - 1].key != found[i].key) && expected.named(found[i].key).empty())
            faults.push_back(found[i].entry->path);
    return faults;
}
