// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pipeline/request.h"

#include <string>
#include <vector>

// What slimkit-cli was asked, read from its command line.

// One app named by the selection: by its name as `apps` prints it, or by its definition file.
struct AppChoice {
    std::string text;  // NAME or NAME=mode; FILE or FILE=mode
    bool byDefinition = false;
};

struct Arguments {
    std::string command;  // apps, plan, customize or help
    std::string topic;    // the command `help` is asked about, "" for all
    std::string rom;
    std::vector<std::string> lists;  // "-" for the standard input
    std::vector<AppChoice> apps;
    std::string knowledge;     // a list of what is known of apps (JSON), "" for none
    bool allowUnsafe = false;  // --app may name an app the knowledge calls Unsafe
    RunOptions options;
    bool json = false;
    bool quiet = false;
    bool files = false;  // plan: every file behind each app
    bool names = false;  // apps: the names alone, one a line
    bool help = false;
    bool version = false;
};

// Reads the words after the program's name. False, with the reason in `error`, for a command
// line the program can't take; `arguments` then holds what was read up to that word.
bool parseArguments(const std::vector<std::string>& words, Arguments& arguments,
                    std::string& error);

// Whether a JSON document was asked for before `--`, looked up without reading the rest, so
// that even a command line that can't be read gets its document.
bool asksForJson(const std::vector<std::string>& words);

// The help of one command ("" or an unknown command: the whole program's).
std::string helpText(const std::string& command);
