// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/arguments.h"
#include "cli/output.h"
#include "pipeline/customize.h"

#include <cstdint>
#include <string>
#include <vector>

struct ProgramPaths;

// How a run ended, for the outcome.
struct Outcome {
    int status = exitDone;
    const char* result = "done";
    bool changed = true;  // the plan was carried out and checked
};

// The "result" word of an exit status: "done", "failed", "refused", ...
const char* resultName(int status);

// The outcome of `slimkit-cli customize` as its JSON document on the standard output.
void writeOutcome(const Arguments& arguments, const Outcome& outcome, const PreparedRun& prepared,
                  const RunResult& run, const std::vector<CliReporter::Shown>& messages,
                  std::uint64_t sizeBefore, const ProgramPaths& paths);

// The outcome for a person: what differs or was skipped on the error stream, then what was done
// and how the run ended on the standard output.
void printOutcome(const Outcome& outcome, const RunPlan& plan, const RunResult& run,
                  const std::vector<std::string>& leftOut);
