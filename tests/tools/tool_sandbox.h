// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/search_path.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The test's TempFolder (with a blank in its name) holding a bin/ folder that is the whole PATH
// while the sandbox lives (unless it is told to keep the real PATH). Fakes built from fake_tool.cpp
// are installed there under the name they play. Everything is removed, and PATH restored, at the
// end.
class ToolSandbox {
public:
    explicit ToolSandbox(bool ownPath = true) {
        folder = temp_.path() + "/";
        bin = folder + "bin/";
        std::filesystem::create_directory(bin);
        if (ownPath) path_.emplace(bin, SearchPath::instead);
    }
    ToolSandbox(const ToolSandbox&) = delete;
    ToolSandbox& operator=(const ToolSandbox&) = delete;

    // Installs the scripted fake as bin/<name>. The copy is renamed into place: a fake that has
    // just been killed and collected may still hold its file against writing for a moment.
    void installFake(const std::string& name, const std::vector<std::string>& script) {
        std::filesystem::copy_file(FAKE_TOOL_PATH, bin + name + ".new",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(bin + name + ".new", bin + name);
        std::ofstream file(bin + name + ".script", std::ios::binary);
        for (const std::string& line : script) file << line << '\n';
    }

    bool ran(const std::string& name) const {
        return std::filesystem::exists(bin + name + ".args");
    }
    std::vector<std::string> recordedArgs(const std::string& name) const {
        std::vector<std::string> args;
        const std::string all = readFile(bin + name + ".args");
        std::string::size_type start = 0;
        for (auto end = all.find('\0'); end != std::string::npos; end = all.find('\0', start)) {
            args.push_back(all.substr(start, end - start));
            start = end + 1;
        }
        return args;
    }
    std::string recordedCwd(const std::string& name) const { return readFile(bin + name + ".cwd"); }

    std::string folder;  // ends with '/'
    std::string bin;     // ends with '/'

private:
    TempFolder temp_{"slimkit tools-"};
    std::optional<SearchPath> path_;
};

// The status line of a process, or "" once it has gone. Read with plain system calls: any
// process on the machine may end while it is read, and a stream then throws ("No such process").
inline std::string processStat(const std::string& pid) {
    const int fd = open(("/proc/" + pid + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    char buffer[1024];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    close(fd);
    return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : "";
}

// The processes whose parent is this test process, zombies included unless `withZombies` is
// false (a zombie has ended; only its collection is still to come).
inline std::vector<pid_t> childProcesses(bool withZombies = true) {
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    if (!proc) return children;
    const pid_t self = getpid();
    while (const dirent* entry = readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0) continue;
        const std::string stat = processStat(entry->d_name);
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        // After the name: " <state> <ppid> ..."
        char state = 0;
        int parent = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
            parent == self && (withZombies || state != 'Z'))
            children.push_back(pid);
    }
    closedir(proc);
    return children;
}
