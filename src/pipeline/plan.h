// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pipeline/request.h"
#include "tools/archive_listing.h"

#include <cstdint>
#include <string>
#include <vector>

// What one ticked entry takes out of a ROM zip.
struct PlannedApp {
    TickedEntry ticked;
    // The files of the ROM its paths delete, in the listing's order; a file that an earlier
    // entry already takes is counted there only.
    std::vector<ArchiveEntry> removes;
    std::vector<std::string> absent;   // its paths that name nothing in this ROM
    std::vector<std::string> skipped;  // its paths that can't name an entry literally
    // Files its paths name that 7z can't be handed by a name that takes them alone (`/x`,
    // `a/./b`, a name with a double quote, or one that would take such a file with it): they
    // stay in the ROM.
    std::vector<std::string> unreachable;
};

// What a run of a request will do to a ROM zip, worked out from the ROM's listing and the add
// folder, without writing anything. Every step works from it: the undo zip holds exactly
// `removed`, 7z is handed exactly `removalNames`, and the checks compare the ROM with it.
// Folders count only in `removalNames`: everything else is about files.
struct RunPlan {
    std::vector<PlannedApp> apps;
    std::vector<ArchiveEntry> removed;  // every file removed, once, in the listing's order
    // What 7z is handed to delete, as the listing spells it: the removed files, and the folders
    // that hold nothing else, in the listing's order.
    std::vector<std::string> removalNames;
    // Files of the add folder (relative names, '/' between folders) that are new to the ROM once
    // the removal is done, and those that replace a file the ROM keeps.
    std::vector<std::string> adds;
    std::vector<std::string> replaces;
    // Entries of the ROM zip that the removal writes anew: a block image's new data and transfer
    // list, when files inside the image go.
    std::vector<std::string> rewritten;
    std::uint64_t bytesFreed = 0;        // the removed files' sizes
    std::uint64_t packedBytesFreed = 0;  // what they take in the zip
    // Why the run can't be done as asked, each "name: reason"; a run with any is refused before
    // anything is written.
    std::vector<std::string> refusals;

    // The apps' skipped paths and unreachable files: what was ticked but stays.
    std::vector<std::string> leftOut() const;
};

// `addFiles`: the add folder's files (AddFolderContent::files) when the request adds apps.
// `undoTemplate`: the undo template's listing when the request builds an undo zip; the removal
// is refused when the undo zip can't hold or restore what it removes (a name the template holds,
// two entries of one name, an encrypted entry, a symbolic link, a name with a tab, CR or LF, a
// name no file of this system can have, a file with files below its name).
RunPlan planRun(const CustomizeRequest& request, const std::vector<ArchiveEntry>& rom,
                const std::vector<std::string>& addFiles,
                const std::vector<ArchiveEntry>& undoTemplate = {});

// How a ROM zip after a run compares with the plan. Names compare as 7z compares them.
struct RunCheck {
    bool tested = false;                  // 7z read the zip whole
    std::vector<std::string> notRemoved;  // planned removals still there
    std::vector<std::string> notAdded;    // planned additions missing
    std::vector<std::string> changed;     // files no step was to touch, gone, new or altered
    bool matches() const {
        return tested && notRemoved.empty() && notAdded.empty() && changed.empty();
    }
};

// Compares the ROM's files before (`before`) and after (`after`) the run with the plan; every
// file neither removed nor added must keep its size and CRC. `added`: whether the adding ran, so
// that the plan's added files are due. Linear in the listings' length.
RunCheck checkRun(const RunPlan& plan, const std::vector<ArchiveEntry>& before,
                  const std::vector<ArchiveEntry>& after, bool tested, bool added = true);

// The check of an undo zip: `undo` (its listing) holds the template's files unchanged and the
// plan's removed files with the ROM's sizes and CRCs, and no other file. The names of what is
// missing, altered or extra; none when it is whole.
std::vector<std::string> undoZipFaults(const RunPlan& plan,
                                       const std::vector<ArchiveEntry>& undoTemplate,
                                       const std::vector<ArchiveEntry>& undo);
