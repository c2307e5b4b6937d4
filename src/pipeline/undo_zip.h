#pragma once

#include "pipeline/plan.h"
#include "tools/archive_listing.h"

#include <string>
#include <vector>

class Reporter;
struct ProgramPaths;

// The name of this run's undo zip: romPath + "_undo.zip", or, when anything stands there, the
// first free romPath + "_undo_1.zip", "_undo_2.zip", ...: an undo zip of an earlier run is the
// only way back to what that run removed, so it is never replaced.
std::string undoZipPath(const std::string& romPath);

// Builds the undo zip at undoZipPath(romPath): a fresh copy of the template plus exactly the
// plan's removed files, and returns its path. The extraction folder is emptied before the
// extraction, so nothing of an interrupted run goes in, and again at the end. The files are added
// to a copy of the template under a temporary name, renamed to the undo zip's name only when the
// extraction and the adding both succeeded and the copy holds the template's files unchanged, every
// removed file with the ROM's size and CRC, and nothing else (`templateEntries`: the template's
// listing). Otherwise (or when the template can't be copied or the extraction folder can't be
// emptied) it shows 7z's warning, if any, and "Error" / "Can't create recovery zip " + the undo
// zip's path, leaves nothing of it and returns "": the caller then ends the run before removing
// anything.
std::string createUndoZip(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath,
                          const RunPlan& plan, const std::vector<ArchiveEntry>& templateEntries);
