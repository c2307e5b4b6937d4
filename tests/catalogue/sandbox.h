// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/temp_folder.h"

#include <string>

// A temporary folder whose `path()` ends with a separator, as the program's own folders do.
class Sandbox {
public:
    std::string path() const { return folder_.path() + "/"; }

    std::string write(const std::string& name, const std::string& bytes) const {
        writeFile(folder_ / name, bytes);
        return folder_ / name;
    }

    std::string read(const std::string& name) const { return readFile(folder_ / name); }

private:
    TempFolder folder_;
};
