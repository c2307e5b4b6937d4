// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_layer.h"

#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// "a/b/" names the folder "a/b"; trailing slashes would also make O_NOFOLLOW follow a link.
std::string withoutTrailingSlashes(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return trimmed;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and reports the outcome: a failed close can mean unwritten data.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies from the current offsets until the end of `from`; the number of bytes copied, or -1
// when it failed or `goOn`, asked between chunks, stopped it.
off_t copyContent(int from, int to, const CopyGoesOn& goOn) {
    constexpr std::size_t chunk = 8 << 20;
    off_t total = 0;
    bool kernelCopy = true;
    while (kernelCopy) {
        if (goOn && !goOn()) return -1;
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, chunk, 0);
        if (copied > 0) {
            total += copied;
            continue;
        }
        if (copied == 0) return total;
        if (errno == EINTR) continue;
        // Not offered between these file systems: copy through a buffer instead.
        if (total == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                           errno == EOPNOTSUPP || errno == EPERM)) {
            kernelCopy = false;
        } else {
            return -1;
        }
    }
    std::vector<char> buffer(1 << 20);
    for (std::size_t round = 0;; ++round) {
        if (goOn && round % (chunk / buffer.size()) == 0 && !goOn()) return -1;
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) return total;
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (!writeAll(to, buffer.data(), static_cast<std::size_t>(got))) return -1;
        total += got;
    }
}

// The folder to open for syncing the entry `path` names: "." for a bare name, "/" at the root.
std::string folderPart(const std::string& path) {
    std::string folder = folderOfPath(path);
    if (folder.empty()) return ".";
    if (folder.size() > 1) folder.pop_back();
    return folder;
}

void syncFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

bool removeFolderContent(int folder);

// Removes one name inside `parent`: a file or link by unlinking it, a folder with everything in
// it. Links are never followed.
bool removeEntry(int parent, const char* name) {
    if (::unlinkat(parent, name, 0) == 0) return true;
    if (errno != EISDIR && errno != EPERM && errno != EACCES) return errno == ENOENT;
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor child(::openat(parent, name, flags));
    if (!child.valid() && errno == EACCES) {
        // A folder without read permission: make it ours to read. AT_SYMLINK_NOFOLLOW refuses a
        // link, so nothing outside is changed.
        if (::fchmodat(parent, name, 0700, AT_SYMLINK_NOFOLLOW) == 0)
            child.reset(::openat(parent, name, flags));
    }
    if (!child.valid()) return false;
    const bool emptied = removeFolderContent(child.get());
    child.close();
    return ::unlinkat(parent, name, AT_REMOVEDIR) == 0 && emptied;
}

bool removeFolderContent(int folder) {
    struct stat status {};
    // Removing names needs write and search permission on the folder itself.
    if (::fstat(folder, &status) == 0 && (status.st_mode & 0700) != 0700)
        ::fchmod(folder, (status.st_mode & 07777) | 0700);
    const int listing = ::dup(folder);
    if (listing < 0) return false;
    DIR* directory = ::fdopendir(listing);
    if (!directory) {
        ::close(listing);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(directory);
    bool removed = true;
    for (const std::string& name : names) removed = removeEntry(folder, name.c_str()) && removed;
    return removed;
}

int descriptorOf(void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)); }

void* handleOf(int fd) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)); }

}  // namespace

std::int64_t fileSize(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not hang the program.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!fd.valid()) {
        if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return fileSizeOfFolder;
        return fileSizeMissing;
    }
    if (::fstat(fd.get(), &status) != 0) return fileSizeMissing;
    if (S_ISDIR(status.st_mode)) return fileSizeOfFolder;
    if (!S_ISREG(status.st_mode)) return fileSizeMissing;
    return status.st_size;
}

std::string fullPath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    char* here = getcwd(nullptr, 0);
    if (!here) return path;
    std::string full = here;
    std::free(here);
    if (full.back() != '/') full += '/';
    return full + path;
}

bool isLink(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool fileNameStartsWith(const std::string& name, const std::string& start) {
    return name.starts_with(start);
}

std::string linkTarget(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool pathExists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

std::string copyBeside(const std::string& source, const std::string& destination,
                       const CopyGoesOn& goOn) {
    FileDescriptor from(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!from.valid() || ::fstat(from.get(), &status) != 0 || !S_ISREG(status.st_mode)) return "";
    ::fcntl(from.get(), F_SETFL, 0);

    std::string temporary = destination + ".XXXXXX";
    std::vector<char> pattern(temporary.begin(), temporary.end());
    pattern.push_back('\0');
    FileDescriptor to(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!to.valid()) return "";
    temporary = pattern.data();

    // A copy-on-write clone where the file system offers one (Btrfs, XFS): the two files share
    // their blocks until either is written, and nothing is copied. Otherwise a copy.
    const off_t copied = ::ioctl(to.get(), FICLONE, from.get()) == 0
                             ? status.st_size
                             : copyContent(from.get(), to.get(), goOn);
    // The source's permissions where the file system keeps them: FAT refuses any.
    ::fchmod(to.get(), status.st_mode & 0777);
    const bool whole = copied == status.st_size && ::fsync(to.get()) == 0;
    if (!to.close() || !whole) {
        ::unlink(temporary.c_str());
        return "";
    }
    return temporary;
}

bool copyFile(const std::string& source, const std::string& destination, const CopyGoesOn& goOn) {
    const std::string temporary = copyBeside(source, destination, goOn);
    if (temporary.empty()) return false;
    if (::rename(temporary.c_str(), destination.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(folderPart(destination));
    return true;
}

bool holdsAnyFile(const std::string& folder) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) return false;
    const std::string prefix = withoutTrailingSlashes(folder) + '/';
    bool found = false;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat status {};
        const std::string path = prefix + name;
        if (::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || holdsAnyFile(path)) {
            found = true;
            break;
        }
    }
    ::closedir(directory);
    return found;
}

bool removeTree(const std::string& path) {
    const std::string folder = withoutTrailingSlashes(path);
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) return false;
    // A link standing where the folder should be is removed as a link.
    if (!S_ISDIR(status.st_mode)) return ::unlink(folder.c_str()) == 0;
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor fd(::open(folder.c_str(), flags));
    if (!fd.valid() && errno == EACCES &&
        ::fchmodat(AT_FDCWD, folder.c_str(), 0700, AT_SYMLINK_NOFOLLOW) == 0)
        fd.reset(::open(folder.c_str(), flags));
    if (!fd.valid()) return false;
    const bool emptied = removeFolderContent(fd.get());
    fd.close();
    return ::rmdir(folder.c_str()) == 0 && emptied;
}

bool makeFolder(const std::string& path) {
    const std::string folder = withoutTrailingSlashes(path);
    if (::mkdir(folder.c_str(), 0700) == 0) return true;
    struct stat status {};
    return errno == EEXIST && ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string whyFolderIsNotWritable(const std::string& folder) {
    std::string name = withoutTrailingSlashes(folder) + "/.slimkit-write-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    ::unlink(name.c_str());
    return "";
}

bool renameFile(const std::string& source, const std::string& destination) {
    return ::rename(source.c_str(), destination.c_str()) == 0;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

Placed renameWithoutReplacing(const std::string& source, const std::string& destination) {
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) !=
        0) {
        if (errno == EEXIST) return Placed::nameTaken;
        if (errno != EINVAL && errno != ENOSYS) return Placed::failed;
        // A file system without that kind of rename: a new link fails just as well on a name
        // that is taken.
        if (::link(source.c_str(), destination.c_str()) == 0) {
            ::unlink(source.c_str());
        } else if (errno == EEXIST) {
            return Placed::nameTaken;
        } else if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) {
            return Placed::failed;
        } else {
            // Nor links (FAT): the name is looked at right before a plain rename.
            struct stat taken {};
            if (::lstat(destination.c_str(), &taken) == 0) return Placed::nameTaken;
            if (::rename(source.c_str(), destination.c_str()) != 0) return Placed::failed;
        }
    }
    syncFolder(folderPart(destination));
    return Placed::done;
}

Placed linkWithoutReplacing(const std::string& existing, const std::string& newName) {
    if (::link(existing.c_str(), newName.c_str()) != 0)
        return errno == EEXIST ? Placed::nameTaken : Placed::failed;
    syncFolder(folderPart(newName));
    return Placed::done;
}

std::string makeFreshFolder(const std::string& parent, const std::string& prefix) {
    std::string folder = withoutTrailingSlashes(parent) + '/' + prefix + "XXXXXX";
    std::vector<char> pattern(folder.begin(), folder.end());
    pattern.push_back('\0');
    if (!::mkdtemp(pattern.data())) return "";
    return std::string(pattern.data()) + '/';
}

RomLock::RomLock(const std::string& romPath) : path_(lockPath(romPath)) {
    // A run that ends removes the file while it holds it: a file locked only after that removal
    // is no longer the one at the path, and the lock is tried again on the file now there.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd =
            ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            state_ = errno == EACCES || errno == EROFS ? State::unusable : State::blocked;
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            state_ = errno == EWOULDBLOCK ? State::busy : State::unusable;
            ::close(fd);
            return;
        }
        struct stat locked {
        }, named{};
        if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode)) {
            ::close(fd);
            state_ = State::blocked;
            return;
        }
        if (::lstat(path_.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            state_ = State::held;
            handle_ = handleOf(fd);
            return;
        }
        ::close(fd);
    }
    state_ = State::busy;
}

RomLock::~RomLock() {
    if (state_ != State::held) return;
    // Removed while still held, so that no other run locks a file on its way out.
    ::unlink(path_.c_str());
    ::close(descriptorOf(handle_));
}
