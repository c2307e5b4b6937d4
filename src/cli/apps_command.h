// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/app_knowledge.h"
#include "catalogue/catalogue.h"
#include "cli/arguments.h"
#include "pipeline/block_rom.h"
#include "pipeline/rom_catalogue.h"
#include "tools/archive_listing.h"

#include <memory>
#include <unordered_map>
#include <vector>

// The apps a ROM zip holds, each with the entry of the check list that stands for it.
struct RomFit {
    std::vector<RomApp> apps;
    std::unique_ptr<BlockRom> blocks;  // a block-based ROM zip's images, for the plan to take
    std::unordered_map<const CatalogueEntry*, std::vector<const RomApp*>> appsOf;
};

// Fits the catalogue to the ROM of `listing`: an APK that can't be read costs only its own
// line, a ROM that can't be opened leaves the catalogue as the definitions make it.
void fitToRom(Catalogue& catalogue, const Arguments& arguments, const ArchiveListing& listing,
              RomFit& fit);

// `slimkit-cli apps`: the check list as text or JSON, each entry with what the knowledge says of
// it and, with a ROM, the apps of the ROM it stands for. Its exit status.
int listApps(const Catalogue& catalogue, const Arguments& arguments, const RomFit& fit,
             const AppKnowledge& knowledge);
