#include "pipeline/undo_zip.h"

#include "pipeline/add_apps.h"
#include "pipeline/removal.h"
#include "platform/file_layer.h"
#include "platform/gui.h"
#include "platform/paths.h"
#include "tools/archiver.h"

#include <chrono>
#include <thread>

namespace {

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

// Leaves the extraction folder empty, as it must be before and after every run.
void emptyExtractionFolder(const std::string& folder) {
    removeTree(folder);
    settle();
    makeFolder(folder);
    settle();
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

bool createUndoZip(Gui& gui, const ProgramPaths& paths, const std::string& romPath) {
    const std::string undoZip = romPath + "_undo.zip";
    const std::string extract =
        extractCommand(removalCommand(gui, romPath), paths.extractionFolder);
    const std::string add = addCommand(undoZip);

    // The archiver ignores a working folder it can't enter and would then add whatever lies in
    // the program's current folder to the undo zip.
    makeFolder(paths.extractionFolder);
    if (fileSize(paths.extractionFolder) != -2) {
        gui.messageBox("Error", "Can't create recovery zip " + undoZip);
        return false;
    }

    runArchiver(gui, paths.archiverProgram, extract, "", true);

    // Files go only into a fresh copy of the template, never into an undo zip of an earlier run.
    if (!copyFile(paths.undoTemplate, undoZip)) {
        settle();
        emptyExtractionFolder(paths.extractionFolder);
        gui.messageBox("Error", "Can't create recovery zip " + undoZip);
        return false;
    }
    settle();

    runArchiver(gui, paths.archiverProgram, add, paths.extractionFolder, false);
    settle();

    emptyExtractionFolder(paths.extractionFolder);
    return true;
}
