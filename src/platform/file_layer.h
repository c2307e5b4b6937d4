// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What fileSize gives for a path that is no file: below 0, so that any size 0 or more means "a
// file of that size".
inline constexpr std::int64_t fileSizeMissing = -1;   // nothing there, or not to be examined
inline constexpr std::int64_t fileSizeOfFolder = -2;  // a folder

// Size of a file in bytes (0 included); fileSizeMissing when the path does not exist, can't be
// examined or is neither a file nor a folder (a pipe, a device), fileSizeOfFolder when it is a
// folder. A path "exists as a file" when the result is 0 or more.
std::int64_t fileSize(const std::string& path);

// True when `path` is a folder.
inline bool folderExists(const std::string& path) { return fileSize(path) == fileSizeOfFolder; }

// True when anything at all stands at `path`: a file, a folder or a link (even a broken one).
bool pathExists(const std::string& path);

// The file that `path` names once every symbolic link on the way is followed, as an absolute
// path; `path` itself when there is none or it can't be resolved. Editing the file there keeps a
// link the user chose as a link: a new file renamed onto the link's path would replace it.
std::string linkTarget(const std::string& path);

// `path` as a full path that names what the user meant, spelled as the file system spells it:
// made absolute against the working folder. On Windows by the system's own rules, so a UNC path
// ("\\server\share\...") and a "\\?\" or "\\.\" path keep naming what they name (the prefix
// dropped), trailing dots and blanks go, short (8.3) names are expanded, and the name of a file
// that exists takes its case on disk: "ROM.ZIP." typed for rom.zip gives ...\rom.zip. `path`
// itself when it can't be made full.
std::string fullPath(const std::string& path);

// True when `path` itself is a link of any kind, followed or not: a symbolic link, and on Windows
// any reparse point (a junction, a mount point, a directory symbolic link), which the standard
// library there takes for an ordinary folder.
bool isLink(const std::string& path);

// True when the file name `name` begins with `start` as the file system compares names: byte for
// byte on Linux, in any case on Windows.
bool fileNameStartsWith(const std::string& name, const std::string& start);

// `stem` followed by the first number (0, 1, ...) whose name is free of anything at all.
inline std::string firstFreeNumbered(const std::string& stem) {
    for (unsigned long n = 0;; ++n) {
        std::string candidate = stem + std::to_string(n);
        if (!pathExists(candidate)) return candidate;
    }
}

// True when `a` and `b` name one file or folder that exists, by whatever names: links followed,
// and on Windows in any case or short form.
bool sameFile(const std::string& a, const std::string& b);

// Asked between the chunks of a copy (a few megabytes each): false stops it, as a failure.
using CopyGoesOn = std::function<bool()>;

// Copies the whole of `source` to `destination`, replacing a file that is there. The copy is
// written to a temporary name beside the destination and renamed into place only when it is
// complete, so a failed or stopped copy never leaves a partial file and never destroys an
// earlier one.
bool copyFile(const std::string& source, const std::string& destination,
              const CopyGoesOn& goOn = {});

// Copies the whole of `source` to a new file beside `destination` (its name followed by a
// suffix that no other file has) and returns that file's path; "" when the copy failed or was
// stopped, which leaves nothing behind. Where the file system offers copy-on-write clones
// (Btrfs, XFS, ReFS), the copy is one: it shares the source's blocks and takes no time.
std::string copyBeside(const std::string& source, const std::string& destination,
                       const CopyGoesOn& goOn = {});

// True when anything other than a folder lies in `folder` or in a folder below it. Links are
// not followed.
bool holdsAnyFile(const std::string& folder);

// Removes a folder with everything in it, read-only files included. A symbolic link inside is
// removed as a link: nothing outside the folder is ever touched.
bool removeTree(const std::string& path);

// Makes sure a folder stands at `path` (a trailing separator is allowed), creating that one
// folder (Linux: mode 0700) when nothing is there. True when a folder is there afterwards, made
// now or before, which is what a caller about to fill it needs; false when it can't be made (a
// missing parent, no permission) or the name holds something else: a file, or a link, which is
// never followed.
bool makeFolder(const std::string& path);

// Why no file can be made in the folder `folder`, in the system's words ("Permission denied",
// "Read-only file system"); "" when one can. Tried with a file of its own, removed at once.
std::string whyFolderIsNotWritable(const std::string& folder);

// Replaces `destination` with `source` in one step.
bool renameFile(const std::string& source, const std::string& destination);

bool removeFile(const std::string& path);

// How renameWithoutReplacing went.
enum class Placed {
    done,       // `source` now stands at `destination`
    nameTaken,  // something stood there: it is as it was, and `source` too
    failed,
};

// Moves `source` to `destination` only where nothing stands: a name that another program took
// meanwhile is never replaced. On a Linux file system that offers neither a rename that refuses
// a taken name nor hard links (FAT through FUSE), the name is looked at right before the rename.
Placed renameWithoutReplacing(const std::string& source, const std::string& destination);

// Gives the file `existing` the second name `newName` (a hard link), only where nothing stands
// there: both names are one file until one of them is replaced by another file. nameTaken as
// renameWithoutReplacing; failed where the file system has no such links (FAT, exFAT, many
// network shares) or refuses this one.
Placed linkWithoutReplacing(const std::string& existing, const std::string& newName);

// Makes a new folder in `parent` named `prefix` and a suffix that no other folder there has (on
// Linux only its owner may enter it), and returns its path with a trailing separator; "" when
// none can be made.
std::string makeFreshFolder(const std::string& parent, const std::string& prefix);

// The lock of one ROM zip for the whole of a run, shared by every front-end and program folder:
// a lock file beside the ROM zip, its path followed by ".slimkit-lock". The ROM file itself is
// not locked, since 7z replaces it with a new file. The file is removed when the lock is let go;
// one left by a run that was killed is simply taken over.
class RomLock {
public:
    enum class State {
        held,      // this run holds the ROM zip
        busy,      // another run holds it
        unusable,  // no lock file can be made beside the ROM zip (a folder the user can't write)
        blocked,   // something else than a lock file stands at its name
    };

    // `romPath`: the ROM zip's real path, links followed, so that every name of it meets here.
    explicit RomLock(const std::string& romPath);
    ~RomLock();
    RomLock(const RomLock&) = delete;
    RomLock& operator=(const RomLock&) = delete;

    State state() const { return state_; }

    static std::string lockPath(const std::string& romPath) { return romPath + ".slimkit-lock"; }

private:
    std::string path_;
    State state_ = State::unusable;
    void* handle_ = nullptr;  // what holds the lock: a file descriptor or a Windows handle
};
