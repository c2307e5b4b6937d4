// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

#include <unistd.h>
#include <climits>

namespace {

std::string folderOf(const std::string& path) {
    const std::string folder = folderOfPath(path);
    return folder.empty() ? std::string("./") : folder;
}

}  // namespace

std::string findProgramFolder(const char* argv0) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof buffer)
        return folderOf(std::string(buffer, static_cast<std::size_t>(length)));
    return folderOf(argv0 ? argv0 : "");
}
