#include "pipeline/customize.h"

#include "pipeline/add_apps.h"
#include "pipeline/removal.h"
#include "pipeline/undo_zip.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "tools/archive_listing.h"
#include "tools/archiver.h"
#include "tools/reporter.h"

#include <vector>

namespace {

constexpr std::size_t skippedPathsNamed = 10;

std::string backupPath(const std::string& romPath) { return firstFreeNumbered(romPath + "_BU_"); }

// The ROM path and the program folder travel between double quotes in the archiver's one-string
// command line; a double quote inside would end the quoted stretch there.
bool pathsFitCommandLines(Reporter& reporter, const ProgramPaths& paths,
                          const std::string& romPath) {
    for (const std::string& path : {romPath, paths.programFolder}) {
        if (path.find('"') == std::string::npos) continue;
        reporter.message("Error", "Can't handle a double quote in " + path);
        return false;
    }
    return true;
}

// 7z must read the ROM as a zip before anything is written: otherwise the backup, the undo zip
// and the steps after them would be made from something that is no ROM.
bool romIsReadable(Reporter& reporter, const std::string& romPath, const ArchiveListing& listing) {
    if (listing.readable) return true;
    std::string text = "Can't read " + romPath + " as a zip archive";
    if (!listing.archiverStarted) text += "\rThe 7z archiver could not be started.";
    reporter.message("Error", text);
    return false;
}

// True when the archiver's step succeeded; otherwise its warning has been shown.
bool succeeded(Reporter& reporter, const ArchiverResult& result) {
    if (!result.warning.empty()) reporter.message(archiverWarningTitle, result.warning);
    return result.outcome == ArchiverOutcome::succeeded;
}

// 7z may end a removal with success and still keep entries it was named, as when it reads a
// definition path by another rule than the program's: the ROM is listed again, and any file the
// removal was to delete that is still there is named under "Warning", never passed over.
bool removalTookEverything(Reporter& reporter, const ProgramPaths& paths,
                           const std::string& romPath, const std::vector<ArchiveEntry>& expected) {
    if (expected.empty()) return true;
    const ArchiveListing after = listArchive(paths.archiverProgram, romPath);
    std::vector<std::string> kept;
    for (const ArchiveEntry& entry : expected)
        for (const ArchiveEntry& left : after.entries)
            if (!left.isFolder && left.path == entry.path) {
                kept.push_back(entry.path);
                break;
            }
    if (after.readable && kept.empty()) return true;
    std::string text = after.readable
                           ? "These files are still in the ROM zip, though the removal was to "
                             "delete them:"
                           : "Can't read " + romPath + " as a zip archive after the removal";
    for (std::size_t i = 0; i < kept.size() && i < skippedPathsNamed; ++i) text += "\r" + kept[i];
    if (kept.size() > skippedPathsNamed)
        text += "\r... and " + std::to_string(kept.size() - skippedPathsNamed) + " more";
    reporter.message(archiverWarningTitle, text);
    return false;
}

RunResult runSteps(const CustomizeRequest& request, const ProgramPaths& paths, Reporter& reporter,
                   const ArchiveListing& rom) {
    const std::string& romPath = request.romPath;
    RunResult result;
    result.end = RunEnd::stopped;
    if (request.options.backup) {
        reporter.status("Creating Backup ...");
        const std::string backup = backupPath(romPath);
        // The ROM is edited in place: without a whole backup nothing may touch it.
        if (!copyFile(romPath, backup, [&reporter] { return reporter.carryOn(); })) {
            // A stop during the copy ends the run there: nothing else has been written.
            if (!reporter.carryOn())
                reporter.message(archiverWarningTitle,
                                 "The run was stopped during the backup copy, which was "
                                 "removed. Nothing was changed.");
            else
                reporter.message("Error", "Can't create backup " + backup);
            return result;
        }
        result.backup = backup;
    }

    if (request.options.undoZip) {
        reporter.status("Generation recovery CWM zip ...");
        result.undoZip = createUndoZip(reporter, paths, request, rom.entries);
        if (result.undoZip.empty()) return result;
    }

    bool warned = false;
    reporter.status("Removing files ...");
    const std::string removal = removalCommand(request.ticked, romPath);
    if (!removal.empty()) {
        const ArchiverResult removed =
            runArchiver(paths.archiverProgram, removal, "", false, progressOf(reporter));
        // A stopped run adds nothing to a ROM whose removal did not finish.
        if (removed.outcome == ArchiverOutcome::stopped) {
            succeeded(reporter, removed);
            removeTree(paths.extractionFolder);
            makeFolder(paths.extractionFolder);
            result.end = RunEnd::warned;
            result.interrupted = true;
            return result;
        }
        warned =
            !succeeded(reporter, removed) ||
            !removalTookEverything(reporter, paths, romPath,
                                   entriesRemoved(rom.entries, tickedPaths(request.ticked).paths));
    }

    if (request.options.addApps) {
        reporter.status("Adding files ...");
        const ArchiverOutcome added = addApps(reporter, paths, romPath);
        warned = added != ArchiverOutcome::succeeded || warned;
        result.interrupted = added == ArchiverOutcome::stopped;
    }
    result.end = warned ? RunEnd::warned : RunEnd::complete;
    return result;
}

std::string warningText(const std::string& undoLine, const std::vector<std::string>& skipped,
                        bool interrupted) {
    std::string text =
        "Customization finished, but a step failed. Please check the ROM zip before flashing it." +
        undoLine;
    if (interrupted)
        text +=
            "\rThe run was stopped: 7z was ended in the middle of a step and the steps after "
            "it did not run.";
    if (skipped.empty()) return text;
    text += "\rThese paths were skipped, since the archiver can't be handed them safely:";
    for (std::size_t i = 0; i < skipped.size() && i < skippedPathsNamed; ++i)
        text += "\r" + skipped[i];
    if (skipped.size() > skippedPathsNamed)
        text += "\r... and " + std::to_string(skipped.size() - skippedPathsNamed) + " more";
    return text;
}

}  // namespace

RunResult customize(const CustomizeRequest& asked, const ProgramPaths& paths, Reporter& reporter) {
    if (asked.romPath.empty()) {
        reporter.message("Error", "Please select Rom");
        return {};
    }
    // 7z writes the new archive beside the old one and renames it into place: a ROM chosen
    // through a link is edited at its target, or the link would become a file of its own.
    CustomizeRequest request = asked;
    request.romPath = linkTarget(asked.romPath);
    const std::string& romPath = request.romPath;
    if (fileSize(romPath) < 0) {
        reporter.message("Error", "Can't access " + romPath);
        return {};
    }
    if (!pathsFitCommandLines(reporter, paths, romPath)) return {};
    const ArchiveListing rom = listArchive(paths.archiverProgram, romPath);
    if (!romIsReadable(reporter, romPath, rom)) return {};
    // Found before anything is written: refused only at the add step, the ROM would be left
    // with its files removed and nothing added.
    if (request.options.addApps && !addFolderIsSafe(reporter, paths, romPath)) return {};

    RunResult run = runSteps(request, paths, reporter, rom);
    reporter.status("Ready");
    if (run.end == RunEnd::stopped) return run;
    // The usual name needs no word; a numbered one tells the user which undo zip is this run's.
    const bool numbered = !run.undoZip.empty() && run.undoZip != romPath + "_undo.zip";
    const std::string undoLine = numbered ? "\rUndo zip: " + run.undoZip : "";
    run.skipped = tickedPaths(request.ticked).skipped;
    if (!run.skipped.empty()) run.end = RunEnd::warned;
    if (run.end == RunEnd::complete)
        reporter.message("Finish", "Customzation done ;)" + undoLine);
    else
        reporter.message("Warning", warningText(undoLine, run.skipped, run.interrupted));
    return run;
}
