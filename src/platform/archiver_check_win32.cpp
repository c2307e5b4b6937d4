// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/archiver_check.h"

#include "platform/file_layer.h"
#include "platform/paths.h"

#include <windows.h>

bool checkArchiverPresent(const ProgramPaths& paths) {
    const std::string& archiver = paths.archiverProgram;
    return fileSize(archiver) >= 0 && fileSize(folderOfPath(archiver) + "7z.dll") >= 0;
}

std::string archiverLibraryFault(const ProgramPaths& paths) {
    const std::string library = folderOfPath(paths.archiverProgram) + "7z.dll";
    if (fileSize(library) < 0) return "7z.dll is missing: " + library;
    // Mapped only, to see what it is: none of its code runs in this process.
    const HMODULE module = LoadLibraryExA(library.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    const bool usable = module && GetProcAddress(module, "CreateObject");
    if (module) FreeLibrary(module);
    if (usable) return "";
    return "7z.dll is damaged or is no 7-Zip library for this 7z.exe: " + library;
}

bool programFolderFitsPathLimit(const ProgramPaths& paths) {
    // A working folder is made current with its trailing separator and a terminating zero; the
    // undo zip's files are added from a run's own folder inside the extraction folder.
    for (const std::string* path :
         {&paths.archiverProgram, &paths.addFolder, &paths.extractionFolder})
        if (path->size() >= MAX_PATH - 1) return false;
    return paths.extractionFolder.size() + runExtractionPathLength < MAX_PATH - 1;
}
