#include "pipeline/add_apps.h"
#include "pipeline/removal.h"
#include "pipeline/undo_zip.h"

#include "catalogue/catalogue.h"
#include "platform/text.h"
#include "shell/window_run.h"
#include "support/fake_gui.h"

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

void addRow(FakeGui& gui, CatalogueEntry& item, const std::string& mode, bool ticked) {
    const int row = gui.rowCount();
    gui.insertRow(row, item.name + "\n" + mode);
    gui.setRowEntry(row, &item);
    gui.setRowState(row, ticked ? RowState::ticked : RowState::none);
}

// The paths of the ticked rows of the fake window, as they reach the plan.
std::vector<std::string> tickedPathsOf(const FakeGui& gui) {
    return tickedPaths(windowRequest(gui, "").ticked).paths;
}

TickedPaths tickedPaths(const FakeGui& gui) { return tickedPaths(windowRequest(gui, "").ticked); }

using Paths = std::vector<std::string>;

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

TEST(TickedPaths, NothingTickedGivesNoPath) {
    FakeGui gui;
    EXPECT_EQ(tickedPathsOf(gui), Paths{});
    CatalogueEntry unticked = entry({"system/app/A.apk"});
    CatalogueEntry noFiles = entry({});
    CatalogueEntry widgetOnlyFiles = entry({"system/app/W.apk"}, {});
    addRow(gui, unticked, "App", false);
    addRow(gui, noFiles, "App", true);
    addRow(gui, widgetOnlyFiles, "Widget", true);  // its widgetFiles are empty
    gui.setRowState(0, RowState::selected);        // selected is not ticked
    EXPECT_EQ(tickedPathsOf(gui), Paths{});
}

TEST(TickedPaths, ModesPickFilesAndWidgetFilesInOrder) {
    FakeGui gui;
    CatalogueEntry app = entry({"system/app/Plain.apk"}, {"aw"});
    CatalogueEntry both = entry({"system/app/Clock.apk"}, {"system/app/ClockWidget.apk"});
    CatalogueEntry widget = entry({"system/app/Music.apk"}, {"system/app/MusicWidget.apk"});
    CatalogueEntry odd = entry({"d"}, {"dw"});
    addRow(gui, app, "APP", true);
    addRow(gui, both, "aPP/wIDGET", true);
    addRow(gui, widget, "Widget", true);
    addRow(gui, odd, "Apps", true);  // an unknown mode takes the widget's files
    EXPECT_EQ(tickedPathsOf(gui),
              (Paths{"system/app/Plain.apk", "system/app/ClockWidget.apk", "system/app/Clock.apk",
                     "system/app/MusicWidget.apk", "dw"}));
}

TEST(TickedPaths, PathsThatCantNameAnEntryLiterallyAreSkippedWhole) {
    FakeGui gui;
    CatalogueEntry first = entry({"system/app/Shared.apk", " system/app/My App.apk "});
    first.lostFiles = {"system/app/??.apk"};
    CatalogueEntry second =
        entry({"system/app/Say \"hi\".apk", "-i!*", "system/app/Grüße.apk", "system/app/",
               "system/app/.", ".", "..", "x/..", "/", "//", "./system", "/system/app/A.apk",
               "system//app/A.apk", "system/app//", "system/app/Keep.apk/..", ""});
    CatalogueEntry ticklessRowEntry = entry({"system/app/Other.apk"});
    addRow(gui, first, "App", true);
    addRow(gui, ticklessRowEntry, "App", false);
    addRow(gui, second, "App", true);
    gui.rows.push_back({{"orphan", "App"}, RowState::ticked, nullptr});
    EXPECT_EQ(tickedPathsOf(gui), (Paths{"system/app/Shared.apk", " system/app/My App.apk ", "-i!*",
                                         "system/app/Grüße.apk", "system/app/"}));
    EXPECT_EQ(tickedPaths(gui).skipped,
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
