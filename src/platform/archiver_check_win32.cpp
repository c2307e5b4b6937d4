#include "platform/archiver_check.h"

#include "platform/file_layer.h"
#include "platform/paths.h"

#include <windows.h>

bool checkArchiverPresent(const ProgramPaths& paths) {
    const std::string& archiver = paths.archiverProgram;
    return fileSize(archiver) >= 0 && fileSize(folderOfPath(archiver) + "7z.dll") >= 0;
}

bool programFolderFitsPathLimit(const ProgramPaths& paths) {
    // A working folder is made current with its trailing separator and a terminating zero; the
    // undo zip's files are added from a run's own folder inside the extraction folder.
    for (const std::string* path :
         {&paths.archiverProgram, &paths.addFolder, &paths.extractionFolder})
        if (path->size() >= MAX_PATH - 1) return false;
    return paths.extractionFolder.size() + runExtractionPathLength < MAX_PATH - 1;
}
