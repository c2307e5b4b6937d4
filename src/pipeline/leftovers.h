// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// The files a run killed outright can leave beside the ROM zip `rom.zip`, each a name of the
// program's (or its 7z's) own making:
// - the backup being copied: rom.zip_BU_0 (or _BU_1, ...) with a temporary suffix;
// - the undo zip being made: rom.zip_undo.zip (or _undo_1.zip, ...) with a temporary suffix, and
//   7z's temporary file of it, that name followed by ".tmp";
// - the list of files to add: rom.zip_add_list_0 (or _1, ...);
// - 7z's new ROM zip: rom.zip.tmp (or .tmp1, ...).
// The temporary suffix is "." and six letters or digits (Linux) or ".tmp" followed by two
// numbers joined by "_" (Windows). Only plain files count; links and folders never do.
// Full paths, sorted.
std::vector<std::string> leftoversBeside(const std::string& romPath);

// How the name of every folder that a run on `romPath` extracts into (in the extraction folder)
// begins: "run-", 16 hexadecimal digits drawn from the ROM zip's path, and "-". Runs on other ROM
// zips name theirs otherwise, so a run that holds this ROM zip's lock knows that a folder of
// that beginning is no other run's. With makeFreshFolder's suffix, the name is
// runFolderNameLength long.
std::string runFolderPrefix(const std::string& romPath);

// The folders in `extractionFolder` whose names begin with runFolderPrefix(romPath), as full
// paths, sorted: what runs on the ROM zip that were killed outright left there. Links never
// count.
std::vector<std::string> leftoverRunFolders(const std::string& romPath,
                                            const std::string& extractionFolder);

// Removes leftoversBeside(romPath) and leftoverRunFolders(romPath, extractionFolder). Only while
// the run holds the ROM zip's lock: no other run is then writing any of them.
void removeLeftovers(const std::string& romPath, const std::string& extractionFolder);

// The folders a run or plan rebuilds a ROM zip's block images in, beside it: rom.zip_blocks.
// followed by six letters or digits. Only folders count, never links. Full paths, sorted.
std::vector<std::string> leftoverBlockFolders(const std::string& romPath);

// Removes leftoverBlockFolders(romPath) but `kept` (a folder this program still uses). Only
// while the run holds the ROM zip's lock.
void removeLeftoverBlockFolders(const std::string& romPath, const std::string& kept = "");
