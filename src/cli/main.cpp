// SPDX-License-Identifier: GPL-3.0-or-later
// slimkit-cli: the customize run without the window, a dry run that shows what it would remove
// and add, and a check of the ROM zip after the run. Results go to the standard output (the
// plan, the outcome, the JSON document); steps, progress and messages to the error stream.

#include "catalogue/app_knowledge.h"
#include "catalogue/catalogue.h"
#include "cli/apps_command.h"
#include "cli/arguments.h"
#include "cli/json.h"
#include "cli/outcome.h"
#include "cli/output.h"
#include "cli/selection.h"
#include "pipeline/customize.h"
#include "pipeline/plan.h"
#include "platform/console.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/stop_signals.h"
#include "tools/archive_listing.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A refusal: one line on the error stream and, when JSON was asked for, a document that says
// why. Nothing else is printed and nothing written.
int refuse(const std::string& command, bool json, const std::string& reason) {
    std::string line = reason;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(stderr, "slimkit-cli: %s\n", line.c_str());
    if (json) {
        JsonWriter out;
        beginDocument(out, command, "refused", exitBadInput).key("reason").lines(reason);
        std::printf("%s\n", out.endObject().text().c_str());
    }
    return exitBadInput;
}

bool loadCatalogue(Catalogue& catalogue, const ProgramPaths& paths, const Arguments& arguments) {
    if (!loadDefinitions(catalogue, paths.definitionFolder)) {
        refuse(arguments.command, arguments.json,
               "Can't read the definition folder " + paths.definitionFolder);
        return false;
    }
    sortCatalogue(catalogue);
    return true;
}

// The plan of the run the arguments ask for. exitDone when it may be shown (a plan that is
// refused is shown in full: the refusals are part of it); otherwise the refusal's status.
int prepare(const ProgramPaths& paths, const Catalogue& catalogue, const Arguments& arguments,
            const AppKnowledge& knowledge, RomFit& fit, PreparedRun& prepared) {
    prepared.blocks = std::move(fit.blocks);
    CustomizeRequest request;
    request.romPath = arguments.rom;
    request.options = arguments.options;
    request.options.testZip = true;
    std::string error;
    if (!selectEntries(catalogue, paths.definitionFolder, arguments, knowledge, request.ticked,
                       error))
        return refuse(arguments.command, arguments.json, error);
    for (const std::string& warning : dependentWarnings(request.ticked, knowledge))
        std::fprintf(stderr, "slimkit-cli: Warning: %s\n", warning.c_str());
    // A plan writes nothing, not even the lock file a run holds.
    const std::string refusal = prepareRun(request, paths, prepared, arguments.command != "plan");
    // A plan the run would refuse is still shown in full: the refusals are part of it.
    if (!refusal.empty() && (arguments.command != "plan" || prepared.plan.refusals.empty()))
        return refuse(arguments.command, arguments.json, refusal);
    return exitDone;
}

std::uint64_t romSize(const PreparedRun& prepared) {
    const std::int64_t size = fileSize(prepared.request.romPath);
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

int plan(const ProgramPaths& paths, const Catalogue& catalogue, const Arguments& arguments,
         const AppKnowledge& knowledge, RomFit& fit) {
    PreparedRun prepared;
    if (const int status = prepare(paths, catalogue, arguments, knowledge, fit, prepared))
        return status;
    if (arguments.json) {
        JsonWriter out;
        beginDocument(out, "plan", "done", exitDone).key("rom").path(arguments.rom).key("plan");
        writePlan(out, prepared.plan, prepared.rom.entries, romSize(prepared), paths.addFolder);
        std::printf("%s\n", out.endObject().text().c_str());
    } else {
        printPlan(stdout, arguments.rom, prepared.plan, prepared.rom.entries, romSize(prepared),
                  paths.addFolder, arguments.files);
    }
    return exitDone;
}

int customizeRom(const ProgramPaths& paths, const Catalogue& catalogue, const Arguments& arguments,
                 const AppKnowledge& knowledge, RomFit& fit) {
    PreparedRun prepared;
    if (const int status = prepare(paths, catalogue, arguments, knowledge, fit, prepared))
        return status;
    const RunPlan& plan = prepared.plan;
    const std::uint64_t sizeBefore = romSize(prepared);
    const std::vector<std::string> leftOut = plan.leftOut();
    Outcome outcome;
    RunResult run;
    CliReporter reporter(arguments.quiet);

    if (plan.removalNames.empty() && plan.rewritten.empty() && plan.adds.empty() &&
        plan.replaces.empty()) {
        // Nothing to remove, nothing to add: no backup, no undo zip, no 7z.
        outcome = {leftOut.empty() ? exitDone : exitLeftOut, "nothing", false};
        if (!leftOut.empty()) outcome.result = "skipped";
    } else {
        int signal = 0;
        {
            const StopSignals stopSignals;
            run = customize(prepared, paths, reporter);
            signal = StopSignals::caught();
        }
        reporter.endLine();
        // A run whose only fault is the paths left out did all else it was to, and was checked.
        const bool onlyLeftOut = !leftOut.empty() && !run.interrupted && reporter.checkStarted &&
                                 run.checked && run.check.matches() &&
                                 reporter.messages.size() == 1;
        if (signal)
            outcome.status = exitStatusOf(signal);
        else if (run.differs)
            outcome.status = exitCheckFailed;
        else if (run.end == RunEnd::complete)
            outcome.status = exitDone;
        else if (onlyLeftOut)
            outcome.status = exitLeftOut;
        else
            outcome.status = exitStepFailed;
        outcome.result = resultName(outcome.status);
    }
    if (arguments.json)
        writeOutcome(arguments, outcome, prepared, run, reporter.messages, sizeBefore, paths);
    else
        printOutcome(outcome, plan, run, leftOut);
    return outcome.status;
}

}  // namespace

int main(int argc, char** argv) {
    showProgramTextInConsole();
    keepRunningWhenOutputCloses();
    const std::vector<std::string> words(argv + 1, argv + argc);
    Arguments arguments;
    std::string error;
    if (!parseArguments(words, arguments, error))
        return refuse(arguments.command, asksForJson(words), error + " (see slimkit-cli --help)");
    if (arguments.help || arguments.command == "help") {
        std::printf("%s", helpText(arguments.help ? arguments.command : arguments.topic).c_str());
        return exitDone;
    }
    if (arguments.version) {
        std::printf("slimkit-cli %s\n", SLIMKIT_VERSION);
        return exitDone;
    }
    // 7z runs in other folders than this one (the Windows build's in its own): a relative ROM
    // path would name another file there.
    arguments.rom = fullPath(arguments.rom);
    const ProgramPaths paths = programPaths(findProgramFolder(argv[0]));
    AppKnowledge knowledge;
    if (!arguments.knowledge.empty() && !loadAppKnowledge(arguments.knowledge, knowledge, error))
        return refuse(arguments.command, arguments.json, error);
    if (arguments.command == "apps" && arguments.rom.empty()) {
        Catalogue catalogue;
        if (!loadCatalogue(catalogue, paths, arguments)) return exitBadInput;
        return listApps(catalogue, arguments, {}, knowledge);
    }
    if (const std::string fault = romPathFault(arguments.rom); !fault.empty())
        return refuse(arguments.command, arguments.json, fault);
    // The ROM's listing takes longest: 7z lists it while the catalogue is read. It writes
    // nothing, and stops when the run ends early.
    PendingListing listing(paths.archiverProgram, arguments.rom);
    Catalogue catalogue;
    if (!loadCatalogue(catalogue, paths, arguments)) return exitBadInput;
    RomFit fit;
    const ArchiveListing romListing = listing.finish();
    if (arguments.command == "apps") {
        if (!romListing.readable)
            return refuse("apps", arguments.json,
                          "Can't read " + arguments.rom + " as a zip archive");
        fitToRom(catalogue, arguments, romListing, fit);
        return listApps(catalogue, arguments, fit, knowledge);
    }
    // The apps found in this listing can be selected; the run plans from its own listing, taken
    // once it holds the ROM zip's lock.
    fitToRom(catalogue, arguments, romListing, fit);
    if (arguments.command == "plan") return plan(paths, catalogue, arguments, knowledge, fit);
    return customizeRom(paths, catalogue, arguments, knowledge, fit);
}
