// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One removable item of the check list: an app and perhaps its widget.
struct CatalogueEntry {
    std::string name;                      // never empty; UTF-8
    std::string description;               // UTF-8
    std::string definitionFile;            // full path of the definition file
    std::uint8_t isWidget = 0;             // low 8 bits of `widget`
    std::uint8_t enabled = 0;              // low 8 bits of `enabled`: the row starts ticked
    std::int32_t rowIndex = 0;             // the entry's row in the check list
    std::vector<std::string> files;        // in-zip paths of the app
    std::vector<std::string> widgetFiles;  // in-zip paths of the widget; empty unless isWidget
    // Paths of the app and of the widget that lost characters when the definition file was read
    // (a character the text handed to 7z can't hold, or a byte that is not UTF-8 in a UTF-8
    // file). 7z would take the '?' left in their place as a wildcard: they are never handed to
    // it, only named to the user.
    std::vector<std::string> lostFiles;
    std::vector<std::string> lostWidgetFiles;
    // The app's package name: the definition's optional `package` key, or what the APK of an
    // app found in the ROM says; "" when neither tells.
    std::string package;
    // Fitted to a chosen ROM (fitCatalogueToRom): the row of an app of that ROM that no
    // definition covers, and whether the ROM holds any file of the entry.
    bool found = false;
    bool inRom = true;
    // A definition with a package, once fitted: its own paths, `files` then holding them and
    // those of the app of that package wherever the ROM keeps it.
    std::optional<std::vector<std::string>> definedFiles;
};

// Owns every entry. Entries are held by pointer so that the rows of the check list and
// `entryByName` keep pointing at them when `entries` is sorted.
struct Catalogue {
    std::vector<std::unique_ptr<CatalogueEntry>> entries;
    // nameKey of the name -> entry of a definition; of two equal names the later loaded wins.
    // The apps found in a ROM are not in it: removal lists name them by package.
    std::unordered_map<std::string, CatalogueEntry*> entryByName;
};

// Names and descriptions are kept in UTF-8: a value the file holds in UTF-8 as it is, any other
// read as Windows-1252 and converted, with or without the byte-order mark.
//
// Paths are kept as 7z is to be handed them: as 8-bit text, but where 7z takes UTF-8
// (archiverNamesAreUtf8()) a path from a UTF-8 definition file keeps the UTF-8 bytes the file
// holds, so that "Grüße.apk" names the zip entry of that name.
//
// Reads every definition file of `definitionFolder` (ending with a separator) into the
// catalogue. False when the folder can't be listed: the catalogue is then unchanged and the
// check list must not be filled.
bool loadDefinitions(Catalogue& catalogue, const std::string& definitionFolder);

// Sorts the entries by name ignoring the case of A to Z, keeping the order of equal names: the
// order of the check list's rows.
void sortCatalogue(Catalogue& catalogue);

// A name as names are compared, on every build: taken as textAsUtf8 takes it, with the capitals
// of A-Z, Latin-1, Greek and Cyrillic lowered.
std::string nameKey(std::string_view name);

// The entry of `package` (compared by nameKey), or null: a definition with that package before
// an app found in the ROM.
CatalogueEntry* entryOfPackage(const Catalogue& catalogue, const std::string& package);

// The name a removal list keeps an entry under, as nameKey gives it: a definition's name, or the
// package of an app found in the ROM.
std::string listName(const CatalogueEntry& entry);
// The entry a removal list's name stands for (compared by nameKey, so a list written in
// Windows-1252 by an earlier version still names its apps): a definition of that name, else the
// entry of that package. Null when there is none.
CatalogueEntry* entryOfListName(const Catalogue& catalogue, const std::string& name);
