// SPDX-License-Identifier: GPL-3.0-or-later
// slimkit-cli: the customize run without the window, a dry run that shows what it would remove
// and add, and a check of the ROM zip after the run. Results go to the standard output (the
// plan, the outcome, the JSON document); steps, progress and messages to the error stream.

#include "catalogue/app_knowledge.h"
#include "catalogue/catalogue.h"
#include "catalogue/removal_mode.h"
#include "cli/arguments.h"
#include "cli/json.h"
#include "cli/output.h"
#include "cli/selection.h"
#include "pipeline/block_rom.h"
#include "pipeline/customize.h"
#include "pipeline/plan.h"
#include "pipeline/rom_catalogue.h"
#include "platform/console.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/stop_signals.h"
#include "platform/text.h"
#include "tools/archive_listing.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace {

constexpr int exitDone = 0;
constexpr int exitStepFailed = 1;
constexpr int exitBadInput = 2;
constexpr int exitCheckFailed = 3;
constexpr int exitLeftOut = 4;

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

// The apps a ROM zip holds, each with the entry of the check list that stands for it.
struct RomFit {
    std::vector<RomApp> apps;
    std::unique_ptr<BlockRom> blocks;  // a block-based ROM zip's images, for the plan to take
    std::unordered_map<const CatalogueEntry*, std::vector<const RomApp*>> appsOf;
};

// Fits the catalogue to the ROM of `listing`: an APK that can't be read costs only its own
// line, a ROM that can't be opened leaves the catalogue as the definitions make it.
void fitToRom(Catalogue& catalogue, const Arguments& arguments, const ArchiveListing& listing,
              RomFit& fit) {
    if (!listing.readable) return;
    std::string why;
    // A block-based ROM zip's files are inside its images, read from them.
    RomContent content = readRomContent(arguments.rom, listing.entries, why, {},
                                        [] { return StopSignals::caught() == 0; });
    fit.apps = std::move(content.apps);
    fit.blocks = std::move(content.blocks);
    if (!why.empty()) std::fprintf(stderr, "slimkit-cli: Warning: %s\n", why.c_str());
    fitCatalogueToRom(catalogue, content.entries, fit.apps);
    for (const auto& entry : catalogue.entries)
        fit.appsOf[entry.get()] = appsStoodFor(*entry, fit.apps);
}

// What the knowledge says of an entry, as "knowledge": null when it says nothing.
void writeNote(JsonWriter& out, const AppNote* note) {
    if (!note) {
        out.null();
        return;
    }
    out.beginObject().key("removal");
    note->tier == RemovalTier::unknown ? out.null() : out.value(removalTierText(note->tier));
    out.key("description")
        .value(note->description)
        .key("list")
        .value(note->list)
        .key("labels")
        .strings(note->labels)
        .key("dependencies")
        .strings(note->dependencies)
        .key("neededBy")
        .strings(note->neededBy)
        .endObject();
}

std::vector<const RomApp*> appsOf(const RomFit& fit, const CatalogueEntry& entry) {
    const auto found = fit.appsOf.find(&entry);
    return found == fit.appsOf.end() ? std::vector<const RomApp*>{} : found->second;
}

// An app found in the ROM, as an object of an entry's "romApps".
void writeRomApp(JsonWriter& out, const RomApp& app) {
    const ApkIdentity& identity = app.reading.identity;
    out.beginObject()
        .key("apk")
        .path(app.found.apkPath)
        .key("package")
        .value(identity.package)
        .key("label")
        .value(identity.label)
        .key("versionName")
        .value(identity.versionName)
        .key("versionCode")
        .value(identity.versionCode)
        .key("size")
        .value(app.found.size)
        .key("files")
        .paths(app.found.entries)
        .key("problem");
    app.reading.complete() ? out.null() : out.value(app.reading.problem);
    out.endObject();
}

void printAppsJson(const Catalogue& catalogue, const Arguments& arguments, const RomFit& fit,
                   const AppKnowledge& knowledge) {
    const bool withRom = !arguments.rom.empty();
    JsonWriter out;
    beginDocument(out, "apps", "done", exitDone);
    if (withRom) out.key("rom").path(arguments.rom);
    out.key("apps").beginArray();
    for (const auto& entry : catalogue.entries) {
        out.beginObject()
            .key("name")
            .value(shownName(*entry))
            .key("mode")
            .value(removalModeText(startingMode(*entry)))
            .key("ticked")
            .value(entry->enabled != 0)
            .key("definition");
        entry->found ? out.null() : out.path(entry->definitionFile);
        out.key("package");
        entry->package.empty() ? out.null() : out.value(entry->package);
        if (!arguments.knowledge.empty()) {
            out.key("knowledge");
            writeNote(out, knowledge.noteOf(*entry));
        }
        if (withRom) {
            out.key("inRom").value(entry->inRom).key("romApps").beginArray();
            for (const RomApp* app : appsOf(fit, *entry)) writeRomApp(out, *app);
            out.endArray();
        }
        out.endObject();
    }
    std::printf("%s\n", out.endArray().endObject().text().c_str());
}

// One entry of the check list as text: its line, then what the knowledge says of it and the
// apps of the ROM it stands for.
void printApp(const CatalogueEntry& entry, const Arguments& arguments, const RomFit& fit,
              const AppKnowledge& knowledge) {
    std::string name = shownName(entry);
    std::size_t characters = 0;
    for (const char c : name) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (characters < 30) name.append(30 - characters, ' ');
    const std::string where = entry.found   ? std::string("(found in the ROM)")
                              : entry.inRom ? entry.definitionFile
                                            : entry.definitionFile + " (not in this ROM)";
    std::printf("[%c] %s %-10s %s\n", entry.enabled ? 'x' : ' ', name.c_str(),
                removalModeText(startingMode(entry)), where.c_str());
    if (const AppNote* note = knowledge.noteOf(entry)) {
        // One line, whatever lines the list's description holds.
        std::string known = knowledgeText(*note, ": ");
        for (char& c : known)
            if (c == '\r' || c == '\n' || c == '\t') c = ' ';
        if (!known.empty()) std::printf("      %s\n", known.c_str());
    }
    for (const RomApp* app : appsOf(fit, entry)) {
        std::printf("      %s  %s\n", foundAppDescription(*app).c_str(),
                    app->found.apkPath.c_str());
        if (arguments.files)
            for (const std::string& file : app->found.entries)
                std::printf("        %s\n", file.c_str());
    }
}

int listApps(const Catalogue& catalogue, const Arguments& arguments, const RomFit& fit,
             const AppKnowledge& knowledge) {
    if (arguments.json) {
        printAppsJson(catalogue, arguments, fit, knowledge);
        return exitDone;
    }
    for (const auto& entry : catalogue.entries) {
        if (arguments.names)
            std::printf("%s\n", shownName(*entry).c_str());
        else
            printApp(*entry, arguments, fit, knowledge);
    }
    return exitDone;
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

// How a run ended, for the outcome.
struct Outcome {
    int status = exitDone;
    const char* result = "done";
    bool changed = true;  // the plan was carried out and checked
};

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
