// slimkit-cli: the customize run without the window, a dry run that shows what it would remove
// and add, and a check of the ROM zip after the run.

#include "catalogue/catalogue.h"
#include "catalogue/removal_list.h"
#include "catalogue/removal_mode.h"
#include "cli/json.h"
#include "pipeline/add_apps.h"
#include "pipeline/customize.h"
#include "pipeline/plan.h"
#include "platform/console.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/stop_signals.h"
#include "platform/text.h"
#include "tools/archive_listing.h"
#include "tools/archiver.h"
#include "tools/reporter.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr int exitDone = 0;
constexpr int exitStepFailed = 1;
constexpr int exitBadInput = 2;
constexpr int exitCheckFailed = 3;

constexpr const char* usage =
    "Usage: slimkit-cli apps [--json]\n"
    "       slimkit-cli plan ROM.zip [selection] [--no-add] [--json]\n"
    "       slimkit-cli customize ROM.zip [selection] [--no-backup] [--undo-zip] [--no-add] "
    "[--json]\n"
    "\n"
    "  apps       the apps that can be removed, as the window's check list shows them\n"
    "  plan       what customize would remove from and add to ROM.zip; writes nothing\n"
    "  customize  slims ROM.zip as the window's Customize! does, then checks the zip\n"
    "\n"
    "Selection (with neither, the apps ticked at start):\n"
    "  --list FILE.ini     a saved removal list, applied to the ticks at start\n"
    "  --app NAME          also remove this app (and its widget, if it has one)\n"
    "  --app NAME=widget   remove only this app's widget\n"
    "Options (as the window's check boxes start):\n"
    "  --no-backup         no backup copy ROM.zip_BU_n first\n"
    "  --undo-zip          build the flashable undo zip ROM.zip_undo.zip first\n"
    "  --no-add            leave out the files of the add folder\n"
    "  --json              print one JSON document with the plan or the result\n"
    "\n"
    "Exit codes: 0 done (and checked), 1 a step failed, 2 bad usage or input (nothing written),\n"
    "3 the ROM zip after the run differs from the plan, 130 stopped by Ctrl-C (128 + the signal's\n"
    "number for SIGTERM and SIGHUP): 7z was ended, the ROM zip left as it was before its step.\n";

struct Arguments {
    std::string command;
    std::string rom;
    std::vector<std::string> lists;
    std::vector<std::string> apps;
    RunOptions options;
    bool json = false;
};

// A message on the error stream, its line breaks kept.
void printMessage(const std::string& title, const std::string& text) {
    std::string shown = text;
    for (std::size_t at = 0; (at = shown.find('\r', at)) != std::string::npos;)
        shown.replace(at, 1, "\n  ");
    std::fprintf(stderr, "slimkit-cli: %s: %s\n", title.c_str(), shown.c_str());
}

int badInput(const std::string& reason) {
    std::string line = reason;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(stderr, "slimkit-cli: %s\n", line.c_str());
    return exitBadInput;
}

bool parseArguments(int argc, char** argv, Arguments& arguments, std::string& error) {
    std::vector<std::string> words(argv + 1, argv + argc);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const auto takesValue = [&](std::vector<std::string>& into) {
            if (i + 1 >= words.size()) {
                error = word + " needs a value";
                return false;
            }
            into.push_back(words[++i]);
            return true;
        };
        if (word == "--json") {
            arguments.json = true;
        } else if (word == "--no-backup") {
            arguments.options.backup = false;
        } else if (word == "--undo-zip") {
            arguments.options.undoZip = true;
        } else if (word == "--no-add") {
            arguments.options.addApps = false;
        } else if (word == "--list") {
            if (!takesValue(arguments.lists)) return false;
        } else if (word == "--app") {
            if (!takesValue(arguments.apps)) return false;
        } else if (word.starts_with("--list=")) {
            arguments.lists.push_back(word.substr(7));
        } else if (word.starts_with("--app=")) {
            arguments.apps.push_back(word.substr(6));
        } else if (word.starts_with("-") && word != "-") {
            error = "unknown option " + word;
            return false;
        } else if (arguments.command.empty()) {
            arguments.command = word;
        } else if (arguments.rom.empty() && arguments.command != "apps") {
            arguments.rom = word;
        } else {
            error = "unexpected argument " + word;
            return false;
        }
    }
    if (arguments.command.empty()) {
        error = "no command given (apps, plan or customize)";
        return false;
    }
    if (arguments.command != "apps" && arguments.command != "plan" &&
        arguments.command != "customize") {
        error = "unknown command " + arguments.command;
        return false;
    }
    const bool takesRom = arguments.command != "apps";
    if (takesRom && arguments.rom.empty()) {
        error = arguments.command + " needs a ROM zip";
        return false;
    }
    const bool selects = !arguments.lists.empty() || !arguments.apps.empty();
    const bool runOptions = !arguments.options.backup || arguments.options.undoZip;
    if ((!takesRom && (selects || !arguments.options.addApps)) ||
        (arguments.command == "plan" && runOptions)) {
        error = "an option that " + arguments.command + " doesn't take";
        return false;
    }
    return true;
}

// The mode a text names, ignoring case ("widget", "App/Widget", ...).
std::optional<RemovalMode> modeNamed(const std::string& text) {
    for (const RemovalMode mode : {RemovalMode::app, RemovalMode::appWidget, RemovalMode::widget})
        if (lowerName(removalModeText(mode)) == lowerName(text)) return mode;
    return std::nullopt;
}

// The ticked entries the arguments ask for, in the check list's order.
bool selectEntries(const Catalogue& catalogue, const Arguments& arguments,
                   std::vector<TickedEntry>& ticked, std::string& error) {
    struct Choice {
        bool ticked = false;
        RemovalMode mode = RemovalMode::app;
    };
    std::vector<Choice> choices;
    const bool startTicks = arguments.apps.empty() || !arguments.lists.empty();
    for (const auto& entry : catalogue.entries)
        choices.push_back({startTicks && entry->enabled != 0, startingMode(*entry)});
    const auto indexOf = [&](const CatalogueEntry* entry) {
        for (std::size_t i = 0; i < catalogue.entries.size(); ++i)
            if (catalogue.entries[i].get() == entry) return i;
        return catalogue.entries.size();
    };

    for (const std::string& list : arguments.lists) {
        std::vector<RemovalListLine> lines;
        if (fileSize(list) < 0 || !readRemovalList(list, lines)) {
            error = "Can't read " + list;
            return false;
        }
        for (const RemovalListLine& line : lines) {
            const auto found = catalogue.entryByName.find(line.name);
            if (found == catalogue.entryByName.end()) continue;
            constexpr int tickedBit = 2;  // a row's state: 2 ticked, 1 selected
            choices[indexOf(found->second)].ticked = (line.state & tickedBit) != 0;
        }
    }
    for (const std::string& app : arguments.apps) {
        // NAME or NAME=mode; a name may hold '=' itself.
        auto found = catalogue.entryByName.find(lowerName(app));
        const auto equals = app.rfind('=');
        const bool withMode = found == catalogue.entryByName.end() && equals != std::string::npos;
        const std::string name = withMode ? app.substr(0, equals) : app;
        if (withMode) found = catalogue.entryByName.find(lowerName(name));
        if (found == catalogue.entryByName.end()) {
            error = "no app named \"" + name + "\" (see slimkit-cli apps)";
            return false;
        }
        const CatalogueEntry& entry = *found->second;
        RemovalMode mode = startingMode(entry);
        if (withMode) {
            const std::string wanted = app.substr(equals + 1);
            const auto named = modeNamed(wanted);
            if (!named) {
                error = "unknown removal mode \"" + wanted + "\" for " + name;
                return false;
            }
            mode = *named;
            // As in the window: a widget entry is removed with or without its app, any other
            // entry only as an app.
            if (entry.isWidget ? mode == RemovalMode::app : mode != RemovalMode::app) {
                error = entry.name + " can't be removed as \"" + wanted + "\"";
                return false;
            }
        }
        choices[indexOf(&entry)] = {true, mode};
    }
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].ticked) ticked.push_back({catalogue.entries[i].get(), choices[i].mode});
    return true;
}

// Shows the run's steps: redrawn in place on a terminal, one line each otherwise.
class CliReporter : public Reporter {
public:
    CliReporter(bool json) : out_(json ? stderr : stdout), json_(json) {
        terminal_ = isTerminal(out_);
    }
    ~CliReporter() override { endLine(); }

    struct Shown {
        std::string title, text;
    };
    std::vector<Shown> messages;

    void status(const std::string& text) override {
        status_ = text;
        if (terminal_) {
            redraw(text);
        } else {
            std::fprintf(out_, "%s\n", text.c_str());
        }
        std::fflush(out_);
    }
    void message(const std::string& title, const std::string& text) override {
        endLine();
        messages.push_back({title, text});
        if (title == "Finish") {
            if (!json_) std::printf("%s\n", text.c_str());
        } else {
            printMessage(title, text);
        }
    }
    bool carryOn() override { return StopSignals::caught() == 0; }
    void progress(int percent) override {
        if (terminal_) redraw(status_ + " " + std::to_string(percent) + "%");
    }
    void endLine() {
        if (!open_) return;
        std::fprintf(out_, "\n");
        open_ = false;
        drawn_ = 0;
    }

private:
    // Writes over the line drawn last: back to its start, and blanks over what the new text
    // doesn't cover. Plain characters, so any console shows it.
    void redraw(const std::string& text) {
        const std::size_t blanks = drawn_ > text.size() ? drawn_ - text.size() : 0;
        std::fprintf(out_, "\r%s%s", text.c_str(), std::string(blanks, ' ').c_str());
        std::fflush(out_);
        drawn_ = text.size();
        open_ = true;
    }

    std::FILE* out_;
    bool json_;
    bool terminal_ = false;
    bool open_ = false;
    std::size_t drawn_ = 0;
    std::string status_;
};

std::string files(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " file" : " files");
}

void writeEntries(JsonWriter& json, const std::vector<ArchiveEntry>& entries) {
    json.beginArray();
    for (const ArchiveEntry& entry : entries)
        json.beginObject()
            .key("path")
            .value(entry.path)
            .key("size")
            .value(static_cast<std::uint64_t>(entry.size))
            .key("packedSize")
            .value(static_cast<std::uint64_t>(entry.packedSize))
            .endObject();
    json.endArray();
}

void writePlan(JsonWriter& json, const RunPlan& plan) {
    json.beginObject().key("apps").beginArray();
    for (const PlannedApp& app : plan.apps) {
        json.beginObject()
            .key("name")
            .value(app.ticked.entry->name)
            .key("mode")
            .value(removalModeText(app.ticked.mode))
            .key("definition")
            .value(app.ticked.entry->definitionFile)
            .key("removes");
        writeEntries(json, app.removes);
        json.key("absent").strings(app.absent).key("skipped").strings(app.skipped).endObject();
    }
    json.endArray()
        .key("adds")
        .strings(plan.adds)
        .key("replaces")
        .strings(plan.replaces)
        .key("filesRemoved")
        .value(static_cast<std::uint64_t>(plan.removed.size()))
        .key("bytesFreed")
        .value(plan.bytesFreed)
        .key("packedBytesFreed")
        .value(plan.packedBytesFreed)
        .endObject();
}

void printPlan(const std::string& rom, const RunPlan& plan) {
    std::printf("Plan for %s\n", rom.c_str());
    for (const PlannedApp& app : plan.apps) {
        std::uint64_t bytes = 0;
        for (const ArchiveEntry& entry : app.removes) bytes += entry.size;
        std::printf("%s (%s): %s, %llu bytes\n", app.ticked.entry->name.c_str(),
                    removalModeText(app.ticked.mode), files(app.removes.size()).c_str(),
                    static_cast<unsigned long long>(bytes));
        for (const ArchiveEntry& entry : app.removes)
            std::printf("  - %s  %llu\n", entry.path.c_str(),
                        static_cast<unsigned long long>(entry.size));
        for (const std::string& path : app.absent) std::printf("  absent: %s\n", path.c_str());
        for (const std::string& path : app.skipped) std::printf("  skipped: %s\n", path.c_str());
    }
    for (const std::string& file : plan.adds) std::printf("  + %s\n", file.c_str());
    for (const std::string& file : plan.replaces) std::printf("  ~ %s (replaced)\n", file.c_str());
    std::printf("Total: %s removed, %llu bytes freed (%llu in the zip); %s added, %s replaced\n",
                files(plan.removed.size()).c_str(),
                static_cast<unsigned long long>(plan.bytesFreed),
                static_cast<unsigned long long>(plan.packedBytesFreed),
                files(plan.adds.size()).c_str(), files(plan.replaces.size()).c_str());
}

// What plan and customize share: the checked ROM, the catalogue, the request and its plan.
struct Prepared {
    CustomizeRequest request;
    ArchiveListing rom;
    RunPlan plan;
};

// The ROM's own faults that stop a plan before anything else: "" when it may be listed.
std::string romFault(const std::string& rom) {
    if (fileSize(rom) < 0) return "Can't access " + rom;
    if (rom.find('"') != std::string::npos) return "Can't handle a double quote in " + rom;
    return "";
}

int prepare(const ProgramPaths& paths, const Catalogue& catalogue, const Arguments& arguments,
            PendingListing& listing, Prepared& prepared) {
    const std::string& rom = arguments.rom;
    prepared.request.romPath = rom;
    prepared.request.options = arguments.options;
    std::string error;
    if (!selectEntries(catalogue, arguments, prepared.request.ticked, error))
        return badInput(error);
    prepared.rom = listing.finish();
    if (!prepared.rom.readable) {
        std::string reason = "Can't read " + rom + " as a zip archive";
        if (!prepared.rom.archiverStarted) reason += " (the 7z archiver could not be started)";
        return badInput(reason);
    }
    std::vector<std::string> addFiles;
    if (arguments.options.addApps && fileSize(paths.addFolder) == -2) {
        const AddFolderContent content = addFolderContent(paths.addFolder, rom);
        if (!content.refused.empty()) return badInput("Can't add " + content.refused);
        if (!content.unreadable.empty()) return badInput("Can't read " + content.unreadable);
        addFiles = content.files;
    }
    prepared.plan = planRun(prepared.request, prepared.rom.entries, addFiles);
    return exitDone;
}

int listApps(const Catalogue& catalogue, bool json) {
    if (json) {
        JsonWriter out;
        out.beginArray();
        for (const auto& entry : catalogue.entries)
            out.beginObject()
                .key("name")
                .value(entry->name)
                .key("mode")
                .value(removalModeText(startingMode(*entry)))
                .key("ticked")
                .value(entry->enabled != 0)
                .key("definition")
                .value(entry->definitionFile)
                .endObject();
        std::printf("%s\n", out.endArray().text().c_str());
        return exitDone;
    }
    for (const auto& entry : catalogue.entries)
        std::printf("[%c] %-30s %-10s %s\n", entry->enabled ? 'x' : ' ', entry->name.c_str(),
                    removalModeText(startingMode(*entry)), entry->definitionFile.c_str());
    return exitDone;
}

int plan(const ProgramPaths& paths, const Catalogue& catalogue, const Arguments& arguments,
         PendingListing& listing) {
    Prepared prepared;
    if (const int status = prepare(paths, catalogue, arguments, listing, prepared)) return status;
    if (arguments.json) {
        JsonWriter out;
        out.beginObject().key("rom").value(arguments.rom).key("plan");
        writePlan(out, prepared.plan);
        std::printf("%s\n", out.endObject().text().c_str());
    } else {
        printPlan(arguments.rom, prepared.plan);
    }
    return exitDone;
}

bool loadCatalogue(Catalogue& catalogue, const ProgramPaths& paths) {
    if (!loadDefinitions(catalogue, paths.definitionFolder)) {
        badInput("Can't read the definition folder " + paths.definitionFolder);
        return false;
    }
    sortCatalogue(catalogue);
    return true;
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
        default:
            return "stopped";
    }
}

int customizeRom(const ProgramPaths& paths, const Catalogue& catalogue, const Arguments& arguments,
                 PendingListing& listing) {
    Prepared prepared;
    if (const int status = prepare(paths, catalogue, arguments, listing, prepared)) return status;
    CliReporter reporter(arguments.json);
    RunResult run;
    int signal = 0;
    {
        const StopSignals stopSignals;
        run = customize(prepared.request, paths, reporter);
        signal = StopSignals::caught();
    }

    int status = exitDone;
    RunCheck check;
    bool checked = false;
    if (signal) {
        status = exitStatusOf(signal);
    } else if (run.end == RunEnd::refused) {
        status = exitBadInput;
    } else if (run.end != RunEnd::complete) {
        status = exitStepFailed;
    } else {
        reporter.status("Checking the ROM zip ...");
        const ArchiverResult test =
            runArchiver(paths.archiverProgram, "t -bd -- \"" + arguments.rom + '"', "", false,
                        progressOf(reporter));
        const ArchiveListing after = listArchive(paths.archiverProgram, arguments.rom);
        reporter.endLine();
        check = checkRun(prepared.plan, prepared.rom.entries, after.entries,
                         test.outcome == ArchiverOutcome::succeeded && after.readable);
        checked = true;
        if (!check.matches()) status = exitCheckFailed;
    }
    reporter.endLine();

    const RunPlan& plan = prepared.plan;
    if (arguments.json) {
        JsonWriter out;
        out.beginObject()
            .key("rom")
            .value(arguments.rom)
            .key("result")
            .value(resultName(status))
            .key("exitCode")
            .value(status)
            .key("backup");
        run.backup.empty() ? out.null() : out.value(run.backup);
        out.key("undoZip");
        run.undoZip.empty() ? out.null() : out.value(run.undoZip);
        out.key("filesRemoved")
            .value(static_cast<std::uint64_t>(checked ? plan.removed.size() : 0))
            .key("bytesFreed")
            .value(checked ? plan.bytesFreed : 0)
            .key("filesAdded")
            .value(static_cast<std::uint64_t>(checked ? plan.adds.size() : 0))
            .key("filesReplaced")
            .value(static_cast<std::uint64_t>(checked ? plan.replaces.size() : 0))
            .key("skipped")
            .strings(run.skipped)
            .key("messages")
            .beginArray();
        for (const auto& message : reporter.messages)
            out.beginObject()
                .key("title")
                .value(message.title)
                .key("text")
                .value(message.text)
                .endObject();
        out.endArray().key("check");
        if (checked) {
            out.beginObject()
                .key("zipTested")
                .value(check.tested)
                .key("notRemoved")
                .strings(check.notRemoved)
                .key("notAdded")
                .strings(check.notAdded)
                .key("changed")
                .strings(check.changed)
                .endObject();
        } else {
            out.null();
        }
        out.key("plan");
        writePlan(out, plan);
        std::printf("%s\n", out.endObject().text().c_str());
        return status;
    }

    if (status == exitDone) {
        std::printf("Removed %s (%llu bytes); added %s, replaced %s.\n",
                    files(plan.removed.size()).c_str(),
                    static_cast<unsigned long long>(plan.bytesFreed),
                    files(plan.adds.size()).c_str(), files(plan.replaces.size()).c_str());
        std::printf("Checked: 7z finds the ROM zip whole, and it holds what was planned.\n");
    }
    if (!run.backup.empty()) std::printf("Backup: %s\n", run.backup.c_str());
    if (!run.undoZip.empty()) std::printf("Undo zip: %s\n", run.undoZip.c_str());
    if (signal && run.end == RunEnd::complete)
        std::fprintf(stderr,
                     "slimkit-cli: stopped once every step had ended; the ROM zip was not "
                     "checked\n");
    else if (signal)
        std::fprintf(stderr,
                     "slimkit-cli: stopped; the ROM zip is as it was before the step "
                     "that was under way\n");
    if (status == exitCheckFailed) {
        std::fprintf(stderr, "slimkit-cli: the ROM zip differs from the plan%s\n",
                     check.tested ? "" : ": 7z's test of the zip failed");
        for (const std::string& path : check.notRemoved)
            std::fprintf(stderr, "  still there: %s\n", path.c_str());
        for (const std::string& path : check.notAdded)
            std::fprintf(stderr, "  not added: %s\n", path.c_str());
        for (const std::string& path : check.changed)
            std::fprintf(stderr, "  changed: %s\n", path.c_str());
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    showProgramTextInConsole();
    keepRunningWhenOutputCloses();
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::printf("%s", usage);
            return exitDone;
        }
        if (word == "--version") {
            std::printf("slimkit-cli %s\n", SLIMKIT_VERSION);
            return exitDone;
        }
    }
    Arguments arguments;
    std::string error;
    if (!parseArguments(argc, argv, arguments, error))
        return badInput(error + " (see slimkit-cli --help)");
    // 7z runs in other folders than this one (the Windows build's in its own): a relative ROM
    // path would name another file there.
    if (!arguments.rom.empty()) {
        std::error_code ignored;
        const auto absolute = std::filesystem::absolute(fileSystemPath(arguments.rom), ignored);
        if (!absolute.empty()) arguments.rom = programPath(absolute);
    }
    const ProgramPaths paths = programPaths(findProgramFolder(argv[0]));
    if (arguments.command == "apps") {
        Catalogue catalogue;
        if (!loadCatalogue(catalogue, paths)) return exitBadInput;
        return listApps(catalogue, arguments.json);
    }
    if (const std::string fault = romFault(arguments.rom); !fault.empty()) return badInput(fault);
    // The ROM's listing takes longest: 7z lists it while the catalogue is read. It writes
    // nothing, and stops when the run ends early.
    PendingListing listing(paths.archiverProgram, arguments.rom);
    Catalogue catalogue;
    if (!loadCatalogue(catalogue, paths)) return exitBadInput;
    if (arguments.command == "plan") return plan(paths, catalogue, arguments, listing);
    return customizeRom(paths, catalogue, arguments, listing);
}
