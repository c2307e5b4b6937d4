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
    std::vector<std::string> skipped;  // its paths that are never handed to 7z
};

// What a run of a request will do to a ROM zip, worked out from the ROM's listing and the add
// folder, without writing anything. Folders are left out: only files count.
struct RunPlan {
    std::vector<PlannedApp> apps;
    std::vector<ArchiveEntry> removed;  // every file removed, once, in the listing's order
    // Files of the add folder (relative names, '/' between folders) that are new to the ROM once
    // the removal is done, and those that replace a file the ROM keeps.
    std::vector<std::string> adds;
    std::vector<std::string> replaces;
    std::uint64_t bytesFreed = 0;        // the removed files' sizes
    std::uint64_t packedBytesFreed = 0;  // what they take in the zip
};

// `addFiles`: the add folder's files (AddFolderContent::files) when the request adds apps.
RunPlan planRun(const CustomizeRequest& request, const std::vector<ArchiveEntry>& rom,
                const std::vector<std::string>& addFiles);

// How a ROM zip after a run compares with the plan. Names compare as 7z compares them.
struct RunCheck {
    bool tested = false;                  // 7z's test of the zip passed
    std::vector<std::string> notRemoved;  // planned removals still there
    std::vector<std::string> notAdded;    // planned additions missing
    std::vector<std::string> changed;     // files no step was to touch, gone, new or altered
    bool matches() const {
        return tested && notRemoved.empty() && notAdded.empty() && changed.empty();
    }
};

// Compares the ROM's files before (`before`) and after (`after`) the run with the plan; every
// file neither removed nor added must keep its size and CRC.
RunCheck checkRun(const RunPlan& plan, const std::vector<ArchiveEntry>& before,
                  const std::vector<ArchiveEntry>& after, bool tested);
