// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/process.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One entry of an archive as 7z lists it.
struct ArchiveEntry {
    std::string path;  // as 7z prints it: '/' between folders, '\' from the Windows build's 7z
    std::uint64_t size = 0;
    std::uint64_t packedSize = 0;  // what it takes in the archive
    std::string crc;               // eight hex digits; "" for a folder or an entry without one
    bool isFolder = false;
    bool encrypted = false;  // its content needs a password
    bool isLink = false;     // a symbolic link: its content is the path it points to
};

// What 7z made of a file read as an archive.
struct ArchiveListing {
    bool archiverStarted = false;
    bool readable = false;  // a zip that 7z opened and listed to its end without an error
    bool stopped = false;   // the caller asked to stop while 7z listed: 7z was killed
    std::vector<ArchiveEntry> entries;
};

// Has 7z (`program`, as in ProgramPaths::archiverProgram) list `archive` as a zip, entries only,
// in its technical form (`l -ba -slt -tzip -spd`), and reads the whole listing. Without the
// archive's own properties, its comment can't pass for entries; with -spd a '*' or '?' in the
// archive's path is no wildcard. The archive is readable only when 7z opened it as a zip, wrote
// nothing to its error stream and ended with code 0: a text file, an empty file or a cut-off zip
// is not, though 7z lists what it found of the last. Nothing is shown and nothing is written.
// With `carryOn`, it is asked while 7z lists, as the runner asks it; false kills 7z, and the
// listing is stopped, not readable.
ArchiveListing listArchive(const std::string& program, const std::string& archive,
                           const std::function<bool()>& carryOn = {});

// A listing under way: 7z is started at once and read to its end by `finish`, so that the
// caller's own work in between overlaps 7z's. A listing dropped unfinished stops its 7z.
class PendingListing {
public:
    PendingListing(const std::string& program, const std::string& archive);
    ~PendingListing();
    PendingListing(const PendingListing&) = delete;
    PendingListing& operator=(const PendingListing&) = delete;

    // What listArchive gives; once only.
    ArchiveListing finish(const std::function<bool()>& carryOn = {});

private:
    ProcessPtr process_;
};
