// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "apps/rom_apps.h"
#include "blockimage/block_image.h"
#include "pipeline/plan.h"
#include "tools/archive_listing.h"
#include "tools/archiver.h"

#include <memory>
#include <string>
#include <vector>

// The block partitions of a ROM zip, each rebuilt into an image of its own in a private folder
// beside the ROM zip (romPath + "_blocks." and six letters or digits), removed with the object.
// Their files take part in the plan as `<part>/...` entries, as the files of a file-based ROM zip
// do.
class BlockRom {
public:
    // Rebuilds the ROM's block partitions, if it has any (`blocks` stays null when it has none).
    // "" when there are none or all were rebuilt; otherwise why this ROM zip can't be slimmed,
    // for the user, and nothing is left behind. `goesOn` false stops the rebuilding.
    static std::string open(const std::string& romPath, const std::vector<ArchiveEntry>& listing,
                            const BlockGoesOn& goesOn, std::unique_ptr<BlockRom>& blocks);
    ~BlockRom();
    BlockRom(const BlockRom&) = delete;
    BlockRom& operator=(const BlockRom&) = delete;

    // True when these images were rebuilt from the ROM zip at `romPath` as `listing` (a fresh
    // one) lists it: the same partitions, from entries of the same sizes and CRCs. A later
    // reading of the ROM zip can then take them instead of rebuilding them.
    bool rebuiltFrom(const std::string& romPath, const std::vector<ArchiveEntry>& listing) const;
    // The private folder beside the ROM zip, with its trailing separator.
    const std::string& folder() const { return folder_; }

    // The ROM zip's listing with the images' files and folders after it.
    std::vector<ArchiveEntry> withImages(const std::vector<ArchiveEntry>& listing) const;
    // True when `name` (as the plan spells it) lies inside one of the images.
    bool holds(const std::string& name) const;

    // Fits a plan made from withImages() to the images: the names inside them leave
    // `removalNames` (7z never sees them) for this object, their removed files get their CRCs,
    // and the entries of each image that loses anything go into `rewritten`.
    void fitPlan(RunPlan& plan);

    // Writes the removed files of the images into `folder`, under their plan names, for the undo
    // zip. False when one can't be read or written.
    bool extract(const RunPlan& plan, const std::string& folder) const;

    // Every app of `entries` (withImages()), as readRomApps reads them: an APK inside an image is
    // read from it, one in the zip from the ROM zip at `romPath`.
    std::vector<RomApp> readApps(const std::string& romPath,
                                 const std::vector<ArchiveEntry>& entries, std::string& why,
                                 const AppProgress& progress) const;

    // Removes the planned names inside the images, writes each changed image's new data and
    // transfer list, and has 7z put them into the ROM zip in place of the old ones (exactly those
    // entries, through a list file, with 7z's wildcards off).
    ArchiverResult slim(const std::string& archiver, const std::string& romPath,
                        const ProgressSink& progress);

private:
    BlockRom() = default;
    struct Image {
        std::unique_ptr<BlockImage> image;
        std::string prefix;                // "system/"
        std::vector<std::string> removes;  // names inside the image, as the image names them
    };
    std::string folder_;  // ends with '/'
    std::string romPath_;
    std::vector<ArchiveEntry> sources_;  // the entries the images were rebuilt from
    std::vector<Image> images_;
    const Image* imageOf(const std::string& name) const;
};

// What a front-end fits its list to: the ROM zip's entries, with the files inside its block
// images, and its apps.
struct RomContent {
    std::vector<ArchiveEntry> entries;
    std::vector<RomApp> apps;
    // The images read, kept for a run on the same ROM zip to take (BlockRom::rebuiltFrom).
    std::unique_ptr<BlockRom> blocks;
};

// The content of the ROM zip at `romPath`, whose listing is `listing`. A ROM zip with block images
// has them rebuilt beside it for the reading, removed with the content; one that can't be (the
// reason in `why`, as for readRomApps' failures) gives its listing alone and no apps. `goesOn`
// false stops the rebuilding; `progress` the reading of the APKs.
RomContent readRomContent(const std::string& romPath, const std::vector<ArchiveEntry>& listing,
                          std::string& why, const AppProgress& progress = {},
                          const BlockGoesOn& goesOn = {});
