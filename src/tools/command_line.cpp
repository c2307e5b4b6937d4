// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/command_line.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

std::string windowsCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        const bool quoted =
            argument.empty() || argument.find_first_of(" \t\n") != std::string::npos;
        line += quoted ? '"' + argument + '"' : argument;
    }
    return line;
}

namespace {

bool isRunnableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string findProgram(const std::string& name) {
    if (name.empty()) return "";
    if (name.find('/') != std::string::npos) return isRunnableFile(name) ? name : "";
    const char* searchPath = std::getenv("PATH");
    if (!searchPath) return "";
    const std::string folders = searchPath;
    std::string::size_type start = 0;
    while (start <= folders.size()) {
        auto end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty()) continue;
        if (folder.back() != '/') folder += '/';
        const std::string candidate = folder + name;
        if (isRunnableFile(candidate)) return candidate;
    }
    return "";
}
