// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Faults a test puts in the way of the code it runs: a full disk, a file-size limit, a folder the
// user can't enter or write. A fault that outlives the code (a mount, another user, a lowered
// limit) is made in a child process, which runs the code and says what it found; the test reads
// that back with `inChild`. POSIX only.

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

// How a child's run went: `unavailable` says why the fault can't be had on this machine (the
// test skips), `failure` what the code did wrong ("" when everything held).
struct ChildRun {
    std::string unavailable;
    std::string failure;
};

// Runs `fault` and then `body` in a forked child. Each returns "" when it went as it should:
// `fault` otherwise why the fault can't be made, `body` what it found wrong.
inline ChildRun inChild(const std::function<std::string()>& fault,
                        const std::function<std::string()>& body) {
    int pipeEnds[2];
    // Not handed on to what the child starts: a 7z left running would hold the reading open.
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return {"", "no pipe to the child"};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::string said = "U" + (fault ? fault() : std::string());
        if (said == "U") said = "F" + body();
        for (std::size_t done = 0; done < said.size();) {
            const ssize_t wrote = ::write(pipeEnds[1], said.data() + done, said.size() - done);
            if (wrote <= 0) break;
            done += static_cast<std::size_t>(wrote);
        }
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string said;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) said.append(buffer, got);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || said.empty())
        return {"", "the child ended without a word (status " + std::to_string(status) + ")"};
    if (said[0] == 'U') return {said.substr(1), ""};
    return {"", said.substr(1)};
}

// Files may grow to `bytes` only while this lives, as on a full disk; a write beyond fails
// (EFBIG) instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

// A fault for inChild: a file system of `bytes` at `folder`, in a mount namespace of the child's
// own, so it goes with the child.
inline std::function<std::string()> smallDisk(const std::string& folder, std::size_t bytes) {
    return [folder, bytes]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return "no mount namespace for a small file system";
        const std::string size = "size=" + std::to_string(bytes);
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0)
            return "no small file system at " + folder;
        return "";
    };
}

// The user "nobody", whom root becomes to be an ordinary user: root may do anything.
constexpr uid_t ordinaryUserId = 65534;

// A fault for inChild: the child runs as an ordinary user, to whom permissions apply (as root,
// as "nobody"; what the test needs must be open or given to that user).
inline std::function<std::string()> ordinaryUser() {
    return []() -> std::string {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(ordinaryUserId) != 0 ||
                               setuid(ordinaryUserId) != 0))
            return "no other user to become";
        return "";
    };
}

// A fault for inChild: the child runs as an ordinary user to whom `path` denies `access` (R_OK,
// W_OK, X_OK).
inline std::function<std::string()> keptOut(const std::string& path, int access) {
    return [path, access]() -> std::string {
        if (std::string why = ordinaryUser()(); !why.empty()) return why;
        if (::access(path.c_str(), access) == 0) return "no user that is kept out of " + path;
        return "";
    };
}

// The permissions of `path` while this lives; its owner gets every right back after.
class LockedPath {
public:
    LockedPath(std::string path, std::filesystem::perms perms) : path_(std::move(path)) {
        std::filesystem::permissions(path_, perms);
    }
    ~LockedPath() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    LockedPath(const LockedPath&) = delete;
    LockedPath& operator=(const LockedPath&) = delete;

private:
    std::string path_;
};

// Opens `folder` and everything below it to every user, so that a child kept out of one path
// (keptOut) still reaches the rest.
inline void openToEveryone(const std::string& folder) {
    namespace fs = std::filesystem;
    fs::permissions(folder, fs::perms::all, fs::perm_options::add);
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_symlink())
            fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
}
