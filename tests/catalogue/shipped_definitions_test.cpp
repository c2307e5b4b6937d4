// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"

#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

// Every definition file that ships with the program must load into a usable row: a name, a
// description and at least one path, none of them empty.
TEST(ShippedDefinitions, EveryFileLoads) {
    const std::string folder = SLIMKIT_SHIPPED_DEFINITIONS;
    std::vector<std::string> names;
    ASSERT_TRUE(listDefinitionFiles(folder, names)) << folder;
    ASSERT_FALSE(names.empty()) << "no definition file in " << folder;

    Catalogue catalogue;
    ASSERT_TRUE(loadDefinitions(catalogue, folder));
    EXPECT_EQ(catalogue.entries.size(), names.size()) << "some files were skipped";
    for (const auto& entry : catalogue.entries) {
        SCOPED_TRACE(entry->definitionFile);
        EXPECT_FALSE(entry->name.empty());
        EXPECT_FALSE(entry->description.empty());
        EXPECT_FALSE(entry->files.empty() && entry->widgetFiles.empty());
        if (entry->isWidget) {
            EXPECT_FALSE(entry->widgetFiles.empty());
        }
        for (const auto& path : entry->files) EXPECT_FALSE(path.empty());
        for (const auto& path : entry->widgetFiles) EXPECT_FALSE(path.empty());
    }
}

}  // namespace
