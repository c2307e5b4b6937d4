// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/text.h"

#include "platform/ascii.h"

#include <dirent.h>
#include <sys/stat.h>

#include <string_view>

bool archiverNamesAreUtf8() { return true; }

std::string lowerName(const std::string& text) { return lowerAscii(text); }

std::string archiverNameKey(const std::string& name) { return name; }

bool isWritableFileName(const std::string&) { return true; }

std::string normaliseDefinitionPath(const std::string& path) {
    std::string normalised = path;
    for (char& c : normalised)
        if (c == '\\') c = '/';
    return normalised;
}

namespace {

// "*.ini" with letter case counting; a leading '.' is an ordinary character here.
bool matchesDefinitionPattern(std::string_view name) {
    return name.size() >= 4 && name.substr(name.size() - 4) == ".ini";
}

// Only regular files, or links to them, are definition files: a folder is skipped, and so is
// anything that could block or misbehave on reading (a FIFO, a socket, a device).
bool isRegularFile(const std::string& folder, const dirent& entry) {
#ifdef _DIRENT_HAVE_D_TYPE
    if (entry.d_type == DT_REG) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
#endif
    struct stat status;
    if (::stat((folder + entry.d_name).c_str(), &status) != 0)
        return true;  // a dangling link: listed, and its open fails later
    return S_ISREG(status.st_mode);
}

}  // namespace

bool listDefinitionFiles(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) return false;
    while (const dirent* entry = ::readdir(directory)) {
        if (matchesDefinitionPattern(entry->d_name) && isRegularFile(folder, *entry))
            names.emplace_back(entry->d_name);
    }
    ::closedir(directory);
    return true;
}

std::filesystem::path fileSystemPath(const std::string& path) { return path; }

std::string programPath(const std::filesystem::path& path) { return path.native(); }
