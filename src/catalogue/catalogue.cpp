// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"

#include "catalogue/ini_file.h"
#include "platform/ascii.h"
#include "platform/text.h"
#include "platform/utf8.h"

#include <algorithm>

namespace {

// Whether the path at the cursor reaches 7z with every character the file gave it.
bool pathHeldWhole(const IniFile& file, const std::string& text, const std::string& stored) {
    if (!file.utf8Mode()) return true;
    return archiverNamesAreUtf8() ? isUtf8(stored) : latin1ToUtf8(text) == stored;
}

void readPaths(IniFile& file, std::string_view group, std::vector<std::string>& paths,
               std::vector<std::string>& lost) {
    file.selectGroup(group);
    if (!file.beginKeys()) return;
    while (file.nextKey()) {
        const std::string text = file.keyValue();
        const std::string stored = file.storedKeyValue();
        if (!pathHeldWhole(file, text, stored))
            lost.push_back(normaliseDefinitionPath(text));
        else if (file.utf8Mode() && archiverNamesAreUtf8())
            paths.push_back(normaliseDefinitionPath(stored));
        else
            paths.push_back(normaliseDefinitionPath(text));
    }
}

}  // namespace

bool loadDefinitions(Catalogue& catalogue, const std::string& definitionFolder) {
    std::vector<std::string> names;
    if (!listDefinitionFiles(definitionFolder, names)) return false;
    catalogue.entries.reserve(catalogue.entries.size() + names.size());
    catalogue.entryByName.reserve(catalogue.entryByName.size() + names.size());

    IniFile file;
    for (const std::string& name : names) {
        std::string path = definitionFolder + name;
        if (!file.open(path)) continue;
        file.selectGroup("main");
        // Names and descriptions are UTF-8 whatever the file's encoding: what the file holds
        // when that is UTF-8, otherwise its Windows-1252 text converted.
        std::string appName = textAsUtf8(file.readStoredString("appname", ""));
        const std::int32_t enabled = file.readNumber("enabled", 0);
        const std::int32_t widget = file.readNumber("widget", 0);
        if (appName.empty()) {
            file.close();
            continue;
        }

        auto entry = std::make_unique<CatalogueEntry>();
        entry->name = std::move(appName);
        entry->description = textAsUtf8(file.readStoredString("description", ""));
        entry->package = file.readString("package", "");
        entry->definitionFile = std::move(path);
        // Only the low 8 bits are kept: "enabled = 256" starts unticked, while "widget = 256"
        // still has its widget files read below, since that test uses the whole number.
        entry->isWidget = static_cast<std::uint8_t>(widget);
        entry->enabled = static_cast<std::uint8_t>(enabled);
        readPaths(file, "files", entry->files, entry->lostFiles);
        if (widget != 0)
            readPaths(file, "widget_files", entry->widgetFiles, entry->lostWidgetFiles);
        file.close();

        catalogue.entries.push_back(std::move(entry));
        CatalogueEntry& added = *catalogue.entries.back();
        catalogue.entryByName[nameKey(added.name)] = &added;
    }
    return true;
}

void sortCatalogue(Catalogue& catalogue) {
    const auto before = [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return static_cast<unsigned char>(lowerAscii(x)) <
                                                       static_cast<unsigned char>(lowerAscii(y));
                                            });
    };
    std::stable_sort(catalogue.entries.begin(), catalogue.entries.end(),
                     [&](const auto& a, const auto& b) { return before(a->name, b->name); });
}

std::string nameKey(std::string_view name) { return lowerUtf8Letters(textAsUtf8(name)); }

CatalogueEntry* entryOfPackage(const Catalogue& catalogue, const std::string& package) {
    if (package.empty()) return nullptr;
    const std::string key = nameKey(package);
    CatalogueEntry* foundApp = nullptr;
    for (const auto& entry : catalogue.entries) {
        if (entry->package.empty() || nameKey(entry->package) != key) continue;
        if (!entry->found) return entry.get();
        if (!foundApp) foundApp = entry.get();
    }
    return foundApp;
}

std::string listName(const CatalogueEntry& entry) {
    return nameKey(entry.found && !entry.package.empty() ? entry.package : entry.name);
}

CatalogueEntry* entryOfListName(const Catalogue& catalogue, const std::string& name) {
    const auto named = catalogue.entryByName.find(nameKey(name));
    return named != catalogue.entryByName.end() ? named->second
                                                : entryOfPackage(catalogue, nameKey(name));
}
