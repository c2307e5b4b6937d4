// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/app_knowledge.h"

#include "catalogue/catalogue.h"
#include "catalogue/json_reader.h"
#include "platform/ascii.h"
#include "platform/text.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <unordered_set>

namespace {

constexpr RemovalTier tiers[] = {RemovalTier::recommended, RemovalTier::advanced,
                                 RemovalTier::expert, RemovalTier::unsafe};

class NoteReader {
public:
    NoteReader(std::string_view text, const std::string& name) : text_(text), name_(name) {}

    std::string error;

    bool fail(const JsonValue& at, const std::string& expected) {
        const JsonError place = jsonPlace(text_, at.offset, expected);
        error = name_ + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) +
                ": expected " + place.expected;
        return false;
    }

    // A text field; absent and null leave `out` empty.
    bool text(const JsonValue& note, const char* key, std::string& out) {
        const JsonValue* value = note.member(key);
        if (!value || value->kind == JsonValue::Kind::null) return true;
        if (value->kind != JsonValue::Kind::string)
            return fail(*value, std::string("a string as \"") + key + "\"");
        out = value->text;
        return true;
    }

    bool texts(const JsonValue& note, const char* key, std::vector<std::string>& out) {
        const JsonValue* value = note.member(key);
        if (!value || value->kind == JsonValue::Kind::null) return true;
        if (value->kind != JsonValue::Kind::array)
            return fail(*value, std::string("an array of strings as \"") + key + "\"");
        for (const JsonValue& item : value->items) {
            if (item.kind != JsonValue::Kind::string)
                return fail(item, std::string("a string in \"") + key + "\"");
            if (!item.text.empty()) out.push_back(item.text);
        }
        return true;
    }

    bool note(const std::string& package, const JsonValue& value, AppNote& note) {
        if (value.kind != JsonValue::Kind::object)
            return fail(value, "an object for the package " + package);
        note.package = package;
        std::string tier;
        if (!text(value, "list", note.list) || !text(value, "description", note.description) ||
            !texts(value, "dependencies", note.dependencies) ||
            !texts(value, "neededBy", note.neededBy) || !texts(value, "labels", note.labels) ||
            !text(value, "removal", tier))
            return false;
        if (tier.empty()) return true;
        for (const RemovalTier known : tiers)
            if (equalIgnoringAsciiCase(tier, removalTierText(known))) note.tier = known;
        if (note.tier == RemovalTier::unknown)
            return fail(*value.member("removal"),
                        "\"removal\" to be Recommended, Advanced, Expert or Unsafe");
        return true;
    }

private:
    std::string_view text_;
    const std::string& name_;
};

}  // namespace

const char* removalTierText(RemovalTier tier) {
    switch (tier) {
        case RemovalTier::recommended:
            return "Recommended";
        case RemovalTier::advanced:
            return "Advanced";
        case RemovalTier::expert:
            return "Expert";
        case RemovalTier::unsafe:
            return "Unsafe";
        default:
            return "";
    }
}

const AppNote* AppKnowledge::noteOf(std::string_view package) const {
    if (package.empty()) return nullptr;
    const auto found = noteOfPackage.find(lowerAscii(std::string(package)));
    return found == noteOfPackage.end() ? nullptr : &notes[found->second];
}

const AppNote* AppKnowledge::noteOf(const CatalogueEntry& entry) const {
    return noteOf(entry.package);
}

std::vector<std::string> AppKnowledge::dependentsOf(std::string_view package) const {
    std::vector<std::string> dependents;
    if (package.empty()) return dependents;
    std::unordered_set<std::string> named;
    const auto add = [&](const std::string& other) {
        if (!equalIgnoringAsciiCase(other, package) && named.insert(lowerAscii(other)).second)
            dependents.push_back(other);
    };
    if (const AppNote* own = noteOf(package))
        for (const std::string& other : own->neededBy) add(other);
    for (const AppNote& note : notes)
        for (const std::string& needed : note.dependencies)
            if (equalIgnoringAsciiCase(needed, package)) add(note.package);
    return dependents;
}

bool readAppKnowledge(std::string_view text, const std::string& name, AppKnowledge& knowledge,
                      std::string& error) {
    JsonValue root;
    JsonError place;
    if (!readJson(text, root, place)) {
        error = name + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) +
                ": expected " + place.expected;
        return false;
    }
    NoteReader reader(text, name);
    if (root.kind != JsonValue::Kind::object) {
        reader.fail(root, "an object keyed by package name");
        error = reader.error;
        return false;
    }
    AppKnowledge read;
    read.source = name;
    read.notes.reserve(root.members.size());
    for (const auto& [package, value] : root.members) {
        AppNote note;
        if (package.empty()) {
            reader.fail(value, "a package name as the key");
            error = reader.error;
            return false;
        }
        if (!reader.note(package, value, note)) {
            error = reader.error;
            return false;
        }
        // A later entry of the same package replaces the earlier one.
        const auto [slot, added] =
            read.noteOfPackage.try_emplace(lowerAscii(package), read.notes.size());
        if (added)
            read.notes.push_back(std::move(note));
        else
            read.notes[slot->second] = std::move(note);
    }
    knowledge = std::move(read);
    return true;
}

bool loadAppKnowledge(const std::string& path, AppKnowledge& knowledge, std::string& error) {
    constexpr std::streamoff most = std::streamoff{16} << 20;
    std::ifstream file(fileSystemPath(path), std::ios::binary);
    if (!file) {
        error = "Can't read " + path;
        return false;
    }
    std::string text;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (static_cast<std::streamoff>(text.size()) > most) {
            error = path + ": expected a file of at most 16 MiB";
            return false;
        }
    }
    if (file.bad()) {
        error = "Can't read " + path;
        return false;
    }
    return readAppKnowledge(text, path, knowledge, error);
}

std::string knowledgeText(const AppNote& note, std::string_view lineBreak) {
    std::string text;
    if (note.tier != RemovalTier::unknown)
        text = std::string("Removal: ") + removalTierText(note.tier);
    if (!note.description.empty()) {
        if (!text.empty()) text += lineBreak;
        text += note.description;
    }
    return text;
}

std::string packageNames(const std::vector<std::string>& packages, std::size_t most) {
    std::string text;
    const std::size_t shown = std::min(most, packages.size());
    for (std::size_t i = 0; i < shown; ++i) text += (i ? ", " : "") + packages[i];
    if (packages.size() > shown)
        text += " and " + std::to_string(packages.size() - shown) + " more";
    return text;
}
