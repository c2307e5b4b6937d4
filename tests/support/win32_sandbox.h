// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/temp_folder.h"

#include <fstream>
#include <iterator>
#include <string>

#include <windows.h>

// A TempFolder for one Windows test whose `path()` ends with '\', as the program's own folders
// do there, with writers that take names below it.
class Win32Sandbox {
public:
    const std::string& path() const { return root_; }

    // Writes `content` as it is (binary) to `name` below the sandbox; returns the full path.
    std::string write(const std::string& name, const std::string& content) const {
        const std::string full = root_ + name;
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }
    std::string folder(const std::string& name) const {
        const std::string full = root_ + name;
        CreateDirectoryA(full.c_str(), nullptr);
        return full;
    }
    static std::string read(const std::string& path) { return readFile(path); }

private:
    TempFolder folder_;
    std::string root_ = folder_.path() + '\\';
};
