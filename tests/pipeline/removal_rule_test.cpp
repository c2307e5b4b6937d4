// The removal against the real archiver of each build: definition paths written with '\' or '/'
// delete the same entries on Linux and on Windows, and the undo zip's check predicts exactly the
// entries the archiver deletes; a whole run works on a ROM deeper than Windows' old path limit.
#include "pipeline/removal.h"

#include "catalogue/catalogue.h"
#include "pipeline/customize.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "shell/window_run.h"
#include "support/fake_gui.h"
#include "support/shown_archiver.h"
#include "support/temp_folder.h"
#include "tools/archive_listing.h"
#include "tools/archiver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

// Entry paths with '/' between folders, as the Linux build's 7z lists them.
std::set<std::string> files(const std::vector<ArchiveEntry>& entries) {
    std::set<std::string> names;
    for (const ArchiveEntry& entry : entries) {
        if (entry.isFolder) continue;
        std::string name = entry.path;
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
        paths = programPaths(findProgramFolder(nullptr) + ".." + pathSeparator);
        for (const char* name :
             {"system/app/Browser.apk", "system/app/Browser/lib.so", "system/app/BrowserExtra.apk",
              "system/app/Other.apk", "system/etc/hosts"})
            writeFile(folder / ("content/" + std::string(name)), name);
        rom = folder / "rom.zip";
        ASSERT_EQ(runArchiver(gui, paths.archiverProgram, "a -bd -y -r -- \"" + rom + "\" *",
                              folder / "content/", false),
                  ArchiverOutcome::succeeded);
        original = listArchive(paths.archiverProgram, rom);
        ASSERT_TRUE(original.readable);
        ASSERT_EQ(files(original.entries).size(), 5u);
    }

    // Loads a definition file listing `lines` under [files], ticks its row, and removes.
    // Returns the files the check predicted; the ROM's listing after the run is in `after`.
    std::set<std::string> removeListed(const std::string& lines) {
        const std::string definitions = folder / "remove/";
        std::filesystem::remove_all(definitions);
        writeFile(definitions + "app.ini", "[main]\nappname=App\n[files]\n" + lines);
        Catalogue catalogue;
        EXPECT_TRUE(loadDefinitions(catalogue, definitions));
        EXPECT_EQ(catalogue.entries.size(), 1u);
        if (catalogue.entries.size() != 1) return {};
        FakeGui window;
        window.insertRow(0, "App\nApp");
        window.setRowEntry(0, catalogue.entries[0].get());
        window.setRowState(0, RowState::ticked);

        const std::string copy = folder / "copy.zip";
        std::filesystem::remove(copy);
        std::filesystem::copy_file(rom, copy);
        const ArchiveListing before = listArchive(paths.archiverProgram, copy);
        const CustomizeRequest request = windowRequest(window, copy);
        const std::set<std::string> predicted =
            files(entriesRemoved(before.entries, tickedPaths(request.ticked).paths));
        EXPECT_EQ(runArchiver(window, paths.archiverProgram, removalCommand(request.ticked, copy),
                              "", false),
                  ArchiverOutcome::succeeded);
        EXPECT_THAT(window.messages, testing::IsEmpty());
        after = files(listArchive(paths.archiverProgram, copy).entries);
        return predicted;
    }

    std::set<std::string> without(std::set<std::string> names, const std::set<std::string>& gone) {
        for (const std::string& name : gone) names.erase(name);
        return names;
    }

    TempFolder folder;
    FakeGui gui;
    ProgramPaths paths;
    std::string rom;
    ArchiveListing original;
    std::set<std::string> after;
};

TEST_F(RemovalRule, BackslashAndSlashPathsRemoveTheSameEntries) {
    const struct {
        const char* lines;
        std::set<std::string> removed;
    } cases[] = {
        {"1=system\\app\\Browser.apk\n", {"system/app/Browser.apk"}},
        {"1=system/app/Browser.apk\n", {"system/app/Browser.apk"}},
        {"1=system\\app\\Browser\n", {"system/app/Browser/lib.so"}},
        {"1=system\\app\\Browser\\\n2=system/etc/hosts\n",
         {"system/app/Browser/lib.so", "system/etc/hosts"}},
        {"1=system/app/Browser/\n", {"system/app/Browser/lib.so"}},
        {"1=system\\app/Other.apk\n2=system\\etc\\\n",
         {"system/app/Other.apk", "system/etc/hosts"}},
    };
    for (const auto& test : cases) {
        const std::set<std::string> predicted = removeListed(test.lines);
        EXPECT_EQ(predicted, test.removed) << test.lines;
        EXPECT_EQ(after, without(files(original.entries), test.removed)) << test.lines;
    }
}

// Windows' old limit is 260 characters: the backup and the undo zip beside this ROM go past it.
TEST_F(RemovalRule, WholeRunOnARomInAFolderDeeperThanTheOldPathLimit) {
    std::string deep = folder.path();
    for (int level = 0; level < 6; ++level)
        deep += pathSeparator + std::string("a folder with a name long enough to go deep ") +
                std::to_string(level);
    ASSERT_GT(deep.size(), 300u);
    std::filesystem::create_directories(deep);
    const std::string deepRom = deep + pathSeparator + "rom.zip";
    std::filesystem::copy_file(rom, deepRom);

    const std::string programFolder = folder / "program" + pathSeparator;
    ProgramPaths program = programPaths(programFolder);
    program.archiverProgram = paths.archiverProgram;
    std::filesystem::create_directories(program.addFolder);
    std::filesystem::create_directories(program.extractionFolder);
    std::filesystem::copy_file(paths.undoTemplate, program.undoTemplate);

    CatalogueEntry browser;
    browser.name = "Browser";
    // As the definition files give them once loaded.
    browser.files = {normaliseDefinitionPath("system\\app\\Browser.apk"),
                     normaliseDefinitionPath("system/app/Browser/")};
    gui.insertRow(0, "Browser\nApp");
    gui.setRowEntry(0, &browser);
    gui.setRowState(0, RowState::ticked);
    gui.checks[ControlId::recoveryZipCheck] = true;
    gui.checks[ControlId::enableAddingCheck] = false;
    customizeFromWindow(gui, program, deepRom);

    ASSERT_EQ(gui.messages.size(), 1u);
    EXPECT_EQ(gui.messages[0].text, "Customzation done ;)");
    EXPECT_TRUE(readFile(deepRom + "_BU_0") == readFile(rom)) << "the backup is no copy";
    const std::set<std::string> removed{"system/app/Browser.apk", "system/app/Browser/lib.so"};
    EXPECT_EQ(files(listArchive(paths.archiverProgram, deepRom).entries),
              without(files(original.entries), removed));
    const std::set<std::string> saved =
        files(listArchive(paths.archiverProgram, deepRom + "_undo.zip").entries);
    for (const std::string& name : removed) EXPECT_EQ(saved.count(name), 1u) << name;
}

}  // namespace
