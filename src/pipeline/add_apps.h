// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/archiver.h"

#include <string>
#include <vector>

class Reporter;
struct ProgramPaths;

// What the add folder holds for the ROM zip.
struct AddFolderContent {
    // Paths relative to the add folder, '/' between folders: each a file, or a symbolic link to
    // a file, which goes in as that file's content. Links to folders are not followed, and the
    // ROM zip, and every file beside it named after it (its backups, undo zips and their
    // temporary copies), never go into the ROM zip, wherever they lie.
    std::vector<std::string> files;
    // The first FIFO, device or socket found (or a link to one), or the first file whose name
    // can't travel in the list of files 7z is handed, as a full path; "" when none. 7z would wait
    // on a FIFO for good or store it as an empty file; a name that begins or ends with a blank
    // or a tab, holds a line break or isn't UTF-8 would be left out, read as another name, or
    // fail the whole step.
    std::string refused;
    // Why `refused` is refused, as the end of "Can't add " + refused: "" for a FIFO, device or
    // socket, else ": " and the reason.
    std::string refusal;
    // The first folder whose content can't be read (the add folder itself included) as a full
    // path; "" when every folder could be read. Its files would be left out without a word.
    std::string unreadable;
};
AddFolderContent addFolderContent(const std::string& addFolder, const std::string& romPath);

// a -spd -scsUTF-8 -i@{listFile} {links} -- {archive}: the files named, one a line in UTF-8, in
// `listFile`, literally (no 7z wildcards), relative to the working folder. On Linux `-l` makes 7z
// store a linked file's content instead of the link.
ArchiverCommand addListCommand(const std::string& archive, const std::string& listFile);

// Adds the files of the add folder (addFolderContent) to the ROM zip, through a list file
// written beside the ROM zip and removed after. An add folder that holds no such file runs no
// archiver: the ROM zip is not rewritten for nothing. A folder that can't be made is reported
// under "Warning", as is 7z's own warning. What addFolderContent refuses ends the step before 7z
// runs ("Error" / "Can't add " + its path and the reason, or "Can't read " + the folder), as does
// a list file that can't be written ("Error" / "Can't add " + the add folder).
ArchiverOutcome addApps(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath);
