// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/temp_folder.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// Puts an `xdg-open` first on PATH that records each target it is handed, one per line, so
// that the desktop launcher can be watched without starting a browser or file manager.
class FakeOpener {
public:
    FakeOpener() {
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
        const std::string script = folder_ / "xdg-open";
        writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + recordPath() + "'\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        setenv("PATH", (folder_.path() + ":" + savedPath_).c_str(), 1);
    }
    ~FakeOpener() { setenv("PATH", savedPath_.c_str(), 1); }
    FakeOpener(const FakeOpener&) = delete;
    FakeOpener& operator=(const FakeOpener&) = delete;

    // The targets recorded so far, once `count` have arrived or after a minute: the launcher
    // doesn't wait for its handler, which a busy machine may start late.
    std::vector<std::string> waitForTargets(std::size_t count) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::vector<std::string> targets = recorded();
        while (targets.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            targets = recorded();
        }
        return targets;
    }

private:
    std::string recordPath() const { return folder_ / "targets"; }
    std::vector<std::string> recorded() const {
        std::vector<std::string> lines;
        std::istringstream in(readFile(recordPath()));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    TempFolder folder_;
    std::string savedPath_;
};
