// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct CatalogueEntry;

// What a community debloat list says of apps: a JSON object keyed by package name, each value
// an object of `list`, `description`, `dependencies`, `neededBy`, `labels` and `removal` (all
// optional; other keys are ignored). The program ships no such list: the user loads one. It
// only informs: nothing is ever ticked by what it says.

// How safe a list deems an app's removal, from the safest.
enum class RemovalTier : std::uint8_t { unknown, recommended, advanced, expert, unsafe };

// "Recommended", "Advanced", "Expert", "Unsafe"; "" for unknown.
const char* removalTierText(RemovalTier tier);

struct AppNote {
    std::string package;  // as the list spells it
    std::string list;
    std::string description;                // UTF-8
    std::vector<std::string> dependencies;  // packages this app needs
    std::vector<std::string> neededBy;      // packages that need this app
    std::vector<std::string> labels;
    RemovalTier tier = RemovalTier::unknown;
};

struct AppKnowledge {
    std::string source;  // the file it was read from
    std::vector<AppNote> notes;
    std::unordered_map<std::string, std::size_t> noteOfPackage;  // lower-cased package -> note

    bool empty() const { return notes.empty(); }
    // The note of `package` (A-Z compared ignoring case), or null.
    const AppNote* noteOf(std::string_view package) const;
    // The note of an entry of the check list, by its package; null when it has none.
    const AppNote* noteOf(const CatalogueEntry& entry) const;
    // The packages that need `package`: its own `neededBy`, then every app whose
    // `dependencies` name it, each once, in the list's order.
    std::vector<std::string> dependentsOf(std::string_view package) const;
};

// Reads a list from `text`; `name` (the file's path) heads every message. False, with
// "NAME:LINE:COLUMN: expected ..." in `error`, for text that isn't such a list; `knowledge` is
// then left as it was.
bool readAppKnowledge(std::string_view text, const std::string& name, AppKnowledge& knowledge,
                      std::string& error);

// Reads the list of the file at `path` (at most 16 MiB) as readAppKnowledge does. False with the
// reason when the file can't be read or isn't such a list.
bool loadAppKnowledge(const std::string& path, AppKnowledge& knowledge, std::string& error);

// What a list says of an app, for its row's description: "Removal: Unsafe" and the description
// on lines of their own (joined by `lineBreak`); "" when nothing is known of it.
std::string knowledgeText(const AppNote& note, std::string_view lineBreak);

// The names of `packages` for a message: all of them up to `most`, then "and N more".
std::string packageNames(const std::vector<std::string>& packages, std::size_t most = 8);
