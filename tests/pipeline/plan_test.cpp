// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/plan.h"

#include "catalogue/catalogue.h"
#include "pipeline/add_apps.h"
#include "pipeline/customize.h"
#include "pipeline/reporter.h"
#include "pipeline/rom_catalogue.h"
#include "platform/paths.h"
#include "support/recording_reporter.h"
#include "support/temp_folder.h"
#include "support/zip_tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using Names = std::set<std::string>;

Names namesOf(const std::vector<ArchiveEntry>& entries) {
    Names names;
    for (const ArchiveEntry& entry : entries) names.insert(entry.path);
    return names;
}

Names namesOf(const std::vector<std::string>& files) { return Names(files.begin(), files.end()); }

class PlanTest : public testing::Test {
protected:
    TempFolder temp;
    const ProgramPaths paths = programPaths(temp / "program/");
    const std::string romPath = temp / "roms/my röm.zip";
    Catalogue catalogue;
    std::map<std::string, std::string> romFiles{
        {"META-INF/com/google/android/updater-script", "script"},
        {"build.prop", "ro.build=1"},
        {"system/app/My Notes.apk", "notes"},
        {"system/app/Grüße.apk", "grüße"},
        {"system/app/日本.apk", "nihon"},
        {"system/app/?????.apk", "five"},
        {"system/app/Browser.apk", "browser"},
        {"system/app/Kept.apk", "kept"},
        {"system/app/Clock.apk", "clock"},
        {"system/app/ClockWidget.apk", "clock widget"},
        {"system/media/audio/a.ogg", std::string(3000, 'a')},
        {"system/media/audio/alarms/b.ogg", std::string(5000, 'b')},
        {"system/media/audio.txt", "not in the folder"},
        {"system/etc/hosts", "127.0.0.1 localhost"},
    };

    void SetUp() override {
        const std::string templateSource = temp / "template";
        writeFile(templateSource + "/META-INF/com/google/android/update-binary", "#!/sbin/sh\n");
        fs::create_directories(paths.extractionFolder);
        ASSERT_TRUE(makeZip(templateSource, paths.undoTemplate));
        const std::string definitions = paths.definitionFolder;
        writeFile(definitions + "notes.ini",
                  "[main]\nappname = Notes\n[files]\n1 = system/app/My Notes.apk\n"
                  "2 = system/app/Missing One.apk\n");
        writeFile(
            definitions + "unicode.ini",
            "\xEF\xBB\xBF[main]\nappname = Unicode\n[files]\n"
            "1 = system\\app\\Grüße.apk\n2 = system/app/日本.apk\n3 = system/app/?????.apk\n");
        writeFile(definitions + "media.ini",
                  "[main]\nappname = Media\n[files]\n1 = system/media/audio\n");
        writeFile(definitions + "browser.ini",
                  "[main]\nappname = Browser\n[files]\n1 = system/app/Browser.apk\n"
                  "2 = system/app/Say \"hi\".apk\n");
        writeFile(definitions + "clock.ini",
                  "[main]\nappname = Clock\nwidget = 1\n[files]\n1 = system/app/Clock.apk\n"
                  "[widget_files]\n1 = system/app/ClockWidget.apk\n");
        // A second entry naming a file the first already takes: counted once.
        writeFile(definitions + "twice.ini",
                  "[main]\nappname = Twice\n[files]\n1 = system/app/My Notes.apk\n");
        ASSERT_TRUE(loadDefinitions(catalogue, definitions));
        sortCatalogue(catalogue);
    }

    void makeRom() {
        const std::string source = temp / "rom source";
        fs::remove_all(source);
        for (const auto& [name, content] : romFiles) writeFile(source + "/" + name, content);
        fs::remove(romPath);
        fs::create_directories(fs::path(romPath).parent_path());
        ASSERT_TRUE(makeZip(source, romPath));
    }

    CustomizeRequest request(const std::map<std::string, RemovalMode>& ticked, bool addApps) {
        CustomizeRequest made;
        made.romPath = romPath;
        made.options = {false, true, addApps};
        for (const auto& entry : catalogue.entries)
            if (const auto found = ticked.find(entry->name); found != ticked.end())
                made.ticked.push_back({entry.get(), found->second});
        return made;
    }
};

TEST_F(PlanTest, PredictsWhatTheRunRemovesAndAdds) {
    writeFile(paths.addFolder + "system/app/Browser.apk", "new browser");
    writeFile(paths.addFolder + "system/app/Kept.apk", "replaced kept");
    writeFile(paths.addFolder + "system/app/New Ä.apk", "new");
    writeFile(paths.addFolder + "system/xbin/tool", "tool");
    const struct {
        const char* name;
        std::map<std::string, RemovalMode> ticked;
        bool addApps;
    } cases[] = {
        {"every kind of path, and the add folder",
         {{"Notes", RemovalMode::app},
          {"Unicode", RemovalMode::app},
          {"Media", RemovalMode::app},
          {"Browser", RemovalMode::app},
          {"Clock", RemovalMode::widget},
          {"Twice", RemovalMode::app}},
         true},
        {"app and widget, nothing added", {{"Clock", RemovalMode::appWidget}}, false},
        {"only the add folder", {}, true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        makeRom();
        const CustomizeRequest asked = request(test.ticked, test.addApps);
        const ArchiveListing before = listArchive(paths.archiverProgram, romPath);
        ASSERT_TRUE(before.readable);
        const std::vector<std::string> addFiles =
            test.addApps ? addFolderContent(paths.addFolder, romPath).files
                         : std::vector<std::string>{};
        const RunPlan plan = planRun(asked, before.entries, addFiles);

        RecordingReporter reporter;
        const RunResult run = customize(asked, paths, reporter);
        // Only the path with a double quote, which is never handed to 7z, makes a warning.
        const bool skips = test.ticked.count("Browser") != 0;
        ASSERT_EQ(run.end, skips ? RunEnd::warned : RunEnd::complete) << reporter.messages.back();
        ASSERT_EQ(reporter.messages.size(), 1u);

        const ArchiveListing after = listArchive(paths.archiverProgram, romPath);
        Names expected;
        for (const auto& [name, content] : romFiles) expected.insert(name);
        for (const ArchiveEntry& entry : plan.removed) expected.erase(entry.path);
        const Names added = namesOf(plan.adds), replaced = namesOf(plan.replaces);
        for (const std::string& name : replaced)
            EXPECT_TRUE(expected.count(name)) << name << " is no file the ROM keeps";
        for (const std::string& name : added)
            EXPECT_FALSE(expected.count(name)) << name << " is a file the ROM keeps";
        expected.insert(added.begin(), added.end());
        EXPECT_EQ(zipEntries(romPath), expected);
        EXPECT_TRUE(checkRun(plan, before.entries, after.entries, true).matches());
        // What the undo zip saved is what the plan removes.
        Names saved = zipEntries(run.undoZip);
        saved.erase("META-INF/com/google/android/update-binary");
        EXPECT_EQ(saved, namesOf(plan.removed));
        fs::remove(run.undoZip);
    }
}

// 7z lists the ROM once for the plan and once after each step that rewrote it; the console's
// check after 7z's test compares the last of those listings instead of listing again.
// One listing before the run serves the plan, the undo zip's check and the refusals; one after
// the run checks all it changed.
TEST_F(PlanTest, TheRomIsListedOnceForThePlanAndOnceAfterTheRun) {
    // 7z as it is, writing down each command it runs on the ROM zip.
    const std::string log = temp / "commands";
    ProgramPaths logged = paths;
    logged.archiverProgram = temp / "bin/7z";
    writeFile(logged.archiverProgram,
              "#!/bin/sh\nfor last; do :; done\ncase \"$last\" in *'my röm.zip') echo \"$1\" >> '" +
                  log + "';; esac\nexec 7z \"$@\"\n");
    fs::permissions(logged.archiverProgram, fs::perms::owner_all);
    writeFile(paths.addFolder + "system/app/New.apk", "new");

    const struct {
        const char* name;
        std::map<std::string, RemovalMode> ticked;
        bool addApps;
        std::vector<std::string> commands;
    } cases[] = {
        {"removal and adding", {{"Notes", RemovalMode::app}}, true, {"l", "x", "d", "a", "l", "t"}},
        {"removal", {{"Notes", RemovalMode::app}}, false, {"l", "x", "d", "l", "t"}},
        {"adding", {}, true, {"l", "a", "l", "t"}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        makeRom();
        fs::remove(log);
        CustomizeRequest asked = request(test.ticked, test.addApps);
        asked.options.testZip = true;

        RecordingReporter reporter;
        const RunResult run = customize(asked, logged, reporter);

        EXPECT_EQ(run.end, RunEnd::complete) << reporter.messages.back();
        EXPECT_TRUE(run.checked && run.check.tested && run.check.matches());
        std::vector<std::string> commands;
        std::istringstream lines(readFile(log));
        for (std::string line; std::getline(lines, line);) commands.push_back(line);
        EXPECT_EQ(commands, test.commands);
        if (!run.undoZip.empty()) fs::remove(run.undoZip);
    }
}

TEST_F(PlanTest, NamesEachAppsFilesAbsentPathsAndRoomFreed) {
    makeRom();
    writeFile(paths.addFolder + "system/app/Kept.apk", "replaced kept");
    writeFile(paths.addFolder + "system/app/Browser.apk", "new browser");
    const ArchiveListing rom = listArchive(paths.archiverProgram, romPath);
    const RunPlan plan = planRun(request({{"Notes", RemovalMode::app},
                                          {"Media", RemovalMode::app},
                                          {"Browser", RemovalMode::app},
                                          {"Twice", RemovalMode::app}},
                                         true),
                                 rom.entries, addFolderContent(paths.addFolder, romPath).files);

    ASSERT_EQ(plan.apps.size(), 4u);  // in the check list's order
    const auto removes = [&](std::size_t app) { return namesOf(plan.apps[app].removes); };
    EXPECT_EQ(plan.apps[0].ticked.entry->name, "Browser");
    EXPECT_EQ(removes(0), Names{"system/app/Browser.apk"});
    EXPECT_EQ(plan.apps[0].skipped, std::vector<std::string>{"system/app/Say \"hi\".apk"});
    EXPECT_EQ(removes(1), (Names{"system/media/audio/a.ogg", "system/media/audio/alarms/b.ogg"}));
    EXPECT_EQ(removes(2), Names{"system/app/My Notes.apk"});
    EXPECT_EQ(plan.apps[2].absent, std::vector<std::string>{"system/app/Missing One.apk"});
    EXPECT_EQ(removes(3), Names{}) << "a file is counted for the first app that takes it";
    EXPECT_TRUE(plan.apps[3].absent.empty());
    EXPECT_EQ(plan.bytesFreed, 7u + 3000u + 5000u + 5u);
    EXPECT_EQ(plan.adds, std::vector<std::string>{"system/app/Browser.apk"});
    EXPECT_EQ(plan.replaces, std::vector<std::string>{"system/app/Kept.apk"});
}

TEST_F(PlanTest, AppsFoundInTheRomAreRemovedWithTheirGroupAndSavedInTheUndoZip) {
    romFiles["system/priv-app/Phone/Phone.apk"] = "phone";
    romFiles["system/priv-app/Phone/lib/arm/libphone.so"] = "lib";
    romFiles["system/priv-app/Phone/oat/arm/Phone.odex"] = "odex";
    romFiles["system/app/Flat.apk"] = "flat";
    romFiles["system/app/Flat.odex"] = "flat odex";
    romFiles["data/app/com.x-1/base.apk"] = "x";
    makeRom();
    // Its own paths guess wrong; its package finds the app where this ROM keeps it.
    writeFile(paths.definitionFolder + "phone.ini",
              "[main]\nappname = Phone\npackage = com.android.phone\n[files]\n"
              "1 = system/app/Phone.apk\n");
    writeFile(paths.definitionFolder + "gone.ini",
              "[main]\nappname = Gone\n[files]\n1 = system/app/Gone.apk\n");
    catalogue = {};
    ASSERT_TRUE(loadDefinitions(catalogue, paths.definitionFolder));
    sortCatalogue(catalogue);

    const ArchiveListing listing = listArchive(paths.archiverProgram, romPath);
    ASSERT_TRUE(listing.readable);
    const auto appsOf = [](const std::vector<ArchiveEntry>& rom) {
        const std::map<std::string, ApkIdentity> identities{
            {"system/priv-app/Phone/Phone.apk", {"com.android.phone", "9", "", "Phone"}},
            {"system/app/Flat.apk", {"com.flat", "3", "2.0", "Fläche"}},
            {"system/app/Browser.apk", {"com.android.browser", "", "", "Browser"}},
            {"data/app/com.x-1/base.apk", {"com.x", "7", "", "X\r\nApp"}}};
        std::vector<RomApp> apps;
        for (FoundApp& found : findApps(listedEntries(rom))) {
            const auto known = identities.find(found.apkPath);
            apps.push_back({std::move(found), {}});
            if (known != identities.end())
                apps.back().reading.identity = known->second;
            else
                apps.back().reading.problem = "not an APK";
        }
        return apps;
    };
    fitCatalogueToRom(catalogue, listing.entries, appsOf(listing.entries));

    std::map<std::string, const CatalogueEntry*> found;
    for (const auto& entry : catalogue.entries)
        if (entry->found) found[entry->name] = entry.get();
    // Browser, Clock's widget, the Unicode and Notes files are named by definitions.
    ASSERT_EQ(found.size(), 3u);
    ASSERT_TRUE(found.count("Fläche") && found.count("Kept") && found.count("X  App"));
    EXPECT_EQ(found["Fläche"]->description, "com.flat \xC2\xB7 2.0 \xC2\xB7 13 bytes");
    EXPECT_EQ(found["X  App"]->description, "com.x \xC2\xB7 7 \xC2\xB7 1 byte");
    EXPECT_EQ(found["Kept"]->description,
              "no package \xC2\xB7 no version \xC2\xB7 4 bytes (not an APK)");
    EXPECT_EQ(found["Kept"]->enabled, 0);
    EXPECT_EQ(entryOfPackage(catalogue, "COM.FLAT"), found["Fläche"]);
    EXPECT_EQ(catalogue.entryByName.count("fläche"), 0u) << "lists name found apps by package";

    const CatalogueEntry* phone = catalogue.entryByName.at("phone");
    EXPECT_EQ(entryOfPackage(catalogue, "com.android.phone"), phone);
    EXPECT_TRUE(phone->inRom);
    EXPECT_EQ(
        namesOf(phone->files),
        (Names{"system/app/Phone.apk", "system/priv-app/Phone", "system/priv-app/Phone/Phone.apk",
               "system/priv-app/Phone/lib", "system/priv-app/Phone/lib/arm",
               "system/priv-app/Phone/lib/arm/libphone.so", "system/priv-app/Phone/oat",
               "system/priv-app/Phone/oat/arm", "system/priv-app/Phone/oat/arm/Phone.odex"}));
    EXPECT_FALSE(catalogue.entryByName.at("gone")->inRom);
    EXPECT_TRUE(catalogue.entryByName.at("clock")->inRom);

    const CustomizeRequest asked = request(
        {{"Phone", RemovalMode::app}, {"Fläche", RemovalMode::app}, {"X  App", RemovalMode::app}},
        false);
    ASSERT_EQ(asked.ticked.size(), 3u);
    const RunPlan plan = planRun(asked, listing.entries, {});
    EXPECT_EQ(namesOf(plan.removed),
              (Names{"system/priv-app/Phone/Phone.apk", "system/priv-app/Phone/lib/arm/libphone.so",
                     "system/priv-app/Phone/oat/arm/Phone.odex", "system/app/Flat.apk",
                     "system/app/Flat.odex", "data/app/com.x-1/base.apk"}));
    RecordingReporter reporter;
    const RunResult run = customize(asked, paths, reporter);
    ASSERT_EQ(run.end, RunEnd::complete) << reporter.messages.back();
    Names expected;
    for (const auto& [name, content] : romFiles) expected.insert(name);
    for (const ArchiveEntry& entry : plan.removed) expected.erase(entry.path);
    EXPECT_EQ(zipEntries(romPath), expected);
    Names saved = zipEntries(run.undoZip);
    saved.erase("META-INF/com/google/android/update-binary");
    EXPECT_EQ(saved, namesOf(plan.removed));

    // Another ROM: the rows follow it, and the definition has its own paths back.
    const ArchiveListing after = listArchive(paths.archiverProgram, romPath);
    fitCatalogueToRom(catalogue, after.entries, appsOf(after.entries));
    std::size_t foundRows = 0;
    for (const auto& entry : catalogue.entries) foundRows += entry->found;
    EXPECT_EQ(foundRows, 1u) << "only Kept is left";
    EXPECT_FALSE(phone->inRom);
    EXPECT_EQ(phone->files, std::vector<std::string>{"system/app/Phone.apk"});
}

TEST(RunCheck, FindsEveryDifferenceFromThePlan) {
    const std::vector<ArchiveEntry> before{{"keep", 4, 4, "AAAA0001", false},
                                           {"twin", 1, 1, "AAAA0002", false},
                                           {"twin", 2, 2, "AAAA0003", false},
                                           {"gone", 5, 5, "AAAA0004", false},
                                           {"kept folder/", 0, 0, "", true}};
    RunPlan plan;
    plan.removed = {before[3]};
    plan.adds = {"new"};
    const std::vector<ArchiveEntry> good{
        before[0], before[2], before[1], {"new", 3, 3, "AAAA0005", false}};
    EXPECT_TRUE(checkRun(plan, before, good, true).matches());
    EXPECT_FALSE(checkRun(plan, before, good, false).matches()) << "7z's test failed";

    // One file altered, one of the twins gone, the planned removal left, the addition missing
    // and a stray file.
    const std::vector<ArchiveEntry> altered{{"keep", 4, 4, "BBBB0001", false},
                                            before[1],
                                            before[3],
                                            {"stray", 1, 1, "AAAA0006", false}};
    const RunCheck check = checkRun(plan, before, altered, true);
    EXPECT_EQ(check.notRemoved, std::vector<std::string>{"gone"});
    EXPECT_EQ(check.notAdded, std::vector<std::string>{"new"});
    EXPECT_EQ(namesOf(check.changed), (Names{"keep", "twin", "stray"}));
}

}  // namespace
