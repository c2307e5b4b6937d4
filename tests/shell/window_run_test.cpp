// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/window_run.h"

#include "catalogue/catalogue.h"
#include "platform/paths.h"
#include "support/archiver_wrapper.h"
#include "support/fake_gui.h"
#include "support/temp_folder.h"
#include "support/zip_tools.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>

// What the window decides about a run: the request its rows and boxes make, what its status
// line shows, and how closing it or a stop signal ends a run. What a run does is the pipeline's.

namespace {

namespace fs = std::filesystem;
using Messages = std::vector<FakeGui::Message>;
using Texts = std::vector<std::string>;

TEST(WindowRequest, TakesTheTickedRowsWithTheModeTheirSecondColumnShows) {
    FakeGui gui;
    CatalogueEntry entries[6];
    const struct {
        const char* mode;
        int state;
    } rows[] = {
        {"App", RowState::ticked},
        {"App", RowState::none},
        {"App", RowState::selected},  // selected is not ticked
        {"aPP/wIDGET", RowState::ticked},
        {"Apps", RowState::ticked},  // a text that names no mode takes the widget's files
        {"App", RowState::ticked},   // a row without an entry
    };
    for (int row = 0; row < 6; ++row) {
        gui.insertRow(row, "entry\n" + std::string(rows[row].mode));
        if (row != 5) gui.setRowEntry(row, &entries[row]);
        gui.setRowState(row, rows[row].state);
    }
    gui.checks = {{ControlId::backupCheck, false},
                  {ControlId::recoveryZipCheck, true},
                  {ControlId::enableAddingCheck, false}};

    const CustomizeRequest request = windowRequest(gui, "/roms/rom.zip");

    EXPECT_EQ(request.romPath, "/roms/rom.zip");
    EXPECT_FALSE(request.options.backup);
    EXPECT_TRUE(request.options.undoZip);
    EXPECT_FALSE(request.options.addApps);
    ASSERT_EQ(request.ticked.size(), 3u);
    EXPECT_EQ(request.ticked[0].entry, &entries[0]);
    EXPECT_EQ(request.ticked[0].mode, RemovalMode::app);
    EXPECT_EQ(request.ticked[1].entry, &entries[3]);
    EXPECT_EQ(request.ticked[1].mode, RemovalMode::appWidget);
    EXPECT_EQ(request.ticked[2].entry, &entries[4]);
    EXPECT_EQ(request.ticked[2].mode, RemovalMode::widget);
}

// A ROM of two apps with one ticked, and a 7z that hangs in the removal until it is killed.
class WindowRun : public testing::Test {
protected:
    TempFolder temp;
    const ProgramPaths paths = programPaths(temp.root() + "program/");
    const std::string romPath = temp / "rom.zip";
    const HangingArchiver archiver{temp / "bin", romPath};
    FakeGui gui;
    CatalogueEntry browser;
    std::string originalRom;

    void SetUp() override {
        std::filesystem::create_directories(paths.extractionFolder);
        writeFile(temp / "rom/system/app/Browser.apk", "browser");
        writeFile(temp / "rom/system/app/Clock.apk", "clock");
        ASSERT_TRUE(makeZip(temp / "rom", romPath));
        originalRom = readFile(romPath);
        browser.name = "Browser";
        browser.files = {"system/app/Browser.apk"};
        gui.insertRow(0, "Browser\nApp");
        gui.setRowEntry(0, &browser);
        gui.setRowState(0, RowState::ticked);
        gui.checks[ControlId::backupCheck] = false;
        gui.checks[ControlId::enableAddingCheck] = false;
        archiver.hangIn("d");
    }
};

// The status line shows 7z's percentage after the step; closing the window asks whether to stop,
// and only a "Yes" stops the run.
TEST_F(WindowRun, ClosingTheWindowAsksAndOnlyAYesStops) {
    gui.closeAsked = [&](int) { return !gui.percentTexts.empty() && archiver.justHung(); };
    gui.questionAnswers = {true};

    customizeFromWindow(gui, paths, romPath);

    EXPECT_EQ(gui.percentTexts, Texts{"Removing files ... 42%"});
    ASSERT_EQ(gui.questions.size(), 1u);
    EXPECT_EQ(gui.questions[0].title, "Stop");
    ASSERT_EQ(gui.messages.size(), 1u);
    EXPECT_EQ(gui.messages[0].title, "Warning");
    EXPECT_NE(gui.messages[0].text.find("The run was stopped"), std::string::npos);
    EXPECT_EQ(gui.statusTexts.back(), "Ready");
    EXPECT_TRUE(readFile(romPath) == originalRom) << "the ROM zip changed";

    // Answered "No", the run goes on to its end.
    archiver.hangIn("");
    gui.messages.clear();
    gui.questions.clear();
    gui.pumps = 0;
    gui.closeAsked = [](int pump) { return pump == 1; };
    customizeFromWindow(gui, paths, romPath);
    EXPECT_EQ(gui.questions.size(), 1u);
    EXPECT_EQ(gui.messages, (Messages{{"Finish", "Customzation done ;)"}}));
    EXPECT_EQ(zipEntries(romPath), std::set<std::string>{"system/app/Clock.apk"});
}

// A stop signal stops the run without asking, and the program then ends by it.
TEST_F(WindowRun, AStopSignalEndsTheRunAndThenTheProgram) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        gui.closeAsked = [&](int) {
            if (archiver.justHung()) kill(getpid(), SIGTERM);
            return false;
        };
        customizeFromWindow(gui, paths, romPath);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(readFile(romPath) == originalRom) << "the ROM zip changed";
    EXPECT_NE(kill(archiver.pid(), 0), 0) << "7z outlived the program";
}

// A run refused before its first step leaves "Ready" on the status line, instead of what the
// line showed before (such as the number of apps loaded).
TEST_F(WindowRun, ARefusedRunLeavesTheStatusReady) {
    gui.statusTexts = {"Loaded 2 apps to remove"};
    customizeFromWindow(gui, paths, temp / "missing.zip");
    EXPECT_EQ(gui.messages, (Messages{{"Error", "Can't access " + temp / "missing.zip"}}));
    EXPECT_EQ(gui.statusTexts, (Texts{"Loaded 2 apps to remove", "Ready"}));
}

}  // namespace
