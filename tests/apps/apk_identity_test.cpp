// SPDX-License-Identifier: GPL-3.0-or-later
// The APK reader against real APKs that aapt built (tests/apps/make_apk_fixtures.py, run by the
// build), compared with what `aapt dump badging` read from each; then the same files broken in
// every way that matters: nothing may crash or hang, and every fault comes with a reason.
#include "apps/apk_identity.h"
#include "apps/apk_file.h"
#include "apps/rom_apps.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

const std::string fixtures = SLIMKIT_APK_FIXTURES;

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::vector<std::string>> readTable(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(readWhole(path));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != line.npos; start = tab + 1)
            fields.push_back(line.substr(start, tab - start));
        fields.push_back(line.substr(start));
        rows.push_back(fields);
    }
    return rows;
}

// What aapt read from each generated APK, by file name.
struct Expected {
    std::string file;
    ApkIdentity identity;
};

std::vector<Expected> expectedIdentities() {
    std::vector<Expected> all;
    for (const auto& row : readTable(fixtures + "/expected.tsv")) {
        EXPECT_EQ(row.size(), 5u);
        if (row.size() == 5) all.push_back({row[0], {row[1], row[2], row[3], row[4]}});
    }
    return all;
}

void expectSame(const ApkIdentity& read, const ApkIdentity& expected, const std::string& what) {
    EXPECT_EQ(read.package, expected.package) << what;
    EXPECT_EQ(read.versionCode, expected.versionCode) << what;
    EXPECT_EQ(read.versionName, expected.versionName) << what;
    EXPECT_EQ(read.label, expected.label) << what;
}

void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::uint32_t get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Where the first chunk of `type` starts below the top chunk and, for a package, below it.
std::size_t findChunk(const std::string& bytes, std::uint16_t type) {
    std::size_t at = static_cast<unsigned char>(bytes[2]);
    while (at + 8 <= bytes.size()) {
        const std::uint16_t found = static_cast<std::uint16_t>(
            static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8);
        if (found == type) return at;
        if (found == 0x0200) {  // a package: its children follow its header
            at += static_cast<unsigned char>(bytes[at + 2]) |
                  static_cast<unsigned char>(bytes[at + 3]) << 8;
            continue;
        }
        at += get32(bytes, at + 4);
    }
    ADD_FAILURE() << "no chunk of type " << type;
    return 0;
}

std::uint16_t get16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

void append16(std::string& bytes, std::uint32_t value) {
    bytes += static_cast<char>(value);
    bytes += static_cast<char>(value >> 8);
}

void append32(std::string& bytes, std::uint32_t value) {
    append16(bytes, value);
    append16(bytes, value >> 16);
}

// A resource table rewritten as newer build tools write it: each type's entry offsets as sorted
// (entry, offset / 4) pairs of present entries only (`sparse`), and each simple entry in 8 bytes
// with its value's type in the flags and its data in place of the key (`compact`).
std::string rewriteTable(const std::string& table, bool sparse, bool compact) {
    const std::size_t package = findChunk(table, 0x0200);
    const std::size_t packageHeader = get16(table, package + 2);
    std::string children;
    for (std::size_t at = package + packageHeader; at < package + get32(table, package + 4);
         at += get32(table, at + 4)) {
        const std::string chunk = table.substr(at, get32(table, at + 4));
        if (get16(chunk, 0) != 0x0201) {
            children += chunk;
            continue;
        }
        const std::size_t header = get16(chunk, 2);
        const std::uint32_t count = get32(chunk, 12), start = get32(chunk, 16);
        std::string offsets, entries;
        std::uint32_t present = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t offset = get32(chunk, header + i * 4);
            if (offset == 0xffffffff) {
                if (!sparse) append32(offsets, offset);
                continue;
            }
            const std::size_t entry = start + offset;
            const std::uint32_t moved = static_cast<std::uint32_t>(entries.size());
            if (compact) {
                append16(entries, get32(chunk, entry + 4));  // the key
                append16(entries, 0x0008 | static_cast<unsigned char>(chunk[entry + 8 + 3]) << 8);
                append32(entries, get32(chunk, entry + 8 + 4));
            } else {
                entries += chunk.substr(entry, 16);
            }
            if (sparse) {
                append16(offsets, i);
                append16(offsets, moved / 4);
            } else {
                append32(offsets, moved);
            }
            ++present;
        }
        std::string rewritten = chunk.substr(0, header);
        if (sparse) {
            rewritten[9] = static_cast<char>(rewritten[9] | 0x01);
            put32(rewritten, 12, present);
        }
        put32(rewritten, 16, static_cast<std::uint32_t>(header + offsets.size()));
        rewritten += offsets + entries;
        put32(rewritten, 4, static_cast<std::uint32_t>(rewritten.size()));
        children += rewritten;
    }
    std::string result = table.substr(0, package + packageHeader) + children;
    put32(result, package + 4, static_cast<std::uint32_t>(result.size() - package));
    put32(result, 4, static_cast<std::uint32_t>(result.size()));
    return result;
}

}  // namespace

TEST(ApkIdentity, ReadsWhatAaptReadsFromEveryGeneratedApk) {
    const std::vector<Expected> all = expectedIdentities();
    ASSERT_GE(all.size(), 40u);
    int resourceLabels = 0, nonAscii = 0;
    for (const Expected& expected : all) {
        const ApkReading reading = readApkFile(fixtures + "/apk/" + expected.file);
        EXPECT_TRUE(reading.complete()) << expected.file << ": " << reading.problem;
        expectSame(reading.identity, expected.identity, expected.file);
        if (!expected.identity.label.empty()) ++resourceLabels;
        if (expected.identity.label.find('\xe6') != std::string::npos) ++nonAscii;
    }
    // The comparison covered labels and non-ASCII text, not only empty fields.
    EXPECT_GT(resourceLabels, 30);
    EXPECT_GT(nonAscii, 3);
}

TEST(ApkIdentity, ReadsEachLayoutOfTheRomZipInPlaceOrUnpacked) {
    std::string why;
    const std::unique_ptr<RomZip> rom = RomZip::open(fixtures + "/rom.zip", why);
    ASSERT_TRUE(rom) << why;
    const std::vector<Expected> all = expectedIdentities();
    const auto rows = readTable(fixtures + "/rom.tsv");
    ASSERT_EQ(rows.size(), 9u);  // eight layouts stored, one APK deflated
    for (const auto& row : rows) {
        const ApkReading reading = rom->readApk(row[0]);
        EXPECT_TRUE(reading.complete()) << row[0] << ": " << reading.problem;
        for (const Expected& expected : all)
            if (expected.file == row[1]) expectSame(reading.identity, expected.identity, row[0]);
    }
    // The Windows 7z lists '\' between folders.
    const ApkReading backslashed = rom->readApk("system\\app\\Test1\\Test1.apk");
    EXPECT_EQ(backslashed.identity.package, "org.slimkit.test1.app") << backslashed.problem;
}

// The whole ROM at once, as a front-end reads it: each faulty APK is listed under its file name
// with its problem, beside the others read whole; the reading reports progress and can stop.
TEST(ApkIdentity, ReadsEveryAppOfTheRomEachFaultInItsOwnRow) {
    std::vector<ListedEntry> listing = {{"META-INF/com/google/android/updater-script", 19, false},
                                        {"system/app/Text.apk", 18, false},
                                        {"system/app/Cut/Cut.apk", 3724, false}};
    std::map<std::string, std::string> names = {{"system/app/Text.apk", "Text"},
                                                {"system/app/Cut/Cut.apk", "Cut"}};
    const std::vector<Expected> all = expectedIdentities();
    for (const auto& row : readTable(fixtures + "/rom.tsv")) {
        listing.push_back({row[0], 1, false});
        for (const Expected& expected : all)
            if (expected.file == row[1])
                names[row[0]] = expected.identity.label.empty() ? expected.identity.package
                                                                : expected.identity.label;
    }
    std::string why;
    std::vector<std::size_t> done;
    const std::vector<RomApp> apps =
        readRomApps(fixtures + "/rom.zip", listing, why, [&](std::size_t count, std::size_t total) {
            EXPECT_EQ(total, 11u);
            done.push_back(count);
            return true;
        });
    EXPECT_EQ(why, "");
    ASSERT_EQ(apps.size(), 11u);
    EXPECT_EQ(done.size(), 11u);
    EXPECT_EQ(done.back(), 11u);
    int faulty = 0;
    for (const RomApp& app : apps) {
        EXPECT_EQ(app.name(), names[app.found.apkPath]) << app.found.apkPath;
        if (!app.reading.complete()) {
            ++faulty;
            EXPECT_THAT(app.name(), ::testing::AnyOf("Text", "Cut")) << app.reading.problem;
            EXPECT_THAT(app.reading.problem, HasSubstr("the APK")) << app.found.apkPath;
        }
    }
    EXPECT_EQ(faulty, 2);

    const std::vector<RomApp> stopped =
        readRomApps(fixtures + "/rom.zip", listing, why,
                    [](std::size_t count, std::size_t) { return count < 3; });
    EXPECT_EQ(stopped.size(), 3u);
    EXPECT_TRUE(readRomApps(fixtures + "/gone.zip", listing, why).empty());
    EXPECT_THAT(why, HasSubstr("gone.zip"));
}

// The ROM's path is UTF-8 on both builds, whatever the system's code page.
TEST(ApkIdentity, OpensARomZipUnderANonAsciiPath) {
    const TempFolder folder;
    const std::u8string name = u8"ROMs Ελληνικά 刷机 包.zip";
    const std::filesystem::path copy = std::filesystem::path(folder.path()) / name;
    std::filesystem::copy_file(fixtures + "/rom.zip", copy);
    std::string why;
    const std::unique_ptr<RomZip> rom =
        RomZip::open(folder.path() + "/" + std::string(name.begin(), name.end()), why);
    ASSERT_TRUE(rom) << why;
    EXPECT_EQ(rom->readApk("system/app/Test1/Test1.apk").identity.package, "org.slimkit.test1.app");
}

TEST(ApkIdentity, NamesWhyAnApkOrRomCantBeRead) {
    std::string why;
    EXPECT_FALSE(RomZip::open(fixtures + "/manifest.bin", why));
    EXPECT_THAT(why, HasSubstr("as a zip archive"));
    why.clear();
    EXPECT_FALSE(RomZip::open(fixtures + "/no such rom.zip", why));
    EXPECT_THAT(why, Not(IsEmpty()));

    const std::unique_ptr<RomZip> rom = RomZip::open(fixtures + "/rom.zip", why);
    ASSERT_TRUE(rom) << why;
    struct Case {
        std::string entry;
        ApkReadLimits limits;
        std::string problem;
    };
    ApkReadLimits smallApk, smallFiles, smallTable;
    smallApk.maxCompressedApk = 1000;
    smallFiles.maxIdentityFile = 100;
    smallTable.maxIdentityFile = readWhole(fixtures + "/manifest.bin").size();
    const Case cases[] = {
        {"system/app/Text.apk", {}, "the APK is not a zip"},
        {"system/app/Cut/Cut.apk", {}, "the APK"},
        {"system/app/Gone.apk", {}, "the ROM zip holds no system/app/Gone.apk"},
        {"system/app/Deflated/Deflated.apk", smallApk, "compressed APK is too large"},
        {"system/app/Test1/Test1.apk", smallFiles, "AndroidManifest.xml is too large"},
    };
    // Without its table, an APK keeps what its manifest says itself.
    const ApkReading noTable = rom->readApk("system/app/Test1/Test1.apk", smallTable);
    EXPECT_THAT(noTable.problem, HasSubstr("resources.arsc is too large"));
    EXPECT_THAT(noTable.problem, HasSubstr("versionName: resource 0x7f"));
    expectSame(noTable.identity, {"org.slimkit.test1.app", "38", "", ""}, "no table");
    for (const Case& test : cases) {
        const ApkReading reading = rom->readApk(test.entry, test.limits);
        EXPECT_THAT(reading.problem, HasSubstr(test.problem)) << test.entry;
        expectSame(reading.identity, {}, test.entry);
    }
    EXPECT_THAT(readApkFile(fixtures + "/manifest.bin").problem, HasSubstr("not a zip"));
}

TEST(ApkIdentity, CutsReferenceCyclesAndNamesSystemResourcesNeedsNoTableForText) {
    const ApkReading cycle = readApkFile(fixtures + "/apk/cycle.apk");
    EXPECT_THAT(cycle.problem, HasSubstr("label: resource 0x7f"));
    EXPECT_THAT(cycle.problem, HasSubstr("refers back to itself"));
    expectSame(cycle.identity, {"org.slimkit.cycle", "5", "5.0", ""}, "cycle");

    const ApkReading system = readApkFile(fixtures + "/apk/system-label.apk");
    EXPECT_THAT(system.problem, HasSubstr("belongs to the system"));
    expectSame(system.identity, {"org.slimkit.systemlabel", "5", "5.0", ""}, "system label");

    const ApkReading literal = readApkFile(fixtures + "/apk/literal-only.apk");
    EXPECT_TRUE(literal.complete()) << literal.problem;
    expectSame(literal.identity, {"org.slimkit.literalonly", "5", "5.0", "Literal Only"},
               "literal");
}

// The same table as sparse and compact types: the same identity. (aapt writes neither; the
// rewrite keeps every type's entries in their order, so only the offset tables and entries change.)
TEST(ApkIdentity, ReadsSparseAndCompactTables) {
    const std::string manifest = readWhole(fixtures + "/manifest.bin");
    const std::string resources = readWhole(fixtures + "/resources.arsc");
    const ApkReading plain = readApkIdentity(manifest, resources);
    ASSERT_TRUE(plain.complete()) << plain.problem;
    for (const auto& [sparse, compact] : {std::pair{true, false}, {false, true}, {true, true}}) {
        const std::string rewritten = rewriteTable(resources, sparse, compact);
        ASSERT_NE(rewritten, resources);
        const ApkReading reading = readApkIdentity(manifest, rewritten);
        EXPECT_TRUE(reading.complete()) << sparse << compact << ": " << reading.problem;
        expectSame(reading.identity, plain.identity, "rewritten table");
    }
}

// Every cut of either file: the manifest cut short is refused whole, the table cut short costs
// the values that need it, never the package.
TEST(ApkIdentity, EveryTruncationGivesAReason) {
    const std::string manifest = readWhole(fixtures + "/manifest.bin");
    const std::string resources = readWhole(fixtures + "/resources.arsc");
    const ApkReading whole = readApkIdentity(manifest, resources);
    ASSERT_TRUE(whole.complete()) << whole.problem;
    ASSERT_EQ(whole.identity.versionName, "1.1-res");
    ASSERT_EQ(whole.identity.label, "App 1");
    for (std::size_t length = 0; length < manifest.size(); ++length) {
        const ApkReading reading = readApkIdentity(manifest.substr(0, length), resources);
        ASSERT_THAT(reading.problem, HasSubstr("AndroidManifest.xml")) << length;
        ASSERT_THAT(reading.identity.package, IsEmpty()) << length;
    }
    for (std::size_t length = 1; length < resources.size(); ++length) {
        const ApkReading reading = readApkIdentity(manifest, resources.substr(0, length));
        ASSERT_THAT(reading.problem, HasSubstr("resources.arsc")) << length;
        ASSERT_EQ(reading.identity.package, "org.slimkit.test1.app") << length;
        ASSERT_EQ(reading.identity.versionCode, "38") << length;
        ASSERT_THAT(reading.identity.label, IsEmpty()) << length;
    }
    const ApkReading noTable = readApkIdentity(manifest, "");
    EXPECT_THAT(noTable.problem, HasSubstr("versionName: resource 0x7f"));
    EXPECT_THAT(noTable.problem, HasSubstr("no readable resources.arsc"));
}

// Counts and offsets that point far outside their chunk: refused by what they claim, before
// anything is allocated or looped over for them.
TEST(ApkIdentity, HugeCountsAndBadStringPoolsAreRefused) {
    const std::string manifest = readWhole(fixtures + "/manifest.bin");
    const std::string resources = readWhole(fixtures + "/resources.arsc");
    const std::size_t manifestPool = findChunk(manifest, 0x0001);
    const std::size_t tablePool = findChunk(resources, 0x0001);
    const std::size_t element = findChunk(manifest, 0x0102);
    const std::size_t type = findChunk(resources, 0x0201);
    struct Case {
        const char* what;
        bool inManifest;
        std::size_t at;
        std::uint32_t value;
        const char* problem;
    };
    const Case cases[] = {
        {"manifest pool count", true, manifestPool + 8, 0xffffffff, "overruns it"},
        {"manifest pool start", true, manifestPool + 20, 0x7fffffff, "start outside"},
        {"manifest string offsets", true, manifestPool + 28, 0xfffffff0, "runs past its pool"},
        {"attribute count", true, element + 16 + 12, 0xffff0014, "attributes of an element"},
        {"element size", true, element + 4, 0xffffff00, "runs past the end"},
        {"document size", true, 4, 0x7fffffff, "runs past the end"},
        {"header size", true, 2, 0x00000004 | 0x00080000, "bad header size"},
        {"table pool count", false, tablePool + 8, 0x40000000, "overruns it"},
        {"table string offsets", false, tablePool + 28, 0x00fffff0, "runs past its pool"},
        {"type entry count", false, type + 12, 0x10000000, "entries overruns it"},
        {"type entries start", false, type + 16, 0x7ffffff0, "entries overruns it"},
        {"type configuration", false, type + 20, 0xfffffff0, "configuration overruns"},
    };
    for (const Case& test : cases) {
        std::string bytes = test.inManifest ? manifest : resources;
        put32(bytes, test.at, test.value);
        if (std::string(test.what).ends_with("offsets")) {
            // Every string of the pool, so that the ones read are among them.
            const std::size_t pool = test.at - 28;
            for (std::uint32_t i = 0; i < get32(bytes, pool + 8); ++i)
                put32(bytes, test.at + i * 4, test.value);
        }
        const ApkReading reading =
            test.inManifest ? readApkIdentity(bytes, resources) : readApkIdentity(manifest, bytes);
        EXPECT_THAT(reading.problem, HasSubstr(test.problem)) << test.what;
    }
}

// Random damage to either file, as a fuzzer would do it but repeatable: any outcome but a crash,
// and a complete reading always has a package.
TEST(ApkIdentity, RandomDamageNeverCrashes) {
    const std::string manifest = readWhole(fixtures + "/manifest.bin");
    const std::string resources = readWhole(fixtures + "/resources.arsc");
    std::mt19937 random(23);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string broken = round % 2 ? manifest : resources;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i)
            broken[random() % broken.size()] = static_cast<char>(random());
        const ApkReading reading =
            round % 2 ? readApkIdentity(broken, resources) : readApkIdentity(manifest, broken);
        if (reading.complete())
            EXPECT_THAT(reading.identity.package, Not(IsEmpty()));
        else
            ++refused;
    }
    EXPECT_GT(refused, 100);
}
