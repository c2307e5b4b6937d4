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

TEST(RemovalCommand, NamesTheEntriesThroughAListFileAndNeverAsSwitches) {
#ifdef _WIN32
    const std::string charset = archiverNamesAreUtf8() ? "-scsUTF-8" : "-scsWIN";
#else
    const std::string charset = "-scsUTF-8";
#endif
    EXPECT_EQ(removalCommand("/r/old d -bd -y.zip", "/p/files.names"),
              "d -bd -y -spd " + charset + R"( -i@"/p/files.names" -- "/r/old d -bd -y.zip")");
    EXPECT_EQ(extractCommand(R"(C:\r\rom.zip)", R"(C:\Slim kit\app\undo\files\)",
                             R"(C:\Slim kit\app\undo\files.names)"),
              "x -bd -y -spd " + charset +
                  R"( -o"C:\Slim kit\app\undo\files\" -i@"C:\Slim kit\app\undo\files.names" )"
                  R"(-- "C:\r\rom.zip")");
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

TEST(AddCommand, TakesTheListedNamesLiterally) {
#ifdef _WIN32
    EXPECT_EQ(undoAddCommand(R"(C:\r\my rom.zip_undo.zip)", R"(C:\f.names)", true),
              R"(a -bd -y -spd -mx=0 -scsWIN -i@"C:\f.names" -- "C:\r\my rom.zip_undo.zip")");
    EXPECT_EQ(undoAddCommand(R"(C:\r\my rom.zip_undo.zip)", R"(C:\f.names)", false),
              R"(a -bd -y -spd -mx=1 -scsWIN -i@"C:\f.names" -- "C:\r\my rom.zip_undo.zip")");
    EXPECT_EQ(addListCommand(R"(C:\r\rom.zip)", R"(C:\r\rom.zip_add_list_0)"),
              R"(a -bd -y -spd -scsUTF-8 -i@"C:\r\rom.zip_add_list_0" -- "C:\r\rom.zip")");
#else
    EXPECT_EQ(undoAddCommand("/r/my rom.zip_undo.zip", "/f.names", true),
              R"(a -bd -y -spd -mx=0 -scsUTF-8 -i@"/f.names" -- "/r/my rom.zip_undo.zip")");
    EXPECT_EQ(undoAddCommand("/r/my rom.zip_undo.zip", "/f.names", false),
              R"(a -bd -y -spd -mx=1 -scsUTF-8 -i@"/f.names" -- "/r/my rom.zip_undo.zip")");
    EXPECT_EQ(addListCommand("/r/rom.zip", "/r/rom.zip_add_list_0"),
              R"(a -bd -y -spd -l -scsUTF-8 -i@"/r/rom.zip_add_list_0" -- "/r/rom.zip")");
#endif
}
