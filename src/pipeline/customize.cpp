#include "pipeline/customize.h"

#include "pipeline/add_apps.h"
#include "pipeline/removal.h"
#include "pipeline/undo_zip.h"
#include "platform/file_layer.h"
#include "platform/gui.h"
#include "platform/paths.h"
#include "tools/archiver.h"

namespace {

// romPath + "_BU_" + the first number whose name is free of anything (file, folder or link).
std::string backupPath(const std::string& romPath) {
    for (unsigned long n = 0;; ++n) {
        std::string candidate = romPath + "_BU_" + std::to_string(n);
        if (!pathExists(candidate)) return candidate;
    }
}

}  // namespace

void customize(Gui& gui, const ProgramPaths& paths, const std::string& romPath) {
    if (romPath.empty()) {
        gui.messageBox("Error", "Please select Rom");
        return;
    }
    if (fileSize(romPath) < 0) {
        gui.messageBox("Error", "Can't access " + romPath);
        return;
    }

    if (gui.isChecked(ControlId::backupCheck)) {
        gui.setStatusText("Creating Backup ...");
        const std::string backup = backupPath(romPath);
        // The ROM is edited in place: without a whole backup nothing may touch it.
        if (!copyFile(romPath, backup)) {
            gui.messageBox("Error", "Can't create backup " + backup);
            return;
        }
    }

    if (gui.isChecked(ControlId::recoveryZipCheck)) {
        gui.setStatusText("Generation recovery CWM zip ...");
        if (!createUndoZip(gui, paths, romPath)) return;
    }

    gui.setStatusText("Removing files ...");
    runArchiver(gui, paths.archiverProgram, removalCommand(gui, romPath), "", false);

    if (gui.isChecked(ControlId::enableAddingCheck)) {
        gui.setStatusText("Adding files ...");
        addApps(gui, paths, romPath);
    }

    gui.setStatusText("Ready");
    gui.messageBox("Finish", "Customzation done ;)");
}
