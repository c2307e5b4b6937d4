// SPDX-License-Identifier: GPL-3.0-or-later
#include "apps/apk_identity.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Android's binary formats are little-endian trees of chunks: a 2-byte type, a 2-byte header
// size and a 4-byte size, the header's own fields after them and the children after the header.
// Every read below goes through `Bytes`, which answers only for what lies inside its own span.

namespace {

using Bytes = std::string_view;

constexpr std::uint16_t stringPoolChunk = 0x0001;
constexpr std::uint16_t xmlChunk = 0x0003;
constexpr std::uint16_t tableChunk = 0x0002;
constexpr std::uint16_t startElementChunk = 0x0102;
constexpr std::uint16_t endElementChunk = 0x0103;
constexpr std::uint16_t resourceMapChunk = 0x0180;
constexpr std::uint16_t packageChunk = 0x0200;
constexpr std::uint16_t typeChunk = 0x0201;

constexpr std::uint8_t referenceValue = 0x01;
constexpr std::uint8_t stringValue = 0x03;
constexpr std::uint8_t dynamicReferenceValue = 0x07;
constexpr std::uint8_t firstIntValue = 0x10;  // decimal, hex, boolean, then the colours
constexpr std::uint8_t lastIntValue = 0x1f;

constexpr std::uint32_t labelAttribute = 0x01010001;
constexpr std::uint32_t versionCodeAttribute = 0x0101021b;
constexpr std::uint32_t versionNameAttribute = 0x0101021c;
constexpr std::uint32_t noIndex = 0xffffffff;

// A reference that leads to another reference is followed this far; real tables need one step.
constexpr int maxReferenceSteps = 8;

bool fits(std::uint64_t offset, std::uint64_t length, std::uint64_t total) {
    return offset <= total && length <= total - offset;
}

std::uint16_t u16(Bytes bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t u32(Bytes bytes, std::size_t at) {
    return static_cast<std::uint32_t>(u16(bytes, at)) |
           static_cast<std::uint32_t>(u16(bytes, at + 2)) << 16;
}

std::string hex(std::uint32_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text = "0x00000000";
    for (int i = 9; i >= 2; --i, value >>= 4) text[i] = digits[value & 0xf];
    return text;
}

struct Chunk {
    std::uint16_t type = 0;
    Bytes header;  // the chunk from its start to the end of its header
    Bytes whole;   // the chunk from its start to its end
};

// The chunk at `at` in `parent`, its header and size checked against what `parent` holds.
std::optional<Chunk> chunkAt(Bytes parent, std::size_t at, std::string& why) {
    if (!fits(at, 8, parent.size())) {
        why = "a chunk header is cut off at byte " + std::to_string(at);
        return std::nullopt;
    }
    const std::uint16_t headerSize = u16(parent, at + 2);
    const std::uint32_t size = u32(parent, at + 4);
    if (headerSize < 8 || headerSize > size) {
        why = "a chunk at byte " + std::to_string(at) + " has a bad header size";
        return std::nullopt;
    }
    if (!fits(at, size, parent.size())) {
        why = "a chunk at byte " + std::to_string(at) + " runs past the end of what holds it";
        return std::nullopt;
    }
    return Chunk{u16(parent, at), parent.substr(at, headerSize), parent.substr(at, size)};
}

// Calls `visit(chunk)` for each child of `parent` from `at` on, until it returns false; false
// with `why` set when a child is malformed. Each child is at least 8 bytes, so the walk ends.
template <class Visit>
bool forEachChild(const Chunk& parent, Visit visit, std::string& why) {
    for (std::size_t at = parent.header.size(); at < parent.whole.size();) {
        const std::optional<Chunk> child = chunkAt(parent.whole, at, why);
        if (!child) return false;
        if (!visit(*child)) return true;
        at += child->whole.size();
    }
    return true;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) code = 0xfffd;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xc0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xe0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3f));
        out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3f));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3f));
        out += static_cast<char>(0x80 | (code & 0x3f));
    }
}

// A string pool: strings are decoded one at a time when asked for, so a pool claiming millions
// of strings costs nothing until one of them is read, and then only its own bytes.
class StringPool {
public:
    bool load(const Chunk& chunk, std::string& why) {
        if (chunk.header.size() < 28) {
            why = "a string pool's header is too short";
            return false;
        }
        const std::uint32_t count = u32(chunk.header, 8);
        const std::uint32_t styleCount = u32(chunk.header, 12);
        const std::uint32_t flags = u32(chunk.header, 16);
        const std::uint32_t stringsStart = u32(chunk.header, 20);
        const std::uint32_t stylesStart = u32(chunk.header, 24);
        const std::uint64_t offsetsSize = (std::uint64_t{count} + styleCount) * 4;
        if (!fits(chunk.header.size(), offsetsSize, chunk.whole.size())) {
            why = "a string pool's count of " + std::to_string(count) + " strings overruns it";
            return false;
        }
        std::uint64_t stringsEnd = chunk.whole.size();
        if (styleCount > 0 && stylesStart > stringsStart && stylesStart < stringsEnd)
            stringsEnd = stylesStart;
        if (count > 0 && (stringsStart < chunk.header.size() + offsetsSize ||
                          stringsStart > chunk.whole.size())) {
            why = "a string pool's strings start outside it";
            return false;
        }
        offsets_ = chunk.whole.substr(chunk.header.size(), std::size_t{count} * 4);
        strings_ =
            count > 0 ? chunk.whole.substr(stringsStart, stringsEnd - stringsStart) : Bytes();
        count_ = count;
        utf8_ = (flags & 0x100) != 0;
        return true;
    }

    std::uint32_t count() const { return count_; }

    std::optional<std::string> at(std::uint32_t index, std::string& why) const {
        if (index >= count_) {
            why = "a string index " + std::to_string(index) + " lies past the string pool";
            return std::nullopt;
        }
        const std::uint32_t offset = u32(offsets_, std::size_t{index} * 4);
        std::optional<std::string> text = utf8_ ? utf8At(offset) : utf16At(offset);
        if (!text) why = "string " + std::to_string(index) + " runs past its pool";
        return text;
    }

private:
    // UTF-8 strings: their length in UTF-16 units, then in bytes, each in one or two bytes.
    std::optional<std::string> utf8At(std::uint64_t at) const {
        for (int length = 0; length < 2; ++length) {
            if (!fits(at, 1, strings_.size())) return std::nullopt;
            std::uint32_t value = static_cast<unsigned char>(strings_[at]);
            at += 1;
            if (value & 0x80) {
                if (!fits(at, 1, strings_.size())) return std::nullopt;
                value = (value & 0x7f) << 8 | static_cast<unsigned char>(strings_[at]);
                at += 1;
            }
            if (length == 1) {
                if (!fits(at, value, strings_.size())) return std::nullopt;
                return std::string(strings_.substr(at, value));
            }
        }
        return std::nullopt;
    }

    // UTF-16 strings: their length in units in one or two units, then the units.
    std::optional<std::string> utf16At(std::uint64_t at) const {
        if (!fits(at, 2, strings_.size())) return std::nullopt;
        std::uint64_t units = u16(strings_, at);
        at += 2;
        if (units & 0x8000) {
            if (!fits(at, 2, strings_.size())) return std::nullopt;
            units = (units & 0x7fff) << 16 | u16(strings_, at);
            at += 2;
        }
        if (!fits(at, units * 2, strings_.size())) return std::nullopt;
        std::string text;
        for (std::uint64_t i = 0; i < units; ++i) {
            std::uint32_t unit = u16(strings_, at + i * 2);
            if (unit >= 0xd800 && unit < 0xdc00 && i + 1 < units) {
                const std::uint32_t low = u16(strings_, at + (i + 1) * 2);
                if (low >= 0xdc00 && low < 0xe000) {
                    unit = 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
                    ++i;
                }
            }
            appendUtf8(text, unit);
        }
        return text;
    }

    Bytes offsets_, strings_;
    std::uint32_t count_ = 0;
    bool utf8_ = false;
};

// A typed value, as both formats store it after its 2-byte size and a reserved byte.
struct Value {
    std::uint8_t type = 0;
    std::uint32_t data = 0;
};

// The packages of resources.arsc and the value pool their strings live in.
class ResourceTable {
public:
    bool load(Bytes bytes, std::string& why) {
        const std::optional<Chunk> table = chunkAt(bytes, 0, why);
        if (!table) return false;
        if (table->type != tableChunk || table->header.size() < 12) {
            why = "it is not a resource table";
            return false;
        }
        bool poolSeen = false;
        const bool walked = forEachChild(
            *table,
            [&](const Chunk& child) {
                if (child.type == stringPoolChunk && !poolSeen) {
                    poolSeen = true;
                    if (!values_.load(child, why)) return false;
                } else if (child.type == packageChunk && packageCount_ < packages_.size()) {
                    packages_[packageCount_++] = child;
                }
                return true;
            },
            why);
        if (!walked || !why.empty()) return false;
        if (!poolSeen) {
            why = "it has no string pool";
            return false;
        }
        loaded_ = true;
        return true;
    }

    // The value that `id` names in the best configuration that has one.
    std::optional<Value> lookup(std::uint32_t id, std::string& why) const {
        if (!loaded_) {
            why = "resource " + hex(id) + " is named but the APK has no readable resources.arsc";
            return std::nullopt;
        }
        const std::uint32_t packageId = id >> 24;
        const std::uint32_t typeId = id >> 16 & 0xff;
        const std::uint32_t entry = id & 0xffff;
        for (std::size_t i = 0; i < packageCount_; ++i) {
            const Chunk& package = packages_[i];
            if (package.header.size() < 12 || u32(package.header, 8) != packageId) continue;
            std::optional<Value> best;
            int bestScore = 0;
            const bool walked = forEachChild(
                package,
                [&](const Chunk& type) {
                    if (type.type != typeChunk) return true;
                    int score = 0;
                    const std::optional<Value> value = valueIn(type, typeId, entry, score, why);
                    if (!why.empty()) return false;
                    if (value && (!best || score < bestScore)) {
                        best = value;
                        bestScore = score;
                    }
                    return true;
                },
                why);
            if (!walked || !why.empty()) return std::nullopt;
            if (best) return best;
        }
        why = "resource " + hex(id) +
              (packageId == 1 ? " belongs to the system" : " is not in resources.arsc");
        return std::nullopt;
    }

    const StringPool& values() const { return values_; }

private:
    // How well a configuration serves as the one shown: 0 is the default (no qualifier at all),
    // then English alone, English of a country, any other qualifier without a language, and
    // English with other qualifiers; -1 for any other language.
    static int configurationScore(Bytes config) {
        bool otherQualifiers = false;
        for (std::size_t i = 4; i < config.size(); ++i)
            if ((i < 8 || i >= 12) && config[i] != 0) otherQualifiers = true;
        const bool hasLanguage = config.size() >= 10 && (config[8] != 0 || config[9] != 0);
        const bool english = hasLanguage && config[8] == 'e' && config[9] == 'n';
        const bool hasCountry = config.size() >= 12 && (config[10] != 0 || config[11] != 0);
        if (!hasLanguage) return otherQualifiers ? 3 : 0;
        if (!english) return 5;
        if (otherQualifiers) return 4;
        return hasCountry ? 2 : 1;
    }

    // The value of entry `entry` in this type chunk, if it is of type `typeId` and holds one;
    // `score` gets its configuration's score. `why` is set only when the chunk is malformed.
    static std::optional<Value> valueIn(const Chunk& type, std::uint32_t typeId,
                                        std::uint32_t entry, int& score, std::string& why) {
        const Bytes header = type.header;
        if (header.size() < 24) {
            why = "a resource type's header is too short";
            return std::nullopt;
        }
        if (static_cast<unsigned char>(header[8]) != typeId) return std::nullopt;
        const bool sparse = (static_cast<unsigned char>(header[9]) & 0x01) != 0;
        const std::uint32_t entryCount = u32(header, 12);
        const std::uint32_t entriesStart = u32(header, 16);
        const std::uint32_t configSize = u32(header, 20);
        if (configSize < 4 || !fits(20, configSize, header.size())) {
            why = "a resource type's configuration overruns its header";
            return std::nullopt;
        }
        if (!fits(header.size(), std::uint64_t{entryCount} * 4, type.whole.size()) ||
            entriesStart > type.whole.size()) {
            why =
                "a resource type's count of " + std::to_string(entryCount) + " entries overruns it";
            return std::nullopt;
        }
        const Bytes offsets = type.whole.substr(header.size(), std::size_t{entryCount} * 4);
        std::uint64_t offset = noIndex;
        if (sparse) {
            // Pairs of entry number and offset in 4-byte units, sorted by entry number.
            std::uint32_t low = 0, high = entryCount;
            while (low < high) {
                const std::uint32_t middle = low + (high - low) / 2;
                const std::uint32_t number = u16(offsets, std::size_t{middle} * 4);
                if (number == entry) {
                    offset = std::uint64_t{u16(offsets, std::size_t{middle} * 4 + 2)} * 4;
                    break;
                }
                if (number < entry)
                    low = middle + 1;
                else
                    high = middle;
            }
        } else if (entry < entryCount) {
            offset = u32(offsets, std::size_t{entry} * 4);
        }
        if (offset == noIndex) return std::nullopt;
        const Bytes entries = type.whole.substr(entriesStart);
        if (!fits(offset, 8, entries.size())) {
            why = "resource entry " + std::to_string(entry) + " lies outside its type";
            return std::nullopt;
        }
        const std::uint16_t entrySize = u16(entries, offset);
        const std::uint16_t flags = u16(entries, offset + 2);
        score = configurationScore(header.substr(20, configSize));
        if (flags & 0x0008) {
            // A compact entry: the value's type in the flags' high byte, its data in place of
            // the key.
            return Value{static_cast<std::uint8_t>(flags >> 8), u32(entries, offset + 4)};
        }
        if (flags & 0x0001) return Value{};  // a bag of values, never a single one
        if (entrySize < 8 || !fits(offset + entrySize, 8, entries.size())) {
            why = "resource entry " + std::to_string(entry) + " has its value outside its type";
            return std::nullopt;
        }
        const std::size_t at = offset + entrySize;
        return Value{static_cast<std::uint8_t>(entries[at + 3]), u32(entries, at + 4)};
    }

    StringPool values_;
    // A table holds one package, or a few with shared libraries; more are not looked at.
    std::array<Chunk, 8> packages_{};
    std::size_t packageCount_ = 0;
    bool loaded_ = false;
};

// A value as text: a string of `pool`, a number in decimal, or what a reference names in
// `table`, followed through at most a few references and never around a cycle.
std::optional<std::string> textOf(Value value, const StringPool& pool, const ResourceTable& table,
                                  std::string& why) {
    std::array<std::uint32_t, maxReferenceSteps> seen{};
    const StringPool* strings = &pool;
    for (int step = 0;; ++step) {
        if (value.type == stringValue) return strings->at(value.data, why);
        if (value.type >= firstIntValue && value.type <= lastIntValue) {
            if (value.type == firstIntValue)
                return std::to_string(static_cast<std::int32_t>(value.data));
            return std::to_string(value.data);
        }
        if (value.type != referenceValue && value.type != dynamicReferenceValue) {
            why = "a value of type " + std::to_string(value.type) + " is no text";
            return std::nullopt;
        }
        for (int i = 0; i < step; ++i)
            if (seen[i] == value.data) {
                why = "resource " + hex(value.data) + " refers back to itself";
                return std::nullopt;
            }
        if (step == maxReferenceSteps) {
            why = "resource " + hex(value.data) + " is a chain of too many references";
            return std::nullopt;
        }
        seen[step] = value.data;
        const std::optional<Value> next = table.lookup(value.data, why);
        if (!next) return std::nullopt;
        value = *next;
        strings = &table.values();
    }
}

struct Attribute {
    std::uint32_t ns = noIndex, name = noIndex;
    Value value;
};

// The manifest's own element and its application element, as far as the identity goes.
struct ManifestValues {
    std::optional<Value> package, versionCode, versionName, label;
};

// Takes what the identity needs from the attributes of `element`, the body of the <manifest>
// element or (not `isManifest`) of its <application>.
bool readIdentityAttributes(Bytes element, bool isManifest, Bytes resourceIds, StringPool& pool,
                            ManifestValues& found, std::string& why) {
    const std::uint16_t start = u16(element, 8);
    const std::uint16_t size = u16(element, 10);
    const std::uint16_t count = u16(element, 12);
    if (size < 20 || !fits(start, std::uint64_t{size} * count, element.size())) {
        why = "the attributes of an element overrun it";
        return false;
    }
    std::string ignored;
    for (std::uint32_t i = 0; i < count; ++i) {
        const Bytes raw = element.substr(start + std::size_t{i} * size, 20);
        const Attribute attribute{u32(raw, 0), u32(raw, 4),
                                  Value{static_cast<std::uint8_t>(raw[15]), u32(raw, 16)}};
        const std::uint32_t id = std::size_t{attribute.name} < resourceIds.size() / 4
                                     ? u32(resourceIds, std::size_t{attribute.name} * 4)
                                     : 0;
        if (isManifest && id == versionCodeAttribute) {
            found.versionCode = attribute.value;
        } else if (isManifest && id == versionNameAttribute) {
            found.versionName = attribute.value;
        } else if (!isManifest && id == labelAttribute) {
            found.label = attribute.value;
        } else if (isManifest && id == 0 && attribute.ns == noIndex &&
                   pool.at(attribute.name, ignored) == "package") {
            found.package = attribute.value;
        }
    }
    return true;
}

bool readManifest(Bytes bytes, StringPool& pool, ManifestValues& found, std::string& why) {
    const std::optional<Chunk> document = chunkAt(bytes, 0, why);
    if (!document) return false;
    if (document->type != xmlChunk) {
        why = "it is not Android's binary XML";
        return false;
    }
    bool poolSeen = false;
    Bytes resourceIds;
    std::uint64_t depth = 0;
    bool manifestSeen = false, applicationSeen = false;
    const bool walked = forEachChild(
        *document,
        [&](const Chunk& child) {
            if (child.type == stringPoolChunk && !poolSeen) {
                poolSeen = true;
                return pool.load(child, why);
            }
            if (child.type == resourceMapChunk && resourceIds.empty()) {
                const Bytes ids = child.whole.substr(child.header.size());
                resourceIds = ids.substr(0, ids.size() / 4 * 4);
                return true;
            }
            if (child.type == endElementChunk) {
                if (depth > 0) --depth;
                return true;
            }
            if (child.type != startElementChunk) return true;
            ++depth;
            if (child.header.size() < 16 || !fits(child.header.size(), 20, child.whole.size())) {
                why = "an element is cut off";
                return false;
            }
            const Bytes element = child.whole.substr(child.header.size());
            const std::optional<std::string> name = pool.at(u32(element, 4), why);
            if (!name) return false;
            const bool isManifest = depth == 1 && name == "manifest";
            const bool isApplication =
                depth == 2 && manifestSeen && !applicationSeen && name == "application";
            if (depth == 1 && !isManifest) {
                why = "its root element is not <manifest>";
                return false;
            }
            if (!isManifest && !isApplication) return true;
            manifestSeen = manifestSeen || isManifest;
            applicationSeen = applicationSeen || isApplication;
            return readIdentityAttributes(element, isManifest, resourceIds, pool, found, why);
        },
        why);
    if (!walked || !why.empty()) return false;
    if (!poolSeen) {
        why = "it has no string pool";
        return false;
    }
    if (!manifestSeen) {
        why = "it has no <manifest> element";
        return false;
    }
    return true;
}

}  // namespace

ApkReading readApkIdentity(std::string_view manifest, std::string_view resources) {
    ApkReading reading;
    StringPool pool;
    ManifestValues found;
    std::string why;
    if (!readManifest(manifest, pool, found, why)) {
        reading.problem = "AndroidManifest.xml: " + why;
        return reading;
    }
    ResourceTable table;
    std::string tableWhy;
    if (!resources.empty() && !table.load(resources, tableWhy))
        tableWhy = "resources.arsc: " + tableWhy;
    if (!found.package) {
        reading.problem = "AndroidManifest.xml names no package";
        return reading;
    }
    const std::optional<std::string> package = textOf(*found.package, pool, table, why);
    if (!package || package->empty()) {
        reading.problem = "AndroidManifest.xml: the package name can't be read" +
                          (why.empty() ? std::string() : ": " + why);
        return reading;
    }
    reading.identity.package = *package;

    const auto read = [&](const std::optional<Value>& value, const char* what, std::string& out) {
        if (!value) return;
        std::string valueWhy;
        if (const std::optional<std::string> text = textOf(*value, pool, table, valueWhy)) {
            out = *text;
        } else if (reading.problem.empty()) {
            // The table's own fault says more than the reference that ran into it.
            reading.problem =
                std::string(what) + ": " +
                (tableWhy.empty() || valueWhy.find("no readable") == std::string::npos ? valueWhy
                                                                                       : tableWhy);
        }
    };
    read(found.versionCode, "versionCode", reading.identity.versionCode);
    read(found.versionName, "versionName", reading.identity.versionName);
    read(found.label, "label", reading.identity.label);
    return reading;
}
