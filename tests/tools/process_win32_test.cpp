// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/process.h"

#include "tools/command_line.h"
#include "tools/fake_archiver_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <thread>

using ::testing::ElementsAre;

namespace {

constexpr unsigned readMode = hideWindow | keepHandle | captureOutput | captureErrors;

// Reads standard output the way the runner does, until the child is done.
std::vector<std::string> outputLines(ProcessHandle& process) {
    std::vector<std::string> lines;
    for (;;) {
        // Once the child has ended, all it wrote is in the pipe.
        const bool ended = hasEnded(process);
        if (availableOutput(process) > 0)
            lines.push_back(readOutputLine(process));
        else if (ended)
            return lines;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

TEST(ProcessWin32, OutputLinesArriveWithoutTheirLineEnds) {
    FakeArchiver fake;
    fake.script(
        {"out Scanning", "raw-out x\\ry\\nz\\r\\n", "sleep 50", "out   Everything is Ok  "});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.started);
    ASSERT_TRUE(started.handle);
    EXPECT_THAT(outputLines(*started.handle),
                ElementsAre("Scanning", "x", "y", "z", "  Everything is Ok  "));
}

TEST(ProcessWin32, ACarriageReturnAndLineFeedSplitAcrossReadsAreOneLineEnd) {
    FakeArchiver fake;
    fake.script({"raw-out first\\r", "sleep 200", "raw-out \\nEverything is Ok\\r", "sleep 200",
                 "raw-out \\n"});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    EXPECT_THAT(outputLines(*started.handle), ElementsAre("first", "Everything is Ok"));
}

TEST(ProcessWin32, ALastLineWithoutLineEndIsStillRead) {
    FakeArchiver fake;
    fake.script({"out one", "raw-out two"});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    EXPECT_THAT(outputLines(*started.handle), ElementsAre("one", "two"));
}

TEST(ProcessWin32, ErrorLinesAreTakenOnlyWhenComplete) {
    FakeArchiver fake;
    fake.script({"raw-err can't \\tfind", "touch half-sent", "sleep 300",
                 "raw-err  it\\r\\nsecond\\r\\n", "sleep 60000"});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    ProcessHandle& process = *started.handle;

    while (!fake.fileExists("half-sent")) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(readErrorLine(process), "") << "half a line is held back";
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (line.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        line = readErrorLine(process);
    }
    EXPECT_EQ(line, "can't \tfind it");
    EXPECT_EQ(readErrorLine(process), "second");
    EXPECT_EQ(readErrorLine(process), "");
    killProcess(process);
}

TEST(ProcessWin32, HeldErrorTextIsALineOnceTheChildHasEnded) {
    FakeArchiver fake;
    fake.script({"raw-err Access denied"});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    ProcessHandle& process = *started.handle;
    while (!hasEnded(process)) std::this_thread::sleep_for(std::chrono::milliseconds(5));

    std::string line;
    for (int pass = 0; pass < 3 && line.empty(); ++pass) line = readErrorLine(process);
    EXPECT_EQ(line, "Access denied");
    EXPECT_EQ(readErrorLine(process), "");
}

TEST(ProcessWin32, TheExitCodeIsKnownOnceTheChildHasEnded) {
    FakeArchiver fake;
    fake.script({"out done", "exit 3"});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    EXPECT_EQ(exitCode(*started.handle), 3);

    fake.script({"sleep 60000"});
    started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    killProcess(*started.handle);
    EXPECT_EQ(exitCode(*started.handle), -1);
}

TEST(ProcessWin32, TheStreamsEndOnlyWhenBothHaveEndedAndAllIsHandedOut) {
    FakeArchiver fake;
    fake.script({"out only line", "close-out", "sleep 500", "raw-err late\\r\\nlast words"});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    ProcessHandle& process = *started.handle;
    EXPECT_EQ(readOutputLine(process), "only line");
    EXPECT_EQ(readOutputLine(process), "");
    std::vector<std::string> lines;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!streamsEnded(process) && std::chrono::steady_clock::now() < deadline) {
        if (std::string line = readErrorLine(process); !line.empty()) lines.push_back(line);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_THAT(lines, ElementsAre("late", "last words"));
    EXPECT_EQ(exitCode(process), 0);
}

TEST(ProcessWin32, ErrorsAreTakenInWhileAnOutputLineIsAwaited) {
    FakeArchiver fake;
    fake.script({"raw-out begun", "flood-err 1048576", "raw-err \\r\\nERROR: after\\r\\n",
                 "out  and ended"});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    ProcessHandle& process = *started.handle;
    EXPECT_EQ(readOutputLine(process), "begun and ended");
    EXPECT_EQ(readErrorLine(process), std::string(4096, 'x'));
    EXPECT_EQ(readErrorLine(process), "ERROR: after");
    EXPECT_EQ(exitCode(process), 0);
}

// Each argument reaches the program whole, a folder's closing backslash too, behind its quoted
// path; no arguments add nothing, and a program already quoted is taken as it is.
TEST(ProcessWin32, TheArgumentsReachTheProgramWholeBehindItsQuotedPath) {
    FakeArchiver fake;
    fake.script({});
    const std::vector<std::string> arguments{"x",
                                             "-bd",
                                             "-y",
                                             "-oC:\\Slim kit\\app\\undo\\files\\",
                                             "C:\\roms\\my rom.zip",
                                             "system\\app\\A b.apk"};
    StartResult started = startProcess(fake.program(), arguments, "", readMode);
    ASSERT_TRUE(started.handle);
    exitCode(*started.handle);
    EXPECT_EQ(fake.commandLine(), "\"" + fake.program() + "\" " + windowsCommandLine(arguments));
    EXPECT_EQ(fake.arguments(), arguments);

    started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    exitCode(*started.handle);
    EXPECT_EQ(fake.commandLine(), "\"" + fake.program() + "\"");

    const std::string quoted = "\"" + fake.program() + "\"";
    started = startProcess(quoted, {"l"}, "", readMode);
    ASSERT_TRUE(started.handle);
    exitCode(*started.handle);
    EXPECT_EQ(fake.commandLine(), quoted + " l");
}

TEST(ProcessWin32, TheChildRunsInTheGivenFolderOrElseInOurs) {
    FakeArchiver fake;
    fake.script({});
    const std::string add = fake.sandbox().folder("add folder");
    StartResult started = startProcess(fake.program(), {}, add + "\\", readMode);
    ASSERT_TRUE(started.handle);
    exitCode(*started.handle);
    EXPECT_EQ(fake.workingFolder(), add);

    char ours[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, ours);
    started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    exitCode(*started.handle);
    EXPECT_EQ(fake.workingFolder(), ours);
}

TEST(ProcessWin32, AFolderThatCantBeEnteredRunsNothing) {
    FakeArchiver fake;
    fake.script({});
    const std::string file = fake.sandbox().write("a file", "not a folder");
    const std::string gone = fake.sandbox().root() + "gone\\";
    for (const std::string& folder : {file, file + "\\", gone}) {
        for (const unsigned options : {readMode, unsigned{hideWindow}}) {
            SCOPED_TRACE(folder + " with options " + std::to_string(options));
            StartResult started = startProcess(fake.program(), {}, folder, options);
            EXPECT_FALSE(started.started);
            EXPECT_EQ(started.failure, StartFailure::folderNotEntered);
            EXPECT_NE(started.reason, "");
            EXPECT_FALSE(started.handle);
        }
    }
    EXPECT_FALSE(fake.ran());
}

TEST(ProcessWin32, KillEndsTheChildAtOnce) {
    FakeArchiver fake;
    // The child would go on for a minute: returning at all shows it was ended.
    fake.script({"out working", "sleep 60000", "touch too-late"});
    StartResult started = startProcess(fake.program(), {}, "", readMode);
    ASSERT_TRUE(started.handle);
    ProcessHandle& process = *started.handle;
    EXPECT_EQ(readOutputLine(process), "working");

    killProcess(process);
    outputLines(process);  // the output ends with the child
    started.handle.reset();
    EXPECT_FALSE(fake.fileExists("too-late"));
}

TEST(ProcessWin32, AProgramThatCantStartGivesNothing) {
    TempFolder sandbox;
    const std::string missing = sandbox.root() + "bin\\win\\7z.exe";
    // Without captured streams the shell would be asked next, and it shows its own message.
    const StartResult started = startProcess(missing, {"l"}, "", readMode);
    EXPECT_FALSE(started.started);
    EXPECT_EQ(started.failure, StartFailure::programNotFound);
}

TEST(ProcessWin32, WhatIsNoProgramGoesToTheShellsDefaultHandler) {
    TempFolder sandbox;
    const std::string definition = sandbox.write("Example.ini", "[main]\r\nappname = Example\r\n");
    StartResult started = startProcess(definition, {}, "", keepHandle);
    ASSERT_TRUE(started.started);
    ASSERT_TRUE(started.handle);
    EXPECT_EQ(availableOutput(*started.handle), 0u) << "no pipes through the shell";
    EXPECT_EQ(readErrorLine(*started.handle), "");
    killProcess(*started.handle);
}
