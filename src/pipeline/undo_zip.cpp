#include "pipeline/undo_zip.h"

#include "pipeline/add_apps.h"
#include "pipeline/leftovers.h"
#include "pipeline/removal.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "tools/archiver.h"
#include "tools/reporter.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

// True when the archiver's step succeeded; otherwise its warning has been shown.
bool succeeded(Reporter& reporter, const ArchiverResult& result) {
    if (!result.warning.empty()) reporter.message(archiverWarningTitle, result.warning);
    return result.outcome == ArchiverOutcome::succeeded;
}

// True when `undoCopy` holds each of `removed` with the same size and CRC. 7z may report success
// and still leave one out, e.g. of two entries of one name, which the removal deletes together.
bool holdsEvery(const ProgramPaths& paths, const std::string& undoCopy,
                const std::vector<ArchiveEntry>& removed) {
    if (removed.empty()) return true;
    const ArchiveListing undo = listArchive(paths.archiverProgram, undoCopy);
    if (!undo.readable) return false;
    for (const ArchiveEntry& entry : removed) {
        const auto saved =
            std::find_if(undo.entries.begin(), undo.entries.end(), [&](const auto& e) {
                return !e.isFolder && e.path == entry.path && e.size == entry.size &&
                       e.crc == entry.crc;
            });
        if (saved == undo.entries.end()) return false;
    }
    return true;
}

// Saves the files about to be removed into `undoCopy`, a copy of the template.
bool fillUndoZip(Reporter& reporter, const ProgramPaths& paths, const CustomizeRequest& request,
                 const std::vector<ArchiveEntry>& romEntries, const std::string& undoCopy) {
    const std::string extract =
        extractCommand(removalCommand(request.ticked, request.romPath), paths.extractionFolder);
    if (!extract.empty() && !succeeded(reporter, runArchiver(paths.archiverProgram, extract, "",
                                                             false, progressOf(reporter))))
        return false;
    const std::vector<ArchiveEntry> removed =
        entriesRemoved(romEntries, tickedPaths(request.ticked).paths);
    if (holdsAnyFile(paths.extractionFolder) &&
        !succeeded(reporter, runArchiver(paths.archiverProgram, addCommand(undoCopy),
                                         paths.extractionFolder, false, progressOf(reporter))))
        return false;
    return holdsEvery(paths, undoCopy, removed);
}

// Makes the whole undo zip under a temporary name beside `undoZip`: a fresh copy of the template,
// never an undo zip of an earlier run, with the saved files added. Its path, or "" when any part
// failed (nothing is then left).
std::string makeUndoCopy(Reporter& reporter, const ProgramPaths& paths,
                         const CustomizeRequest& request,
                         const std::vector<ArchiveEntry>& romEntries, const std::string& undoZip) {
    const std::string undoCopy = copyBeside(paths.undoTemplate, undoZip);
    if (undoCopy.empty()) return "";
    settle();
    if (fillUndoZip(reporter, paths, request, romEntries, undoCopy)) return undoCopy;
    removeFile(undoCopy);
    return "";
}

// Puts the finished copy in place under the first free undo zip name, never over a file that
// appeared there meanwhile: then the next name is taken. The name it got, or "".
std::string placeUndoZip(const std::string& undoCopy, const std::string& romPath) {
    std::string undoZip = undoZipPath(romPath);
    Placed placed = renameWithoutReplacing(undoCopy, undoZip);
    for (int tries = 0; placed == Placed::nameTaken && tries < 1000; ++tries) {
        undoZip = undoZipPath(romPath);
        placed = renameWithoutReplacing(undoCopy, undoZip);
    }
    return placed == Placed::done ? undoZip : "";
}

}  // namespace

std::string extractCommand(const std::string& removalCommandLine,
                           const std::string& extractionFolder) {
    // Only the leading command is rewritten: a path that happens to hold the same letters must
    // reach the archiver unchanged.
    const std::string removal = "d -bd -y";
    if (removalCommandLine.compare(0, removal.size(), removal) != 0) return "";
    return "x -bd -y -o\"" + extractionFolder + '"' + removalCommandLine.substr(removal.size());
}

std::string undoZipPath(const std::string& romPath) {
    if (!pathExists(romPath + "_undo.zip")) return romPath + "_undo.zip";
    for (unsigned long n = 1;; ++n) {
        std::string candidate = romPath + "_undo_" + std::to_string(n) + ".zip";
        if (!pathExists(candidate)) return candidate;
    }
}

std::string createUndoZip(Reporter& reporter, const ProgramPaths& paths,
                          const CustomizeRequest& request,
                          const std::vector<ArchiveEntry>& romEntries) {
    const std::string undoZip = undoZipPath(request.romPath);
    // Each run extracts into a fresh folder of its own below the shared one: nothing of another
    // run, whether at work or interrupted, goes into this undo zip, nor this run's into theirs.
    // Named after the ROM zip, so that a later run on it can tell one a killed run left.
    makeFolder(paths.extractionFolder);
    ProgramPaths runPaths = paths;
    runPaths.extractionFolder =
        makeFreshFolder(paths.extractionFolder, runFolderPrefix(request.romPath));
    const std::string undoCopy =
        runPaths.extractionFolder.empty()
            ? ""
            : makeUndoCopy(reporter, runPaths, request, romEntries, undoZip);
    const std::string made = undoCopy.empty() ? "" : placeUndoZip(undoCopy, request.romPath);
    if (!undoCopy.empty() && made.empty()) removeFile(undoCopy);
    settle();
    if (!runPaths.extractionFolder.empty()) removeTree(runPaths.extractionFolder);
    if (made.empty()) reporter.message("Error", "Can't create recovery zip " + undoZip);
    return made;
}
