// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/command_line.h"

#include "tools/tool_sandbox.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// 7z.exe splits its one command line again at blanks, tabs and line feeds outside double quotes,
// which it drops wherever they stand and which nothing escapes.
TEST(WindowsCommandLine, QuotesWhatWouldOtherwiseSplit) {
    EXPECT_EQ(windowsCommandLine({}), "");
    EXPECT_EQ(windowsCommandLine({"d", "-spd", "--", R"(C:\r\rom.zip)"}),
              R"(d -spd -- C:\r\rom.zip)");
    EXPECT_EQ(windowsCommandLine({"x", R"(-oC:\Slim kit\files\)", "", "tab\there", "line\nend"}),
              "x \"-oC:\\Slim kit\\files\\\" \"\" \"tab\there\" \"line\nend\"");
}

class FindProgramTest : public testing::Test {
protected:
    void makeProgram(const std::string& path, const std::string& content = "#!/bin/sh\n",
                     mode_t mode = 0755) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeFile(path, content);
        chmod(path.c_str(), mode);
    }
    ToolSandbox sandbox;
};

TEST_F(FindProgramTest, TakesTheFirstRunnableFileOnThePath) {
    const std::string folder = sandbox.folder;
    std::filesystem::create_directories(folder + "a/tool");  // a folder is skipped
    makeProgram(folder + "b/tool", "");                      // an empty file is skipped
    makeProgram(folder + "c/tool", "#!/bin/sh\n", 0644);     // not executable
    makeProgram(folder + "d/tool");
    makeProgram(folder + "e/tool");
    setenv("PATH",
           (":" + folder + "a:" + folder + "b/::" + folder + "c:" + folder + "d/:" + folder + "e")
               .c_str(),
           1);
    EXPECT_EQ(findProgram("tool"), folder + "d/tool");
    EXPECT_EQ(findProgram("missing"), "");
    EXPECT_EQ(findProgram(""), "");
}

TEST_F(FindProgramTest, NameWithSlashIsTakenAsItIs) {
    makeProgram(sandbox.folder + "x/tool");
    makeProgram(sandbox.folder + "x/plain", "data", 0644);
    EXPECT_EQ(findProgram(sandbox.folder + "x/tool"), sandbox.folder + "x/tool");
    EXPECT_EQ(findProgram(sandbox.folder + "x/plain"), "");
    EXPECT_EQ(findProgram(sandbox.folder + "x"), "");
}

TEST_F(FindProgramTest, UnsetPathFindsNothing) {
    makeProgram(sandbox.bin + "tool");
    EXPECT_EQ(findProgram("tool"), sandbox.bin + "tool");
    unsetenv("PATH");
    EXPECT_EQ(findProgram("tool"), "");
}

}  // namespace
