// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

bool isPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

std::string folderOfPath(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && !isPathSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

std::string slashSeparated(std::string path) {
    for (char& c : path)
        if (isPathSeparator(c)) c = '/';
    return path;
}

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
