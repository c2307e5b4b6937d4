// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/paths.h"

// The Windows build ships its archiver in bin\win\: true when 7z.exe and 7z.dll beside it both
// exist as files (a folder of either name counts as missing). The Linux build finds "7z"
// through PATH at each run and has nothing to check here: always true.
bool checkArchiverPresent(const ProgramPaths& paths);

// Why 7z.exe can't read archives with the 7z.dll beside it, as a line that names the file: it is
// missing, or it is no 64-bit library with 7-Zip's entry point (damaged, cut short, another
// program's). "" when it looks usable, and always on Linux, whose 7z has no such file.
std::string archiverLibraryFault(const ProgramPaths& paths);

// Windows starts no program and enters no folder whose path reaches its old limit of 260
// characters: false when 7z.exe or one of the folders it works in lies that deep. The Linux
// build: always true.
bool programFolderFitsPathLimit(const ProgramPaths& paths);

inline constexpr const char* programFolderTooLongText =
    "The path of the program's folder is too long: Windows can't start 7z.exe from it. Please "
    "move the program to a folder with a shorter path";

inline constexpr const char* archiverMissingText =
    "7z.exe or 7z.dll missing, please check the bin\\ directory";

// Windows before 10 1903 keeps its own code page, which may not hold the program folder's name.
inline constexpr const char* programFolderUnreadableText =
    "The name of the program's folder holds characters this Windows can't pass on to 7z.exe: "
    "please move the program to a folder with a plainer name";
