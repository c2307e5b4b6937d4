// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/json.h"
#include "pipeline/plan.h"
#include "pipeline/reporter.h"
#include "pipeline/rom_catalogue.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct ProgramPaths;

// The version of the JSON documents' layout: raised when a field changes its meaning or goes.
inline constexpr int jsonVersion = 1;

// How slimkit-cli ends; a stop by a signal ends it with 128 plus the signal's number.
inline constexpr int exitDone = 0;
inline constexpr int exitStepFailed = 1;   // a step failed
inline constexpr int exitBadInput = 2;     // refused before anything was written
inline constexpr int exitCheckFailed = 3;  // the ROM zip differs from the plan
inline constexpr int exitLeftOut = 4;      // done, but paths of the selection stayed

// "1 file", "3 files".
std::string files(std::size_t count);

// Shows a run's steps on the error stream, redrawn in place on a terminal and one line each
// otherwise, none when quiet; keeps its messages for the outcome.
class CliReporter : public Reporter {
public:
    explicit CliReporter(bool quiet);
    ~CliReporter() override { endLine(); }

    struct Shown {
        std::string title, text;
    };
    std::vector<Shown> messages;
    bool checkStarted = false;  // the run got to its last step, the check of the ROM zip

    void status(const std::string& text) override;
    void message(const std::string& title, const std::string& text) override;
    bool carryOn() override;
    void progress(int percent) override;
    void endLine();

private:
    void redraw(const std::string& text);

    bool quiet_;
    bool terminal_ = false;
    bool open_ = false;
    std::size_t drawn_ = 0;
    std::string status_;
};

// A message on the error stream, its line breaks kept.
void printMessage(const std::string& title, const std::string& text);

// The start every JSON document shares: {"version", "command", "result", "exitCode", then the
// caller's fields; the caller ends the object.
JsonWriter& beginDocument(JsonWriter& json, const std::string& command, const std::string& result,
                          int exitCode);

// What the ROM zip is likely to weigh after the run: its size now, less what the removed
// entries take in it, plus the added files as they are (7z mostly packs them smaller). Each
// entry also costs its name twice and the zip's headers.
// `rom`: the ROM zip's listing.
std::uint64_t estimatedRomSize(const RunPlan& plan, const std::vector<ArchiveEntry>& rom,
                               std::uint64_t romSize, const std::string& addFolder);

void writePlan(JsonWriter& json, const RunPlan& plan, const std::vector<ArchiveEntry>& rom,
               std::uint64_t romSize, const std::string& addFolder);

// The plan for a person: the summary, the warnings, then a line per app; `withFiles` lists
// the files behind each app and the add folder's.
void printPlan(std::FILE* out, const std::string& romPath, const RunPlan& plan,
               const std::vector<ArchiveEntry>& rom, std::uint64_t romSize,
               const std::string& addFolder, bool withFiles);
