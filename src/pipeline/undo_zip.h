// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pipeline/plan.h"
#include "tools/archive_listing.h"

#include <string>
#include <vector>

class BlockRom;
class Reporter;
struct ProgramPaths;

// The name of this run's undo zip: romPath + "_undo.zip", or, when anything stands there, the
// first free romPath + "_undo_1.zip", "_undo_2.zip", ...: an undo zip of an earlier run is the
// only way back to what that run removed, so it is never replaced.
std::string undoZipPath(const std::string& romPath);

// Builds the undo zip at undoZipPath(romPath): a fresh copy of the template plus exactly the
// plan's removed files, and returns its path. The files are extracted into the run's own
// extraction folder (paths.extractionFolder, fresh and made by the caller) and added to a
// copy of the template under a temporary name, put in place only when the extraction and the
// adding both succeeded and the copy holds the template's files unchanged, every
// removed file with the ROM's size and CRC, and nothing else (`templateEntries`: the template's
// listing). It goes in place at undoZipPath(romPath), or at the next free name when another file
// took that one meanwhile: nothing is ever replaced. Otherwise (or when the template can't be
// copied) it shows 7z's warning, if any, and "Error" / "Can't
// create recovery zip " + the undo zip's path, leaves nothing of it and returns "": the caller then
// ends the run before removing anything.
// Files inside the ROM's block images (`blocks`) are taken from the images, not through 7z.
std::string createUndoZip(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath,
                          const RunPlan& plan, const std::vector<ArchiveEntry>& templateEntries,
                          const BlockRom* blocks = nullptr);
