// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The build's path separator, used for the program's own folders.
#ifdef _WIN32
inline constexpr char pathSeparator = '\\';
#else
inline constexpr char pathSeparator = '/';
#endif

// Splitting a path of this system, as the file layer and 7z's process take it: '/' separates
// folders on Linux; on Windows '\' and '/' both do. Paths inside the zip (7z's entry names) and
// definition paths follow their own rules: see archiverNameKey and
// normaliseDefinitionPath in platform/text.h.
bool isPathSeparator(char c);

// The folder part of a path of this system: everything up to and including its last separator;
// "" when the path holds no separator. The rest is the name:
// path.substr(folderOfPath(path).size()).
std::string folderOfPath(const std::string& path);

// A path of this system with '/' between its folders, as the console program's JSON spells paths
// on every build: Windows takes "C:/roms/rom.zip" and "//nas/roms/rom.zip" as it takes '\'.
std::string slashSeparated(std::string path);

// The folder of the running executable, ending with a path separator. On Linux it is the target
// of /proc/self/exe (a program started through a symbolic link gets the real file's folder), or
// the folder of `argv0` when that link can't be read. On Windows it is the running module's
// folder, or "" when the code page can't hold its name (Windows before 10 1903, which ignores
// the program's request for UTF-8).
std::string findProgramFolder(const char* argv0);

// Every fixed path of the program, built from the program folder. Nothing here depends on the
// working directory.
struct ProgramPaths {
    std::string programFolder;     // ends with a separator
    std::string definitionFolder;  // app/remove/
    std::string addFolder;         // app/add/, with its trailing separator
    std::string undoTemplate;      // app/undo/undo.zip
    std::string extractionFolder;  // app/undo/files/, with its trailing separator
    std::string archiverProgram;   // Linux: "7z" from PATH; Windows: bin\win\7z.exe
};

ProgramPaths programPaths(const std::string& programFolder);

// How long the name of the folder each run makes for itself in the extraction folder is, with
// its trailing separator: "run-", 16 digits, "-", the 6 characters makeFreshFolder adds, and the
// separator. The Windows path limit must leave room for it, and for the folder the run extracts
// into within it, "files" and a separator.
inline constexpr std::size_t runFolderNameLength = 28;
inline constexpr std::size_t runExtractionPathLength = runFolderNameLength + 6;
