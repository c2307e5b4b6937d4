// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"

#include "platform/text.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The catalogue as the program loads it, with UTF-8 as its code page: this test program carries
// the program's manifest.
TEST(LoadDefinitionsUtf8Win32, PathsReach7zInUtf8AndNamesAreUtf8) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    ASSERT_TRUE(archiverNamesAreUtf8());
    TempFolder sandbox;
    sandbox.write("remove\\utf8.ini",
                  "\xEF\xBB\xBF[main]\r\nappname = Gr\xC3\xBC\xC3\x9F"
                  "e\r\n[files]\r\n1 = system\\app\\Gr\xC3\xBC\xC3\x9F"
                  "e.apk\r\n2 = system\\app\\\xE6\x97\xA5\xE6\x9C\xAC.apk\r\n");
    // Without the byte-order mark: Latin-1 bytes, and UTF-8 ones taken as they are.
    sandbox.write("remove\\latin1.ini",
                  "[main]\r\nappname = \xC4rger\r\n[files]\r\n1 = system\\app\\Gr\xFC\xDF"
                  "e.apk\r\n2 = system\\app\\\xCE\xA9.apk\r\n");
    sandbox.write("remove\\greek.ini",
                  "[main]\r\nappname = \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1\r\n");
    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, sandbox.root() + "remove\\"));

    const CatalogueEntry& utf8 = *catalogue.entryByName.at(
        "gr\xC3\xBC\xC3\x9F"
        "e");
    EXPECT_EQ(utf8.name,
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_THAT(utf8.files, ElementsAre("system\\app\\Gr\xC3\xBC\xC3\x9F"
                                        "e.apk",
                                        "system\\app\\\xE6\x97\xA5\xE6\x9C\xAC.apk"));
    EXPECT_THAT(utf8.lostFiles, IsEmpty());

    const CatalogueEntry& latin1 = *catalogue.entryByName.at("\xC3\xA4rger");
    EXPECT_EQ(latin1.name, "\xC3\x84rger");
    EXPECT_EQ(catalogue.entryByName.at("\xCF\x89\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1")->name,
              "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1");
    EXPECT_THAT(latin1.files, ElementsAre("system\\app\\Gr\xC3\xBC\xC3\x9F"
                                          "e.apk",
                                          "system\\app\\\xCE\xA9.apk"));
}
