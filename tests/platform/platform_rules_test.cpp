// SPDX-License-Identifier: GPL-3.0-or-later
// The platform layer's rules that hold the same on both builds, run by each build's tests.
#include "platform/ascii.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using ::testing::UnorderedElementsAre;

TEST(FolderOfPath, KeepsEverythingUpToTheLastSeparatorOfThisSystem) {
    EXPECT_EQ(folderOfPath("/home/me/rom.zip"), "/home/me/");
    EXPECT_EQ(folderOfPath("/home/me/"), "/home/me/");
    EXPECT_EQ(folderOfPath("/rom.zip"), "/");
    EXPECT_EQ(folderOfPath("rom.zip"), "");
    EXPECT_EQ(folderOfPath(""), "");
#ifdef _WIN32
    EXPECT_EQ(folderOfPath("C:\\Slimkit/bin\\win\\7z.exe"), "C:\\Slimkit/bin\\win\\");
    EXPECT_EQ(folderOfPath("C:\\roms/rom.zip"), "C:\\roms/");
#else
    // A '\' is an ordinary character of a Linux name.
    EXPECT_EQ(folderOfPath("/roms/a\\b.zip"), "/roms/");
    EXPECT_EQ(folderOfPath("a\\b.zip"), "");
#endif
}

TEST(AsciiText, OnlyAsciiLettersAndBlanksAreTouched) {
    // Latin-1 "ÄÖ" and UTF-8 "É" stay as they are.
    EXPECT_EQ(lowerAscii(std::string("AbZ-\xC4\xD6 \xC3\x89@[")), "abz-\xC4\xD6 \xC3\x89@[");
    EXPECT_TRUE(equalIgnoringAsciiCase("App/Widget", "APP/widget"));
    EXPECT_FALSE(equalIgnoringAsciiCase("\xC4", "\xE4"));
    EXPECT_FALSE(equalIgnoringAsciiCase("App", "Apps"));

    EXPECT_EQ(trimmed(" \t a b \t"), "a b");
    EXPECT_EQ(trimmed(" \t "), "");
    EXPECT_EQ(trimmed("\ta ", " "), "\ta");
    EXPECT_EQ(trimmedEnd("Access is denied.\r\n", "\r\n ."), "Access is denied");
    EXPECT_EQ(trimmedEnd("...", "."), "");
}

TEST(MakeFolder, TrueWhenAFolderIsThereAfterwards) {
    TempFolder temp;
    const std::string folder = temp / "files";
    EXPECT_TRUE(makeFolder(folder + pathSeparator));
    EXPECT_EQ(fileSize(folder), fileSizeOfFolder);
    EXPECT_TRUE(makeFolder(folder));
    EXPECT_TRUE(makeFolder(folder + pathSeparator));

    writeFile(temp / "plain", "x");
    EXPECT_FALSE(makeFolder(temp / "plain"));
    EXPECT_EQ(readFile(temp / "plain"), "x");
    EXPECT_FALSE(makeFolder(temp / "missing/below"));
}

TEST(ListDefinitionFiles, ReplacesWhatTheListHeldAndEmptiesItOnFailure) {
    TempFolder temp;
    writeFile(temp / "a.ini", "");
    writeFile(temp / "notes.txt", "");
    std::filesystem::create_directory(temp / "folder.ini");

    std::vector<std::string> names{"left over"};
    ASSERT_TRUE(listDefinitionFiles(temp.path() + pathSeparator, names));
    EXPECT_THAT(names, UnorderedElementsAre("a.ini"));

    EXPECT_FALSE(listDefinitionFiles(temp / "missing" + pathSeparator, names));
    EXPECT_TRUE(names.empty());
}

TEST(RomLock, OneRunAtATimeAndTheLockFileGoesWithTheLastHolder) {
    TempFolder temp;
    const std::string rom = temp / "rom.zip";
    const std::string lockFile = RomLock::lockPath(rom);
    writeFile(rom, "zip");
    {
        const RomLock first(rom);
        EXPECT_EQ(first.state(), RomLock::State::held);
        EXPECT_TRUE(pathExists(lockFile));
        EXPECT_EQ(RomLock(rom).state(), RomLock::State::busy);
        // 7z puts a new ROM file in place: the lock holds on.
        ASSERT_TRUE(std::filesystem::remove(rom));
        writeFile(rom, "new zip");
        EXPECT_EQ(RomLock(rom).state(), RomLock::State::busy);
    }
    EXPECT_FALSE(pathExists(lockFile));
    // One left by a program that was killed is taken over.
    writeFile(lockFile, "");
    EXPECT_EQ(RomLock(rom).state(), RomLock::State::held);
    EXPECT_FALSE(pathExists(lockFile));
    std::filesystem::create_directory(lockFile);
    EXPECT_EQ(RomLock(rom).state(), RomLock::State::blocked);
    EXPECT_TRUE(pathExists(lockFile));
}

TEST(RenameWithoutReplacing, TakesOnlyANameNothingStandsOn) {
    TempFolder temp;
    writeFile(temp / "new", "new");
    writeFile(temp / "taken", "someone else's");
    std::filesystem::create_directory(temp / "folder");
    EXPECT_EQ(renameWithoutReplacing(temp / "new", temp / "taken"), Placed::nameTaken);
    EXPECT_EQ(renameWithoutReplacing(temp / "new", temp / "folder"), Placed::nameTaken);
    EXPECT_EQ(readFile(temp / "taken"), "someone else's");
    EXPECT_TRUE(std::filesystem::is_empty(temp / "folder"));
    EXPECT_EQ(renameWithoutReplacing(temp / "new", temp / "free"), Placed::done);
    EXPECT_EQ(readFile(temp / "free"), "new");
    EXPECT_FALSE(pathExists(temp / "new"));
    EXPECT_EQ(renameWithoutReplacing(temp / "new", temp / "other"), Placed::failed);
}

TEST(MakeFreshFolder, EachCallMakesAFolderOfItsOwn) {
    TempFolder temp;
    const std::string prefix = "run-0123456789abcdef-";
    const std::string first = makeFreshFolder(temp.path(), prefix);
    const std::string second = makeFreshFolder(temp.path(), prefix);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_NE(first, second);
    for (const std::string& folder : {first, second}) {
        EXPECT_TRUE(isPathSeparator(folder.back())) << folder;
        EXPECT_EQ(folderOfPath(folder.substr(0, folder.size() - 1)), temp.path() + pathSeparator);
        EXPECT_EQ(folder.substr(temp.path().size() + 1, prefix.size()), prefix);
        // The room the Windows path limit leaves for it.
        EXPECT_EQ(folder.size() - temp.path().size() - 1, runFolderNameLength);
        EXPECT_EQ(fileSize(folder), fileSizeOfFolder);
        EXPECT_FALSE(holdsAnyFile(folder));
    }
    EXPECT_EQ(makeFreshFolder(temp / "missing", prefix), "");
}
