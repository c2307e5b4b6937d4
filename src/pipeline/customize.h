// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pipeline/block_rom.h"
#include "pipeline/plan.h"
#include "pipeline/request.h"
#include "platform/file_layer.h"
#include "tools/archive_listing.h"

#include <memory>

#include <string>
#include <vector>

class Reporter;
struct ProgramPaths;

// How far a run got.
enum class RunEnd {
    refused,  // the ROM or the add folder was refused before anything was written
    // A step before the removal (the backup, the undo zip) showed an "Error" and ended the run:
    // the removal never started. A stop in the undo zip ends so too.
    failedBeforeRemoval,
    warned,    // every step ran, but one of them showed a warning, or paths were skipped
    complete,  // every step succeeded and every ticked path reached the archiver
};

struct RunResult {
    RunEnd end = RunEnd::refused;
    std::string backup;                // the backup this run wrote, "" for none
    std::string undoZip;               // the undo zip this run wrote, "" for none
    std::vector<std::string> skipped;  // ticked paths that were not handed to 7z
    bool interrupted = false;          // the run was stopped while 7z removed or added files
    // The run was stopped while 7z listed the ROM zip for the check after a step that changed
    // it: that step had ended, and the ROM zip was not checked.
    bool stoppedInCheck = false;
    // The ROM zip compared with the plan after the last step that changed it (or, with the zip
    // test asked for, after the run); `checked` false when the run did not get there.
    RunCheck check;
    bool checked = false;
    bool differs = false;  // every step succeeded, but the ROM zip differs from the plan
};

// What a run works from, found before anything is written.
struct PreparedRun {
    CustomizeRequest request;                // the ROM path taken at a symbolic link's target
    ArchiveListing rom;                      // the ROM zip's listing
    std::vector<ArchiveEntry> undoTemplate;  // the undo template's listing, with the undo zip asked
    RunPlan plan;
    std::unique_ptr<RomLock> lock;  // held from before the listing to the end of the run
    // The ROM's block images, rebuilt; null when it has none. Gone before the lock is let go.
    std::unique_ptr<BlockRom> blocks;
};

// The checks that come before anything is written, and the plan. "" when the run may go ahead;
// otherwise the text of the "Error" that refuses it (see customize for each). With `lock`, the ROM
// zip's lock is taken first (a run that holds it refused) and, once the run is accepted, what a
// killed run left is removed; without, nothing at all is written (a plan shown, not carried out).
// Block images that `prepared` already holds (RomContent::blocks) serve the plan when they were
// rebuilt from the ROM zip as its listing now stands; otherwise they are rebuilt.
std::string prepareRun(const CustomizeRequest& request, const ProgramPaths& paths,
                       PreparedRun& prepared, bool lock = true);

// Why the ROM zip at `romPath` can't be read for a run or for its apps: "Can't access " + the
// path when it names no file; or "".
std::string romPathFault(const std::string& romPath);

// What "Customize!" does: checks the ROM, then backup, undo zip, removal and adding, as the
// request's options say, each announced as the status.
//
// Nothing is written when the ROM path is empty ("Error" / "Please select Rom") or names no
// file ("Error" / "Can't access " + the path), nor when 7z can't read the ROM as a zip ("Error" /
// "Can't read " + the path + " as a zip archive"), nor when the ROM lies among the program's
// working files (in the extraction or definition folder, or the undo template: "Error" / "Can't
// work on " + the path ...), nor when another run, of any front-end or program folder, holds the
// ROM's lock ("Error" / "Another run is working on this ROM zip: " + the path ...), nor, with
// adding asked for, when the add folder holds a FIFO, device or socket ("Error" / "Can't add " +
// its path), a file whose name 7z can't be handed ("Can't add " + its path + the reason) or a
// folder that can't be read ("Can't read " + it). The lock is held until the run ends; while it
// holds it, the run first removes what a killed run left beside the ROM (leftoversBeside). A
// failed backup or undo zip ends the run before anything is removed, with its "Error". A step
// with nothing to do runs no archiver. The run ends with "Finish" only when every step succeeded
// and every ticked path reached the archiver; otherwise with a "Warning" that names the skipped
// paths and asks the user to check the ROM zip before flashing it. The status reads "Ready" after
// every run that got past the checks. When an earlier undo zip made this run's take a numbered
// name, the closing text names it on a second line. A ROM chosen through a symbolic link is
// worked on at the link's target, where its backup and undo zip go too; the link stays a link.
//
// The plan decides every step: the undo zip holds exactly the files it removes, 7z is handed
// exactly its entries, and a plan with nothing to remove runs no removal. A plan that can't be
// carried out (what the undo zip can't give back, an added file over two entries of one name) is
// refused with "Error" before anything is written. After the run's last step that changed the
// ROM zip (the adding, when there are files to add; otherwise the removal), the ROM zip is listed
// again and compared with the plan; a difference ends the run with a "Warning" that names it.
//
// A run that the reporter stops (Reporter::carryOn) kills 7z in its step: stopped in the undo zip,
// it ends as a failed undo zip does; stopped in the removal or the adding, no later step runs
// and it ends with the "Warning", which says it was stopped.
RunResult customize(const CustomizeRequest& request, const ProgramPaths& paths, Reporter& reporter);
// The same for a run prepareRun has accepted.
RunResult customize(const PreparedRun& prepared, const ProgramPaths& paths, Reporter& reporter);
