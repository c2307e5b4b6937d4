#include "pipeline/add_apps.h"

#include "platform/file_layer.h"
#include "platform/gui.h"
#include "platform/paths.h"

namespace {

// 7-Zip matches its wildcards itself, on every system, and takes `*.*` to mean names with a
// dot: it would leave out system/bin/tool and the like. `*` takes every file.
constexpr const char* addPattern = "*";

}  // namespace

std::string addCommand(const std::string& archive) {
    return "a -bd -y -r -- \"" + archive + "\" " + addPattern;
}

ArchiverOutcome addApps(Gui& gui, const ProgramPaths& paths, const std::string& romPath) {
    // The archiver ignores a working folder it can't enter and would then add whatever lies in
    // the program's current folder: make sure the add folder is there.
    makeFolder(paths.addFolder);
    if (fileSize(paths.addFolder) != -2) {
        gui.messageBox("Warning", "Can't access " + paths.addFolder);
        return ArchiverOutcome::failed;
    }
    if (!holdsAnyFile(paths.addFolder)) return ArchiverOutcome::succeeded;
    return runArchiver(gui, paths.archiverProgram, addCommand(romPath), paths.addFolder, false);
}
