// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/paths.h"
#include "support/temp_folder.h"

#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

// fake_archiver.exe (built beside the tests) copied into a sandbox as 7z.exe, with the script
// it is to play. See fake_archiver_win32.cpp for the script's commands.
class FakeArchiver {
public:
    FakeArchiver() {
        sandbox_.folder("bin");
        sandbox_.folder("bin\\win");
        program_ = sandbox_.root() + "bin\\win\\7z.exe";
        CopyFileA((findProgramFolder(nullptr) + "fake_archiver.exe").c_str(), program_.c_str(),
                  FALSE);
    }

    const TempFolder& sandbox() const { return sandbox_; }
    const std::string& program() const { return program_; }
    std::string folder() const { return sandbox_.root() + "bin\\win\\"; }

    void script(const std::vector<std::string>& lines) const {
        std::string text;
        for (const auto& line : lines) text += line + "\n";
        sandbox_.write("bin\\win\\fake_script.txt", text);
    }
    std::string commandLine() const { return recorded("fake_command_line.txt"); }
    std::string workingFolder() const { return recorded("fake_cwd.txt"); }
    std::vector<std::string> arguments() const {
        std::vector<std::string> parts;
        std::istringstream in(recorded("fake_argv.txt"));
        for (std::string line; std::getline(in, line);) parts.push_back(line);
        return parts;
    }
    bool ran() const { return fileExists("fake_command_line.txt"); }
    bool fileExists(const std::string& name) const {
        return GetFileAttributesA((folder() + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

private:
    std::string recorded(const std::string& name) const { return readFile(folder() + name); }

    TempFolder sandbox_;
    std::string program_;
};
