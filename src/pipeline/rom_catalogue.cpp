// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/rom_catalogue.h"

#include "pipeline/removal.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <unordered_map>

std::string shownSize(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    constexpr const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 * 0.9995 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::vector<ListedEntry> listedEntries(const std::vector<ArchiveEntry>& rom) {
    std::vector<ListedEntry> listed;
    listed.reserve(rom.size());
    for (const ArchiveEntry& entry : rom)
        listed.push_back({entry.path, entry.size, entry.isFolder});
    return listed;
}

std::string foundAppDescription(const RomApp& app) {
    const ApkIdentity& identity = app.reading.identity;
    const std::string& version =
        identity.versionName.empty() ? identity.versionCode : identity.versionName;
    std::string text = (identity.package.empty() ? std::string("no package") : identity.package) +
                       " \xC2\xB7 " + (version.empty() ? std::string("no version") : version) +
                       " \xC2\xB7 " + shownSize(app.found.size);
    if (!app.reading.complete()) text += " (" + app.reading.problem + ")";
    return text;
}

namespace {

// The keys of a listing's names, sorted, to tell whether a path names anything in it.
class HeldNames {
public:
    explicit HeldNames(const std::vector<ArchiveEntry>& rom) {
        keys_.reserve(rom.size());
        for (const ArchiveEntry& entry : rom) keys_.push_back(archiverNameKey(entry.path));
        std::sort(keys_.begin(), keys_.end());
    }
    // Whether the definition path names an entry, or a folder with entries below it.
    bool holds(const std::string& path) const {
        const std::string key = definitionPathKey(path);
        if (std::binary_search(keys_.begin(), keys_.end(), key)) return true;
        const auto below = std::lower_bound(keys_.begin(), keys_.end(), key + '/');
        return below != keys_.end() && below->starts_with(key + '/');
    }

private:
    std::vector<std::string> keys_;
};

// Whether a definition path names the APK at `apkKey` or a folder above it.
bool pathCovers(const std::string& path, const std::string& apkKey) {
    const std::string key = definitionPathKey(path);
    return !key.empty() && (apkKey == key || apkKey.starts_with(key + '/'));
}

}  // namespace

void unfitCatalogue(Catalogue& catalogue) {
    std::erase_if(catalogue.entries, [](const auto& entry) { return entry->found; });
    for (const auto& entry : catalogue.entries) {
        if (entry->definedFiles) entry->files = *entry->definedFiles;
        entry->inRom = true;
    }
}

void fitCatalogueToRom(Catalogue& catalogue, const std::vector<ArchiveEntry>& rom,
                       const std::vector<RomApp>& apps) {
    unfitCatalogue(catalogue);

    std::unordered_map<std::string, const RomApp*> appOfPackage;
    for (const RomApp& app : apps)
        if (!app.reading.identity.package.empty())
            appOfPackage.emplace(lowerName(app.reading.identity.package), &app);

    const HeldNames held(rom);
    std::vector<bool> covered(apps.size(), false);
    for (const auto& entry : catalogue.entries) {
        if (!entry->definedFiles && !entry->package.empty()) entry->definedFiles = entry->files;
        const auto byPackage = entry->package.empty()
                                   ? appOfPackage.end()
                                   : appOfPackage.find(lowerName(entry->package));
        // Its own paths stay: a definition may name other APKs than its package's.
        if (byPackage != appOfPackage.end())
            entry->files.insert(entry->files.end(), byPackage->second->found.entries.begin(),
                                byPackage->second->found.entries.end());

        entry->inRom = byPackage != appOfPackage.end();
        for (const auto* paths : {&entry->files, &entry->widgetFiles})
            for (const std::string& path : *paths) entry->inRom = entry->inRom || held.holds(path);

        for (std::size_t a = 0; a < apps.size(); ++a) {
            if (covered[a]) continue;
            const std::string apkKey = archiverNameKey(apps[a].found.apkPath);
            const auto names = [&](const std::vector<std::string>& paths) {
                return std::any_of(paths.begin(), paths.end(), [&](const std::string& path) {
                    return pathCovers(path, apkKey);
                });
            };
            covered[a] = (byPackage != appOfPackage.end() && byPackage->second == &apps[a]) ||
                         names(entry->files) || names(entry->widgetFiles);
        }
    }

    for (std::size_t a = 0; a < apps.size(); ++a) {
        if (covered[a]) continue;
        auto entry = std::make_unique<CatalogueEntry>();
        // A label is shown on one line of the list, whose rows split at a line feed.
        entry->name = apps[a].name();
        std::replace_if(
            entry->name.begin(), entry->name.end(),
            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
        entry->description = foundAppDescription(apps[a]);
        entry->package = apps[a].reading.identity.package;
        entry->files = apps[a].found.entries;
        entry->found = true;
        catalogue.entries.push_back(std::move(entry));
    }
    sortCatalogue(catalogue);
}

std::vector<const RomApp*> appsStoodFor(const CatalogueEntry& entry,
                                        const std::vector<RomApp>& apps) {
    std::vector<const RomApp*> stoodFor;
    for (const RomApp& app : apps) {
        const std::string apkKey = archiverNameKey(app.found.apkPath);
        const auto names = [&](const std::vector<std::string>& paths) {
            return std::any_of(paths.begin(), paths.end(),
                               [&](const std::string& path) { return pathCovers(path, apkKey); });
        };
        if (names(entry.files) || names(entry.widgetFiles)) stoodFor.push_back(&app);
    }
    return stoodFor;
}
