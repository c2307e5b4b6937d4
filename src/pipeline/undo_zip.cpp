// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/undo_zip.h"

#include "pipeline/block_rom.h"
#include "pipeline/removal.h"
#include "pipeline/reporter.h"
#include "platform/ascii.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "tools/archiver.h"

#include <chrono>
#include <string_view>
#include <thread>

namespace {

// A short pause between writing the template's copy and handing it to 7z for its update: a
// virus scanner or an indexer that opens each new file (on Windows) may still hold the copy,
// and 7z could then not put its updated archive in place. The extraction runs meanwhile, so
// only what is left of the pause is waited for.
using Clock = std::chrono::steady_clock;
void pauseForFreshCopy(Clock::time_point copied) {
    std::this_thread::sleep_until(copied + std::chrono::milliseconds(10));
}

// True when the archiver's step succeeded; otherwise its warning has been shown.
bool succeeded(Reporter& reporter, const ArchiverResult& result) {
    if (!result.warning.empty()) reporter.message(archiverWarningTitle, result.warning);
    return result.outcome == ArchiverOutcome::succeeded;
}

// True for a file whose format is compressed already (an app is a zip, a picture or a sound
// is packed): deflating it again costs most of the undo zip's time and gains next to nothing.
bool packedAlready(const std::string& path) {
    static constexpr std::string_view packed[] = {".apk", ".apex", ".jar",  ".zip", ".png",
                                                  ".jpg", ".jpeg", ".webp", ".ogg", ".mp3",
                                                  ".mp4", ".gz",   ".xz"};
    const std::string name = lowerAscii(path);
    for (const std::string_view ending : packed)
        if (name.ends_with(ending)) return true;
    return false;
}

// Puts the plan's removed files into the run's extraction folder. The files of a block image
// come from the image; the others 7z extracts from the ROM zip.
bool extractRemoved(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath,
                    const RunPlan& plan, const BlockRom* blocks) {
    std::vector<std::string> files;
    for (const ArchiveEntry& entry : plan.removed)
        if (!blocks || !blocks->holds(entry.path)) files.push_back(entry.path);
    const std::string listFile = nameListPath(paths.extractionFolder);
    return succeeded(reporter, runOnNames(paths.archiverProgram,
                                          extractCommand(romPath, paths.extractionFolder, listFile),
                                          listFile, files, progressOf(reporter))) &&
           (!blocks || blocks->extract(plan, paths.extractionFolder));
}

// Saves the extracted files into `undoCopy`, a copy of the template, and checks that it holds
// the template and those files, nothing missing and nothing more. The files whose format is
// compressed already go in stored, the others deflated at the fastest level: the undo zip is
// written once per run and read once by the recovery, which unpacks either.
bool fillUndoZip(Reporter& reporter, const ProgramPaths& paths, const RunPlan& plan,
                 const std::vector<ArchiveEntry>& templateEntries, const std::string& undoCopy) {
    std::vector<std::string> stored, deflated;
    for (const ArchiveEntry& entry : plan.removed)
        if (!entry.isFolder) (packedAlready(entry.path) ? stored : deflated).push_back(entry.path);
    const std::string listFile = nameListPath(paths.extractionFolder);
    for (const bool store : {true, false})
        if (!succeeded(reporter,
                       runOnNames(paths.archiverProgram, undoAddCommand(undoCopy, listFile, store),
                                  listFile, store ? stored : deflated, progressOf(reporter),
                                  paths.extractionFolder)))
            return false;
    const ArchiveListing undo = listArchive(paths.archiverProgram, undoCopy);
    return undo.readable && undoZipFaults(plan, templateEntries, undo.entries).empty();
}

// Makes the whole undo zip under a temporary name beside `undoZip`: a fresh copy of the template,
// never an undo zip of an earlier run, with the saved files added. Its path, or "" when any part
// failed (nothing is then left).
std::string makeUndoCopy(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath,
                         const RunPlan& plan, const std::vector<ArchiveEntry>& templateEntries,
                         const std::string& undoZip, const BlockRom* blocks) {
    const std::string undoCopy = copyBeside(paths.undoTemplate, undoZip);
    if (undoCopy.empty()) return "";
    const Clock::time_point copied = Clock::now();
    if (extractRemoved(reporter, paths, romPath, plan, blocks)) {
        pauseForFreshCopy(copied);
        if (fillUndoZip(reporter, paths, plan, templateEntries, undoCopy)) return undoCopy;
    }
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

std::string undoZipPath(const std::string& romPath) {
    if (!pathExists(romPath + "_undo.zip")) return romPath + "_undo.zip";
    for (unsigned long n = 1;; ++n) {
        std::string candidate = romPath + "_undo_" + std::to_string(n) + ".zip";
        if (!pathExists(candidate)) return candidate;
    }
}

std::string createUndoZip(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath,
                          const RunPlan& plan, const std::vector<ArchiveEntry>& templateEntries,
                          const BlockRom* blocks) {
    const std::string undoZip = undoZipPath(romPath);
    const std::string undoCopy =
        makeUndoCopy(reporter, paths, romPath, plan, templateEntries, undoZip, blocks);
    const std::string made = undoCopy.empty() ? "" : placeUndoZip(undoCopy, romPath);
    if (!undoCopy.empty() && made.empty()) removeFile(undoCopy);
    if (made.empty()) reporter.message("Error", "Can't create recovery zip " + undoZip);
    return made;
}
