// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/archiver.h"

#include "support/faults.h"
#include "support/shown_archiver.h"
#include "support/zip_tools.h"
#include "tools/archive_listing.h"
#include "tools/command_line.h"
#include "tools/process.h"
#include "tools/tool_sandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>
#include <utility>

namespace {

using Message = FakeGui::Message;

const std::string errorIntro = "There was an error while zip - processing: \r";
const Message doubt{"Warning", "Maybe there was an error with the zip - processing, please check"};

std::vector<Message> warning(const std::string& text) { return {{"Warning", text}}; }

// Stands in for the program's own standard input while it lives: a pipe holding `typed` that
// never ends, like a terminal nobody types into any more.
class ProgramInput {
public:
    explicit ProgramInput(const std::string& typed) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return;
        saved_ = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        write_ = ends[1];
        if (write(write_, typed.data(), typed.size()) < 0) ADD_FAILURE() << "input not written";
    }
    ~ProgramInput() {
        end();
        if (saved_ >= 0) {
            dup2(saved_, STDIN_FILENO);
            close(saved_);
        } else {
            close(STDIN_FILENO);
        }
    }
    ProgramInput(const ProgramInput&) = delete;
    ProgramInput& operator=(const ProgramInput&) = delete;

    // The input ends: whoever reads it gets its end.
    void end() {
        if (write_ >= 0) close(write_);
        write_ = -1;
    }

private:
    int saved_ = -1;
    int write_ = -1;
};

class ArchiverTest : public testing::Test {
protected:
    ArchiverOutcome run(const ArchiverCommand& command = {"a", {}, "rom.zip", {"*"}},
                        const std::string& workingDirectory = "") {
        return runArchiver(gui, "7z", command, workingDirectory);
    }
    void TearDown() override { EXPECT_TRUE(childProcesses().empty()); }

    ToolSandbox sandbox;
    FakeGui gui;
};

// What 7z writes, and how it ends, decide the step's outcome and what the user is shown.
TEST_F(ArchiverTest, ScriptedOutputGivesItsOutcomeAndWarning) {
    using Outcome = ArchiverOutcome;
    using Messages = std::vector<Message>;
    const auto failed = [](const std::string& text) { return warning(errorIntro + text); };
    // Were the runner to wait for 7z, or not kill it after an error line, this would appear.
    const std::string finished = sandbox.folder + "finished";
    const struct {
        const char* what;
        std::vector<std::string> script;
        Outcome outcome;
        Messages messages;
    } cases[] = {
        // The success line in any case, with blanks around it, passes silently.
        {"success line",
         {"out 7-Zip (a) 16.02", "out ", "out Everything is Ok"},
         Outcome::succeeded,
         {}},
        {"in capitals", {"out EVERYTHING IS OK"}, Outcome::succeeded, {}},
        {"with blanks", {"out   everything is ok   "}, Outcome::succeeded, {}},
        {"in mixed case", {"out eVeRyThInG iS oK "}, Outcome::succeeded, {}},
        {"empty error lines",
         {"err ", "sleep 20", "err ", "out Everything is Ok"},
         Outcome::succeeded,
         {}},
        {"long output, the last line without a line feed",
         {"repeat 20000 Compressing  system/app/Some App.apk", "sleep 50",
          "repeat 20000 Compressing  system/app/Other.apk", "put-out Everything is Ok"},
         Outcome::succeeded,
         {}},
        // A last line other than the success line leaves a doubt.
        {"an empty line after it", {"out Everything is Ok", "out "}, Outcome::doubtful, {doubt}},
        {"any line after it", {"out Everything is Ok", "out Done"}, Outcome::doubtful, {doubt}},
        {"a full stop", {"out Everything is Ok."}, Outcome::doubtful, {doubt}},
        {"a tab is not a blank", {"out \tEverything is Ok"}, Outcome::doubtful, {doubt}},
        {"the words are not enough", {"out Everything is Ok, but"}, Outcome::doubtful, {doubt}},
        {"no output", {}, Outcome::doubtful, {doubt}},
        // An exit code other than 0 fails the step (below, even after the success line); not
        // the doubt either, as the code says more than a missing success line.
        {"code 2 alone", {"exit 2"}, Outcome::failed, failed("7z ended with code 2")},
        // An error line is seen after the output has ended, and just before 7z ends with 0.
        {"error line after the output",
         {"out Everything is Ok", "close-out", "sleep 200", "err ERROR: written last"},
         Outcome::failed,
         failed("ERROR: written last")},
        {"error line before the end",
         {"out Everything is Ok", "err ERROR: just before the end"},
         Outcome::failed,
         failed("ERROR: just before the end")},
        {"error without a line end",
         {"out Everything is Ok", "close-out", "sleep 200", "put-err ERROR: no line end"},
         Outcome::failed,
         failed("ERROR: no line end")},
        // The first few error lines, in one write as 7z writes them: all there when it is killed.
        {"the first few lines",
         {"put-err \\nWARNING: errno=13 : Permission "
          "denied\\nsystem/app/A.apk\\n\\ntwo\\nthree\\nfour\\nfive\\nsix\\n",
          "sleep 60000", "touch " + finished},
         Outcome::failed,
         failed("WARNING: errno=13 : Permission denied\rsystem/app/A.apk\rtwo\rthree\rfour")},
        // As 7z reports a full disk: the reason comes a little after the first line.
        {"the reason after the first line",
         {"err ERROR: rom.zip.tmp", "sleep 100", "err System ERROR:", "sleep 100",
          "err errno=28 : No space left on device", "exit 2"},
         Outcome::failed,
         failed("ERROR: rom.zip.tmp\rSystem ERROR:\rerrno=28 : No space left on device")},
        // An error line kills 7z after a short grace, and is shown as it was written.
        {"an error line kills 7z",
         {"out Updating archive", "err   ERROR: Can't open\tRom.ZIP  ", "sleep 60000",
          "err second error", "out Everything is Ok", "touch " + finished},
         Outcome::failed,
         failed("  ERROR: Can't open\tRom.ZIP  ")},
        {"an error line in pieces",
         {"put-err ERR", "sleep 100", "put-err OR: broken", "sleep 100", "err  zip", "sleep 60000",
          "touch " + finished},
         Outcome::failed,
         failed("ERROR: broken zip")},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        gui.messages.clear();
        sandbox.installFake("7z", test.script);
        EXPECT_EQ(run(), test.outcome);
        EXPECT_EQ(gui.messages, test.messages);
        EXPECT_FALSE(std::filesystem::exists(finished));
        EXPECT_TRUE(childProcesses().empty());
    }
    for (const std::string code : {"1", "2", "7", "8", "255"}) {
        SCOPED_TRACE("code " + code);
        gui.messages.clear();
        sandbox.installFake("7z", {"out Updating archive", "out Everything is Ok", "exit " + code});
        EXPECT_EQ(run(), Outcome::failed);
        EXPECT_EQ(gui.messages, failed("7z ended with code " + code));
    }
}

TEST_F(ArchiverTest, PercentagesArriveWhile7zWorksAndTheRedrawnLineIsJudgedAsShown) {
    // 7z redraws its percentages in place with backspaces, and clears them before its last line.
    sandbox.installFake("7z", {"out Updating archive", "put-out   7%\\b\\b\\b\\b", "wait-for go",
                               "put-out  42%\\b\\b\\b\\b    \\b\\b\\b\\b", "out Everything is Ok"});
    std::vector<int> percentages;
    const auto seen = [&](int percent) {
        percentages.push_back(percent);
        // 7z goes on only once the first percentage has been seen.
        writeFile(sandbox.bin + "go", "");
    };
    const ArchiverResult result =
        runArchiver("7z", {"d", {}, "rom.zip", {"a.apk"}}, sandbox.folder, seen);
    EXPECT_EQ(result.outcome, ArchiverOutcome::succeeded) << result.warning;
    EXPECT_EQ(result.warning, "");
    // 42 may come together with the last line, which ends the redrawn one.
    ASSERT_FALSE(percentages.empty());
    EXPECT_EQ(percentages.front(), 7);
    EXPECT_LE(percentages.size(), 2u);
    EXPECT_EQ(sandbox.recordedArgs("7z"),
              (std::vector<std::string>{"7z", "d", "-bsp1", "-y", "--", "rom.zip", "a.apk"}));
}

TEST(RealArchiver, ReportsPercentagesOfARewrite) {
    ToolSandbox sandbox(false);
    FakeGui gui;
    const std::string source = sandbox.folder + "source/";
    std::filesystem::create_directories(source + "system/app");
    writeFile(source + "system/app/Big.apk", std::string(8 << 20, 'b'));
    writeFile(source + "system/app/Small.apk", "small");
    const std::string zip = sandbox.folder + "rom.zip";
    ASSERT_EQ(runArchiver(gui, "7z", {"a", {"-tzip", "-mx=0", "-r"}, zip, {"*"}}, source),
              ArchiverOutcome::succeeded);
    std::vector<int> percentages;
    const ArchiverResult result = runArchiver("7z", {"d", {}, zip, {"system/app/Small.apk"}}, "",
                                              [&](int percent) { percentages.push_back(percent); });
    EXPECT_EQ(result.outcome, ArchiverOutcome::succeeded) << result.warning;
    ASSERT_FALSE(percentages.empty());
    EXPECT_TRUE(std::is_sorted(percentages.begin(), percentages.end()));
    EXPECT_LE(percentages.back(), 100);
}

// How often the calling thread has gone to sleep: once per wait that did wait.
long sleepsOfThisThread() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

TEST_F(ArchiverTest, ASilent7zLeavesTheRunnerAsleep) {
    // A second of silence: the runner wakes only when 7z writes or ends, or, with a front-end to
    // be asked whether to go on, a few dozen times a second.
    sandbox.installFake("7z", {"sleep 1000", "out Everything is Ok"});
    const long before = sleepsOfThisThread();
    EXPECT_EQ(run(), ArchiverOutcome::succeeded);
    EXPECT_LT(sleepsOfThisThread() - before, 20);

    ProgressSink progress([](int) {});
    int asked = 0;
    progress.carryOn = [&asked] { return ++asked > 0; };
    const long withFrontEnd = sleepsOfThisThread();
    const ArchiverResult result =
        runArchiver("7z", {"a", {}, "rom.zip", {"*"}}, sandbox.folder, progress);
    EXPECT_EQ(result.outcome, ArchiverOutcome::succeeded) << result.warning;
    EXPECT_LT(sleepsOfThisThread() - withFrontEnd, 60);
    EXPECT_GE(asked, 5);
    EXPECT_LT(asked, 60);
}

TEST_F(ArchiverTest, ErrorFloodWithoutLineEndNeverStallsTheArchiver) {
    // 1 MB on the error stream, far more than a pipe holds, while the runner waits for the end
    // of an output line (first script) or for any output (second).
    const std::vector<std::vector<std::string>> scripts = {
        {"put-out Updating archive", "flood-err 1048576", "out  rom.zip", "out Everything is Ok"},
        {"flood-err 1048576", "out Everything is Ok"},
    };
    for (const auto& script : scripts) {
        SCOPED_TRACE(script.front());
        gui.messages.clear();
        sandbox.installFake("7z", script);
        auto outcome = std::async(std::launch::async, [this] { return run(); });
        if (outcome.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "the runner stalled the archiver";
            kill(std::atoi(readFile(sandbox.bin + "7z.pid").c_str()), SIGKILL);
        }
        EXPECT_EQ(outcome.get(), ArchiverOutcome::failed);
        // The error text is kept to its first 4096 bytes.
        ASSERT_EQ(gui.messages.size(), 1u);
        EXPECT_TRUE(gui.messages[0] == warning(errorIntro + std::string(4096, 'x'))[0])
            << gui.messages[0].title << ", " << gui.messages[0].text.size() << " characters";
    }
}

TEST_F(ArchiverTest, KilledArchiverThatHadDeletedTheArchiveLeavesItsFinishedOneInPlace) {
    // 7z deletes the archive right before it renames its finished temporary file into place.
    const std::string zip = sandbox.folder + "rom.zip";
    writeFile(zip, "old");
    sandbox.installFake("7z", {"remove " + zip, "touch " + zip + ".tmp",
                               "err ERROR: stopped by the test", "sleep 30000"});

    EXPECT_EQ(run({"u", {}, zip, {"system/app/A.apk"}}), ArchiverOutcome::failed);

    EXPECT_EQ(readFile(zip), "x");
    EXPECT_FALSE(std::filesystem::exists(zip + ".tmp"));
}

TEST_F(ArchiverTest, SevenZipsInputIsEmptyNeverTheProgramsOwn) {
    // What the user typed for the program, or a password prompt's answer, never reaches 7z.
    ProgramInput input("secret\n");
    sandbox.installFake("7z", {"read-in", "out Everything is Ok"});
    EXPECT_EQ(run({"t", {}, "rom.zip"}), ArchiverOutcome::succeeded);
    EXPECT_EQ(readFile(sandbox.bin + "7z.stdin"), "");
    std::filesystem::remove(sandbox.bin + "7z.stdin");
    listArchive("7z", "rom.zip");
    EXPECT_EQ(readFile(sandbox.bin + "7z.stdin"), "");
}

// Each part of the command reaches 7z as one argument, whatever it holds, in the folder the step
// names, or else in the program's own.
TEST_F(ArchiverTest, ArchiverReceivesTheCommandsArgumentsInItsWorkingFolder) {
    sandbox.installFake("7z", {"out Everything is Ok"});
    const std::string work = sandbox.folder + "work folder";
    std::filesystem::create_directory(work);
    EXPECT_EQ(run({"x",
                   {"-i@/my names"},
                   "/roms/my rom.zip",
                   {"system/app/My \"App\".apk", "", "back\\slash"},
                   "/out dir/"},
                  work),
              ArchiverOutcome::succeeded);
    EXPECT_EQ(sandbox.recordedArgs("7z"),
              (std::vector<std::string>{"7z", "x", "-bd", "-y", "-i@/my names", "-o/out dir/", "--",
                                        "/roms/my rom.zip", "system/app/My \"App\".apk", "",
                                        "back\\slash"}));
    EXPECT_EQ(sandbox.recordedCwd("7z"), work);

    EXPECT_EQ(run({"t", {}, "rom.zip"}, ""), ArchiverOutcome::succeeded);
    EXPECT_EQ(sandbox.recordedCwd("7z"), std::filesystem::current_path().string());
}

TEST_F(ArchiverTest, MissingArchiverStartsNothingAndSaysSo) {
    // A file that is not executable, a folder and an empty file are not the archiver.
    writeFile(sandbox.bin + "7z", "#!/bin/sh\necho Everything is Ok\n");
    const std::string other = sandbox.folder + "other/";
    std::filesystem::create_directories(other + "7z");
    std::filesystem::create_directories(sandbox.folder + "empty");
    writeFile(sandbox.folder + "empty/7z", "");
    chmod((sandbox.folder + "empty/7z").c_str(), 0755);
    setenv("PATH", (sandbox.bin + "::" + other + ":" + sandbox.folder + "empty").c_str(), 1);
    EXPECT_EQ(run(), ArchiverOutcome::failed);
    EXPECT_EQ(gui.messages,
              warning(errorIntro + "The 7z archiver could not be started: \"7z\" was not found "
                                   "on the search path (PATH)."));
}

TEST_F(ArchiverTest, ArchiverThatCannotExecuteIsReportedAsNotStarted) {
    writeFile(sandbox.bin + "7z", "#!/no/such/interpreter\necho Everything is Ok\n");
    chmod((sandbox.bin + "7z").c_str(), 0755);
    EXPECT_EQ(run(), ArchiverOutcome::failed);
    EXPECT_EQ(gui.messages, warning(errorIntro + "The 7z archiver could not be started (No such "
                                                 "file or directory)."));
}

TEST_F(ArchiverTest, FolderThatCantBeEnteredStartsNothingAndIsNamed) {
    sandbox.installFake("7z", {"out Everything is Ok"});
    const std::string file = sandbox.folder + "add";
    writeFile(file, "a file where the folder should be");
    EXPECT_EQ(run({"a", {"-r"}, "rom.zip", {"*"}}, file + "/"), ArchiverOutcome::failed);
    EXPECT_EQ(gui.messages, warning(errorIntro + "7z could not be started in the folder \"" + file +
                                    "/\" (Not a directory)."));
    EXPECT_FALSE(sandbox.ran("7z"));
}

}  // namespace

namespace {

TEST(RealArchiver, AddsAndDeletesWithoutComplaint) {
    ToolSandbox sandbox(false);
    ASSERT_NE(findProgram("7z"), "") << "7z (p7zip-full) is needed";
    FakeGui gui;
    const std::string zip = sandbox.folder + "my rom.zip";
    std::filesystem::create_directories(sandbox.folder + "add/system/app");
    writeFile(sandbox.folder + "add/system/app/Some App.apk", "apk bytes");
    writeFile(sandbox.folder + "add/system/hosts", "127.0.0.1 localhost\n");

    EXPECT_EQ(runArchiver(gui, "7z", {"a", {"-r"}, zip, {"*"}}, sandbox.folder + "add/"),
              ArchiverOutcome::succeeded);
    EXPECT_TRUE(gui.messages.empty());
    EXPECT_EQ(zipEntries(zip), (std::set<std::string>{"system/app/Some App.apk", "system/hosts"}));

    EXPECT_EQ(runArchiver(gui, "7z", {"d", {}, zip, {"system/app/Some App.apk"}}, ""),
              ArchiverOutcome::succeeded);
    EXPECT_TRUE(gui.messages.empty());
    EXPECT_EQ(zipEntries(zip), std::set<std::string>{"system/hosts"});
    EXPECT_TRUE(childProcesses().empty());
}

// The real 7z, waiting with its temporary archive begun, is killed: by the runner after an error
// line, or from outside (SIGKILL, as the out-of-memory killer sends it). Either way the temporary
// archive goes, and the archive and an earlier file of a temporary name stay as they were.
TEST(RealArchiver, KilledArchiverLeavesNoTemporaryArchiveItMade) {
    const std::string real = findProgram("7z");
    ASSERT_NE(real, "") << "7z (p7zip-full) is needed";
    ToolSandbox sandbox;
    const std::string zip = sandbox.folder + "rom.zip";
    const std::string input = sandbox.folder + "never ending input";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    std::filesystem::copy_file(real, sandbox.folder + "unused");  // a file to zip
    FakeGui gui;
    ASSERT_EQ(runArchiver(gui, real, {"a", {}, zip, {"unused"}}, sandbox.folder),
              ArchiverOutcome::succeeded);
    const std::string original = readFile(zip);
    writeFile(zip + ".tmp", "earlier");

    for (const auto& [ending, reason] :
         {std::pair{"echo 'ERROR: stopped by the test' >&2", "ERROR: stopped by the test"},
          std::pair{"kill -KILL $$",
                    "7z was ended from outside (signal 9) before it finished "
                    "this step."}}) {
        SCOPED_TRACE(ending);
        // The real 7z reads the data to add from a standard input that never ends, so it waits
        // with its temporary archive begun; then it is ended.
        writeFile(sandbox.bin + "7z",
                  "#!/bin/sh\nPATH=/usr/bin:/bin\n"
                  "(for i in $(seq 6000); do [ -e '" +
                      zip + ".tmp1' ] && break; sleep 0.01; done; " + ending +
                      ") &\n"
                      "exec 3<>'" +
                      input +
                      "'\n"
                      "exec '" +
                      real + "' \"$@\" <&3\n");
        chmod((sandbox.bin + "7z").c_str(), 0755);
        gui.messages.clear();

        EXPECT_EQ(runArchiver(gui, "7z", {"a", {"-sidata.bin"}, zip}, ""), ArchiverOutcome::failed);

        EXPECT_EQ(gui.messages, warning(errorIntro + reason));
        EXPECT_EQ(readFile(zip), original);
        EXPECT_EQ(readFile(zip + ".tmp"), "earlier");
        EXPECT_FALSE(std::filesystem::exists(zip + ".tmp1"));
        EXPECT_TRUE(waitUntil([] { return childProcesses().empty(); }));
    }
}

// A run stopped while the real 7z has its temporary archive begun: 7z is killed, that archive
// removed, the archive and an earlier file of a temporary name kept as they were.
TEST(RealArchiver, StoppedRunKills7zHalfwayAndLeavesTheArchiveAsItWas) {
    const std::string real = findProgram("7z");
    ASSERT_NE(real, "") << "7z (p7zip-full) is needed";
    ToolSandbox sandbox;
    const std::string zip = sandbox.folder + "rom.zip";
    const std::string input = sandbox.folder + "never ending input";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    // 7z reads the data to add from an input that never ends: it waits in the middle.
    writeFile(sandbox.bin + "7z",
              "#!/bin/sh\nexec 3<>'" + input + "'\nexec '" + real + "' \"$@\" <&3\n");
    chmod((sandbox.bin + "7z").c_str(), 0755);
    writeFile(sandbox.folder + "big.bin", std::string(4 << 20, 'b'));
    ASSERT_EQ(runArchiver(real, {"a", {}, zip, {"big.bin"}}, sandbox.folder).outcome,
              ArchiverOutcome::succeeded);
    const std::string original = readFile(zip);
    writeFile(zip + ".tmp", "earlier");

    ProgressSink sink([](int) {});
    int asked = 0;
    sink.carryOn = [&] {
        ++asked;
        return !std::filesystem::exists(zip + ".tmp1");
    };
    const ArchiverResult result = runArchiver("7z", {"a", {"-sidata.bin"}, zip}, "", sink);

    EXPECT_EQ(result.outcome, ArchiverOutcome::stopped);
    EXPECT_EQ(result.warning, "");
    EXPECT_GT(asked, 0);
    EXPECT_EQ(readFile(zip), original);
    EXPECT_EQ(readFile(zip + ".tmp"), "earlier");
    EXPECT_FALSE(std::filesystem::exists(zip + ".tmp1"));
    EXPECT_TRUE(childProcesses().empty());
}

// A stop that comes once 7z has ended (the user answered the question late) leaves its step as
// it went: the removal is done and reported as done, not as stopped with the ROM as it was.
TEST(RealArchiver, StopAskedAfter7zFinishedKeepsTheFinishedStep) {
    ToolSandbox sandbox(false);
    ASSERT_NE(findProgram("7z"), "") << "7z (p7zip-full) is needed";
    const std::string zip = sandbox.folder + "rom.zip";
    writeFile(sandbox.folder + "a.apk", "a");
    writeFile(sandbox.folder + "b.apk", "b");
    ASSERT_EQ(runArchiver("7z", {"a", {}, zip, {"a.apk", "b.apk"}}, sandbox.folder).outcome,
              ArchiverOutcome::succeeded);

    ProgressSink sink([](int) {});
    sink.carryOn = [] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!childProcesses(false).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return false;
    };
    const ArchiverResult result = runArchiver("7z", {"d", {}, zip, {"a.apk"}}, "", sink);

    EXPECT_EQ(result.outcome, ArchiverOutcome::succeeded) << result.warning;
    EXPECT_EQ(zipEntries(zip), std::set<std::string>{"b.apk"});
}

// What the add step would pack if 7z ran in the program's current folder instead of its own: a
// home folder's secrets. Every zip below the sandbox, and what the ROM zip holds, show it.
class RealArchiverFolder : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(findProgram("7z"), "") << "7z (p7zip-full) is needed";
        for (const char* name :
             {"home/.ssh/id_rsa", "home/Documents/letter.txt", "add/system/app/A.apk"}) {
            std::filesystem::create_directories(
                std::filesystem::path(sandbox.folder + name).parent_path());
            writeFile(sandbox.folder + name, name);
        }
        std::filesystem::create_directories(sandbox.folder + "roms");
        ASSERT_TRUE(makeZip(sandbox.folder + "add", rom));
        original = readFile(rom);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(home);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        EXPECT_EQ(zipsBelowTheSandbox(), std::vector<std::string>{rom});
        EXPECT_EQ(zipEntries(rom), std::set<std::string>{"system/app/A.apk"});
        EXPECT_TRUE(readFile(rom) == original) << "the ROM zip was rewritten";
        EXPECT_TRUE(childProcesses().empty());
    }

    // The add step's two commands, the ROM zip and a zip named relative to the folder 7z runs in.
    std::vector<ArchiverCommand> addCommands() const {
        return {{"a", {"-r"}, rom, {"*"}}, {"a", {"-r"}, "x.zip", {"*"}}};
    }
    std::string refusal(const std::string& folder, const std::string& reason) const {
        return errorIntro + "7z could not be started in the folder \"" + folder + "\" (" + reason +
               ").";
    }

    std::vector<std::string> zipsBelowTheSandbox() const {
        std::vector<std::string> zips;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(sandbox.folder))
            if (entry.path().string().find(".zip") != std::string::npos)
                zips.push_back(entry.path().string());
        return zips;
    }

    ToolSandbox sandbox{false};
    FakeGui gui;
    const std::string home = sandbox.folder + "home";
    const std::string rom = sandbox.folder + "roms/rom.zip";
    std::string original;
    std::filesystem::path previous;
};

TEST_F(RealArchiverFolder, AFileOrAMissingFolderWhereTheFolderShouldBeRunsNothing) {
    const std::string file = sandbox.folder + "app/add";
    std::filesystem::create_directories(sandbox.folder + "app");
    writeFile(file, "a file where the folder should be");
    const std::string gone = sandbox.folder + "app/undo/files/";
    for (const auto& [folder, reason] :
         {std::pair{file, "Not a directory"}, std::pair{gone, "No such file or directory"}}) {
        for (const ArchiverCommand& command : addCommands()) {
            SCOPED_TRACE(command.archive + " in " + folder);
            gui.messages.clear();
            EXPECT_EQ(runArchiver(gui, "7z", command, folder), ArchiverOutcome::failed);
            EXPECT_EQ(gui.messages, warning(refusal(folder, reason)));
        }
    }
}

TEST_F(RealArchiverFolder, AFolderTheUserCantEnterRunsNothing) {
    // Root enters any folder: the run that can't enter it is made by a child that drops to the
    // user "nobody". The home folder and the ROM's folder are open to it, so that a 7z running
    // there could do its harm.
    const std::string locked = sandbox.folder + "add";
    for (const std::string& open : {sandbox.folder, home, sandbox.folder + "roms"})
        chmod(open.c_str(), 0777);
    chmod(rom.c_str(), 0666);
    const LockedPath lockedOut(locked, std::filesystem::perms::none);
    const ChildRun run = inChild(keptOut(locked, X_OK), [&] {
        std::string failures;
        for (const ArchiverCommand& command : addCommands()) {
            gui.messages.clear();
            if (runArchiver(gui, "7z", command, locked) != ArchiverOutcome::failed)
                failures += command.archive + ": not failed\n";
            if (gui.messages != warning(refusal(locked, "Permission denied")))
                failures += command.archive + ": " +
                            (gui.messages.empty() ? "no message" : gui.messages[0].text) + "\n";
        }
        return failures;
    });
    if (!run.unavailable.empty()) GTEST_SKIP() << run.unavailable;
    EXPECT_EQ(run.failure, "");
}

// 7z asks for an encrypted entry's password on its standard input. A terminal nobody answers
// (here an input that never ends) must not hold the run: 7z reads the end of an empty input
// and fails with its reason, while the listing, which needs no password, reads the zip.
TEST(RealArchiver, AnEncryptedEntryFailsInsteadOfWaitingForAPassword) {
    ToolSandbox sandbox(false);
    ASSERT_NE(findProgram("7z"), "") << "7z (p7zip-full) is needed";
    const std::string zip = sandbox.folder + "rom.zip";
    writeFile(sandbox.folder + "secret.txt", "secret");
    writeFile(sandbox.folder + "plain.txt", "plain");
    for (const ArchiverCommand& add : {ArchiverCommand{"a", {"-psecret"}, zip, {"secret.txt"}},
                                       ArchiverCommand{"a", {}, zip, {"plain.txt"}}})
        ASSERT_EQ(runArchiver("7z", add, sandbox.folder).outcome, ArchiverOutcome::succeeded);

    ProgramInput input("");
    for (const ArchiverCommand& command :
         {ArchiverCommand{"t", {}, zip},
          ArchiverCommand{"x", {}, zip, {"secret.txt"}, sandbox.folder + "out/"}}) {
        SCOPED_TRACE(command.verb);
        auto run = std::async(std::launch::async, [&] { return runArchiver("7z", command, ""); });
        const bool ended = run.wait_for(std::chrono::seconds(120)) == std::future_status::ready;
        if (!ended) input.end();  // a 7z waiting for the password gets the input's end
        const ArchiverResult result = run.get();
        EXPECT_TRUE(ended) << "7z waited on the program's input";
        EXPECT_EQ(result.outcome, ArchiverOutcome::failed);
        EXPECT_NE(result.warning.find("Break signaled"), std::string::npos) << result.warning;
    }
    const ArchiveListing listing = listArchive("7z", zip);
    EXPECT_TRUE(listing.readable);
    EXPECT_EQ(listing.entries.size(), 2u);
    EXPECT_TRUE(childProcesses().empty());
}

// An extraction folder the user can't write: 7z would fail on each file with "errno=2 : No such
// file or directory", naming neither the folder nor the reason. The run is made by a child that
// drops to the user "nobody", as root writes anywhere.
TEST(RealArchiver, AnExtractionFolderTheUserCantWriteIsNamedAsSuch) {
    ToolSandbox sandbox(false);
    ASSERT_NE(findProgram("7z"), "") << "7z (p7zip-full) is needed";
    const std::string zip = sandbox.folder + "rom.zip";
    std::filesystem::create_directories(sandbox.folder + "rom/system/app");
    writeFile(sandbox.folder + "rom/system/app/A.apk", "a");
    ASSERT_TRUE(makeZip(sandbox.folder + "rom", zip));
    const std::string locked = sandbox.folder + "files/";
    std::filesystem::create_directories(locked);
    chmod(sandbox.folder.c_str(), 0755);
    chmod(zip.c_str(), 0644);
    const ChildRun run = [&] {
        const LockedPath readOnly(locked, static_cast<std::filesystem::perms>(0555));
        return inChild(keptOut(locked, W_OK), [&] {
            std::string failures;
            const ArchiverResult result =
                runArchiver("7z", {"x", {}, zip, {"system/app/A.apk"}, locked}, "");
            const std::string expected = errorIntro + "7z can't extract into the folder \"" +
                                         locked + "\": it can't be written (Permission denied).";
            if (result.outcome != ArchiverOutcome::failed || result.warning != expected)
                failures += result.warning + "\n";
            return failures;
        });
    }();
    if (!run.unavailable.empty()) GTEST_SKIP() << run.unavailable;
    EXPECT_EQ(run.failure, "");
    EXPECT_TRUE(std::filesystem::is_empty(locked));
}

TEST(RealArchiver, BrokenZipIsNeverTakenForSuccess) {
    ToolSandbox sandbox(false);
    FakeGui gui;
    const std::string zip = sandbox.folder + "broken.zip";
    writeFile(zip, "not a zip at all");
    // 7z writes "ERROR: <zip>" and more lines to its error stream and ends with code 2.
    EXPECT_EQ(runArchiver(gui, "7z", {"d", {}, zip, {"system/app/A.apk"}}, ""),
              ArchiverOutcome::failed);
    ASSERT_EQ(gui.messages.size(), 1u);
    EXPECT_EQ(gui.messages[0].title, "Warning");
    EXPECT_TRUE(gui.messages[0].text.starts_with(errorIntro + "ERROR: " + zip))
        << gui.messages[0].text;
    EXPECT_EQ(readFile(zip), "not a zip at all");
    EXPECT_TRUE(childProcesses().empty());
}

// What the real 7z returns where a step's success is in question: judged by its exit code and
// error stream, no real success may turn into a failure, and no failure pass for success.
class RealArchiverOutcome : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(findProgram("7z"), "") << "7z (p7zip-full) is needed";
        std::filesystem::create_directories(sandbox.folder + "add/system/app");
        writeFile(sandbox.folder + "add/system/app/A.apk", "content of A");
        writeFile(sandbox.folder + "add/system/app/B.apk", "content of B");
        // Stored, not compressed: the test can spoil an entry's bytes where they lie.
        ASSERT_EQ(runArchiver(gui, "7z", {"a", {"-r", "-tzip", "-mx=0"}, rom, {"*"}},
                              sandbox.folder + "add"),
                  ArchiverOutcome::succeeded);
    }
    void TearDown() override { EXPECT_TRUE(childProcesses().empty()); }

    ToolSandbox sandbox{false};
    FakeGui gui;
    const std::string rom = sandbox.folder + "rom.zip";
};

TEST_F(RealArchiverOutcome, DeletingOrExtractingNamesTheZipLacksIsASuccess) {
    // 7z ends with code 0 and "Everything is Ok", having found nothing to do.
    const std::string original = readFile(rom);
    EXPECT_EQ(runArchiver(gui, "7z", {"d", {}, rom, {"nothing-matching"}}, ""),
              ArchiverOutcome::succeeded);
    EXPECT_TRUE(readFile(rom) == original);
    // An extraction ends with its summary after the success line: "Files: 0" and so on.
    EXPECT_EQ(
        runArchiver(gui, "7z", {"x", {}, rom, {"nothing-matching"}, sandbox.folder + "out/"}, ""),
        ArchiverOutcome::succeeded);
    EXPECT_TRUE(gui.messages.empty());
}

TEST_F(RealArchiverOutcome, ExtractingACorruptEntryFails) {
    std::string bytes = readFile(rom);
    const auto content = bytes.find("content of A");
    ASSERT_NE(content, std::string::npos);
    bytes[content] = 'C';
    writeFile(rom, bytes);
    // 7z extracts both, writes "ERROR: CRC Failed : system/app/A.apk" to its error stream after
    // the last output line ("Sub items Errors: 1"), and ends with code 2.
    EXPECT_EQ(
        runArchiver(
            gui, "7z",
            {"x", {}, rom, {"system/app/A.apk", "system/app/B.apk"}, sandbox.folder + "out/"}, ""),
        ArchiverOutcome::failed);
    EXPECT_EQ(gui.messages, warning(errorIntro + "ERROR: CRC Failed : system/app/A.apk"));
}

}  // namespace
