#include "pipeline/add_apps.h"
#include "pipeline/removal.h"
#include "pipeline/undo_zip.h"

#include "catalogue/catalogue.h"
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

// The commands for the ticked rows of the fake window.
std::string removalCommand(const FakeGui& gui, const std::string& romPath) {
    return removalCommand(windowRequest(gui, romPath).ticked, romPath);
}

TickedPaths tickedPaths(const FakeGui& gui) { return tickedPaths(windowRequest(gui, "").ticked); }

}  // namespace

TEST(RemovalCommand, OneTickedEntryWithTwoPaths) {
    FakeGui gui;
    CatalogueEntry apps = entry({"system/app/A.apk", "system/app/B.apk"});
    addRow(gui, apps, "App", true);
    EXPECT_EQ(removalCommand(gui, "/r/rom.zip"),
              R"(d -bd -y -spd -- "/r/rom.zip" "system/app/A.apk" "system/app/B.apk")");
}

TEST(RemovalCommand, NothingToRemoveGivesEmptyText) {
    FakeGui gui;
    EXPECT_EQ(removalCommand(gui, "/r/rom.zip"), "");

    CatalogueEntry unticked = entry({"system/app/A.apk"});
    CatalogueEntry noFiles = entry({});
    CatalogueEntry widgetOnlyFiles = entry({"system/app/W.apk"}, {});
    addRow(gui, unticked, "App", false);
    addRow(gui, noFiles, "App", true);
    addRow(gui, widgetOnlyFiles, "Widget", true);  // its widgetFiles are empty
    gui.setRowState(0, RowState::selected);        // selected is not ticked
    EXPECT_EQ(removalCommand(gui, "/r/rom.zip"), "");
}

TEST(RemovalCommand, ModesPickFilesAndWidgetFilesInOrder) {
    FakeGui gui;
    CatalogueEntry app = entry({"system/app/Plain.apk"});
    CatalogueEntry both = entry({"system/app/Clock.apk"}, {"system/app/ClockWidget.apk"});
    CatalogueEntry widget = entry({"system/app/Music.apk"}, {"system/app/MusicWidget.apk"});
    addRow(gui, app, "App", true);
    addRow(gui, both, "App/Widget", true);
    addRow(gui, widget, "Widget", true);
    EXPECT_EQ(
        removalCommand(gui, "/r/rom.zip"),
        R"(d -bd -y -spd -- "/r/rom.zip" "system/app/Plain.apk" "system/app/ClockWidget.apk" )"
        R"("system/app/Clock.apk" "system/app/MusicWidget.apk")");
}

TEST(RemovalCommand, ModesIgnoreCaseAndUnknownModeTakesWidgetFiles) {
    FakeGui gui;
    CatalogueEntry app = entry({"a"}, {"aw"});
    CatalogueEntry both = entry({"b"}, {"bw"});
    CatalogueEntry widget = entry({"c"}, {"cw"});
    CatalogueEntry odd = entry({"d"}, {"dw"});
    addRow(gui, app, "APP", true);
    addRow(gui, both, "aPP/wIDGET", true);
    addRow(gui, widget, "WIDGET", true);
    addRow(gui, odd, "Apps", true);
    EXPECT_EQ(removalCommand(gui, "/r/rom.zip"),
              R"(d -bd -y -spd -- "/r/rom.zip" "a" "bw" "b" "cw" "dw")");
}

TEST(RemovalCommand, PathsAreCopiedUnchangedOrSkippedWhole) {
    FakeGui gui;
    CatalogueEntry first = entry({"system/app/Shared.apk", " system/app/My App.apk "});
    first.lostFiles = {"system/app/??.apk"};
    CatalogueEntry second = entry(
        {"system/app/Shared.apk", "system/app/Say \"hi\".apk", "-i!*", "system/app/Grüße.apk"});
    CatalogueEntry ticklessRowEntry = entry({"system/app/Other.apk"});
    addRow(gui, first, "App", true);
    addRow(gui, ticklessRowEntry, "App", false);
    addRow(gui, second, "App", true);
    gui.rows.push_back({{"orphan", "App"}, RowState::ticked, nullptr});
    EXPECT_EQ(
        removalCommand(gui, "/my roms/röm.zip"),
        R"(d -bd -y -spd -- "/my roms/röm.zip" "system/app/Shared.apk" " system/app/My App.apk " )"
        R"("system/app/Shared.apk" "-i!*" "system/app/Grüße.apk")");
    EXPECT_EQ(tickedPaths(gui).skipped,
              (std::vector<std::string>{"system/app/??.apk", "system/app/Say \"hi\".apk"}));
}

TEST(ExtractCommand, RewritesOnlyTheLeadingDeleteCommand) {
    EXPECT_EQ(
        extractCommand(R"(d -bd -y -spd -- "/r/rom.zip" "system/app/A.apk" "system/app/B.apk")",
                       "/p/app/undo/files/"),
        R"(x -bd -y -o"/p/app/undo/files/" -spd -- "/r/rom.zip" "system/app/A.apk" )"
        R"("system/app/B.apk")");
    EXPECT_EQ(extractCommand(R"(d -bd -y -spd -- "/r/old d -bd -y.zip" "a")", "/p/files/"),
              R"(x -bd -y -o"/p/files/" -spd -- "/r/old d -bd -y.zip" "a")");
    EXPECT_EQ(extractCommand("", "/p/app/undo/files/"), "");
}

TEST(AddCommand, TakesEveryName) {
    EXPECT_EQ(addCommand("/r/rom.zip"), R"(a -bd -y -r -- "/r/rom.zip" *)");
    EXPECT_EQ(addCommand(R"(C:\r\my rom.zip_undo.zip)"),
              R"(a -bd -y -r -- "C:\r\my rom.zip_undo.zip" *)");
#ifdef _WIN32
    EXPECT_EQ(addListCommand(R"(C:\r\rom.zip)", R"(C:\r\rom.zip_add_list_0)"),
              R"(a -bd -y -spd -scsUTF-8 -i@"C:\r\rom.zip_add_list_0" -- "C:\r\rom.zip")");
#else
    EXPECT_EQ(addListCommand("/r/rom.zip", "/r/rom.zip_add_list_0"),
              R"(a -bd -y -spd -l -scsUTF-8 -i@"/r/rom.zip_add_list_0" -- "/r/rom.zip")");
#endif
}

TEST(ExtractCommand, TakesTheWindowsExtractionFolderAsItIs) {
    EXPECT_EQ(
        extractCommand(R"(d -bd -y -spd -- "C:\r\rom.zip" "system\app\A.apk")",
                       R"(C:\Slim kit\app\undo\files\)"),
        R"(x -bd -y -o"C:\Slim kit\app\undo\files\" -spd -- "C:\r\rom.zip" "system\app\A.apk")");
}

TEST(RemovalTakes, NamesOneEntryOrOneFolderLiterally) {
    const struct {
        const char* path;
        const char* entry;
        bool taken;
    } cases[] = {
        {"system/app/Music.apk", "system/app/Music.apk", true},
        {"system/app", "system/app/Music.apk", true},
        {"system/app/", "system/app/sub/Music.apk", true},
        {"system/app/Music", "system/app/Music.apk", false},
        {"system/app/Music.apk/", "system/app/Music.apk", false},
        {"*", "build.prop", false},
        {"*", "*", true},
        {"system/app/?????.apk", "system/app/Music.apk", false},
        {"system/app/?????.apk", "system/app/?????.apk", true},
        {"", "build.prop", false},
#ifdef _WIN32
        {"SYSTEM\\app\\music.apk", "system\\app\\Music.apk", true},
        {"system/APP", "system\\app\\Music.apk", true},
#else
        {"system/app/music.apk", "system/app/Music.apk", false},
        {"system\\app\\Music.apk", "system/app/Music.apk", false},
#endif
    };
    for (const auto& test : cases)
        EXPECT_EQ(removalTakes(test.path, test.entry), test.taken)
            << test.path << " / " << test.entry;
}
