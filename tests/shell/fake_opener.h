// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/search_path.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

// Puts an `xdg-open` first on PATH that records each target it is handed, one per line, so
// that the desktop launcher can be watched without starting a browser or file manager.
class FakeOpener {
public:
    FakeOpener() {
        const std::string script = folder_ / "xdg-open";
        writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + recordPath() + "'\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }

    // The targets recorded so far, once `count` have arrived or after a minute: the launcher
    // doesn't wait for its handler, which a busy machine may start late.
    std::vector<std::string> waitForTargets(std::size_t count) const {
        waitUntil([&] { return recorded().size() >= count; });
        return recorded();
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
    const SearchPath path_{folder_.path()};
};
