// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/process.h"

#include "tools/error_lines.h"
#include "tools/tool_sandbox.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <csignal>
#include <filesystem>
#include <utility>

namespace {

constexpr unsigned readMode = hideWindow | keepHandle | captureOutput | captureErrors;

class ProcessTest : public testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(waitUntil([] { return childProcesses().empty(); }));
    }
    ToolSandbox sandbox;
};

TEST_F(ProcessTest, OutputLinesKeepCarriageReturnsAndTheLastLineNeedsNoFeed) {
    sandbox.installFake("tool", {"put-out one\\r\\ntwo\\n\\nthree"});
    StartResult start = startProcess("tool", {}, "", readMode);
    ASSERT_TRUE(start.started);
    ASSERT_TRUE(start.handle);
    ProcessHandle& process = *start.handle;
    EXPECT_EQ(readOutputLine(process), "one\r");
    EXPECT_EQ(readOutputLine(process), "two");
    EXPECT_EQ(readOutputLine(process), "");
    EXPECT_EQ(readOutputLine(process), "three");
    EXPECT_EQ(exitCode(process), 0);
    EXPECT_EQ(availableOutput(process), 0u);
}

TEST_F(ProcessTest, ErrorLinesAreHandedOutOnlyWhenComplete) {
    sandbox.installFake("tool",
                        {"put-err first\\nsec", "touch " + sandbox.folder + "half", "sleep 30000"});
    StartResult start = startProcess("tool", {}, "", readMode);
    ASSERT_TRUE(start.handle);
    ProcessHandle& process = *start.handle;
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(sandbox.folder + "half"); }));
    EXPECT_EQ(readErrorLine(process), "first");
    EXPECT_EQ(readErrorLine(process), "");  // "sec" is held back
    EXPECT_FALSE(hasEnded(process));
    killProcess(process);
    EXPECT_TRUE(childProcesses().empty());
}

TEST_F(ProcessTest, HeldErrorRemainderJoinsTheNextPiece) {
    sandbox.installFake("tool", {"put-err par", "sleep 200", "put-err tial\\nrest", "sleep 30000"});
    StartResult start = startProcess("tool", {}, "", readMode);
    ASSERT_TRUE(start.handle);
    ProcessHandle& process = *start.handle;
    std::string line;
    EXPECT_TRUE(waitUntil([&] { return !(line = readErrorLine(process)).empty(); }));
    EXPECT_EQ(line, "partial");
    killProcess(process);
}

TEST_F(ProcessTest, ExitCodeIsTheStatusOrTheSignalAbove128) {
    sandbox.installFake("tool", {"out done", "exit 3"});
    StartResult start = startProcess("tool", {}, "", readMode);
    ASSERT_TRUE(start.handle);
    EXPECT_EQ(exitCode(*start.handle), 3);

    sandbox.installFake("tool", {"sleep 60000"});
    start = startProcess("tool", {}, "", readMode);
    ASSERT_TRUE(start.handle);
    killProcess(*start.handle);
    EXPECT_EQ(exitCode(*start.handle), 128 + SIGKILL);

    sandbox.installFake("tool", {});
    start = startProcess("tool", {}, "", hideWindow | keepHandle);
    ASSERT_TRUE(start.handle);
    EXPECT_EQ(exitCode(*start.handle), 0);
}

TEST_F(ProcessTest, StreamsEndOnlyWhenBothHaveEndedAndAllIsHandedOut) {
    const std::string go = sandbox.folder + "go";
    sandbox.installFake("tool", {"out only line", "close-out", "wait-for " + go,
                                 "put-err late\\nlast words", "sleep 100"});
    StartResult start = startProcess("tool", {}, "", readMode);
    ASSERT_TRUE(start.handle);
    ProcessHandle& process = *start.handle;
    EXPECT_EQ(readOutputLine(process), "only line");
    EXPECT_EQ(readOutputLine(process), "");
    EXPECT_FALSE(streamsEnded(process)) << "the error stream is still open";
    writeFile(go, "");
    std::vector<std::string> lines;
    ASSERT_TRUE(waitUntil([&] {
        if (std::string line = readErrorLine(process); !line.empty()) lines.push_back(line);
        return streamsEnded(process);
    }));
    // Text after the last line end is a line once the stream has ended.
    EXPECT_EQ(lines, (std::vector<std::string>{"late", "last words"}));
    EXPECT_EQ(exitCode(process), 0);
}

TEST_F(ProcessTest, ErrorsAreTakenInWhileAnOutputLineIsAwaited) {
    // Far more than a pipe holds goes to the error stream before the output line is ended.
    sandbox.installFake("tool", {"put-out begun", "flood-err 1048576", "put-err \\nERROR: after",
                                 "out  and ended"});
    StartResult start = startProcess("tool", {}, "", readMode);
    ASSERT_TRUE(start.handle);
    ProcessHandle& process = *start.handle;
    EXPECT_EQ(readOutputLine(process), "begun and ended");
    EXPECT_EQ(readErrorLine(process), std::string(ErrorLines::longestLine, 'x'));
    std::string line;
    EXPECT_TRUE(waitUntil([&] { return !(line = readErrorLine(process)).empty(); }));
    EXPECT_EQ(line, "ERROR: after");
    EXPECT_EQ(exitCode(process), 0);
}

TEST_F(ProcessTest, ReleasedRunningChildIsCollected) {
    const std::string go = sandbox.folder + "go", marker = sandbox.folder + "done";
    sandbox.installFake("tool", {"wait-for " + go, "touch " + marker});
    {
        StartResult start = startProcess("tool", {}, "", readMode);
        ASSERT_TRUE(start.handle);
        EXPECT_FALSE(hasEnded(*start.handle));
    }
    EXPECT_FALSE(childProcesses().empty());  // released while it still runs
    writeFile(go, "");
    EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(marker); }));
    EXPECT_TRUE(waitUntil([] { return childProcesses().empty(); }));
}

TEST_F(ProcessTest, MissingProgramStartsNothing) {
    StartResult start = startProcess("tool", {}, "", readMode);
    EXPECT_FALSE(start.started);
    EXPECT_EQ(start.failure, StartFailure::programNotFound);
    EXPECT_FALSE(start.handle);
}

TEST_F(ProcessTest, FolderThatCantBeEnteredRunsNothing) {
    sandbox.installFake("tool", {"out ran"});
    const std::string file = sandbox.folder + "a file";
    writeFile(file, "not a folder");
    const std::string gone = sandbox.folder + "gone/";
    std::filesystem::create_directory(gone);
    std::filesystem::remove(gone);
    for (const auto& [folder, reason] :
         {std::pair{file, "Not a directory"}, std::pair{gone, "No such file or directory"}}) {
        for (const unsigned options : {readMode, unsigned{hideWindow}}) {
            SCOPED_TRACE(folder + " with options " + std::to_string(options));
            StartResult start = startProcess("tool", {}, folder, options);
            EXPECT_FALSE(start.started);
            EXPECT_EQ(start.failure, StartFailure::folderNotEntered);
            EXPECT_EQ(start.reason, reason);
            EXPECT_FALSE(start.handle);
            EXPECT_TRUE(childProcesses().empty()) << "the child that gave up is collected";
        }
    }
    EXPECT_FALSE(sandbox.ran("tool"));
}

TEST_F(ProcessTest, ProgramThatCantBeExecutedIsReportedAsSuch) {
    writeFile(sandbox.bin + "tool", "#!/no/such/interpreter\n");
    chmod((sandbox.bin + "tool").c_str(), 0755);
    StartResult start = startProcess("tool", {}, sandbox.folder, readMode);
    EXPECT_FALSE(start.started);
    EXPECT_EQ(start.failure, StartFailure::programNotRun);
    EXPECT_EQ(start.reason, "No such file or directory");
    EXPECT_FALSE(start.handle);
    EXPECT_TRUE(childProcesses().empty());
}

TEST_F(ProcessTest, StartedWithoutHandleOrWaitIsStillCollected) {
    sandbox.installFake("tool", {"sleep 100"});
    const StartResult start = startProcess("tool", {}, "", hideWindow);
    EXPECT_TRUE(start.started);
    EXPECT_FALSE(start.handle);
    EXPECT_TRUE(waitUntil([&] { return sandbox.ran("tool"); }));
}

}  // namespace
