// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/program.h"

#include "platform/paths.h"
#include "support/fake_gui.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Records the order of the window's life and feeds a scripted list of events to the loop.
class ScriptedGui : public FakeGui {
public:
    std::vector<std::string> calls;
    std::vector<Event> script;
    std::size_t controlCount = 0;

    void buildWindow(const std::vector<ControlSpec>& controls,
                     const std::function<void()>& onListReady) override {
        controlCount = controls.size();
        calls.push_back("build");
        onListReady();
        calls.push_back("built with status " + std::to_string(statusTexts.size()));
    }
    void buildEntryMenu() override { calls.push_back("menu"); }
    void showWindow() override { calls.push_back("show"); }
    void runEventLoop(const std::function<void(const Event&)>& handler) override {
        calls.push_back("loop");
        for (const Event& event : script) handler(event);
    }
    void destroyWindow() override { calls.push_back("destroy"); }
};

void writeDefinition(const std::string& path, const std::string& name, int enabled) {
    writeFile(path, "[main]\nappname = " + name + "\nenabled = " + std::to_string(enabled) +
                        "\n[files]\n1 = system/app/" + name + ".apk\n");
}

TEST(RunProgram, FillsTheListWhileTheWindowIsBuiltThenShowsItAndRunsTheLoop) {
    TempFolder program;
    std::filesystem::create_directories(program / "app/remove");
    writeDefinition(program / "app/remove/zoo.ini", "Zoo", 1);
    writeDefinition(program / "app/remove/apps.ini", "apps", 0);
    ScriptedGui gui;
    gui.script = {{Event::Kind::control, static_cast<int>(ControlId::selectAllButton)},
                  {Event::Kind::close, 0}};

    EXPECT_EQ(runProgram(gui, programPaths(program.path() + "/")), 0);

    const std::vector<std::string> order{"build",  "built with status 1", "menu", "show", "loop",
                                         "destroy"};
    EXPECT_EQ(gui.calls, order);
    EXPECT_GT(gui.controlCount, 20u);
    EXPECT_EQ(gui.statusTexts, std::vector<std::string>{"Loaded 2 apps to remove"});
    ASSERT_EQ(gui.rowCount(), 2);
    EXPECT_EQ(gui.cellText(0, 0), "apps");
    EXPECT_EQ(gui.cellText(1, 0), "Zoo");
    // The loop's events reached the dispatch.
    EXPECT_EQ(gui.rowState(0), RowState::ticked);
}

TEST(RunProgram, EmptyDefinitionFolderGivesAnEmptyListAndACountOfZero) {
    TempFolder program;
    std::filesystem::create_directories(program / "app/remove");
    FakeGui gui;

    EXPECT_EQ(runProgram(gui, programPaths(program.path() + "/")), 0);

    EXPECT_EQ(gui.rowCount(), 0);
    EXPECT_EQ(gui.statusTexts, std::vector<std::string>{"Loaded 0 apps to remove"});
}

TEST(RunProgram, MissingDefinitionFolderLeavesListAndStatusTextEmpty) {
    TempFolder program;
    FakeGui gui;

    EXPECT_EQ(runProgram(gui, programPaths(program.path() + "/")), 0);

    EXPECT_EQ(gui.rowCount(), 0);
    EXPECT_TRUE(gui.statusTexts.empty());
}

}  // namespace
