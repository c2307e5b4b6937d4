// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/leftovers.h"

#include "platform/file_layer.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// What follows the ROM zip's name in each leftover: only the program's own patterns, with no
// part of the user's names in them.
const std::regex& leftoverSuffix() {
    static const std::regex suffix(
        R"(\.tmp[0-9]*)"                                       // 7z's new ROM zip
        R"(|_BU_[0-9]+(\.[A-Za-z0-9]{6}|\.tmp[0-9]+_[0-9]+))"  // a backup being copied
        R"(|_undo(_[0-9]+)?\.zip(\.[A-Za-z0-9]{6}|\.tmp[0-9]+_[0-9]+)(\.tmp[0-9]*)?)"  // undo zip
        R"(|_add_list_[0-9]+)",  // the files to add
        std::regex::ECMAScript | std::regex::optimize);
    return suffix;
}

// The files (or, with `folders`, the folders) beside the ROM zip whose names are the ROM's
// name followed by `suffix`, sorted.
std::vector<std::string> besideRom(const std::string& romPath, const std::regex& suffix,
                                   bool folders) {
    const fs::path rom = fileSystemPath(romPath);
    const std::string romName = programPath(rom.filename());
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(rom.parent_path(), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = programPath(it->path().filename());
        if (name.size() <= romName.size() || name.compare(0, romName.size(), romName) != 0)
            continue;
        std::error_code statusError;
        const fs::file_status status = it->symlink_status(statusError);
        if (!(folders ? fs::is_directory(status) : fs::is_regular_file(status))) continue;
        if (std::regex_match(name.begin() + static_cast<std::ptrdiff_t>(romName.size()), name.end(),
                             suffix))
            found.push_back(programPath(it->path()));
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

std::vector<std::string> leftoversBeside(const std::string& romPath) {
    return besideRom(romPath, leftoverSuffix(), false);
}

std::string runFolderPrefix(const std::string& romPath) {
    // FNV-1a: the same path gives the same digits in every run, of either front-end.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : romPath) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static const char digits[] = "0123456789abcdef";
    std::string prefix = "run-";
    for (int shift = 60; shift >= 0; shift -= 4) prefix += digits[(hash >> shift) & 0xf];
    return prefix + "-";
}

std::vector<std::string> leftoverRunFolders(const std::string& romPath,
                                            const std::string& extractionFolder) {
    const std::string prefix = runFolderPrefix(romPath);
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(fileSystemPath(extractionFolder), error), end;
         !error && it != end; it.increment(error)) {
        std::error_code statusError;
        if (programPath(it->path().filename()).starts_with(prefix) &&
            fs::is_directory(it->symlink_status(statusError)))
            found.push_back(programPath(it->path()));
    }
    std::sort(found.begin(), found.end());
    return found;
}

void removeLeftovers(const std::string& romPath, const std::string& extractionFolder) {
    for (const std::string& file : leftoversBeside(romPath)) removeFile(file);
    for (const std::string& folder : leftoverRunFolders(romPath, extractionFolder))
        removeTree(folder);
}

std::vector<std::string> leftoverBlockFolders(const std::string& romPath) {
    static const std::regex suffix(R"(_blocks\.[A-Za-z0-9]{6})");
    return besideRom(romPath, suffix, true);
}

void removeLeftoverBlockFolders(const std::string& romPath, const std::string& kept) {
    for (const std::string& folder : leftoverBlockFolders(romPath))
        if (kept.empty() || !sameFile(folder, kept)) removeTree(folder);
}
