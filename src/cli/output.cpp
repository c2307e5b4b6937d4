// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output.h"

#include "catalogue/catalogue.h"
#include "catalogue/removal_mode.h"
#include "cli/selection.h"
#include "pipeline/removal.h"
#include "platform/console.h"
#include "platform/file_layer.h"
#include "platform/stop_signals.h"
#include "platform/text.h"

#include <algorithm>
#include <unordered_set>

std::string files(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " file" : " files");
}

CliReporter::CliReporter(bool quiet) : quiet_(quiet) { terminal_ = isTerminal(stderr); }

void CliReporter::status(const std::string& text) {
    if (text == "Checking the ROM zip ...") checkStarted = true;
    status_ = text;
    if (quiet_) return;
    if (terminal_)
        redraw(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void CliReporter::message(const std::string& title, const std::string& text) {
    endLine();
    messages.push_back({title, text});
    // The outcome line says how the run ended; what went wrong goes to the error stream.
    if (title != "Finish") printMessage(title, text);
}

bool CliReporter::carryOn() { return StopSignals::caught() == 0; }

void CliReporter::progress(int percent) {
    if (terminal_ && !quiet_) redraw(status_ + " " + std::to_string(percent) + "%");
}

void CliReporter::endLine() {
    if (!open_) return;
    std::fprintf(stderr, "\n");
    open_ = false;
    drawn_ = 0;
}

// Writes over the line drawn last: back to its start, and blanks over what the new text
// doesn't cover. Plain characters, so any console shows it.
void CliReporter::redraw(const std::string& text) {
    const std::size_t blanks = drawn_ > text.size() ? drawn_ - text.size() : 0;
    std::fprintf(stderr, "\r%s%s", text.c_str(), std::string(blanks, ' ').c_str());
    std::fflush(stderr);
    drawn_ = text.size();
    open_ = true;
}

void printMessage(const std::string& title, const std::string& text) {
    std::string shown = text;
    for (std::size_t at = 0; (at = shown.find('\r', at)) != std::string::npos;)
        shown.replace(at, 1, "\n  ");
    std::fprintf(stderr, "slimkit-cli: %s: %s\n", title.c_str(), shown.c_str());
}

JsonWriter& beginDocument(JsonWriter& json, const std::string& command, const std::string& result,
                          int exitCode) {
    json.beginObject().key("version").value(jsonVersion).key("command");
    command.empty() ? json.null() : json.value(command);
    return json.key("result").value(result).key("exitCode").value(exitCode);
}

namespace {

// What a zip spends on an entry beyond its data: the local and the central header, each with
// the name, and the timestamps 7z writes with it.
std::uint64_t entryCost(const std::string& name) { return 30 + 46 + 36 + 2 * name.size(); }

std::uint64_t addedSize(const std::string& addFolder, const std::string& name) {
    const std::int64_t size = fileSize(addFolder + name);
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

std::uint64_t appBytes(const PlannedApp& app) {
    std::uint64_t bytes = 0;
    for (const ArchiveEntry& entry : app.removes) bytes += entry.size;
    return bytes;
}

template <typename T>
std::vector<T> withoutRepeats(const std::vector<T>& items) {
    std::vector<T> kept;
    for (const T& item : items)
        if (std::find(kept.begin(), kept.end(), item) == kept.end()) kept.push_back(item);
    return kept;
}

// The earlier apps whose files this one's paths name too: the plan counts a file once, with
// the first app that takes it.
std::vector<std::string> sharedWith(const RunPlan& plan, std::size_t a) {
    std::vector<std::string> keys;
    for (const std::string& path : tickedPaths(plan.apps[a].ticked).paths)
        keys.push_back(definitionPathKey(path));
    std::vector<std::string> names;
    for (std::size_t b = 0; b < a; ++b) {
        const auto named = [&](const ArchiveEntry& entry) {
            const std::string name = archiverNameKey(entry.path);
            return std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
                return name == key || name.starts_with(key + "/");
            });
        };
        const auto& removes = plan.apps[b].removes;
        if (std::any_of(removes.begin(), removes.end(), named))
            names.push_back(shownName(*plan.apps[b].ticked.entry));
    }
    return names;
}

std::size_t characters(const std::string& utf8) {
    std::size_t count = 0;
    for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// Pads a UTF-8 text to `width` characters.
std::string padded(const std::string& text, std::size_t width) {
    const std::size_t count = characters(text);
    return count < width ? text + std::string(width - count, ' ') : text;
}

std::string appLabel(const PlannedApp& app) {
    return shownName(*app.ticked.entry) + " (" + removalModeText(app.ticked.mode) + ")";
}

}  // namespace

std::uint64_t estimatedRomSize(const RunPlan& plan, const std::vector<ArchiveEntry>& rom,
                               std::uint64_t romSize, const std::string& addFolder) {
    std::int64_t size = static_cast<std::int64_t>(romSize);
    const auto less = [&](std::uint64_t bytes) { size -= static_cast<std::int64_t>(bytes); };
    const auto more = [&](std::uint64_t bytes) { size += static_cast<std::int64_t>(bytes); };
    for (const ArchiveEntry& entry : plan.removed) less(entry.packedSize);
    for (const std::string& name : plan.removalNames) less(entryCost(name));
    for (const std::string& name : plan.adds) more(addedSize(addFolder, name) + entryCost(name));
    std::unordered_set<std::string> replaced;
    for (const std::string& name : plan.replaces) {
        more(addedSize(addFolder, name));
        replaced.insert(archiverNameKey(name));
    }
    for (const ArchiveEntry& entry : rom)
        if (!entry.isFolder && replaced.count(archiverNameKey(entry.path))) less(entry.packedSize);
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

void writePlan(JsonWriter& json, const RunPlan& plan, const std::vector<ArchiveEntry>& rom,
               std::uint64_t romSize, const std::string& addFolder) {
    json.beginObject().key("apps").beginArray();
    for (const PlannedApp& app : plan.apps) {
        const CatalogueEntry& ticked = *app.ticked.entry;
        json.beginObject()
            .key("name")
            .value(ticked.name)
            .key("mode")
            .value(removalModeText(app.ticked.mode))
            .key("definition");
        ticked.found ? json.null() : json.path(ticked.definitionFile);
        json.key("package");
        ticked.package.empty() ? json.null() : json.value(ticked.package);
        json.key("filesRemoved")
            .value(static_cast<std::uint64_t>(app.removes.size()))
            .key("bytesFreed")
            .value(appBytes(app))
            .key("removes")
            .beginArray();
        for (const ArchiveEntry& entry : app.removes)
            json.beginObject()
                .key("path")
                .path(entry.path)
                .key("size")
                .value(static_cast<std::uint64_t>(entry.size))
                .key("packedSize")
                .value(static_cast<std::uint64_t>(entry.packedSize))
                .endObject();
        json.endArray()
            .key("absent")
            .paths(withoutRepeats(app.absent))
            .key("skipped")
            .paths(app.skipped)
            .key("unreachable")
            .paths(app.unreachable)
            .endObject();
    }
    json.endArray()
        .key("adds")
        .paths(plan.adds)
        .key("replaces")
        .paths(plan.replaces)
        .key("filesRemoved")
        .value(static_cast<std::uint64_t>(plan.removed.size()))
        .key("bytesFreed")
        .value(plan.bytesFreed)
        .key("packedBytesFreed")
        .value(plan.packedBytesFreed)
        .key("romSize")
        .value(romSize)
        .key("romSizeAfter")
        .value(estimatedRomSize(plan, rom, romSize, addFolder))
        .key("refusals")
        .strings(plan.refusals)
        .endObject();
}

void printPlan(std::FILE* out, const std::string& romPath, const RunPlan& plan,
               const std::vector<ArchiveEntry>& rom, std::uint64_t romSize,
               const std::string& addFolder, bool withFiles) {
    std::fprintf(out, "Plan for %s\n", romPath.c_str());
    std::fprintf(out, "Removes %s, %s (%s in the zip), of %zu %s; adds %s, replaces %s\n",
                 files(plan.removed.size()).c_str(), shownSize(plan.bytesFreed).c_str(),
                 shownSize(plan.packedBytesFreed).c_str(), plan.apps.size(),
                 plan.apps.size() == 1 ? "app" : "apps", files(plan.adds.size()).c_str(),
                 files(plan.replaces.size()).c_str());
    std::fprintf(out, "ROM zip: %s now, about %s after\n", shownSize(romSize).c_str(),
                 shownSize(estimatedRomSize(plan, rom, romSize, addFolder)).c_str());
    for (const std::string& refusal : plan.refusals)
        std::fprintf(out, "Refused: %s\n", refusal.c_str());
    for (const PlannedApp& app : plan.apps) {
        const std::string name = shownName(*app.ticked.entry);
        for (const std::string& path : app.skipped)
            std::fprintf(out, "Warning: %s: skipped %s: it can't name an entry\n", name.c_str(),
                         path.c_str());
        for (const std::string& path : app.unreachable)
            std::fprintf(out, "Warning: %s: %s stays: 7z can't be handed it alone\n", name.c_str(),
                         path.c_str());
    }
    if (plan.refusals.empty() && plan.removalNames.empty() && plan.rewritten.empty() &&
        plan.adds.empty() && plan.replaces.empty())
        std::fprintf(out, "Nothing to do: customize would write nothing\n");
    std::size_t labelWidth = 0;
    for (const PlannedApp& app : plan.apps)
        labelWidth = std::max(labelWidth, characters(appLabel(app)));
    for (std::size_t a = 0; a < plan.apps.size(); ++a) {
        const PlannedApp& app = plan.apps[a];
        std::string line = "  " + padded(appLabel(app), std::min<std::size_t>(labelWidth, 40)) +
                           "  " + padded(files(app.removes.size()), 9) + "  " +
                           padded(app.removes.empty() ? "" : shownSize(appBytes(app)), 10);
        std::vector<std::string> notes;
        const auto absent = withoutRepeats(app.absent);
        if (!absent.empty())
            notes.push_back(std::to_string(absent.size()) +
                            (absent.size() == 1 ? " path absent" : " paths absent"));
        const auto shared = sharedWith(plan, a);
        if (!shared.empty()) {
            std::string note = "files also of ";
            for (const std::string& other : shared)
                note += (other == shared.front() ? "" : ", ") + other;
            notes.push_back(note + ", counted there");
        }
        for (const std::string& note : notes) line += (note == notes.front() ? "" : "; ") + note;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::fprintf(out, "%s\n", line.c_str());
        if (!withFiles) continue;
        for (const ArchiveEntry& entry : app.removes)
            std::fprintf(out, "    - %s  %s\n", entry.path.c_str(), shownSize(entry.size).c_str());
        for (const std::string& path : absent) std::fprintf(out, "    absent: %s\n", path.c_str());
    }
    if (withFiles) {
        for (const std::string& file : plan.adds) std::fprintf(out, "  + %s\n", file.c_str());
        for (const std::string& file : plan.replaces)
            std::fprintf(out, "  ~ %s (replaced)\n", file.c_str());
    } else if (!plan.removed.empty() || !plan.adds.empty() || !plan.replaces.empty()) {
        std::fprintf(out, "(--files lists the files)\n");
    }
}
