// SPDX-License-Identifier: GPL-3.0-or-later
// The plan against the real archiver of each build: what the plan says a run removes is exactly
// what 7z deletes and extracts when handed the plan's names, for every form a definition path or
// a ROM entry may take; random ROMs, definitions and selections run whole agree with their plan;
// and a whole run works on a ROM deeper than Windows' old path limit.
#include "pipeline/plan.h"

#include "catalogue/catalogue.h"
#include "pipeline/customize.h"
#include "pipeline/removal.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/utf8.h"
#include "support/recording_reporter.h"
#include "support/temp_folder.h"
#include "support/zip_writer.h"
#include "tools/archive_listing.h"
#include "tools/archiver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace {

using Names = std::multiset<std::string>;

// The files of a listing in UTF-8, with '/' between folders whichever build's 7z listed them
// (the Windows one in its code page when that isn't UTF-8).
Names files(const std::vector<ArchiveEntry>& entries) {
    Names names;
    for (const ArchiveEntry& entry : entries) {
        if (entry.isFolder) continue;
        std::string name = asUtf8(entry.path);
        for (char& c : name)
            if (c == '\\') c = '/';
        names.insert(name);
    }
    return names;
}

Names without(Names names, const Names& gone) {
    for (const std::string& name : gone)
        if (const auto found = names.find(name); found != names.end()) names.erase(found);
    return names;
}

// Files below `folder` (relative names, '/' between folders).
Names folderFiles(const std::string& folder) {
    Names names;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(fs::path(folder), ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        if (!it->is_directory()) {
            std::string name = asUtf8(programPath(fs::relative(it->path(), fs::path(folder))));
            for (char& c : name)
                if (c == '\\') c = '/';
            names.insert(name);
        }
    return names;
}

class RemovalRule : public testing::Test {
protected:
    void SetUp() override {
        // The tests live in the tests folder of the build folder, which is a program folder.
        built = programPaths(findProgramFolder(nullptr) + ".." + pathSeparator);
        paths = programPaths(folder / "program" + pathSeparator);
        paths.archiverProgram = built.archiverProgram;
        fs::create_directories(paths.addFolder);
        fs::create_directories(paths.extractionFolder);
        fs::copy_file(built.undoTemplate, paths.undoTemplate);
        templateListing = listArchive(paths.archiverProgram, paths.undoTemplate);
        ASSERT_TRUE(templateListing.readable);
    }

    // Ticks one entry per definition text and plans its removal from `rom`.
    RunPlan planFor(const std::vector<std::string>& definitions, const std::string& rom,
                    bool undoZip = false) {
        const std::string folderName = folder / ("remove " + std::to_string(++plans) + "/");
        for (std::size_t i = 0; i < definitions.size(); ++i)
            writeFile(folderName + "app" + std::to_string(i) + ".ini",
                      "\xEF\xBB\xBF[main]\nappname=App " + std::to_string(i) + "\n[files]\n" +
                          definitions[i]);
        catalogue = std::make_unique<Catalogue>();
        EXPECT_TRUE(loadDefinitions(*catalogue, folderName));
        request = {};
        request.romPath = rom;
        request.options = {false, undoZip, false};
        for (const auto& entry : catalogue->entries) request.ticked.push_back({entry.get()});
        const ArchiveListing listing = listArchive(paths.archiverProgram, rom);
        EXPECT_TRUE(listing.readable);
        return planRun(request, listing.entries, {}, templateListing.entries);
    }

    TempFolder folder;
    ProgramPaths built, paths;
    ArchiveListing templateListing;
    std::unique_ptr<Catalogue> catalogue;
    CustomizeRequest request;
    int plans = 0;
};

TEST_F(RemovalRule, SevenZipDeletesAndExtractsExactlyWhatThePlanNames) {
#ifdef _WIN32
    const std::string rom = folder / "rom.zip";  // no name of Windows holds a wildcard
#else
    const std::string rom = folder / "rom*?.zip";  // a ROM's own name is no wildcard either
#endif
    ASSERT_TRUE(writeZip(rom,
                         {{"system/", ""},
                          {"system/app/", ""},
                          {"system/app/Browser.apk", "browser"},
                          {"system/app/Browser/", ""},
                          {"system/app/Browser/lib.so", "lib"},
                          {"system/app/BrowserExtra.apk", "extra"},
                          {"system/app/Keep.apk", "keep"},
                          {"system/app/?????.apk", "five"},
                          {"system/app/Notes.apk", "notes"},
                          {"system/etc/hosts", "hosts"},
                          {"/x", "leading slash"},
                          {"./y", "leading dot"},
                          {"system/app/Odd/./z", "a dot folder inside"},
                          {"system/app/Odd/Real.apk", "real"},
                          {"dup.txt", "one"},
                          {"dup.txt", "two"},
                          {"system/app/Blank/ lead.apk", "lead"},
                          {"system/app/Blank/trail.apk  ", "trail"},
                          {"Café.apk", "lower"},
                          {"CAFÉ.apk", "upper"}},
                         "a comment\n----------\nPath = phantom\nFolder = -\n"));
    const ArchiveListing original = listArchive(paths.archiverProgram, rom);
    ASSERT_TRUE(original.readable);
    ASSERT_EQ(original.entries.size(), 20u) << "the comment made entries";

#ifdef _WIN32
    const Names bothCafés{"Café.apk", "CAFÉ.apk"};  // 7z.exe folds the case of every letter
    const bool noFileOfThatName = true;             // a '?' in a file's name
#else
    const Names bothCafés{"Café.apk"};
    const bool noFileOfThatName = false;
#endif
    const struct {
        const char* lines;
        Names removed;
        std::size_t skipped;
        std::size_t unreachable;
        bool refusedWithUndo = false;  // what an undo zip can't give back is never extracted
    } cases[] = {
        // Every form that 7z reads as something else than the name it spells is skipped: each
        // of these once emptied the whole ROM zip.
        {"1=system/app/.\n2=.\n3=..\n4=x/..\n5=/\n6=//\n7=./system\n8=system/app/Keep.apk/..\n",
         {},
         8,
         0},
        {"1=\n2=system//app/Keep.apk\n3=system/app//\n4=/system/app/Keep.apk\n", {}, 4, 0},
        {"1=*\n2=system/app/*\n", {}, 0, 0},
        {"1=system/app/?????.apk\n", {"system/app/?????.apk"}, 0, 0, noFileOfThatName},
        {"1=system\\app\\Browser.apk\n", {"system/app/Browser.apk"}, 0, 0},
        {"1=system/app/Browser\n", {"system/app/Browser/lib.so"}, 0, 0},
        {"1=system\\app\\Browser\\\n2=system/etc/hosts\n",
         {"system/app/Browser/lib.so", "system/etc/hosts"},
         0,
         0},
        // A trailing separator names a folder only.
        {"1=system/app/Keep.apk/\n", {}, 0, 0},
        // Entries 7z can't be handed alone stay, and are named; so does the folder above one.
        {"1=/x\n2=./y\n", {}, 2, 0},
        {"1=system/app/Odd\n", {"system/app/Odd/Real.apk"}, 0, 1},
        {"1=dup.txt\n", {"dup.txt", "dup.txt"}, 0, 0, true},
        // Blanks at a name's ends are part of it.
        {"1=system/app/Blank\n",
         {"system/app/Blank/ lead.apk", "system/app/Blank/trail.apk  "},
         0,
         0,
         noFileOfThatName},
        {"1=Café.apk\n", bothCafés, 0, 0, bothCafés.size() > 1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.lines);
        const RunPlan plan = planFor({test.lines}, rom);
        EXPECT_EQ(files(plan.removed), test.removed);
        ASSERT_EQ(plan.apps.size(), 1u);
        EXPECT_EQ(plan.apps[0].skipped.size(), test.skipped);
        EXPECT_EQ(plan.apps[0].unreachable.size(), test.unreachable);

        const std::string copy = folder / "copy.zip";
        fs::remove(copy);
        fs::copy_file(rom, copy);
        const std::string extracted = folder / "extracted/";
        fs::remove_all(extracted);
        fs::create_directories(extracted);
        if (plan.removalNames.empty()) continue;
        EXPECT_EQ(planFor({test.lines}, rom, true).refusals.empty(), !test.refusedWithUndo);
        const std::string listFile = folder / "names";
        std::vector<std::string> removedFiles;
        for (const ArchiveEntry& entry : plan.removed) removedFiles.push_back(entry.path);
        if (!test.refusedWithUndo) {
            EXPECT_EQ(runOnNames(paths.archiverProgram, extractCommand(copy, extracted, listFile),
                                 listFile, removedFiles, {})
                          .outcome,
                      ArchiverOutcome::succeeded);
            EXPECT_EQ(folderFiles(extracted), test.removed);
        }
        EXPECT_EQ(runOnNames(paths.archiverProgram, removalCommand(copy, listFile), listFile,
                             plan.removalNames, {})
                      .outcome,
                  ArchiverOutcome::succeeded);
        const ArchiveListing after = listArchive(paths.archiverProgram, copy);
        EXPECT_EQ(files(after.entries), without(files(original.entries), test.removed));
        EXPECT_TRUE(checkRun(plan, original.entries, after.entries, after.readable).matches());
    }
}

TEST_F(RemovalRule, UndoZipRefusesWhatItCantGiveBack) {
    const std::string rom = folder / "rom.zip";
    ASSERT_TRUE(writeZip(rom, {{"META-INF/com/google/android/update-binary", "the ROM's own"},
                               {"system/app/Dup.apk", "one"},
                               {"system/app/Dup.apk", "two"},
                               {"system/app/Secret.apk", "locked", false, true},
                               {"system/bin/sh", "mksh", true},
                               {"system/app/Tab\t.apk", "tab"},
                               {"system/app/Fine.apk", "fine"}}));
    const std::vector<std::string> definitions{"1=META-INF/com/google/android/update-binary\n",
                                               "1=system/app/Dup.apk\n",
                                               "1=system/app/Secret.apk\n",
                                               "1=system/bin/sh\n",
                                               "1=system/app/Tab\t.apk\n",
                                               "1=system/app/Fine.apk\n"};
    for (std::size_t i = 0; i < definitions.size(); ++i) {
        SCOPED_TRACE(definitions[i]);
        const bool fine = i + 1 == definitions.size();
        EXPECT_EQ(planFor({definitions[i]}, rom, true).refusals.size(), fine ? 0u : 1u);
        EXPECT_THAT(planFor({definitions[i]}, rom, false).refusals, testing::IsEmpty());
    }

    // Refused, the run writes nothing at all.
    const std::string before = readFile(rom);
    RecordingReporter reporter;
    planFor({definitions[0] + "2=system/app/Fine.apk\n"}, rom, true);
    request.options.backup = true;
    const RunResult run = customize(request, paths, reporter);
    EXPECT_EQ(run.end, RunEnd::refused);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_THAT(reporter.messages[0].text,
                testing::HasSubstr("update-binary: the undo zip's installer"));
    EXPECT_TRUE(readFile(rom) == before);
    EXPECT_EQ(folderFiles(folder.path()).count("rom.zip_BU_0"), 0u);
    EXPECT_EQ(folderFiles(folder.path()).count("rom.zip_undo.zip"), 0u);
}

// Random small ROMs (folders, two entries of one name, case variants, non-ASCII names, META-INF),
// random definitions and selections, each run whole with the undo zip: the ROM afterwards is the
// ROM before less exactly the planned files, the undo zip is the template plus exactly those, and
// a plan with nothing to remove leaves the ROM byte for byte. SLIMKIT_PROPERTY_SEED picks another
// series; the seed is named on a mismatch.
TEST_F(RemovalRule, RandomRunsDoExactlyWhatTheirPlanSays) {
    const char* seedText = std::getenv("SLIMKIT_PROPERTY_SEED");
    const unsigned firstSeed = seedText ? static_cast<unsigned>(std::stoul(seedText)) : 1;
    const std::vector<std::string> parts{
        "system",   "app",      "A.apk",    "a.apk",
        "Café.apk", "CAFÉ.apk", "META-INF", "com",
        ".",        "..",       "",         "x*",
        "?",        "lib",      "日本.apk", "META-INF/com/google/android/update-binary"};
    int runsThatRemoved = 0;
    for (unsigned seed = firstSeed; seed < firstSeed + 24; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
        const auto name = [&](bool definition) {
            std::string made;
            for (std::size_t depth = 1 + pick(3); depth > 0; --depth) {
                made += parts[pick(parts.size())];
                if (depth > 1) made += definition && pick(4) == 0 ? "\\" : "/";
            }
            return made;
        };
        std::vector<ZipWriterEntry> entries;
        for (std::size_t n = 3 + pick(10); n > 0; --n) {
            std::string entryName = name(false);
            if (entryName.empty()) continue;
            entries.push_back({entryName, "content " + std::to_string(pick(3))});
        }
        if (!entries.empty() && pick(2))
            entries.push_back({entries[pick(entries.size())].name, "another"});
        entries.push_back({"system/", ""});
        const std::string rom = folder / ("rom " + std::to_string(seed) + ".zip");
        ASSERT_TRUE(writeZip(rom, entries));
        std::vector<std::string> definitions;
        for (std::size_t d = 1 + pick(3); d > 0; --d) {
            std::string lines;
            for (std::size_t p = 1 + pick(3); p > 0; --p)
                lines += std::to_string(p) + "=" + name(true) + (pick(5) ? "\n" : "/\n");
            definitions.push_back(lines);
        }
        const ArchiveListing before = listArchive(paths.archiverProgram, rom);
        ASSERT_TRUE(before.readable);
        const std::string bytes = readFile(rom);
        const RunPlan plan = planFor(definitions, rom, true);

        RecordingReporter reporter;
        const RunResult run = customize(request, paths, reporter);
        const ArchiveListing after = listArchive(paths.archiverProgram, rom);
        if (!plan.refusals.empty() || plan.removalNames.empty()) {
            EXPECT_EQ(run.end, plan.refusals.empty()
                                   ? (plan.leftOut().empty() ? RunEnd::complete : RunEnd::warned)
                                   : RunEnd::refused);
            EXPECT_TRUE(readFile(rom) == bytes) << "the ROM zip was rewritten";
            continue;
        }
        EXPECT_EQ(files(after.entries), without(files(before.entries), files(plan.removed)));
        const ArchiveListing undo = listArchive(paths.archiverProgram, run.undoZip);
        EXPECT_THAT(undoZipFaults(plan, templateListing.entries, undo.entries), testing::IsEmpty());
        EXPECT_EQ(run.end, plan.leftOut().empty() ? RunEnd::complete : RunEnd::warned)
            << testing::PrintToString(reporter.messages);
        fs::remove(run.undoZip);
        ++runsThatRemoved;
    }
    EXPECT_GE(runsThatRemoved, 3) << "the series must remove something to mean anything";
}

// Windows' old limit is 260 characters: the backup and the undo zip beside this ROM go past it.
TEST_F(RemovalRule, WholeRunOnARomInAFolderDeeperThanTheOldPathLimit) {
    std::string deep = folder.path();
    for (int level = 0; level < 6; ++level)
        deep += pathSeparator + std::string("a folder with a name long enough to go deep ") +
                std::to_string(level);
    ASSERT_GT(deep.size(), 300u);
    fs::create_directories(deep);
    const std::string deepRom = deep + pathSeparator + "rom.zip";
    ASSERT_TRUE(writeZip(deepRom, {{"system/app/Browser.apk", "browser"},
                                   {"system/app/Browser/lib.so", "lib"},
                                   {"system/app/Other.apk", "other"}}));
    const std::string original = readFile(deepRom);
    // A third name of the ROM file, to know the file again after the run.
    const std::string oldRom = deep + pathSeparator + "old rom";
    ASSERT_EQ(linkWithoutReplacing(deepRom, oldRom), Placed::done);

    CatalogueEntry browser;
    browser.name = "Browser";
    // As the definition files give them once loaded.
    browser.files = {normaliseDefinitionPath("system\\app\\Browser.apk"),
                     normaliseDefinitionPath("system/app/Browser/")};
    RecordingReporter reporter;
    customize(
        CustomizeRequest{
            deepRom, {.undoZip = true, .addApps = false}, {{&browser, RemovalMode::app}}},
        paths, reporter);

    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, "Customzation done ;)");
    EXPECT_TRUE(readFile(deepRom + "_BU_0") == original) << "the backup is no copy";
    // 7z replaced the ROM file: the backup is the old file, under a name of its own.
    EXPECT_TRUE(sameFile(deepRom + "_BU_0", oldRom)) << "the backup is not the old ROM file";
    EXPECT_FALSE(sameFile(deepRom + "_BU_0", deepRom));
    EXPECT_EQ(files(listArchive(paths.archiverProgram, deepRom).entries),
              Names{"system/app/Other.apk"});
    EXPECT_EQ(files(listArchive(paths.archiverProgram, deepRom + "_undo.zip").entries),
              (Names{"META-INF/com/google/android/update-binary",
                     "META-INF/com/google/android/updater-script", "system/app/Browser.apk",
                     "system/app/Browser/lib.so"}));
}

}  // namespace
