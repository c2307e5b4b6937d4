// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/selection.h"

#include "catalogue/removal_list.h"
#include "catalogue/removal_mode.h"
#include "platform/text.h"
#include "platform/utf8.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

namespace {

// The mode a text names, ignoring case ("widget", "App/Widget", ...).
std::optional<RemovalMode> modeNamed(const std::string& text) {
    for (const RemovalMode mode : {RemovalMode::app, RemovalMode::appWidget, RemovalMode::widget})
        if (nameKey(removalModeText(mode)) == nameKey(text)) return mode;
    return std::nullopt;
}

// The whole of a list, from a file, a pipe, a FIFO or (for "-") the standard input.
bool readWhole(const std::string& path, std::string& text) {
    std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const bool read = !std::ferror(file);
    if (file != stdin) std::fclose(file);
    return read;
}

// The entries a text names: by name as printed, or by definition file (its path, or its name
// in the definition folder).
std::vector<const CatalogueEntry*> entriesNamed(const Catalogue& catalogue,
                                                const std::string& definitionFolder,
                                                const std::string& text, bool byDefinition) {
    std::vector<const CatalogueEntry*> found;
    std::string absolute;
    if (byDefinition) {
        std::error_code ignored;
        const auto path = std::filesystem::absolute(fileSystemPath(text), ignored);
        if (!path.empty()) absolute = programPath(path.lexically_normal());
    }
    const std::string key = nameKey(text);
    for (const auto& entry : catalogue.entries) {
        const std::string& file = entry->definitionFile;
        const bool named = byDefinition ? file == text || file == absolute ||
                                              (file.starts_with(definitionFolder) &&
                                               file.substr(definitionFolder.size()) == text)
                                        : nameKey(entry->name) == key;
        if (named) found.push_back(entry.get());
    }
    if (found.empty() && !byDefinition)
        if (CatalogueEntry* entry = entryOfPackage(catalogue, text)) found.push_back(entry);
    return found;
}

}  // namespace

std::string shownName(const CatalogueEntry& entry) { return asUtf8(entry.name); }

namespace {

// What the selection makes of each catalogue entry.
struct Choice {
    bool ticked = false;
    RemovalMode mode = RemovalMode::app;
};

std::size_t indexOf(const Catalogue& catalogue, const CatalogueEntry* entry) {
    for (std::size_t i = 0; i < catalogue.entries.size(); ++i)
        if (catalogue.entries[i].get() == entry) return i;
    return catalogue.entries.size();
}

// Ticks as the removal lists say, as the window loads a list: by the lower-cased names it saves.
bool applyLists(const Catalogue& catalogue, const std::vector<std::string>& lists,
                std::vector<Choice>& choices, std::string& error) {
    for (const std::string& list : lists) {
        std::string text;
        if (!readWhole(list, text)) {
            error = "Can't read " + (list == "-" ? std::string("the standard input") : list);
            return false;
        }
        std::vector<RemovalListLine> lines;
        readRemovalListText(text, lines);
        for (const RemovalListLine& line : lines) {
            const CatalogueEntry* entry = entryOfListName(catalogue, line.name);
            if (!entry) continue;
            constexpr int tickedBit = 2;  // a row's state: 2 ticked, 1 selected
            choices[indexOf(catalogue, entry)].ticked = (line.state & tickedBit) != 0;
        }
    }
    return true;
}

// Why `name` can't be chosen, when it names `found.size()` apps.
std::string ambiguityText(const std::vector<const CatalogueEntry*>& found,
                          const std::string& name) {
    std::string text = std::to_string(found.size()) + " apps are named \"" + asUtf8(name) + "\" (";
    for (const CatalogueEntry* entry : found)
        text += (entry == found.front() ? "" : ", ") +
                (entry->found ? entry->package : entry->definitionFile);
    return text + "): pick one with --definition FILE, or by its package";
}

// The mode `wanted` names for `entry`, when the entry may be removed so.
bool modeFor(const CatalogueEntry& entry, const std::string& wanted, const std::string& name,
             RemovalMode& mode, std::string& error) {
    const auto named = modeNamed(wanted);
    if (!named) {
        error = "unknown removal mode \"" + asUtf8(wanted) + "\" for " + asUtf8(name);
        return false;
    }
    if (!modeAllowed(entry, *named)) {
        error = shownName(entry) + " can't be removed as \"" + asUtf8(wanted) + "\"";
        return false;
    }
    mode = *named;
    return true;
}

// The entry one --app or --definition names (NAME or NAME=mode; a name may hold '=' itself),
// and the mode it asks for.
bool chooseApp(const Catalogue& catalogue, const std::string& definitionFolder,
               const AppChoice& app, const Arguments& arguments, const AppKnowledge& knowledge,
               const CatalogueEntry*& chosen, RemovalMode& mode, std::string& error) {
    auto found = entriesNamed(catalogue, definitionFolder, app.text, app.byDefinition);
    const auto equals = app.text.rfind('=');
    const bool withMode = found.empty() && equals != std::string::npos;
    const std::string name = withMode ? app.text.substr(0, equals) : app.text;
    if (withMode) found = entriesNamed(catalogue, definitionFolder, name, app.byDefinition);
    if (found.empty()) {
        error = app.byDefinition ? "no definition file " + name + " (see slimkit-cli apps)"
                                 : "no app named \"" + asUtf8(name) + "\" (see slimkit-cli apps)";
        return false;
    }
    if (found.size() > 1) {
        error = ambiguityText(found, name);
        return false;
    }
    const CatalogueEntry& entry = *found.front();
    if (const AppNote* note = knowledge.noteOf(entry);
        note && note->tier == RemovalTier::unsafe && !arguments.allowUnsafe) {
        error = shownName(entry) + " (" + entry.package + ") is marked Unsafe to remove in " +
                knowledge.source +
                (note->description.empty() ? "" : " (" + note->description + ")") +
                "; add --allow-unsafe to remove it anyway";
        return false;
    }
    chosen = &entry;
    mode = startingMode(entry);
    return !withMode || modeFor(entry, app.text.substr(equals + 1), name, mode, error);
}

}  // namespace

bool selectEntries(const Catalogue& catalogue, const std::string& definitionFolder,
                   const Arguments& arguments, const AppKnowledge& knowledge,
                   std::vector<TickedEntry>& ticked, std::string& error) {
    std::vector<Choice> choices;
    const bool startTicks = arguments.apps.empty() || !arguments.lists.empty();
    for (const auto& entry : catalogue.entries)
        choices.push_back({startTicks && entry->enabled != 0, startingMode(*entry)});
    if (!applyLists(catalogue, arguments.lists, choices, error)) return false;
    for (const AppChoice& app : arguments.apps) {
        const CatalogueEntry* entry = nullptr;
        RemovalMode mode = RemovalMode::app;
        if (!chooseApp(catalogue, definitionFolder, app, arguments, knowledge, entry, mode, error))
            return false;
        choices[indexOf(catalogue, entry)] = {true, mode};
    }
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].ticked) ticked.push_back({catalogue.entries[i].get(), choices[i].mode});
    return true;
}

std::vector<std::string> dependentWarnings(const std::vector<TickedEntry>& ticked,
                                           const AppKnowledge& knowledge) {
    std::vector<std::string> warnings;
    if (knowledge.empty()) return warnings;
    for (const TickedEntry& chosen : ticked) {
        const std::vector<std::string> dependents = knowledge.dependentsOf(chosen.entry->package);
        if (!dependents.empty())
            warnings.push_back(shownName(*chosen.entry) + " (" + chosen.entry->package +
                               ") is needed by " + packageNames(dependents));
    }
    return warnings;
}
