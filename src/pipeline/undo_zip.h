#pragma once

#include "pipeline/request.h"
#include "tools/archive_listing.h"

#include <string>
#include <vector>

class Reporter;
struct ProgramPaths;

// The extract command: removalCommand with "d -bd -y" replaced by
// x -bd -y -o"{extractionFolder}"; "" when the removal command is "".
std::string extractCommand(const std::string& removalCommandLine,
                           const std::string& extractionFolder);

// The name of this run's undo zip: romPath + "_undo.zip", or, when anything stands there, the
// first free romPath + "_undo_1.zip", "_undo_2.zip", ...: an undo zip of an earlier run is the
// only way back to what that run removed, so it is never replaced.
std::string undoZipPath(const std::string& romPath);

// Builds the undo zip: a fresh copy of the template plus the files that removing the request's
// ticked entries will delete, and returns its path. The files are extracted into a new folder of
// this run's own below the extraction folder, removed again at the end of the step however it
// ends. They are added to a copy of the template under a temporary name, put in place only when
// the extraction and the adding both ended with 7z's success line and the copy holds every file
// that the removal will delete from the ROM (found in `romEntries`, the ROM's listing), each with
// the ROM's size and CRC. It goes in place at undoZipPath(request.romPath), or at the next free
// name when another file took that one meanwhile: nothing is ever replaced. Otherwise (or when
// the template can't be copied or the folder can't be made) it shows 7z's warning, if any, and
// "Error" / "Can't create recovery zip " + the undo zip's path, leaves nothing of it and returns
// "": the caller then ends the run before removing anything.
std::string createUndoZip(Reporter& reporter, const ProgramPaths& paths,
                          const CustomizeRequest& request,
                          const std::vector<ArchiveEntry>& romEntries);
