// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/customize.h"

#include "pipeline/add_apps.h"
#include "pipeline/leftovers.h"
#include "pipeline/removal.h"
#include "pipeline/reporter.h"
#include "pipeline/undo_zip.h"
#include "platform/archiver_check.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/stop_signals.h"
#include "platform/text.h"
#include "tools/archive_listing.h"
#include "tools/archiver.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t namesShown = 10;

// True when the run's adding step has files to add.
bool addsFiles(const PreparedRun& prepared) {
    const RunPlan& plan = prepared.plan;
    return prepared.request.options.addApps && (!plan.adds.empty() || !plan.replaces.empty());
}

// True when the plan has 7z write a new ROM zip in place of the old file: the removal, or an
// adding with something to add.
bool rewritesRom(const PreparedRun& prepared) {
    const RunPlan& plan = prepared.plan;
    return !plan.removalNames.empty() || !plan.rewritten.empty() || addsFiles(prepared);
}

// Puts the backup at the first free backup name, only while nothing stands there: a backup that
// another run made meanwhile is never replaced, the next number is taken. When 7z is to replace
// the ROM file (`rewritten`), the backup is a second name of the old file, which 7z leaves as it
// is; otherwise, or where the file system has no such names, a copy. The backup's path, or ""
// when it can't be made (then said, and nothing of it left).
std::string makeBackup(Reporter& reporter, const std::string& romPath, bool rewritten) {
    for (int tries = 0; rewritten && tries < 1000; ++tries) {
        std::string backup = firstFreeNumbered(romPath + "_BU_");
        const Placed linked = linkWithoutReplacing(romPath, backup);
        if (linked == Placed::done) return backup;
        if (linked == Placed::failed) break;
    }
    std::string backup = firstFreeNumbered(romPath + "_BU_");
    const std::string copy =
        copyBeside(romPath, backup, [&reporter] { return reporter.carryOn(); });
    // A stop during the copy ends the run there: nothing else has been written.
    if (copy.empty() && !reporter.carryOn()) {
        reporter.message(archiverWarningTitle,
                         "The run was stopped during the backup copy, which was removed. Nothing "
                         "was changed.");
        return "";
    }
    if (!copy.empty()) {
        Placed placed = renameWithoutReplacing(copy, backup);
        for (int tries = 0; placed == Placed::nameTaken && tries < 1000; ++tries) {
            backup = firstFreeNumbered(romPath + "_BU_");
            placed = renameWithoutReplacing(copy, backup);
        }
        if (placed == Placed::done) return backup;
        removeFile(copy);
    }
    reporter.message("Error", "Can't create backup " + backup);
    return "";
}

// A backup that is a second name of the ROM file is the old ROM only once 7z has replaced that
// file. A run that ends without (stopped, a step failed first) gives the backup a file of its
// own, so that the two names never share one file after the run.
void separateBackup(Reporter& reporter, const std::string& romPath, RunResult& result) {
    if (result.backup.empty() || !sameFile(result.backup, romPath)) return;
    reporter.status("Creating Backup ...");
    // Not stopped by a stop under way: the backup must not be left a name of the ROM zip.
    const std::string copy = copyBeside(romPath, result.backup);
    if (!copy.empty() && renameFile(copy, result.backup)) return;
    if (!copy.empty()) removeFile(copy);
    // The ROM file is the one it was before the run: nothing is lost without the backup.
    if (removeFile(result.backup) || !pathExists(result.backup)) {
        reporter.message(archiverWarningTitle, "Can't create backup " + result.backup +
                                                   "\rThe ROM zip was not changed, and no backup "
                                                   "of it was kept.");
        result.backup.clear();
        return;
    }
    // Another program holds the ROM file open (Windows lets no name of it go then): the backup
    // stays a second name of the unchanged ROM file, and says so.
    reporter.message(archiverWarningTitle,
                     "Can't make the backup " + result.backup +
                         " a copy of its own\rIt stays a second name of the ROM zip file, which "
                         "was not changed.");
}

// `heading` and the first few of `names`, one a line.
std::string namedLines(std::string text, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size() && i < namesShown; ++i) text += "\r" + names[i];
    if (names.size() > namesShown)
        text += "\r... and " + std::to_string(names.size() - namesShown) + " more";
    return text;
}

// A ROM zip among the program's working files would be taken for one of them: the undo zip's
// files are extracted below app/undo/files/ and removed from there with everything else a run
// left, and the definition folder and the template are the program's own. "" when it lies
// elsewhere.
std::string workingFilesFault(const ProgramPaths& paths, const std::string& romPath) {
    std::string workingFile;
    if (sameFile(romPath, paths.undoTemplate)) workingFile = paths.undoTemplate;
    for (const std::string& folder : {paths.extractionFolder, paths.definitionFolder}) {
        for (fs::path inside = fileSystemPath(romPath).parent_path();
             workingFile.empty() && !inside.empty(); inside = inside.parent_path()) {
            if (sameFile(programPath(inside), folder)) workingFile = folder;
            if (inside == inside.parent_path()) break;
        }
    }
    if (workingFile.empty()) return "";
    return "Can't work on " + romPath + ", which lies among the program's working files (" +
           workingFile + "). Move it elsewhere first.";
}

// Two runs on one ROM zip would each back it up, save and remove from it as if alone. "" when
// this run may go on.
std::string lockFault(const std::string& romPath, const RomLock& lock) {
    switch (lock.state()) {
        case RomLock::State::busy:
            return "Another run is working on this ROM zip: " + romPath +
                   "\rWait until it has ended, then start again.";
        case RomLock::State::blocked:
            return "Can't lock " + romPath + ": something other than a lock file stands at " +
                   RomLock::lockPath(romPath);
        case RomLock::State::held:
        case RomLock::State::unusable:  // nothing can be written beside it: each step says so
            return "";
    }
    return "";
}

// The folder a run works in, below the shared extraction folder, removed with the run however it
// ends: its extraction folder, whose files all go into the undo zip, and beside that the list of
// names handed to 7z. Named after the ROM zip, so that a later run on it can tell one a killed
// run left.
class RunFolder {
public:
    RunFolder(const ProgramPaths& paths, const std::string& romPath)
        : paths_(paths), shared_(paths.extractionFolder) {
        makeFolder(paths.extractionFolder);
        folder_ = makeFreshFolder(paths.extractionFolder, runFolderPrefix(romPath));
        paths_.extractionFolder = folder_.empty() ? "" : folder_ + "files" + pathSeparator;
        if (!folder_.empty() && !makeFolder(paths_.extractionFolder)) paths_.extractionFolder = "";
    }
    ~RunFolder() {
        if (!folder_.empty()) removeTree(folder_);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // The program's paths with this run's extraction folder; "" for it when none could be made.
    const ProgramPaths& paths() const { return paths_; }

    // Why the folder could not be made, or "" when it was.
    std::string fault() const {
        if (!paths_.extractionFolder.empty()) return "";
        const std::string reason = whyFolderIsNotWritable(shared_);
        return "Can't make a working folder for the run in " + shared_ +
               (reason.empty() ? "" : " (" + reason + ")") + "; nothing was changed.";
    }

private:
    ProgramPaths paths_;
    std::string shared_;  // the extraction folder all runs make theirs in
    std::string folder_;
};

// True when the archiver's step succeeded; otherwise its warning has been shown.
bool succeeded(Reporter& reporter, const ArchiverResult& result) {
    if (!result.warning.empty()) reporter.message(archiverWarningTitle, result.warning);
    return result.outcome == ArchiverOutcome::succeeded;
}

// The ROM zip's listing after the last step that changed it, while no step has changed it since.
struct LastListing {
    ArchiveListing listing;
    bool current = false;
};

// Lists the ROM zip after a step (into `last`) and compares it with the plan; a difference is
// shown under "Warning". True when it matches. A listing still current in `last` is compared
// again instead: 7z's test changes nothing.
bool matchesPlan(Reporter& reporter, const ProgramPaths& paths, const PreparedRun& prepared,
                 bool added, bool tested, RunResult& result, LastListing& last) {
    const std::string& romPath = prepared.request.romPath;
    if (!last.current)
        last.listing =
            listArchive(paths.archiverProgram, romPath, [&reporter] { return reporter.carryOn(); });
    if (last.listing.stopped) {
        result.stoppedInCheck = result.interrupted = true;
        return false;
    }
    last.current = true;
    const ArchiveListing& after = last.listing;
    result.check = checkRun(prepared.plan, prepared.rom.entries, after.entries,
                            tested && after.readable, added);
    result.checked = true;
    if (result.check.matches()) return true;
    result.differs = true;
    if (!result.check.tested) {
        reporter.message(archiverWarningTitle,
                         "Can't read " + romPath + " as a zip archive " +
                             (added ? "after the adding" : "after the removal"));
        return false;
    }
    std::vector<std::string> lines;
    for (const std::string& path : result.check.notRemoved) lines.push_back("still there: " + path);
    for (const std::string& path : result.check.notAdded) lines.push_back("not added: " + path);
    for (const std::string& path : result.check.changed) lines.push_back("changed: " + path);
    reporter.message(archiverWarningTitle,
                     namedLines(std::string("The ROM zip differs from what the run was to do ") +
                                    (added ? "after the adding:" : "after the removal:"),
                                lines));
    return false;
}

// Ends a run stopped while 7z changed the ROM zip: no later step runs.
RunResult interrupted(RunResult result) {
    result.end = RunEnd::warned;
    result.interrupted = true;
    return result;
}

// The steps that work in the run's own folder, removed when they end: the backup, the undo zip
// and the removal. False when the run ends with them, as `result` says.
bool saveAndRemove(const PreparedRun& prepared, const ProgramPaths& programPaths,
                   Reporter& reporter, RunResult& result, LastListing& last) {
    const CustomizeRequest& request = prepared.request;
    const RunPlan& plan = prepared.plan;
    const std::string& romPath = request.romPath;
    const RunFolder runFolder(programPaths, romPath);
    const ProgramPaths& paths = runFolder.paths();
    result.end = RunEnd::failedBeforeRemoval;
    // The undo zip's files and the list of names 7z removes go nowhere else: never into
    // whatever folder the program happens to have been started in.
    if (request.options.undoZip || !plan.removalNames.empty()) {
        if (const std::string fault = runFolder.fault(); !fault.empty()) {
            reporter.message("Error", fault);
            return false;
        }
    }
    if (request.options.backup) {
        reporter.status("Creating Backup ...");
        // The ROM is edited in place: without a whole backup nothing may touch it.
        result.backup = makeBackup(reporter, romPath, rewritesRom(prepared));
        if (result.backup.empty()) return false;
    }

    if (request.options.undoZip) {
        reporter.status("Generation recovery CWM zip ...");
        result.undoZip = createUndoZip(reporter, paths, romPath, plan, prepared.undoTemplate,
                                       prepared.blocks.get());
        if (result.undoZip.empty()) return false;
    }

    reporter.status("Removing files ...");
    if (plan.removalNames.empty() && plan.rewritten.empty()) return true;
    ArchiverResult removed;
    if (!plan.rewritten.empty())
        removed = prepared.blocks->slim(paths.archiverProgram, romPath, progressOf(reporter));
    const std::string listFile = nameListPath(paths.extractionFolder);
    if (removed.outcome == ArchiverOutcome::succeeded)
        removed = runOnNames(paths.archiverProgram, removalCommand(romPath, listFile), listFile,
                             plan.removalNames, progressOf(reporter));
    // A stopped run adds nothing to a ROM whose removal did not finish, and nothing more is done
    // to a ROM zip whose removal failed, or, with nothing to add, went otherwise than planned.
    if (removed.outcome == ArchiverOutcome::stopped) {
        succeeded(reporter, removed);
        result = interrupted(result);
        return false;
    }
    // With files to add, the one listing after the adding checks the removal as well.
    if (succeeded(reporter, removed) &&
        (addsFiles(prepared) || matchesPlan(reporter, paths, prepared, false, true, result, last)))
        return true;
    result.end = RunEnd::warned;
    return false;
}

RunResult runSteps(const PreparedRun& prepared, const ProgramPaths& paths, Reporter& reporter) {
    const CustomizeRequest& request = prepared.request;
    const std::string& romPath = request.romPath;
    RunResult result;
    LastListing last;
    if (!saveAndRemove(prepared, paths, reporter, result, last)) return result;

    bool warned = false;
    if (request.options.addApps) {
        reporter.status("Adding files ...");
        const ArchiverOutcome added = addApps(reporter, paths, romPath);
        if (added == ArchiverOutcome::stopped) return interrupted(result);
        last.current = false;
        warned = added != ArchiverOutcome::succeeded ||
                 (addsFiles(prepared) &&
                  !matchesPlan(reporter, paths, prepared, true, true, result, last));
        if (result.stoppedInCheck) return interrupted(result);
    }
    if (!warned && request.options.testZip) {
        // The console's check: 7z reads every entry, and the listing matches the plan; the one
        // taken after the last step that changed the ROM zip serves, if there is one.
        reporter.status("Checking the ROM zip ...");
        const ArchiverResult test =
            runArchiver(paths.archiverProgram, {"t", {"-spd"}, romPath}, "", progressOf(reporter));
        if (test.outcome == ArchiverOutcome::stopped) return interrupted(result);
        warned = !matchesPlan(reporter, paths, prepared, request.options.addApps,
                              test.outcome == ArchiverOutcome::succeeded, result, last);
        if (result.stoppedInCheck) return interrupted(result);
    }
    result.end = warned ? RunEnd::warned : RunEnd::complete;
    return result;
}

std::string warningText(const std::string& undoLine, const std::vector<std::string>& skipped,
                        const RunResult& run) {
    std::string text =
        "Customization finished, but a step failed. Please check the ROM zip before flashing it." +
        undoLine;
    if (run.stoppedInCheck)
        text +=
            "\rThe run was stopped while 7z listed the ROM zip for its check: the step before "
            "had ended, the ROM zip was not checked, and the steps after it did not run.";
    else if (run.interrupted)
        text +=
            "\rThe run was stopped: 7z was ended in the middle of a step and the steps after "
            "it did not run.";
    if (skipped.empty()) return text;
    return namedLines(text +
                          "\rThese paths were skipped, since the archiver can't be handed "
                          "them safely:",
                      skipped);
}

// Why 7z could not read the ROM zip as a zip archive, as far as the program can tell.
std::string unreadableRomText(const ProgramPaths& paths, const std::string& romPath,
                              const ArchiveListing& listing) {
    std::string text = "Can't read " + romPath + " as a zip archive";
    if (!listing.archiverStarted) text += "\rThe 7z archiver could not be started.";
    if (const std::string fault = archiverLibraryFault(paths); !fault.empty()) text += "\r" + fault;
    return text;
}

// A block image is rebuilt beside the ROM zip, so that the plan sees the files inside it;
// images a reading of the same ROM zip left in `prepared` serve while its entries are
// unchanged. Why the ROM zip's images can't be changed, or "".
std::string blockImageFault(PreparedRun& prepared) {
    const std::string& romPath = prepared.request.romPath;
    if (prepared.blocks && !prepared.blocks->rebuiltFrom(romPath, prepared.rom.entries))
        prepared.blocks.reset();
    if (prepared.lock && prepared.lock->state() == RomLock::State::held)
        removeLeftoverBlockFolders(romPath, prepared.blocks ? prepared.blocks->folder() : "");
    if (prepared.blocks) return "";
    const std::string fault = BlockRom::open(
        romPath, prepared.rom.entries, [] { return StopSignals::caught() == 0; }, prepared.blocks);
    return fault.empty() ? "" : "Can't customize " + romPath + "; nothing was changed:\r" + fault;
}

}  // namespace

std::string romPathFault(const std::string& romPath) {
    return fileSize(romPath) < 0 ? "Can't access " + romPath : "";
}

std::string prepareRun(const CustomizeRequest& asked, const ProgramPaths& paths,
                       PreparedRun& prepared, bool lock) {
    if (asked.romPath.empty()) return "Please select Rom";
    // 7z writes the new archive beside the old one and renames it into place: a ROM chosen
    // through a link is edited at its target, or the link would become a file of its own; and
    // one typed in another case keeps its name on disk.
    prepared.request = asked;
    prepared.request.romPath = linkTarget(fullPath(asked.romPath));
    const std::string& romPath = prepared.request.romPath;
    const RunOptions& options = prepared.request.options;
    if (const std::string fault = romPathFault(romPath); !fault.empty()) return fault;
    if (const std::string fault = workingFilesFault(paths, romPath); !fault.empty()) return fault;
    if (lock) {
        prepared.lock = std::make_unique<RomLock>(romPath);
        if (const std::string fault = lockFault(romPath, *prepared.lock); !fault.empty())
            return fault;
    }
    // The template's listing, for the undo zip's check, runs while the ROM is listed; one that
    // is not finished stops its 7z. A template that can't be listed fails at the undo zip's own
    // step, as one that can't be copied does.
    std::optional<PendingListing> templateListing;
    if (options.undoZip) templateListing.emplace(paths.archiverProgram, paths.undoTemplate);
    // 7z must read the ROM as a zip before anything is written: otherwise the backup, the undo
    // zip and the steps after them would be made from something that is no ROM.
    prepared.rom = listArchive(paths.archiverProgram, romPath);
    if (!prepared.rom.readable) return unreadableRomText(paths, romPath, prepared.rom);
    if (const std::string fault = blockImageFault(prepared); !fault.empty()) return fault;
    // Found before anything is written: refused only at the add step, the ROM would be left
    // with its files removed and nothing added.
    std::vector<std::string> addFiles;
    if (options.addApps) {
        const AddFolderContent content = addFolderContent(paths.addFolder, romPath);
        if (!content.refused.empty()) return "Can't add " + content.refused + content.refusal;
        if (!content.unreadable.empty()) return "Can't read " + content.unreadable;
        addFiles = content.files;
    }
    if (templateListing) prepared.undoTemplate = templateListing->finish().entries;
    prepared.plan = planRun(
        prepared.request,
        prepared.blocks ? prepared.blocks->withImages(prepared.rom.entries) : prepared.rom.entries,
        addFiles, prepared.undoTemplate);
    if (prepared.blocks) prepared.blocks->fitPlan(prepared.plan);
    if (!prepared.plan.refusals.empty())
        return namedLines("Can't customize " + romPath + " as asked; nothing was changed:",
                          prepared.plan.refusals);
    // What a killed run on this ROM left: no other run is writing it while this one holds it.
    if (prepared.lock && prepared.lock->state() == RomLock::State::held)
        removeLeftovers(romPath, paths.extractionFolder);
    return "";
}

RunResult customize(const PreparedRun& prepared, const ProgramPaths& paths, Reporter& reporter) {
    const std::string& romPath = prepared.request.romPath;
    RunResult run = runSteps(prepared, paths, reporter);
    separateBackup(reporter, romPath, run);
    reporter.status("Ready");
    if (run.end == RunEnd::failedBeforeRemoval) return run;
    // The usual name needs no word; a numbered one tells the user which undo zip is this run's.
    const bool numbered = !run.undoZip.empty() && run.undoZip != romPath + "_undo.zip";
    const std::string undoLine = numbered ? "\rUndo zip: " + run.undoZip : "";
    run.skipped = prepared.plan.leftOut();
    if (!run.skipped.empty()) run.end = RunEnd::warned;
    if (run.end == RunEnd::complete)
        reporter.message("Finish", "Customzation done ;)" + undoLine);
    else
        reporter.message("Warning", warningText(undoLine, run.skipped, run));
    return run;
}

RunResult customize(const CustomizeRequest& request, const ProgramPaths& paths,
                    Reporter& reporter) {
    PreparedRun prepared;
    if (const std::string refusal = prepareRun(request, paths, prepared); !refusal.empty()) {
        reporter.message("Error", refusal);
        return {};
    }
    return customize(prepared, paths, reporter);
}
