// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/customize.h"

#include "catalogue/catalogue.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "support/archiver_wrapper.h"
#include "support/faults.h"
#include "support/recording_reporter.h"
#include "support/search_path.h"
#include "support/temp_folder.h"
#include "support/zip_tools.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

namespace fs = std::filesystem;

namespace {

using Message = RecordingReporter::Message;
using Messages = std::vector<Message>;
using Texts = std::vector<std::string>;
using Names = std::set<std::string>;

const RecordingReporter::Message finished{"Finish", "Customzation done ;)"};
const std::string stepFailed =
    "Customization finished, but a step failed. Please check the ROM zip before flashing it.";
const Texts fullRun{"Creating Backup ...", "Generation recovery CWM zip ...", "Removing files ...",
                    "Adding files ...", "Ready"};

std::string pseudoRandom(std::size_t length, unsigned seed) {
    std::string bytes(length, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

Names folderContent(const std::string& folder) {
    Names names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

Names without(Names names, const Names& removed) {
    for (const std::string& name : removed) names.erase(name);
    return names;
}

Names joined(Names names, const Names& added) {
    names.insert(added.begin(), added.end());
    return names;
}

// A FAT file system, which has no hard links, mounted through FUSE at `folder` while it lives;
// `missing` says why it could not be made here (no mkfs.vfat or fusefat, no /dev/fuse).
class FatFolder {
public:
    FatFolder(const std::string& image, const std::string& folder) : folder_(folder) {
        fs::create_directories(folder);
        const std::string make = "truncate -s 64M '" + image + "' && mkfs.vfat '" + image +
                                 "' >/dev/null 2>&1 && fusefat -o rw+ '" + image + "' '" + folder +
                                 "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) {
            missing = "no FAT file system can be mounted here (mkfs.vfat, fusefat)";
            return;
        }
        mounted_ = true;
        writeFile(folder + "/a", "a");
        if (link((folder + "/a").c_str(), (folder + "/b").c_str()) == 0)
            missing = "the FAT file system takes hard links";
        fs::remove(folder + "/a");
        fs::remove(folder + "/b");
    }
    ~FatFolder() {
        if (mounted_ && std::system(("fusermount -u '" + folder_ + "'").c_str()) != 0)
            ADD_FAILURE() << "the FAT file system stays mounted at " << folder_;
    }
    FatFolder(const FatFolder&) = delete;
    FatFolder& operator=(const FatFolder&) = delete;

    std::string missing;

private:
    std::string folder_;
    bool mounted_ = false;
};

class CustomizeTest : public testing::Test {
protected:
    TempFolder temp;
    const ProgramPaths paths = programPaths(temp / "program folder/");
    const std::string romFolder = temp / "Röms and more";
    const std::string romPath = romFolder + "/my röm.zip";
    const std::string undoZip = romPath + "_undo.zip";
    RecordingReporter front;
    RunOptions options;  // as the window's check boxes start
    std::vector<TickedEntry> ticked;
    std::vector<RunEnd> ends;  // how each run ended, in order
    std::vector<std::unique_ptr<CatalogueEntry>> entries;
    Catalogue catalogue;
    std::string originalRom;
    Names romNames;
    Names templateNames{"META-INF/com/google/android/update-binary",
                        "META-INF/com/google/android/updater-script"};

    void SetUp() override {
        fs::create_directories(paths.addFolder);
        fs::create_directories(paths.extractionFolder);
        const std::string templateSource = temp / "template source";
        for (const std::string& name : templateNames)
            writeFile(templateSource + "/" + name, "#!/sbin/sh\n");
        ASSERT_TRUE(makeZip(templateSource, paths.undoTemplate));

        const std::string romSource = temp / "rom source";
        const Names files{"META-INF/com/google/android/updater-script",
                          "build.prop",
                          "system/app/Browser.apk",
                          "system/app/Clock.apk",
                          "system/app/ClockWidget.apk",
                          "system/app/Music.apk",
                          "system/app/MusicWidget.apk",
                          "system/app/My Notes.apk",
                          "system/app/Grüße.apk",
                          "system/app/日本.apk",
                          "system/app/ab.apk",
                          "system/app/?????.apk",
                          "*",
                          "system/bin/tool",
                          "system/etc/hosts",
                          "data/app/Game.apk"};
        unsigned seed = 1;
        for (const std::string& name : files)
            writeFile(romSource + "/" + name, pseudoRandom(20000, seed++));
        // Two that deflate well, as an app with uncompressed parts and a text file do.
        for (const std::string name : {"system/app/Browser.apk", "system/etc/hosts"})
            writeFile(romSource + "/" + name, std::string(20000, 'x') + name);
        fs::create_directories(romFolder);
        ASSERT_TRUE(makeZip(romSource, romPath));
        originalRom = readFile(romPath);
        romNames = zipEntries(romPath);
        ASSERT_EQ(romNames, files);
    }

    // Asks for the removal of an entry of these files.
    void tick(RemovalMode mode, std::vector<std::string> files,
              std::vector<std::string> widgetFiles = {}) {
        auto entry = std::make_unique<CatalogueEntry>();
        entry->name = "entry " + std::to_string(entries.size());
        entry->isWidget = widgetFiles.empty() ? 0 : 1;
        entry->files = std::move(files);
        entry->widgetFiles = std::move(widgetFiles);
        ticked.push_back({entry.get(), mode});
        entries.push_back(std::move(entry));
    }

    // A run of the pipeline as a front-end asks for it, with `front` as its reporter.
    RunResult runOn(const std::string& rom, const ProgramPaths& with) {
        const RunResult result = customize(CustomizeRequest{rom, options, ticked}, with, front);
        ends.push_back(result.end);
        return result;
    }
    RunResult runOn(const std::string& rom) { return runOn(rom, paths); }

    // Ticks every entry of the definition files, written into a definition folder of their own.
    void tickDefinitions(const std::map<std::string, std::string>& files) {
        const std::string folder = temp / "definitions/";
        for (const auto& [name, text] : files) writeFile(folder + name, text);
        ASSERT_TRUE(loadDefinitions(catalogue, folder));
        for (const auto& entry : catalogue.entries)
            ticked.push_back({entry.get(), RemovalMode::app});
    }

    // Turns the first byte of an entry's stored data over, so that 7z can't extract it.
    void breakEntry(const std::string& entry) {
        std::string bytes = readFile(romPath);
        const auto name = bytes.find(entry);
        ASSERT_NE(name, std::string::npos);
        const auto header = name - 30;
        ASSERT_EQ(bytes.compare(header, 4, "PK\3\4"), 0);
        const auto extra = static_cast<unsigned char>(bytes[header + 28]) |
                           static_cast<unsigned char>(bytes[header + 29]) << 8;
        bytes[name + entry.size() + extra] ^= 0x55;
        writeFile(romPath, bytes);
        originalRom = bytes;
    }

    void tickEveryStep() { options = {.backup = true, .undoZip = true, .addApps = true}; }
};

TEST_F(CustomizeTest, WholeRunBacksUpSavesRemovesAndAdds) {
    tickEveryStep();
    tick(RemovalMode::app, {"system/app/Browser.apk", "system/app/My Notes.apk"});
    tick(RemovalMode::appWidget, {"system/app/Clock.apk"}, {"system/app/ClockWidget.apk"});
    tick(RemovalMode::widget, {"system/app/Music.apk"}, {"system/app/MusicWidget.apk"});
    tick(RemovalMode::app, {"system/bin/tool", "system/etc/hosts", "system/app/Grüße.apk"});
    writeFile(paths.addFolder + "system/app/New App.apk", "new app");
    writeFile(paths.addFolder + "system/xbin/newtool", "new tool");
    writeFile(paths.addFolder + "data/app/Spiel Ä.apk", "spiel");
    writeFile(paths.addFolder + "system/app/Browser.apk", "replacement browser");

    runOn(romPath);

    EXPECT_EQ(front.statusTexts, fullRun);
    EXPECT_EQ(front.messages, Messages{finished});
    EXPECT_EQ(readFile(romPath + "_BU_0"), originalRom);

    const Names removed{"system/app/Browser.apk",     "system/app/My Notes.apk",
                        "system/app/Clock.apk",       "system/app/ClockWidget.apk",
                        "system/app/MusicWidget.apk", "system/bin/tool",
                        "system/etc/hosts",           "system/app/Grüße.apk"};
    const Names added{"system/app/New App.apk", "system/xbin/newtool", "data/app/Spiel Ä.apk",
                      "system/app/Browser.apk"};
    EXPECT_EQ(zipEntries(romPath), joined(without(romNames, removed), added));
    EXPECT_EQ(zipEntryContent(romPath, "system/app/Browser.apk"), "replacement browser");
    EXPECT_EQ(zipEntryContent(romPath, "system/xbin/newtool"), "new tool");

    EXPECT_EQ(zipEntries(undoZip), joined(templateNames, removed));
    EXPECT_EQ(zipEntryContent(undoZip, "system/bin/tool"),
              readFile(temp / "rom source/system/bin/tool"));
    EXPECT_EQ(zipEntryContent(undoZip, "system/app/Grüße.apk"),
              readFile(temp / "rom source/system/app/Grüße.apk"));
    // Deflating an app again costs most of the undo zip's time: it goes in stored.
    EXPECT_EQ(zipEntryMethod(undoZip, "system/app/Browser.apk"), "Store");
    EXPECT_EQ(zipEntryMethod(undoZip, "system/etc/hosts"), "Deflate");

    EXPECT_EQ(fileSize(paths.extractionFolder), fileSizeOfFolder);
    EXPECT_EQ(folderContent(paths.extractionFolder), Names{});
    EXPECT_EQ(folderContent(romFolder),
              (Names{"my röm.zip", "my röm.zip_BU_0", "my röm.zip_undo.zip"}));
}

// A 7z that reports success for a removal it didn't do: the run names what stayed instead of
// ending with "Finish", checked after the removal or, when files are added, after the adding. A
// path the ROM never held is no fault.
TEST_F(CustomizeTest, FilesTheRemovalLeftInTheRomEndTheRunWithAWarning) {
    const ArchiverWrapper lazy(temp / "lazy bin",
                               "[ \"$1\" = d ] && { echo 'Everything is Ok'; exit 0; }");
    ProgramPaths lazyPaths = paths;
    lazyPaths.archiverProgram = lazy.program();
    writeFile(paths.addFolder + "system/xbin/newtool", "new tool");
    for (const bool adding : {false, true}) {
        SCOPED_TRACE(adding ? "with files to add" : "without adding");
        writeFile(romPath, originalRom);
        front.messages.clear();
        ticked.clear();
        tick(RemovalMode::app, {"system/app/Music.apk", "system/app/Gone.apk", "system/etc"});
        options.addApps = adding;
        runOn(romPath, lazyPaths);
        ASSERT_EQ(front.messages.size(), 2u);
        EXPECT_EQ(front.messages[0].title, "Warning");
        EXPECT_EQ(front.messages[0].text,
                  std::string("The ROM zip differs from what the run was to do ") +
                      (adding ? "after the adding:" : "after the removal:") +
                      "\rstill there: system/app/Music.apk\rstill there: system/etc/hosts");
        EXPECT_EQ(front.messages[1].title, "Warning");
        EXPECT_EQ(front.messages[1].text.rfind(stepFailed, 0), 0u) << front.messages[1].text;
    }
}

TEST_F(CustomizeTest, NothingToDoLeavesTheRomUntouched) {
    tickEveryStep();
    // As shipped: the add folder holds empty folders only.
    fs::create_directories(paths.addFolder + "system/app");
    fs::create_directories(paths.addFolder + "data/app");

    runOn(romPath);

    EXPECT_EQ(front.statusTexts, fullRun);
    EXPECT_EQ(front.messages, Messages{finished});
    EXPECT_EQ(readFile(romPath), originalRom);
    EXPECT_EQ(zipEntries(undoZip), templateNames);
}

TEST_F(CustomizeTest, OnlyTheRemovalRunsWithEveryBoxUnticked) {
    options.backup = false;
    options.undoZip = false;
    options.addApps = false;
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    writeFile(paths.addFolder + "system/app/New.apk", "not wanted");

    runOn(romPath);

    EXPECT_EQ(front.statusTexts, (Texts{"Removing files ...", "Ready"}));
    EXPECT_EQ(front.messages, Messages{finished});
    EXPECT_EQ(zipEntries(romPath), without(romNames, {"system/app/Browser.apk"}));
    EXPECT_EQ(folderContent(romFolder), Names{"my röm.zip"});
}

TEST_F(CustomizeTest, RefusesWhatItCantHandleBeforeWritingAnything) {
    tickEveryStep();
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    writeFile(paths.addFolder + "system/app/New.apk", "new");
    const std::string textRom = romFolder + "/notes.zip";
    const std::string cutRom = romFolder + "/cut.zip";
    const std::string emptyRom = romFolder + "/empty.zip";
    writeFile(textRom, "These are notes, not a zip.\n");
    writeFile(cutRom, originalRom.substr(0, originalRom.size() / 2));
    writeFile(emptyRom, "");
    const Names romFolderBefore = folderContent(romFolder);

    runOn("");
    runOn(romFolder);
    runOn(romFolder + "/missing.zip");
    for (const std::string& rom : {textRom, cutRom, emptyRom}) runOn(rom);
    // A ROM zip among the program's working files, also through a link.
    const std::string inExtraction = paths.extractionFolder + "run-1/rom.zip";
    const std::string inDefinitions = paths.definitionFolder + "rom.zip";
    writeFile(inExtraction, originalRom);
    writeFile(inDefinitions, originalRom);
    fs::create_directories(temp / "links");
    fs::create_symlink(paths.undoTemplate, temp / "links/template.zip");
    runOn(inExtraction);
    runOn(inDefinitions);
    runOn(temp / "links/template.zip");
    const std::string fifo = paths.addFolder + "system/app/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    runOn(romPath);
    fs::remove(fifo);
    const Messages refusals = front.messages;
    front.messages.clear();
    // Names in the add folder that 7z would drop, split or take for another.
    fs::create_directories(paths.addFolder + "lnk");
    writeFile(paths.addFolder + "lnk/private.txt", "not for the ROM");
    const std::string blanks =
        "7z can't be handed a name that begins or ends with a blank or a tab";
    const std::string lineBreak = "7z can't be handed a name with a line break in it";
    const struct {
        std::string name, reason;
    } names[] = {
        {"system/app/Ends in a blank.apk ", blanks},
        {"system/app/Ends in a tab.apk\t", blanks},
        {" system/begins with a blank.apk", blanks},
        {"system/app/x\nlnk", lineBreak},
        {"system/app/carriage\rreturn.apk", lineBreak},
        {"system/app/Latin-1 \xE9.apk", "7z can't be handed a name that isn't UTF-8 text"}};
    Messages addRefusals;
    for (const auto& odd : names) {
        writeFile(paths.addFolder + odd.name, "odd");
        runOn(romPath);
        fs::remove(paths.addFolder + odd.name);
        addRefusals.push_back(
            {"Error", "Can't add " + paths.addFolder + odd.name + ": " + odd.reason});
    }

    EXPECT_EQ(refusals,
              (Messages{{"Error", "Please select Rom"},
                        {"Error", "Can't access " + romFolder},
                        {"Error", "Can't access " + romFolder + "/missing.zip"},
                        {"Error", "Can't read " + textRom + " as a zip archive"},
                        {"Error", "Can't read " + cutRom + " as a zip archive"},
                        {"Error", "Can't read " + emptyRom + " as a zip archive"},
                        {"Error", "Can't work on " + inExtraction +
                                      ", which lies among the program's working files (" +
                                      paths.extractionFolder + "). Move it elsewhere first."},
                        {"Error", "Can't work on " + inDefinitions +
                                      ", which lies among the program's working files (" +
                                      paths.definitionFolder + "). Move it elsewhere first."},
                        {"Error", "Can't work on " + paths.undoTemplate +
                                      ", which lies among the program's working files (" +
                                      paths.undoTemplate + "). Move it elsewhere first."},
                        {"Error", "Can't add " + fifo}}));
    EXPECT_EQ(front.messages, addRefusals);
    // Refused before its first step, a run shows no status.
    EXPECT_EQ(ends, std::vector<RunEnd>(refusals.size() + addRefusals.size(), RunEnd::refused));
    EXPECT_EQ(front.statusTexts, Texts{});
    EXPECT_EQ(readFile(inExtraction), originalRom);
    EXPECT_EQ(readFile(inDefinitions), originalRom);
    EXPECT_EQ(folderContent(romFolder), romFolderBefore);
    EXPECT_EQ(readFile(romPath), originalRom);
    EXPECT_EQ(readFile(cutRom), originalRom.substr(0, originalRom.size() / 2));
}

// A double quote in the ROM's path or the program folder's is a character like any other: 7z gets
// its arguments as they stand.
TEST_F(CustomizeTest, PathsHoldingDoubleQuotesAreCustomized) {
    tickEveryStep();
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    const std::string quotedRom = romFolder + "/my \"röm\".zip";
    fs::rename(romPath, quotedRom);
    const ProgramPaths quoted = programPaths(temp / "program \"folder\"/");
    fs::create_directories(quoted.extractionFolder);
    fs::copy_file(paths.undoTemplate, quoted.undoTemplate);
    writeFile(quoted.addFolder + "system/app/New.apk", "new");

    runOn(quotedRom, quoted);

    EXPECT_EQ(front.messages, Messages{finished});
    EXPECT_EQ(zipEntries(quotedRom),
              joined(without(romNames, {"system/app/Browser.apk"}), {"system/app/New.apk"}));
    EXPECT_EQ(zipEntries(quotedRom + "_undo.zip"),
              joined(templateNames, {"system/app/Browser.apk"}));
    EXPECT_EQ(readFile(quotedRom + "_BU_0"), originalRom);
}

TEST_F(CustomizeTest, BackupTakesTheFirstNameNothingStandsOn) {
    options.addApps = false;
    writeFile(romPath + "_BU_1", "second backup");

    runOn(romPath);
    EXPECT_EQ(readFile(romPath + "_BU_0"), originalRom);
    EXPECT_EQ(readFile(romPath + "_BU_1"), "second backup");

    fs::create_directory(romPath + "_BU_2");
    fs::create_symlink(romFolder + "/nowhere", romPath + "_BU_3");
    runOn(romPath);
    EXPECT_EQ(readFile(romPath + "_BU_4"), originalRom);
    EXPECT_TRUE(fs::is_empty(romPath + "_BU_2"));
    EXPECT_TRUE(fs::is_symlink(romPath + "_BU_3"));
    EXPECT_EQ(front.messages, (Messages{finished, finished}));
}

// Where 7z is to replace the ROM file, the backup is the old file under a second name, which 7z
// leaves as it is; a run that is to rewrite nothing copies it. Either way the backup is a file
// of its own after the run, holding the old ROM.
TEST_F(CustomizeTest, TheBackupIsTheOldRomFileWhen7zReplacesItAndACopyOtherwise) {
    const struct {
        const char* run;
        std::vector<std::string> ticked;
        bool adding;
        bool oldFile;
        Names entries;
    } cases[] = {
        {"removal",
         {"system/app/Browser.apk"},
         false,
         true,
         without(romNames, {"system/app/Browser.apk"})},
        {"adding", {}, true, true, joined(romNames, {"system/app/New.apk"})},
        {"nothing to do", {"system/app/Missing.apk"}, false, false, romNames},
    };
    writeFile(paths.addFolder + "system/app/New.apk", "new");
    for (const auto& test : cases) {
        SCOPED_TRACE(test.run);
        writeFile(romPath, originalRom);
        ticked.clear();
        front.messages.clear();
        if (!test.ticked.empty()) tick(RemovalMode::app, test.ticked);
        options.addApps = test.adding;
        struct stat before {};
        ASSERT_EQ(stat(romPath.c_str(), &before), 0);

        runOn(romPath);

        const std::string backup = romPath + "_BU_0";
        struct stat after {};
        ASSERT_EQ(stat(backup.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, test.oldFile);
        EXPECT_EQ(after.st_nlink, 1u);
        EXPECT_FALSE(sameFile(backup, romPath));
        EXPECT_TRUE(readFile(backup) == originalRom) << "the backup is not the old ROM";
        EXPECT_EQ(zipEntries(romPath), test.entries);
        EXPECT_EQ(front.messages, Messages{finished});
        fs::remove(backup);
    }
}

// Where the file system has no second names for a file, the backup is a copy.
TEST_F(CustomizeTest, OnAFileSystemWithoutHardLinksTheBackupIsACopy) {
    const FatFolder fat(temp / "fat.img", temp / "fat");
    if (!fat.missing.empty()) GTEST_SKIP() << fat.missing;
    const std::string rom = temp / "fat/rom.zip";
    writeFile(rom, originalRom);
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    options.addApps = false;
    options.undoZip = true;

    runOn(rom);

    EXPECT_EQ(front.messages, Messages{finished});
    EXPECT_TRUE(readFile(rom + "_BU_0") == originalRom) << "the backup is not the old ROM";
    EXPECT_EQ(zipEntries(rom), without(romNames, {"system/app/Browser.apk"}));
    EXPECT_EQ(zipEntries(rom + "_undo.zip"), joined(templateNames, {"system/app/Browser.apk"}));
}

TEST_F(CustomizeTest, FailedBackupEndsTheRunBeforeTheRomIsTouched) {
    // A run that rewrites nothing copies the ROM for its backup: a second name can't fail so.
    tickEveryStep();
    options.addApps = false;
    tick(RemovalMode::app, {"system/app/Missing.apk"});

    {
        // The copy runs under a file-size limit smaller than the ROM, as on a full disk.
        const FileSizeLimit full(4096);
        EXPECT_EQ(runOn(romPath).end, RunEnd::failedBeforeRemoval);
    }
    EXPECT_EQ(front.messages, (Messages{{"Error", "Can't create backup " + romPath + "_BU_0"}}));
    EXPECT_EQ(front.statusTexts, (Texts{"Creating Backup ...", "Ready"}));
    EXPECT_EQ(readFile(romPath), originalRom);
    EXPECT_EQ(folderContent(romFolder), Names{"my röm.zip"});
    EXPECT_EQ(folderContent(paths.extractionFolder), Names{});
}

// A stop during the backup copy ends the copy, removes its partial file and ends the run before
// anything else; 7z never runs.
TEST_F(CustomizeTest, AStopDuringTheBackupCopyEndsTheRunWithNothingWritten) {
    // A run that rewrites nothing copies the ROM for its backup.
    tickEveryStep();
    options.addApps = false;
    tick(RemovalMode::app, {"system/app/Missing.apk"});
    front.stopWhen = [&] { return front.statusTexts.back() == "Creating Backup ..."; };

    runOn(romPath);

    EXPECT_EQ(front.messages, (Messages{{"Warning",
                                         "The run was stopped during the backup copy, "
                                         "which was removed. Nothing was changed."}}));
    EXPECT_EQ(front.statusTexts, (Texts{"Creating Backup ...", "Ready"}));
    EXPECT_EQ(readFile(romPath), originalRom);
    EXPECT_EQ(folderContent(romFolder), Names{"my röm.zip"});
    EXPECT_EQ(folderContent(paths.extractionFolder), Names{});
}

TEST_F(CustomizeTest, EveryRunKeepsItsOwnUndoZip) {
    tickEveryStep();
    options.backup = false;
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    runOn(romPath);
    const std::string firstUndoZip = readFile(undoZip);

    ticked.clear();
    tick(RemovalMode::app, {"system/app/Music.apk"});
    runOn(romPath);

    const std::string secondUndoZip = romPath + "_undo_1.zip";
    EXPECT_EQ(front.messages,
              (Messages{finished, {"Finish", "Customzation done ;)\rUndo zip: " + secondUndoZip}}));
    EXPECT_TRUE(readFile(undoZip) == firstUndoZip) << "the first run's undo zip changed";
    EXPECT_EQ(zipEntries(undoZip), joined(templateNames, {"system/app/Browser.apk"}));
    EXPECT_EQ(zipEntries(secondUndoZip), joined(templateNames, {"system/app/Music.apk"}));
    EXPECT_EQ(zipEntryContent(secondUndoZip, "system/app/Music.apk"),
              readFile(temp / "rom source/system/app/Music.apk"));
    EXPECT_EQ(zipEntries(romPath),
              without(romNames, {"system/app/Browser.apk", "system/app/Music.apk"}));
}

TEST_F(CustomizeTest, UndoZipThatCantBeMadeEndsTheRunBeforeRemoval) {
    const std::string staleSource = temp / "stale";
    writeFile(staleSource + "/system/app/Stale.apk", "from an earlier run");
    ASSERT_TRUE(makeZip(staleSource, undoZip));
    const std::string earlierUndoZip = readFile(undoZip);
    const std::string goodTemplate = readFile(paths.undoTemplate);
    tickEveryStep();
    tick(RemovalMode::app, {"system/app/Browser.apk", "system/bin/tool"});
    writeFile(paths.addFolder + "system/app/New.apk", "new");

    const struct {
        const char* trouble;
        std::function<void()> cause;
    } cases[] = {
        {"no template", [&] { fs::remove(paths.undoTemplate); }},
        {"a template that is not a zip", [&] { writeFile(paths.undoTemplate, "not a zip"); }},
        {"an entry 7z can't extract", [&] { breakEntry("system/bin/tool"); }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.trouble);
        writeFile(paths.undoTemplate, goodTemplate);
        fs::remove(romPath + "_BU_0");
        test.cause();
        front.messages.clear();
        front.statusTexts.clear();

        runOn(romPath);

        ASSERT_FALSE(front.messages.empty());
        EXPECT_EQ(front.messages.back(),
                  (Message{"Error", "Can't create recovery zip " + romPath + "_undo_1.zip"}));
        EXPECT_EQ(front.statusTexts,
                  (Texts{"Creating Backup ...", "Generation recovery CWM zip ...",
                         "Creating Backup ...", "Ready"}));
        EXPECT_TRUE(readFile(undoZip) == earlierUndoZip) << "the earlier undo zip changed";
        EXPECT_TRUE(readFile(romPath) == originalRom) << "the ROM zip changed";
        EXPECT_TRUE(readFile(romPath + "_BU_0") == originalRom) << "the backup changed";
        EXPECT_FALSE(sameFile(romPath + "_BU_0", romPath));
        EXPECT_EQ(folderContent(paths.extractionFolder), Names{});
        EXPECT_EQ(folderContent(romFolder),
                  (Names{"my röm.zip", "my röm.zip_BU_0", "my röm.zip_undo.zip"}));
    }
}

TEST_F(CustomizeTest, FullDiskUnderTheUndoZipEndsTheRunBeforeRemoval) {
    tickEveryStep();
    tick(RemovalMode::app,
         {"system/app/Browser.apk", "system/app/Clock.apk", "system/app/Music.apk",
          "system/app/ClockWidget.apk", "system/app/MusicWidget.apk"});
    const std::string disk = temp / "small disk";
    fs::create_directories(disk);
    const struct {
        const char* where;
        std::string rom;
        std::string smallDisk;
        std::size_t size;
        bool backup;
    } cases[] = {
        // Holds the ROM and the template's copy, but not the saved files as well.
        {"beside the ROM", disk + "/rom.zip", disk, originalRom.size() + 64 * 1024, false},
        // Cuts the first saved file short.
        {"under the extraction folder", romPath, paths.extractionFolder, 16 * 1024, false},
        // The backup, the ROM file under a second name while the undo zip is made, can't then
        // become a copy of its own: it goes, and the run says so.
        {"beside the ROM, with a backup", disk + "/rom.zip", disk, originalRom.size() + 64 * 1024,
         true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.where);
        options.backup = test.backup;
        const ChildRun run = inChild(smallDisk(test.smallDisk, test.size), [&] {
            writeFile(test.rom, originalRom);
            runOn(test.rom);
            std::string failures;
            Messages last{{"Error", "Can't create recovery zip " + test.rom + "_undo.zip"}};
            if (test.backup)
                last.push_back({"Warning", "Can't create backup " + test.rom +
                                               "_BU_0\rThe ROM zip was not changed, and no "
                                               "backup of it was kept."});
            if (front.messages.size() <= last.size() ||
                !std::equal(last.rbegin(), last.rend(), front.messages.rbegin()))
                failures += "the run did not end with the undo zip's error\n";
            // 7z's reason comes a little after its first error line ("System ERROR:").
            if (front.messages.front().text.find("No space left on device") == std::string::npos)
                failures += "no reason: " + front.messages.front().text + "\n";
            if (front.statusTexts.back() != "Ready")
                failures += "status: " + front.statusTexts.back() + "\n";
            if (readFile(test.rom) != originalRom) failures += "the ROM zip changed\n";
            const fs::path rom = test.rom;
            if (folderContent(rom.parent_path()) != Names{rom.filename()})
                failures += "files were left beside the ROM zip\n";
            return failures;
        });
        if (!run.unavailable.empty()) GTEST_SKIP() << run.unavailable;
        EXPECT_EQ(run.failure, "");
        EXPECT_EQ(folderContent(paths.extractionFolder), Names{});
    }
}

TEST_F(CustomizeTest, UndoZipHoldsNothingOfAnotherRun) {
    tickEveryStep();
    options.backup = false;
    options.addApps = false;
    writeFile(temp / "outside/keep.txt", "keep me");
    fs::create_directory_symlink(temp / "outside", paths.extractionFolder + "escape");
    writeFile(paths.extractionFolder + "system/app/Leftover.apk", "left by an interrupted run");
    const Names othersFiles = folderContent(paths.extractionFolder);
    tick(RemovalMode::app, {"system/app/Clock.apk"});

    runOn(romPath);

    // They may be another run's, at work: only this run's own folder goes.
    EXPECT_EQ(readFile(temp / "outside/keep.txt"), "keep me");
    EXPECT_EQ(folderContent(paths.extractionFolder), othersFiles);
    EXPECT_EQ(zipEntries(undoZip), joined(templateNames, {"system/app/Clock.apk"}));
}

TEST_F(CustomizeTest, RunsSideBySideKeepToThemselves) {
    tickEveryStep();
    options.addApps = false;
    tick(RemovalMode::app, {"system/app/Clock.apk"});
    // A second ROM with other content under the same names, slimmed from the same program folder.
    const std::string otherSource = temp / "other rom source";
    for (const char* name : {"build.prop", "system/app/Clock.apk", "system/app/Music.apk"})
        writeFile(otherSource + "/" + name, "the other ROM's " + std::string(name));
    const std::string otherRom = temp / "other roms/other.zip";
    fs::create_directories(temp / "other roms");
    ASSERT_TRUE(makeZip(otherSource, otherRom));
    CatalogueEntry music;
    music.name = "Music";
    music.files = {"system/app/Music.apk"};
    RecordingReporter other;
    // This ROM again, through a link from elsewhere, as another front-end would name it.
    const std::string link = temp / "other roms/link.zip";
    fs::create_symlink(romPath, link);
    RecordingReporter sameRom;
    RunEnd sameRomEnd = RunEnd::complete;
    const std::string taken = undoZip;

    // While 7z extracts for this run's undo zip, held until the test lets it go, the other runs
    // start, and a file appears at the name the undo zip is to take.
    const std::string go = temp / "go";
    const ArchiverWrapper archiver(temp / "bin", "if [ \"$1\" = x ]; then for a; do [ \"$a\" = '" +
                                                     romPath +
                                                     "' ] || continue\n"
                                                     "  n=0; while [ ! -e '" +
                                                     go +
                                                     "' ] && [ $n -lt 12000 ]; do sleep 0.01; "
                                                     "n=$((n+1)); done\n"
                                                     "done; fi");
    bool started = false;
    front.stopWhen = [&] {
        if (started || front.statusTexts.back() != "Generation recovery CWM zip ...") return false;
        started = true;
        customize(CustomizeRequest{otherRom, options, {{&music, RemovalMode::app}}}, paths, other);
        sameRomEnd = customize(CustomizeRequest{link, options, {}}, paths, sameRom).end;
        writeFile(taken, "someone else's file");
        writeFile(go, "");
        return false;
    };
    runOn(romPath);

    ASSERT_TRUE(started);
    EXPECT_EQ(sameRom.messages,
              (Messages{{"Error", "Another run is working on this ROM zip: " + romPath +
                                      "\rWait until it has ended, then start again."}}));
    EXPECT_EQ(sameRomEnd, RunEnd::refused);
    EXPECT_EQ(other.messages, Messages{finished});
    EXPECT_EQ(zipEntries(otherRom + "_undo.zip"), joined(templateNames, {"system/app/Music.apk"}));
    EXPECT_EQ(zipEntryContent(otherRom + "_undo.zip", "system/app/Music.apk"),
              "the other ROM's system/app/Music.apk");
    const std::string ownUndoZip = romPath + "_undo_1.zip";
    EXPECT_EQ(front.messages,
              (Messages{{"Finish", "Customzation done ;)\rUndo zip: " + ownUndoZip}}));
    EXPECT_EQ(readFile(taken), "someone else's file");
    EXPECT_EQ(zipEntries(ownUndoZip), joined(templateNames, {"system/app/Clock.apk"}));
    EXPECT_EQ(zipEntryContent(ownUndoZip, "system/app/Clock.apk"),
              readFile(temp / "rom source/system/app/Clock.apk"));
    EXPECT_EQ(zipEntries(romPath), without(romNames, {"system/app/Clock.apk"}));
    EXPECT_EQ(folderContent(romFolder), (Names{"my röm.zip", "my röm.zip_BU_0",
                                               "my röm.zip_undo.zip", "my röm.zip_undo_1.zip"}));
    EXPECT_EQ(folderContent(paths.extractionFolder), Names{});
}

TEST_F(CustomizeTest, ALaterRunRemovesWhatAKilledRunLeftAndNothingElse) {
    options.addApps = false;
    tick(RemovalMode::app, {"system/app/Clock.apk"});
    const Names left{"my röm.zip.slimkit-lock",
                     "my röm.zip.tmp",
                     "my röm.zip.tmp1",
                     "my röm.zip_BU_0.Ab3xYz",
                     "my röm.zip_BU_12.tmp4711_0",
                     "my röm.zip_undo.zip.q9W2e1",
                     "my röm.zip_undo.zip.q9W2e1.tmp",
                     "my röm.zip_undo_3.zip.tmp4711_2.tmp",
                     "my röm.zip_add_list_0"};
    const Names kept{"my röm.zip_BU_1",
                     "my röm.zip_BU_0.Ab3",
                     "my röm.zip_BU_0.Ab3xYz.txt",
                     "my röm.zip_undo.zip",
                     "my röm.zip_undo.zip.notes.txt",
                     "my röm.zip.tmp.keep",
                     "my röm.zip_add_list_notes",
                     "other.zip.tmp",
                     "my röm.zip_add_list_1",  // a link
                     "my röm.zip.tmp2"};       // a folder
    for (const std::string& name : left) writeFile(romFolder + "/" + name, "left");
    for (const std::string& name : kept)
        if (name.ends_with("_1"))
            fs::create_symlink(temp / "elsewhere", romFolder + "/" + name);
        else if (name.ends_with("tmp2"))
            fs::create_directory(romFolder + "/" + name);
        else
            writeFile(romFolder + "/" + name, "kept");

    runOn(romPath);

    EXPECT_EQ(front.messages, Messages{finished});
    EXPECT_EQ(folderContent(romFolder), joined(kept, {"my röm.zip", "my röm.zip_BU_0"}));
    EXPECT_EQ(readFile(romPath + "_undo.zip"), "kept");
}

TEST_F(CustomizeTest, DefinitionPathsNeverSteerTheArchiver) {
    options.backup = false;
    options.undoZip = true;
    options.addApps = false;
    tickDefinitions({{"utf8.ini",
                      "\xEF\xBB\xBF[main]\nappname = Unicode\n[files]\n"
                      "1 = -i!*\n"
                      "2 = system\\app\\日本.apk\n"
                      "3 = system/app/Grüße.apk\n"
                      "4 = system/app/Say \"hi\".apk\n"
                      "5 = system/app/Bad\xFF.apk\n"
                      // 7z wildcards name only entries of these very names.
                      "6 = *\n"
                      "7 = system/app/?????.apk\n"
                      // A folder goes with everything below it.
                      "8 = system/etc\n"}});

    runOn(romPath);

    const Names removed{"system/app/日本.apk", "system/app/Grüße.apk", "*", "system/app/?????.apk",
                        "system/etc/hosts"};
    EXPECT_EQ(zipEntries(romPath), without(romNames, removed));
    EXPECT_EQ(zipEntries(undoZip), joined(templateNames, removed));
    EXPECT_EQ(front.messages,
              (Messages{{"Warning", stepFailed + "\rThese paths were skipped, since the "
                                                 "archiver can't be handed them safely:"
                                                 "\rsystem/app/Say \"hi\".apk"
                                                 "\rsystem/app/Bad.apk"}}));
}

// The ROM is chosen through a link in the add folder: it is edited at its target, where its
// backup and undo zip go, and the link stays a link that is never added.
TEST_F(CustomizeTest, AddFolderGivesLinkedFilesButNeverTheRomOrAFolderLink) {
    tickEveryStep();
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    const std::string rom = paths.addFolder + "roms/rom.zip";
    writeFile(rom, originalRom);
    writeFile(rom + "_undo.zip", readFile(paths.undoTemplate));
    writeFile(temp / "outside/Real.apk", "the real app");
    writeFile(temp / "outside folder/Private.txt", "not for the ROM");
    fs::create_directories(paths.addFolder + "system/app");
    fs::create_symlink(temp / "outside/Real.apk", paths.addFolder + "system/app/Linked.apk");
    fs::create_directory_symlink(temp / "outside folder", paths.addFolder + "system/linked");
    const std::string link = paths.addFolder + "rom link.zip";
    fs::create_symlink(rom, link);

    runOn(link);

    EXPECT_EQ(front.messages,
              (Messages{{"Finish", "Customzation done ;)\rUndo zip: " + rom + "_undo_1.zip"}}));
    EXPECT_EQ(zipEntries(rom),
              joined(without(romNames, {"system/app/Browser.apk"}), {"system/app/Linked.apk"}));
    EXPECT_EQ(zipEntryContent(rom, "system/app/Linked.apk"), "the real app");
    EXPECT_EQ(folderContent(paths.addFolder + "roms"),
              (Names{"rom.zip", "rom.zip_BU_0", "rom.zip_undo.zip", "rom.zip_undo_1.zip"}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), rom);
}

TEST_F(CustomizeTest, AddFolderWithAFolderTheUserCantReadIsRefusedBeforeAnythingIsWritten) {
    tickEveryStep();
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    writeFile(paths.addFolder + "system/app/New.apk", "new");
    const std::string locked = paths.addFolder + "system/private";
    fs::create_directories(locked);
    openToEveryone(temp.path());
    const LockedPath lockedOut(locked, fs::perms::none);
    const ChildRun run = inChild(keptOut(locked, R_OK), [&]() -> std::string {
        const RunEnd end = runOn(romPath).end;
        if (front.messages != Messages{{"Error", "Can't read " + locked}})
            return front.messages.empty() ? "no message" : front.messages[0].text;
        if (end != RunEnd::refused) return "the run was not refused";
        if (readFile(romPath) != originalRom || folderContent(romFolder) != Names{"my röm.zip"})
            return "the ROM's folder changed";
        return "";
    });
    if (!run.unavailable.empty()) GTEST_SKIP() << run.unavailable;
    EXPECT_EQ(run.failure, "");
}

TEST_F(CustomizeTest, RunWithoutArchiverWritesNothing) {
    tickEveryStep();
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    writeFile(paths.addFolder + "system/app/New.apk", "new");
    const RunEnd end = [&] {
        const SearchPath noArchiver(temp / "empty bin", SearchPath::instead);
        return runOn(romPath).end;
    }();
    EXPECT_EQ(front.messages, (Messages{{"Error", "Can't read " + romPath +
                                                      " as a zip archive\rThe 7z archiver could "
                                                      "not be started."}}));
    EXPECT_EQ(end, RunEnd::refused);
    EXPECT_EQ(readFile(romPath), originalRom);
    EXPECT_EQ(folderContent(romFolder), Names{"my röm.zip"});
}

// A stop while 7z hangs in a step kills 7z and leaves the ROM zip as it was before the step,
// without 7z's temporary archive or the run's files in the extraction folder.
TEST_F(CustomizeTest, AStopWhile7zWorksKillsItAndLeavesTheRomAsItWas) {
    tickEveryStep();
    tick(RemovalMode::app, {"system/app/Browser.apk", "system/bin/tool"});
    writeFile(paths.addFolder + "system/app/New.apk", "new");
    const HangingArchiver archiver(temp / "bin", romPath);
    front.stopWhen = [&] { return archiver.justHung(); };
    // What lies in the extraction folder may be another run's: a stopped run removes only its own.
    writeFile(paths.extractionFolder + "left over", "from an earlier run");
    const std::string stopped =
        "\rThe run was stopped: 7z was ended in the middle of a step and "
        "the steps after it did not run.";

    const struct {
        const char* step;
        std::string command;
        Messages messages;
        Texts statusTexts;
        Names left;
        Names entries;  // the ROM zip's after the run
    } cases[] = {
        // The backup, the ROM file under a second name while 7z had not replaced it, is made a
        // copy of its own before the run ends.
        {"extraction for the undo zip",
         "x",
         {{"Error", "Can't create recovery zip " + undoZip}},
         {"Creating Backup ...", "Generation recovery CWM zip ...", "Creating Backup ...", "Ready"},
         {"my röm.zip", "my röm.zip_BU_0"},
         romNames},
        {"removal",
         "d",
         {{"Warning", stepFailed + stopped}},
         {"Creating Backup ...", "Generation recovery CWM zip ...", "Removing files ...",
          "Creating Backup ...", "Ready"},
         {"my röm.zip", "my röm.zip_BU_0", "my röm.zip_undo.zip"},
         romNames},
        // The removal's ROM zip stays, without the added files.
        {"adding",
         "a",
         {{"Warning", stepFailed + stopped}},
         {"Creating Backup ...", "Generation recovery CWM zip ...", "Removing files ...",
          "Adding files ...", "Ready"},
         {"my röm.zip", "my röm.zip_BU_0", "my röm.zip_undo.zip"},
         without(romNames, {"system/app/Browser.apk", "system/bin/tool"})},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.step);
        archiver.hangIn(test.command);
        front.clear();

        runOn(romPath);

        EXPECT_TRUE(front.stopped);
        EXPECT_EQ(front.messages, test.messages);
        EXPECT_EQ(front.statusTexts, test.statusTexts);
        EXPECT_EQ(zipEntries(romPath), test.entries);
        if (test.entries == romNames) {
            EXPECT_TRUE(readFile(romPath) == originalRom) << "the ROM zip changed";
        }
        EXPECT_TRUE(readFile(romPath + "_BU_0") == originalRom) << "the backup changed";
        EXPECT_FALSE(sameFile(romPath + "_BU_0", romPath));
        EXPECT_EQ(folderContent(romFolder), test.left);
        EXPECT_EQ(folderContent(paths.extractionFolder), Names{"left over"});
        EXPECT_NE(kill(archiver.pid(), 0), 0) << "7z outlived the stop";
        for (const auto& entry : fs::directory_iterator(romFolder))
            if (entry.path().filename() != "my röm.zip") fs::remove(entry.path());
        writeFile(romPath, originalRom);
    }
}

TEST_F(CustomizeTest, MissingWorkFoldersAreMadeRatherThanAddingTheCurrentFolder) {
    tickEveryStep();
    options.backup = false;
    fs::remove_all(paths.addFolder);
    fs::remove_all(paths.extractionFolder);
    // A decoy in the current folder: nothing outside the work folders may reach a zip.
    writeFile(temp / "current/decoy.txt", "must not be added");
    const fs::path previous = fs::current_path();
    fs::current_path(temp / "current");

    runOn(romPath);

    fs::current_path(previous);
    EXPECT_EQ(front.messages, Messages{finished});
    EXPECT_EQ(readFile(romPath), originalRom);
    EXPECT_EQ(zipEntries(undoZip), templateNames);
    EXPECT_EQ(fileSize(paths.addFolder), fileSizeOfFolder);
    EXPECT_EQ(fileSize(paths.extractionFolder), fileSizeOfFolder);

    // A working folder that can't be made ends the run before anything: the list of names 7z
    // removes never goes to the current folder, where another run could take it away.
    fs::remove_all(fs::path(paths.undoTemplate).parent_path());
    options.undoZip = false;
    tick(RemovalMode::app, {"system/app/Browser.apk"});
    front.messages.clear();
    fs::current_path(temp / "current");
    runOn(romPath);
    fs::current_path(previous);
    const std::string refusal = "Can't make a working folder for the run in " +
                                paths.extractionFolder +
                                " (No such file or directory); nothing was changed.";
    EXPECT_EQ(front.messages, (Messages{{"Error", refusal}}));
    EXPECT_EQ(ends.back(), RunEnd::failedBeforeRemoval);
    EXPECT_EQ(readFile(romPath), originalRom);
    EXPECT_EQ(folderContent(temp / "current"), Names{"decoy.txt"});
}

}  // namespace
