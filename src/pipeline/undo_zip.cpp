#include "pipeline/undo_zip.h"

#include "pipeline/add_apps.h"
#include "pipeline/removal.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "tools/archiver.h"
#include "tools/reporter.h"

#include <chrono>
#include <thread>

namespace {

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

// Leaves the extraction folder there and empty; false when it isn't: the undo zip's files are
// extracted into it and added from it, and nothing else may go into the undo zip.
bool emptyExtractionFolder(const std::string& folder) {
    removeTree(folder);
    settle();
    makeFolder(folder);
    settle();
    return fileSize(folder) == -2 && !holdsAnyFile(folder);
}

// True when the archiver's step succeeded; otherwise its warning has been shown.
bool succeeded(Reporter& reporter, const ArchiverResult& result) {
    if (!result.warning.empty()) reporter.message(archiverWarningTitle, result.warning);
    return result.outcome == ArchiverOutcome::succeeded;
}

// Saves the plan's removed files into `undoCopy`, a copy of the template, and checks that it
// holds the template and those files, nothing missing and nothing more.
bool fillUndoZip(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath,
                 const RunPlan& plan, const std::vector<ArchiveEntry>& templateEntries,
                 const std::string& undoCopy) {
    std::vector<std::string> files;
    for (const ArchiveEntry& entry : plan.removed) files.push_back(entry.path);
    const std::string listFile = nameListPath(paths.extractionFolder);
    if (!succeeded(reporter, runOnNames(paths.archiverProgram,
                                        extractCommand(romPath, paths.extractionFolder, listFile),
                                        listFile, files, progressOf(reporter))))
        return false;
    if (holdsAnyFile(paths.extractionFolder) &&
        !succeeded(reporter, runArchiver(paths.archiverProgram, addCommand(undoCopy),
                                         paths.extractionFolder, false, progressOf(reporter))))
        return false;
    const ArchiveListing undo = listArchive(paths.archiverProgram, undoCopy);
    return undo.readable && undoZipFaults(plan, templateEntries, undo.entries).empty();
}

// Makes the whole undo zip under a temporary name beside `undoZip`: a fresh copy of the template,
// never an undo zip of an earlier run, with the saved files added. Its path, or "" when any part
// failed (nothing is then left).
std::string makeUndoCopy(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath,
                         const RunPlan& plan, const std::vector<ArchiveEntry>& templateEntries,
                         const std::string& undoZip) {
    // Files left by an interrupted run must not go into this undo zip.
    if (!emptyExtractionFolder(paths.extractionFolder)) return "";
    const std::string undoCopy = copyBeside(paths.undoTemplate, undoZip);
    if (undoCopy.empty()) return "";
    settle();
    if (fillUndoZip(reporter, paths, romPath, plan, templateEntries, undoCopy)) return undoCopy;
    removeFile(undoCopy);
    return "";
}

}  // namespace

std::string undoZipPath(const std::string& romPath) {
    if (!pathExists(romPath + "_undo.zip")) return romPath + "_undo.zip";
    for (unsigned long n = 1;; ++n) {
        std::string candidate = romPath + "_undo_" + std::to_string(n) + ".zip";
        if (!pathExists(candidate)) return candidate;
    }
}

std::string createUndoZip(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath,
                          const RunPlan& plan, const std::vector<ArchiveEntry>& templateEntries) {
    const std::string undoZip = undoZipPath(romPath);
    const std::string undoCopy =
        makeUndoCopy(reporter, paths, romPath, plan, templateEntries, undoZip);
    const bool made = !undoCopy.empty() && renameFile(undoCopy, undoZip);
    if (!undoCopy.empty() && !made) removeFile(undoCopy);
    settle();
    emptyExtractionFolder(paths.extractionFolder);
    if (!made) reporter.message("Error", "Can't create recovery zip " + undoZip);
    return made ? undoZip : "";
}
