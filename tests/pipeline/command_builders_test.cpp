// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/add_apps.h"
#include "pipeline/removal.h"
#include "pipeline/undo_zip.h"

#include "catalogue/catalogue.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

CatalogueEntry entry(std::vector<std::string> files, std::vector<std::string> widgetFiles = {}) {
    CatalogueEntry made;
    made.name = "entry";
    made.isWidget = widgetFiles.empty() ? 0 : 1;
    made.files = std::move(files);
    made.widgetFiles = std::move(widgetFiles);
    return made;
}

using Paths = std::vector<std::string>;
using Ticked = std::vector<TickedEntry>;

}  // namespace

// The ROM's path comes after "--", where even a name like "-bd -y.zip" is no switch, and the
// names go through a list file, where "-i!*" is a name like any other.
TEST(ArchiverCommands, NameTheEntriesThroughAListFileAndNeverAsSwitches) {
#ifdef _WIN32
    const std::string charset = archiverNamesAreUtf8() ? "-scsUTF-8" : "-scsWIN";
    const std::string links = "";
#else
    const std::string charset = "-scsUTF-8";
    const std::string links = "-l";
#endif
    using Arguments = std::vector<std::string>;
    EXPECT_EQ(archiverArguments(removalCommand("/r/old d -bd -y.zip", "/p/files.names")),
              (Arguments{"d", "-spd", charset, "-i@/p/files.names", "--", "/r/old d -bd -y.zip"}));
    EXPECT_EQ(archiverArguments(extractCommand(R"(C:\r\rom.zip)", R"(C:\Slim kit\app\undo\files\)",
                                               R"(C:\Slim kit\app\undo\files.names)")),
              (Arguments{"x", "-spd", charset, R"(-i@C:\Slim kit\app\undo\files.names)",
                         R"(-oC:\Slim kit\app\undo\files\)", "--", R"(C:\r\rom.zip)"}));
    for (const bool stored : {true, false})
        EXPECT_EQ(archiverArguments(undoAddCommand("/r/my rom.zip_undo.zip", "/f.names", stored)),
                  (Arguments{"a", "-spd", stored ? "-mx=0" : "-mx=1", charset, "-i@/f.names", "--",
                             "/r/my rom.zip_undo.zip"}));
    Arguments add{"a", "-spd", "-scsUTF-8", "-i@/r/rom.zip_add_list_0"};
    if (!links.empty()) add.push_back(links);
    add.insert(add.end(), {"--", "/r/rom.zip"});
    EXPECT_EQ(archiverArguments(addListCommand("/r/rom.zip", "/r/rom.zip_add_list_0")), add);

    EXPECT_EQ(nameListPath(R"(C:\Slim kit\app\undo\files\)"),
              R"(C:\Slim kit\app\undo\files.names)");
    // Blanks and tabs at a name's ends stay inside its quotes; "-i!*" is a name like any other.
    EXPECT_EQ(nameListText({"system/app/A.apk", " lead\t", "-i!*"}),
              "\"system/app/A.apk\"\n\" lead\t\"\n\"-i!*\"\n");
}

TEST(TickedPaths, ModesPickFilesAndWidgetFilesInOrder) {
    EXPECT_EQ(tickedPaths(Ticked{}).paths, Paths{});
    CatalogueEntry noFiles = entry({});
    CatalogueEntry widgetOnlyFiles = entry({"system/app/W.apk"}, {});
    EXPECT_EQ(tickedPaths(Ticked{{&noFiles, RemovalMode::app},
                                 // its widgetFiles are empty
                                 {&widgetOnlyFiles, RemovalMode::widget}})
                  .paths,
              Paths{});

    CatalogueEntry app = entry({"system/app/Plain.apk"}, {"aw"});
    CatalogueEntry both = entry({"system/app/Clock.apk"}, {"system/app/ClockWidget.apk"});
    CatalogueEntry widget = entry({"system/app/Music.apk"}, {"system/app/MusicWidget.apk"});
    EXPECT_EQ(tickedPaths(Ticked{{&app, RemovalMode::app},
                                 {&both, RemovalMode::appWidget},
                                 {&widget, RemovalMode::widget}})
                  .paths,
              (Paths{"system/app/Plain.apk", "system/app/ClockWidget.apk", "system/app/Clock.apk",
                     "system/app/MusicWidget.apk"}));
}

TEST(TickedPaths, PathsThatCantNameAnEntryLiterallyAreSkippedWhole) {
    CatalogueEntry first = entry({"system/app/Shared.apk", " system/app/My App.apk "});
    first.lostFiles = {"system/app/??.apk"};
    CatalogueEntry second =
        entry({"system/app/Say \"hi\".apk", "-i!*", "system/app/Grüße.apk", "system/app/",
               "system/app/.", ".", "..", "x/..", "/", "//", "./system", "/system/app/A.apk",
               "system//app/A.apk", "system/app//", "system/app/Keep.apk/..", ""});
    const TickedPaths paths =
        tickedPaths(Ticked{{&first, RemovalMode::app}, {&second, RemovalMode::app}});
    EXPECT_EQ(paths.paths, (Paths{"system/app/Shared.apk", " system/app/My App.apk ", "-i!*",
                                  "system/app/Grüße.apk", "system/app/"}));
    EXPECT_EQ(paths.skipped,
              (Paths{"system/app/??.apk", "system/app/Say \"hi\".apk", "system/app/.", ".", "..",
                     "x/..", "/", "//", "./system", "/system/app/A.apk", "system//app/A.apk",
                     "system/app//", "system/app/Keep.apk/..", ""}));
}
