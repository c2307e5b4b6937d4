// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Builds and reads zips with the real 7z, without a shell in between; support/zip_writer.h
// writes the ones 7z would never make.

#include <sys/wait.h>
#include <unistd.h>
#include <set>
#include <string>
#include <vector>

// Runs a program in `folder` and returns its standard output; `status` gets its exit status.
inline std::string runProgram(const std::vector<std::string>& arguments, const std::string& folder,
                              int* status = nullptr) {
    std::vector<char*> argv;
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int output[2];
    if (pipe(output) != 0) return "";
    const pid_t child = fork();
    if (child == 0) {
        if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
        dup2(output[1], 1);
        close(output[0]);
        close(output[1]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(output[1]);
    std::string text;
    char buffer[65536];
    ssize_t got;
    while ((got = read(output[0], buffer, sizeof buffer)) > 0) text.append(buffer, got);
    close(output[0]);
    int exitStatus = -1;
    waitpid(child, &exitStatus, 0);
    if (status) *status = WIFEXITED(exitStatus) ? WEXITSTATUS(exitStatus) : -1;
    return text;
}

// Zips everything in `folder` into `zip` (names relative to the folder, deflated); true on
// success.
inline bool makeZip(const std::string& folder, const std::string& zip) {
    int status = -1;
    runProgram({"7z", "a", "-tzip", "-bd", "-y", "-r", zip, "*"}, folder, &status);
    return status == 0;
}

// The file entries of a zip, folders left out.
inline std::set<std::string> zipEntries(const std::string& zip) {
    const std::string listing = runProgram({"7z", "l", "-slt", "-ba", zip}, "");
    std::set<std::string> entries;
    std::string path;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        const std::string line = listing.substr(start, end - start);
        start = end + 1;
        if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
        if (line == "Folder = -" && !path.empty()) entries.insert(path);
    }
    return entries;
}

inline std::string zipEntryContent(const std::string& zip, const std::string& entry) {
    return runProgram({"7z", "x", "-so", zip, entry}, "");
}

// How a zip holds an entry, as 7z names its method: "Store", "Deflate", ...; "" when not there.
inline std::string zipEntryMethod(const std::string& zip, const std::string& entry) {
    const std::string listing = runProgram({"7z", "l", "-slt", "-ba", "-spd", zip, entry}, "");
    const auto method = listing.find("\nMethod = ");
    if (method == std::string::npos) return "";
    const auto start = method + 10;
    return listing.substr(start, listing.find('\n', start) - start);
}
