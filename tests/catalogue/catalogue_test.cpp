// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"

#include "platform/text.h"
#include "support/faults.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;

std::vector<std::string> namesOf(const Catalogue& catalogue) {
    std::vector<std::string> names;
    for (const auto& entry : catalogue.entries) names.push_back(entry->name);
    return names;
}

std::string definition(const std::string& name, const std::string& rest = "") {
    return "[main]\nappname = " + name + "\n" + rest;
}

TEST(LoadDefinitions, ReadsEveryFieldOfADefinitionFile) {
    TempFolder folder;
    folder.write("example.ini",
                 "[main]\nappname = Example\ndescription = An example app\nenabled = 1\n"
                 "widget = 1\n[files]\n1 = system/app/Example.apk\n"
                 "2 = system\\app\\Example.odex\n1 = /System\\App\\Twice.apk\nno equals sign\n"
                 "[widget_files]\n1 = system/app/ExampleWidget.apk\n");
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, folder.root()));
    ASSERT_EQ(catalogue.entries.size(), 1u);
    const CatalogueEntry& entry = *catalogue.entries[0];
    EXPECT_EQ(entry.name, "Example");
    EXPECT_EQ(entry.description, "An example app");
    EXPECT_EQ(entry.definitionFile, folder.root() + "example.ini");
    EXPECT_EQ(entry.isWidget, 1);
    EXPECT_EQ(entry.enabled, 1);
    EXPECT_EQ(entry.rowIndex, 0);
    EXPECT_THAT(entry.files, ElementsAre("system/app/Example.apk", "system/app/Example.odex",
                                         "/System/App/Twice.apk", ""));
    EXPECT_THAT(entry.widgetFiles, ElementsAre("system/app/ExampleWidget.apk"));
    EXPECT_EQ(catalogue.entryByName.at("example"), &entry);
}

TEST(LoadDefinitions, EmptyAndMissingFolders) {
    TempFolder folder;
    Catalogue catalogue;
    EXPECT_TRUE(loadDefinitions(catalogue, folder.root()));
    EXPECT_THAT(catalogue.entries, IsEmpty());

    folder.write("remove/kept.ini", definition("Kept"));
    ASSERT_TRUE(loadDefinitions(catalogue, folder.root() + "remove/"));
    EXPECT_FALSE(loadDefinitions(catalogue, folder.root() + "absent/"));
    EXPECT_THAT(namesOf(catalogue), ElementsAre("Kept"));
    EXPECT_EQ(catalogue.entryByName.size(), 1u);
}

TEST(LoadDefinitions, WhichNamesAreRead) {
    TempFolder folder;
    folder.write("plain.ini", definition("Plain"));
    folder.write(".hidden.ini", definition("Hidden"));
    folder.write(".ini", definition("Dot"));
    folder.write("Upper.INI", definition("Upper"));
    folder.write("other.txt", definition("Other"));
    folder.write("plain.ini.bak", definition("Backup"));
    folder.write("folder.ini/inner.ini", definition("Inner"));
    std::filesystem::create_symlink(folder.root() + "plain.ini", folder.root() + "link.ini");
    std::filesystem::create_directory_symlink(folder.root() + "folder.ini",
                                              folder.root() + "dirlink.ini");
    std::filesystem::create_symlink(folder.root() + "nowhere", folder.root() + "dangling.ini");
    ASSERT_EQ(::mkfifo((folder.root() + "fifo.ini").c_str(), 0600), 0);

    std::vector<std::string> names;
    ASSERT_TRUE(listDefinitionFiles(folder.root(), names));
    EXPECT_THAT(names, UnorderedElementsAre("plain.ini", ".hidden.ini", ".ini", "link.ini",
                                            "dangling.ini"));

    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, folder.root()));
    EXPECT_THAT(namesOf(catalogue), UnorderedElementsAre("Plain", "Hidden", "Dot", "Plain"));
}

TEST(LoadDefinitions, SkippedFiles) {
    TempFolder folder;
    folder.write("nomain.ini", "[other]\nappname = NoMain\n");
    folder.write("noname.ini", "[main]\ndescription = nameless\n[files]\n1 = a\n");
    folder.write("blank.ini", "[main]\nappname =   \t\n");
    folder.write("second.ini", "[main]\n[main]\nappname = Second\n");
    folder.write("empty.ini", "");
    folder.write("good.ini", "\xEF\xBB\xBF[main]\r\nappname =   Good  \r\n");
    const std::string locked = folder.write("locked.ini", definition("Locked"));
    openToEveryone(folder.path());
    const LockedPath unreadable(locked, std::filesystem::perms::none);
    const ChildRun run = inChild(keptOut(locked, R_OK), [&]() -> std::string {
        Catalogue catalogue;
        if (!loadDefinitions(catalogue, folder.root())) return "the folder was not listed";
        if (namesOf(catalogue) != std::vector<std::string>{"Good"})
            return testing::PrintToString(namesOf(catalogue));
        return catalogue.entries[0]->files.empty() ? "" : "Good has files";
    });
    if (!run.unavailable.empty()) GTEST_SKIP() << run.unavailable;
    EXPECT_EQ(run.failure, "");
}

TEST(LoadDefinitions, PathsFromUtf8FilesKeepTheirBytesUnlessCharactersWereLost) {
    TempFolder folder;
    folder.write("utf8.ini",
                 "\xEF\xBB\xBF[main]\nappname = Gr\xC3\xBC\xC3\x9F"
                 "e\nwidget = 1\n[files]\n"
                 "1 = system\\app\\Gr\xC3\xBC\xC3\x9F"
                 "e.apk\n"
                 "2 = system/app/\xE6\x97\xA5\xE6\x9C\xAC.apk\n"
                 "3 = system/app/Bad\xFF.apk\n"
                 "[widget_files]\n1 = W\xE2\x82\xAC.apk\n2 = W\xED\xA0\x80.apk\n");
    folder.write("latin1.ini", definition("Latin",
                                          "[files]\n1 = system/app/Gr\xFC\xDF"
                                          "e.apk\n"));
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, folder.root()));
    const CatalogueEntry& utf8 = *catalogue.entryByName.at(
        "gr\xC3\xBC\xC3\x9F"
        "e");
    // The name and the paths, which reach 7z as 7z takes them (UTF-8), as the file holds them.
    EXPECT_EQ(utf8.name,
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_THAT(utf8.files, ElementsAre("system/app/Gr\xC3\xBC\xC3\x9F"
                                        "e.apk",
                                        "system/app/\xE6\x97\xA5\xE6\x9C\xAC.apk"));
    EXPECT_THAT(utf8.lostFiles, ElementsAre("system/app/Bad.apk"));
    EXPECT_THAT(utf8.widgetFiles, ElementsAre("W\xE2\x82\xAC.apk"));
    EXPECT_THAT(utf8.lostWidgetFiles, ElementsAre("W?.apk"));  // a surrogate is not UTF-8
    EXPECT_THAT(catalogue.entryByName.at("latin")->files, ElementsAre("system/app/Gr\xFC\xDF"
                                                                      "e.apk"));
}

TEST(LoadDefinitions, FlagsAndWidgetFiles) {
    TempFolder folder;
    folder.write("a.ini", definition("NoWidget",
                                     "widget = 0\nenabled = yes\n"
                                     "[widget_files]\n1 = w.apk\n"));
    folder.write("b.ini", definition("WidgetOnlyFlag", "widget = 1\nenabled = 257\n"));
    folder.write("c.ini", definition("Wide",
                                     "widget = 256\nenabled = 256\n"
                                     "[widget_files]\n1 = w.apk\n2 = w\\2.apk\n"));
    folder.write("d.ini", definition("Negative", "widget = -1\nenabled = 99999999999\n"));
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, folder.root()));
    ASSERT_EQ(catalogue.entries.size(), 4u);
    const auto& byName = catalogue.entryByName;

    EXPECT_EQ(byName.at("nowidget")->isWidget, 0);
    EXPECT_EQ(byName.at("nowidget")->enabled, 0);
    EXPECT_THAT(byName.at("nowidget")->widgetFiles, IsEmpty());

    EXPECT_EQ(byName.at("widgetonlyflag")->isWidget, 1);
    EXPECT_EQ(byName.at("widgetonlyflag")->enabled, 1);
    EXPECT_THAT(byName.at("widgetonlyflag")->widgetFiles, IsEmpty());

    // Only the low 8 bits are kept as flags, but the whole number decides on the widget files.
    EXPECT_EQ(byName.at("wide")->isWidget, 0);
    EXPECT_EQ(byName.at("wide")->enabled, 0);
    EXPECT_THAT(byName.at("wide")->widgetFiles, ElementsAre("w.apk", "w/2.apk"));

    EXPECT_EQ(byName.at("negative")->isWidget, 0xFF);
    EXPECT_EQ(byName.at("negative")->enabled, 0xFF);
}

TEST(LoadDefinitions, LaterOfEqualNamesWinsInTheIndex) {
    TempFolder folder;
    folder.write("one.ini", definition("Foo"));
    folder.write("two.ini", definition("FOO"));
    folder.write("three.ini", definition("\xC4pfel"));
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, folder.root()));
    EXPECT_THAT(namesOf(catalogue), UnorderedElementsAre("Foo", "FOO", "\xC3\x84pfel"));

    std::vector<std::string> listed;
    ASSERT_TRUE(listDefinitionFiles(folder.root(), listed));
    const auto one = std::find(listed.begin(), listed.end(), "one.ini");
    const auto two = std::find(listed.begin(), listed.end(), "two.ini");
    EXPECT_EQ(catalogue.entryByName.at("foo")->name, one < two ? "FOO" : "Foo");
    EXPECT_EQ(catalogue.entryByName.size(), 2u);
    EXPECT_EQ(catalogue.entryByName.count("\xC3\xA4pfel"), 1u);
}

// Names and descriptions are UTF-8 whatever the file's encoding: UTF-8 with or without the
// byte-order mark stays, anything else is read as Windows-1252. Names compare ignoring case,
// also the Windows-1252 names a removal list of an earlier version holds.
TEST(LoadDefinitions, NamesAndDescriptionsAreUtf8WhateverTheFilesEncoding) {
    TempFolder folder;
    folder.write("bom.ini",
                 "\xEF\xBB\xBF[main]\nappname = \xCE\x93\xCE\xB5\xCE\xB9\xCE\xB1\n"
                 "description = \xE6\x97\xA5\xE6\x9C\xAC\n");
    folder.write("plain.ini", "[main]\nappname = \xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0\n");
    folder.write("ansi.ini",
                 "[main]\nappname = Caf\xE9 \x80 \x93q\x94\ndescription = Gr\xFC\xDF\n");
    folder.write("broken.ini", "\xEF\xBB\xBF[main]\nappname = Bad\xFF\n");
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, folder.root()));
    sortCatalogue(catalogue);
    std::vector<std::pair<std::string, std::string>> read;
    for (const auto& entry : catalogue.entries) read.emplace_back(entry->name, entry->description);
    EXPECT_THAT(
        read, UnorderedElementsAre(
                  Pair("\xCE\x93\xCE\xB5\xCE\xB9\xCE\xB1", "\xE6\x97\xA5\xE6\x9C\xAC"),
                  Pair("\xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0", ""),
                  Pair("Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D", "Gr\xC3\xBC\xC3\x9F"),
                  Pair("Bad\xC3\xBF", "")));

    const auto named = [&](const std::string& name) {
        const CatalogueEntry* entry = entryOfListName(catalogue, name);
        return entry ? entry->name : "(none)";
    };
    EXPECT_EQ(named("\xCE\x93\xCE\x95\xCE\x99\xCE\x91"), "\xCE\x93\xCE\xB5\xCE\xB9\xCE\xB1");
    EXPECT_EQ(named("\xD0\xBF\xD0\x9E\xD0\xA7\xD0\xA2\xD0\x90"),
              "\xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0");
    EXPECT_EQ(named("CAF\xC3\x89 \xE2\x82\xAC \xE2\x80\x9CQ\xE2\x80\x9D"),
              "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D");
    EXPECT_EQ(named("caf\xE9 \x80 \x93q\x94"),
              "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D");
    EXPECT_EQ(named("caf\xC3\xA9"), "(none)");
}

TEST(PlatformText, LowerNameAndPathNormalisation) {
    EXPECT_EQ(lowerName("AZaz09 [\xC4\xE4]@"), "azaz09 [\xC4\xE4]@");
    EXPECT_EQ(normaliseDefinitionPath("\\system\\App\\a b.apk/"), "/system/App/a b.apk/");
}

}  // namespace
