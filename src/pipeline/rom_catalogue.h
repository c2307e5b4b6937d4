// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "apps/rom_apps.h"
#include "catalogue/catalogue.h"
#include "tools/archive_listing.h"

#include <cstdint>
#include <string>
#include <vector>

// A size as people read it: "420 bytes", "15.6 KiB", "1.1 GiB".
std::string shownSize(std::uint64_t bytes);

// The entries of a ROM's listing as the app finder takes them.
std::vector<ListedEntry> listedEntries(const std::vector<ArchiveEntry>& rom);

// "package · version · size" of an app found in a ROM, followed by why its APK could not be
// read whole when it couldn't. The version is its versionName, else its versionCode.
std::string foundAppDescription(const RomApp& app);

// The catalogue as the definitions make it: no found app's entry, every definition with its own
// paths and taken to be in the ROM.
void unfitCatalogue(Catalogue& catalogue);

// Fits the catalogue to the ROM whose listing is `rom` and whose apps are `apps`
// (readRomApps): a definition with a package takes the files of that app wherever this ROM keeps
// it, besides its own paths; a definition none of whose app files this ROM holds is marked as not
// in it; and every app of the ROM that no definition covers (by package, or by a path that names
// its APK or a folder above it) gets an entry of its own, never ticked at start, named by
// RomApp::name(). What an earlier call did for another ROM is undone first. The entries are sorted
// again.
void fitCatalogueToRom(Catalogue& catalogue, const std::vector<ArchiveEntry>& rom,
                       const std::vector<RomApp>& apps);

// The apps of `apps` an entry stands for: a found app's own, the app of a definition's package,
// and those whose APK (or a folder above it) a definition's paths name.
std::vector<const RomApp*> appsStoodFor(const CatalogueEntry& entry,
                                        const std::vector<RomApp>& apps);
