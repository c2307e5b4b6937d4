#include "pipeline/customize.h"

#include "pipeline/add_apps.h"
#include "pipeline/removal.h"
#include "pipeline/undo_zip.h"
#include "platform/file_layer.h"
#include "platform/gui.h"
#include "platform/paths.h"
#include "tools/archive_listing.h"
#include "tools/archiver.h"

#include <vector>

namespace {

// How far a run got.
enum class RunEnd {
    complete,  // every step succeeded
    warned,    // every step ran, but one of them showed a warning
    stopped,   // a step showed an "Error" and ended the run before the removal
};

struct RunResult {
    RunEnd end = RunEnd::complete;
    std::string undoZip;  // the undo zip this run wrote, "" for none
};

constexpr std::size_t skippedPathsNamed = 10;

std::string backupPath(const std::string& romPath) { return firstFreeNumbered(romPath + "_BU_"); }

// The ROM path and the program folder travel between double quotes in the archiver's one-string
// command line; a double quote inside would end the quoted stretch there.
bool pathsFitCommandLines(Gui& gui, const ProgramPaths& paths, const std::string& romPath) {
    for (const std::string& path : {romPath, paths.programFolder}) {
        if (path.find('"') == std::string::npos) continue;
        gui.messageBox("Error", "Can't handle a double quote in " + path);
        return false;
    }
    return true;
}

// 7z must read the ROM as a zip before anything is written: otherwise the backup, the undo zip
// and the steps after them would be made from something that is no ROM.
bool romIsReadable(Gui& gui, const std::string& romPath, const ArchiveListing& listing) {
    if (listing.readable) return true;
    std::string text = "Can't read " + romPath + " as a zip archive";
    if (!listing.archiverStarted) text += "\rThe 7z archiver could not be started.";
    gui.messageBox("Error", text);
    return false;
}

RunResult runSteps(Gui& gui, const ProgramPaths& paths, const std::string& romPath,
                   const ArchiveListing& rom) {
    RunResult result;
    if (gui.isChecked(ControlId::backupCheck)) {
        gui.setStatusText("Creating Backup ...");
        const std::string backup = backupPath(romPath);
        // The ROM is edited in place: without a whole backup nothing may touch it.
        if (!copyFile(romPath, backup)) {
            gui.messageBox("Error", "Can't create backup " + backup);
            return {RunEnd::stopped, ""};
        }
    }

    if (gui.isChecked(ControlId::recoveryZipCheck)) {
        gui.setStatusText("Generation recovery CWM zip ...");
        result.undoZip = createUndoZip(gui, paths, romPath, rom.entries);
        if (result.undoZip.empty()) return {RunEnd::stopped, ""};
    }

    bool warned = false;
    gui.setStatusText("Removing files ...");
    const std::string removal = removalCommand(gui, romPath);
    if (!removal.empty())
        warned = runArchiver(gui, paths.archiverProgram, removal, "", false) !=
                 ArchiverOutcome::succeeded;

    if (gui.isChecked(ControlId::enableAddingCheck)) {
        gui.setStatusText("Adding files ...");
        warned = addApps(gui, paths, romPath) != ArchiverOutcome::succeeded || warned;
    }
    result.end = warned ? RunEnd::warned : RunEnd::complete;
    return result;
}

std::string warningText(const std::string& undoLine, const std::vector<std::string>& skipped) {
    std::string text =
        "Customization finished, but a step failed. Please check the ROM zip before flashing it." +
        undoLine;
    if (skipped.empty()) return text;
    text += "\rThese paths were skipped, since the archiver can't be handed them safely:";
    for (std::size_t i = 0; i < skipped.size() && i < skippedPathsNamed; ++i)
        text += "\r" + skipped[i];
    if (skipped.size() > skippedPathsNamed)
        text += "\r... and " + std::to_string(skipped.size() - skippedPathsNamed) + " more";
    return text;
}

}  // namespace

void customize(Gui& gui, const ProgramPaths& paths, const std::string& chosenRom) {
    if (chosenRom.empty()) {
        gui.messageBox("Error", "Please select Rom");
        return;
    }
    // 7z writes the new archive beside the old one and renames it into place: a ROM chosen
    // through a link is edited at its target, or the link would become a file of its own.
    const std::string romPath = linkTarget(chosenRom);
    if (fileSize(romPath) < 0) {
        gui.messageBox("Error", "Can't access " + romPath);
        return;
    }
    if (!pathsFitCommandLines(gui, paths, romPath)) return;
    const ArchiveListing rom = listArchive(paths.archiverProgram, romPath);
    if (!romIsReadable(gui, romPath, rom)) return;
    // Found before anything is written: refused only at the add step, the ROM would be left
    // with its files removed and nothing added.
    if (gui.isChecked(ControlId::enableAddingCheck) && !addFolderIsSafe(gui, paths, romPath))
        return;

    const RunResult run = runSteps(gui, paths, romPath, rom);
    gui.setStatusText("Ready");
    if (run.end == RunEnd::stopped) return;
    // The usual name needs no word; a numbered one tells the user which undo zip is this run's.
    const bool numbered = !run.undoZip.empty() && run.undoZip != romPath + "_undo.zip";
    const std::string undoLine = numbered ? "\rUndo zip: " + run.undoZip : "";
    const std::vector<std::string> skipped = tickedPaths(gui).skipped;
    if (run.end == RunEnd::complete && skipped.empty())
        gui.messageBox("Finish", "Customzation done ;)" + undoLine);
    else
        gui.messageBox("Warning", warningText(undoLine, skipped));
}
