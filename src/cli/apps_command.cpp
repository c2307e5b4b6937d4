// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/apps_command.h"

#include "catalogue/removal_mode.h"
#include "cli/json.h"
#include "cli/output.h"
#include "cli/selection.h"
#include "platform/stop_signals.h"

#include <cstdio>
#include <string>

namespace {

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

}  // namespace

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
