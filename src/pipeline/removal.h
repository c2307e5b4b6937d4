// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pipeline/request.h"
#include "tools/archiver.h"

#include <string>
#include <vector>

// The in-zip paths of ticked entries, by their removal modes, in the entries' order.
struct TickedPaths {
    std::vector<std::string> paths;  // each names one entry, or one folder with what is below it
    // Paths that can't name an entry literally: those that lost characters when their definition
    // file was read, those holding a double quote, and those 7z reads as something other than
    // the name they spell (empty, a leading separator, doubled separators, a "." or ".."
    // folder: `system/app/.` is every entry of the zip to 7z). They are named to the user
    // instead.
    std::vector<std::string> skipped;
};
TickedPaths tickedPaths(const std::vector<TickedEntry>& ticked);
// The same for one entry: its widget's paths (unless the mode is app), then its app's (unless
// the mode is widget).
TickedPaths tickedPaths(const TickedEntry& ticked);

// True when 7z, handed `name` with its wildcards off, takes exactly the entry of that name (and
// what lies below it): no empty name, leading or doubled separator, "." or ".." folder, and no
// double quote, which a list file of names (nameListText) can't carry.
bool namesEntryLiterally(const std::string& name);

// A definition path's key as archiverNameKey gives it, less the one separator that may end it
// to say "this folder".
std::string definitionPathKey(const std::string& path);

// The text of a list file that names `names` (as the ROM's listing spells them) to 7z: one a
// line, each between double quotes, so that blanks and tabs at a name's ends stay part of it.
// A list file takes any number of names, where a command line ends at Windows' 32,767 characters
// and Linux's few megabytes.
std::string nameListText(const std::vector<std::string>& names);

// The archiver's delete command for the entries named in `listFile` (nameListText):
// d -spd -scs{charset} -i@{listFile} -- {romPath}. -spd turns 7z's wildcards off, in the names
// and in the ROM's own path. Never run with an empty list, which leaves the archiver the ROM zip
// alone.
ArchiverCommand removalCommand(const std::string& romPath, const std::string& listFile);

// The extract command for the same entries into `extractionFolder`:
// x -spd -scs{charset} -i@{listFile} -o{extractionFolder} -- {romPath}.
ArchiverCommand extractCommand(const std::string& romPath, const std::string& extractionFolder,
                               const std::string& listFile);

// Where a run keeps its list of names: beside its extraction folder (whose content all goes into
// the undo zip), named after it.
std::string nameListPath(const std::string& extractionFolder);

// The add command that puts the files named in `listFile` (nameListText, as the ROM's listing
// spells them), lying below the folder 7z runs in, into `archive`, stored as they are (`stored`)
// or deflated at the fastest level: a -spd -mx={0|1} -scs{charset} -i@{listFile} -- {archive}.
ArchiverCommand undoAddCommand(const std::string& archive, const std::string& listFile,
                               bool stored);

// Runs 7z with `command` (removalCommand, extractCommand or undoAddCommand) on `names`, through
// `listFile`, written first and removed after, in `workingDirectory` ("" for the program's
// current folder); "" for `names` runs nothing and succeeds. A list that can't be written fails
// the step with a warning that says so.
ArchiverResult runOnNames(const std::string& program, const ArchiverCommand& command,
                          const std::string& listFile, const std::vector<std::string>& names,
                          const ProgressSink& progress, const std::string& workingDirectory = "");
