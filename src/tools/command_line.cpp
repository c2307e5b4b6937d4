// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/command_line.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\n')) {
            if (inArgument) arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(std::move(current));
    return arguments;
}

std::string archiveNamed(const std::string& line) {
    const std::vector<std::string> arguments = splitCommandLine(line);
    bool switchesEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (switchesEnded || !argument.starts_with('-')) return argument;
        if (argument == "--") switchesEnded = true;
    }
    return "";
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
