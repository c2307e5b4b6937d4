#include "platform/paths.h"

ProgramPaths programPaths(const std::string& programFolder) {
    const std::string app = programFolder + "app" + pathSeparator;
    ProgramPaths paths;
    paths.programFolder = programFolder;
    paths.definitionFolder = app + "remove" + pathSeparator;
    paths.addFolder = app + "add" + pathSeparator;
    paths.undoTemplate = app + "undo" + pathSeparator + "undo.zip";
    paths.extractionFolder = app + "undo" + pathSeparator + "files" + pathSeparator;
#ifdef _WIN32
    paths.archiverProgram = programFolder + "bin\\win\\7z.exe";
#else
    paths.archiverProgram = "7z";  // found through PATH
#endif
    return paths;
}
