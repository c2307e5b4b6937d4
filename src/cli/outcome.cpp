// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/outcome.h"

#include "cli/json.h"
#include "platform/paths.h"
#include "platform/text.h"

#include <cstdio>

const char* resultName(int status) {
    switch (status) {
        case exitDone:
            return "done";
        case exitStepFailed:
            return "failed";
        case exitBadInput:
            return "refused";
        case exitCheckFailed:
            return "differs";
        case exitLeftOut:
            return "skipped";
        default:
            return "stopped";
    }
}

void writeOutcome(const Arguments& arguments, const Outcome& outcome, const PreparedRun& prepared,
                  const RunResult& run, const std::vector<CliReporter::Shown>& messages,
                  std::uint64_t sizeBefore, const ProgramPaths& paths) {
    const RunPlan& plan = prepared.plan;
    const bool checked = outcome.changed && run.checked && run.check.matches();
    JsonWriter out;
    beginDocument(out, "customize", outcome.result, outcome.status).key("rom").path(arguments.rom);
    out.key("backup");
    run.backup.empty() ? out.null() : out.path(run.backup);
    out.key("undoZip");
    run.undoZip.empty() ? out.null() : out.path(run.undoZip);
    out.key("filesRemoved")
        .value(static_cast<std::uint64_t>(checked ? plan.removed.size() : 0))
        .key("bytesFreed")
        .value(checked ? plan.bytesFreed : 0)
        .key("filesAdded")
        .value(static_cast<std::uint64_t>(checked ? plan.adds.size() : 0))
        .key("filesReplaced")
        .value(static_cast<std::uint64_t>(checked ? plan.replaces.size() : 0))
        .key("skipped")
        .paths(plan.leftOut())
        .key("messages")
        .beginArray();
    for (const auto& message : messages)
        out.beginObject()
            .key("title")
            .value(message.title)
            .key("lines")
            .lines(message.text)
            .endObject();
    out.endArray().key("check");
    if (run.checked) {
        out.beginObject()
            .key("zipTested")
            .value(run.check.tested)
            .key("notRemoved")
            .paths(run.check.notRemoved)
            .key("notAdded")
            .paths(run.check.notAdded)
            .key("changed")
            .paths(run.check.changed)
            .endObject();
    } else {
        out.null();
    }
    out.key("plan");
    writePlan(out, plan, prepared.rom.entries, sizeBefore, paths.addFolder);
    std::printf("%s\n", out.endObject().text().c_str());
}

void printOutcome(const Outcome& outcome, const RunPlan& plan, const RunResult& run,
                  const std::vector<std::string>& leftOut) {
    if (outcome.status == exitCheckFailed) {
        std::fprintf(stderr, "slimkit-cli: the ROM zip differs from the plan%s\n",
                     run.check.tested ? "" : ": 7z's test of the zip failed");
        for (const std::string& path : run.check.notRemoved)
            std::fprintf(stderr, "  still there: %s\n", path.c_str());
        for (const std::string& path : run.check.notAdded)
            std::fprintf(stderr, "  not added: %s\n", path.c_str());
        for (const std::string& path : run.check.changed)
            std::fprintf(stderr, "  changed: %s\n", path.c_str());
    }
    if (!outcome.changed) {
        for (const std::string& path : leftOut)
            std::fprintf(stderr, "slimkit-cli: Warning: skipped: %s\n", path.c_str());
        std::printf(
            "%s: no file of the selection is in this ROM zip and nothing is to be added; "
            "nothing was written\n",
            leftOut.empty() ? "nothing to do" : "skipped");
        return;
    }
    const bool checked = outcome.status == exitDone || outcome.status == exitLeftOut;
    if (checked)
        std::printf("Removed %s (%s); added %s, replaced %s.\n", files(plan.removed.size()).c_str(),
                    shownSize(plan.bytesFreed).c_str(), files(plan.adds.size()).c_str(),
                    files(plan.replaces.size()).c_str());
    if (!run.backup.empty()) std::printf("Backup: %s\n", run.backup.c_str());
    if (!run.undoZip.empty()) std::printf("Undo zip: %s\n", run.undoZip.c_str());
    switch (outcome.status) {
        case exitDone:
            std::printf("done: 7z reads the ROM zip whole, and it holds what was planned\n");
            break;
        case exitLeftOut:
            std::printf(
                "skipped: %s of the selection stayed in the ROM zip (named above); the rest "
                "was done and checked\n",
                leftOut.size() == 1 ? "1 path"
                                    : (std::to_string(leftOut.size()) + " paths").c_str());
            break;
        case exitStepFailed:
            std::printf(
                "failed: a step failed (named above); check the ROM zip before flashing it\n");
            break;
        case exitCheckFailed:
            std::printf(
                "differs: the ROM zip differs from the plan (named above); check it before "
                "flashing it\n");
            break;
        default:
            if (run.stoppedInCheck)
                std::printf(
                    "stopped: while 7z listed the ROM zip for its check; the step before had "
                    "changed it, and it was not checked\n");
            else
                std::printf(
                    run.end == RunEnd::complete
                        ? "stopped: once every step had ended; the ROM zip was not checked\n"
                        : "stopped: the ROM zip is as it was before the step that was "
                          "under way\n");
    }
}
