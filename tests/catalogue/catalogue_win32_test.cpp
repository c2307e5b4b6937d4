// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"

#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

std::vector<std::string> namesOf(const Catalogue& catalogue) {
    std::vector<std::string> names;
    for (const auto& entry : catalogue.entries) names.push_back(entry->name);
    return names;
}

}  // namespace

TEST(LoadDefinitionsWin32, PathsAreKeptAsWrittenAndTheFileIsNamedWithBackslashes) {
    TempFolder sandbox;
    sandbox.write("remove\\example.ini",
                  "[main]\r\nappname = Example\r\nwidget = 1\r\n[files]\r\n"
                  "1 = system\\app\\Example.apk\r\n2 = /System/App/Mixed\\Case.odex\r\n"
                  "[widget_files]\r\n1 = system\\app\\ExampleWidget.apk\r\n");
    const std::string folder = sandbox.root() + "remove\\";
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, folder));
    ASSERT_EQ(catalogue.entries.size(), 1u);
    const CatalogueEntry& entry = *catalogue.entries[0];
    EXPECT_EQ(entry.definitionFile, folder + "example.ini");
    EXPECT_THAT(entry.files,
                ElementsAre("system\\app\\Example.apk", "/System/App/Mixed\\Case.odex"));
    EXPECT_THAT(entry.widgetFiles, ElementsAre("system\\app\\ExampleWidget.apk"));
}

TEST(LoadDefinitionsWin32, Utf8PathsBecome8BitTextOrAreKeptApartWhenCharactersAreLost) {
    TempFolder sandbox;
    sandbox.write("remove\\utf8.ini",
                  "\xEF\xBB\xBF[main]\r\nappname = Unicode\r\n[files]\r\n"
                  "1 = system\\app\\Gr\xC3\xBC\xC3\x9F"
                  "e.apk\r\n"
                  "2 = system\\app\\\xE6\x97\xA5\xE6\x9C\xAC.apk\r\n");
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, sandbox.root() + "remove\\"));
    ASSERT_EQ(catalogue.entries.size(), 1u);
    // 7z.exe gets its names as 8-bit text: a character beyond it would arrive as '?'.
    EXPECT_THAT(catalogue.entries[0]->files, ElementsAre("system\\app\\Gr\xFC\xDF"
                                                         "e.apk"));
    EXPECT_THAT(catalogue.entries[0]->lostFiles, ElementsAre("system\\app\\??.apk"));
}

TEST(LoadDefinitionsWin32, IniMatchesInAnyCaseAndNamesAreUtf8LoweredAsOnLinux) {
    TempFolder sandbox;
    sandbox.write("remove\\upper.INI", "[main]\r\nappname = Upper\r\n");
    sandbox.write("remove\\.hidden.ini", "[main]\r\nappname = \xC4rger\r\n");
    sandbox.write("remove\\notes.txt", "[main]\r\nappname = Notes\r\n");
    sandbox.write("remove\\folder.ini\\inner.ini", "[main]\r\nappname = Inner\r\n");
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, sandbox.root() + "remove\\"));
    EXPECT_THAT(namesOf(catalogue), UnorderedElementsAre("Upper", "\xC3\x84rger"));
    EXPECT_EQ(catalogue.entryByName.count("upper"), 1u);
    EXPECT_EQ(catalogue.entryByName.count("\xC3\xA4rger"), 1u);
}

TEST(LoadDefinitionsWin32, AMissingFolderIsNotListed) {
    TempFolder sandbox;
    Catalogue catalogue;
    EXPECT_FALSE(loadDefinitions(catalogue, sandbox.root() + "absent\\"));
    EXPECT_TRUE(catalogue.entries.empty());
}
