// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/archiver.h"

#include "platform/file_layer.h"
#include "support/shown_archiver.h"
#include "tools/archive_listing.h"
#include "tools/fake_archiver_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <set>

using Message = FakeGui::Message;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::string errorIntro = "There was an error while zip - processing: \r";
const Message doubt{"Warning", "Maybe there was an error with the zip - processing, please check"};

class ArchiverWin32Test : public testing::Test {
protected:
    ArchiverOutcome run(const ArchiverCommand& command = {"a", {}, "rom.zip"},
                        const std::string& workingDirectory = "") {
        return runArchiver(gui, fake.program(), command, workingDirectory);
    }
    FakeGui gui;
    FakeArchiver fake;
};

}  // namespace

TEST_F(ArchiverWin32Test, TheSuccessLineWithCarriageReturnAndLineFeedPassesSilently) {
    fake.script({"out 7-Zip 26.02", "out", "out   EVERYTHING is oK  "});
    EXPECT_EQ(run({"d", {}, "C:\\r\\rom.zip", {"system\\app\\A.apk"}}), ArchiverOutcome::succeeded);
    EXPECT_THAT(gui.messages, IsEmpty());
}

TEST_F(ArchiverWin32Test, AnyLineAfterTheSuccessLineWarns) {
    for (const std::string last :
         {"out", "out Everything is Ok.", "raw-out \\tEverything is Ok\\r\\n"}) {
        gui.messages.clear();
        fake.script({"out Everything is Ok", last});
        EXPECT_EQ(run(), ArchiverOutcome::doubtful) << last;
        EXPECT_THAT(gui.messages, ElementsAre(doubt)) << last;
    }
    gui.messages.clear();
    fake.script({});
    EXPECT_EQ(run(), ArchiverOutcome::doubtful);
    EXPECT_THAT(gui.messages, ElementsAre(doubt)) << "no output at all";
}

TEST_F(ArchiverWin32Test, AnErrorLineKillsTheArchiverAfterAShortGraceAndIsShownUnchanged) {
    // The archiver would go on for a minute: the run returning at all shows it was ended, and
    // once it has returned nothing can write the marker any more.
    fake.script({"out Scanning", "raw-err \\r\\n", "err  ERROR: Can't open as archive: rom.zip ",
                 "sleep 60000", "touch too-late", "out Everything is Ok"});
    EXPECT_EQ(run({"d", {}, "rom.zip", {"a"}}), ArchiverOutcome::failed);
    EXPECT_THAT(
        gui.messages,
        ElementsAre(Message{"Warning", errorIntro + " ERROR: Can't open as archive: rom.zip "}));
    EXPECT_FALSE(fake.fileExists("too-late"));
}

TEST_F(ArchiverWin32Test, ANonZeroExitCodeFailsTheStepEvenAfterTheSuccessLine) {
    // A crash ends 7z.exe with an NTSTATUS code, shown as Windows shows it.
    for (const auto& [code, shown] : {std::pair{"1", "1"},
                                      {"2", "2"},
                                      {"7", "7"},
                                      {"8", "8"},
                                      {"255", "255"},
                                      {"3221225477", "0xC0000005"}}) {
        gui.messages.clear();
        fake.script({"out Updating archive", "out Everything is Ok", std::string("exit ") + code});
        EXPECT_EQ(run(), ArchiverOutcome::failed) << code;
        EXPECT_THAT(gui.messages,
                    ElementsAre(Message{"Warning", errorIntro + "7z ended with code " + shown}));
    }
    gui.messages.clear();
    fake.script({"exit 2"});
    EXPECT_EQ(run(), ArchiverOutcome::failed);
    EXPECT_THAT(gui.messages, ElementsAre(Message{"Warning", errorIntro + "7z ended with code 2"}));
}

TEST_F(ArchiverWin32Test, AnErrorLineAfterTheOutputHasEndedIsSeen) {
    fake.script({"out Everything is Ok", "close-out", "sleep 200", "err ERROR: written last"});
    EXPECT_EQ(run(), ArchiverOutcome::failed);
    EXPECT_THAT(gui.messages, ElementsAre(Message{"Warning", errorIntro + "ERROR: written last"}));

    gui.messages.clear();
    fake.script({"out Everything is Ok", "close-out", "sleep 200", "raw-err ERROR: no line end"});
    EXPECT_EQ(run(), ArchiverOutcome::failed);
    EXPECT_THAT(gui.messages, ElementsAre(Message{"Warning", errorIntro + "ERROR: no line end"}));
}

TEST_F(ArchiverWin32Test, AnErrorFloodWithoutLineEndNeverStallsTheArchiver) {
    // 1 MB on the error stream, far more than its pipe holds, while the runner waits for the end
    // of an output line (first script) or for any output (second).
    const std::vector<std::vector<std::string>> scripts = {
        {"raw-out Updating archive", "flood-err 1048576", "out  rom.zip", "out Everything is Ok"},
        {"flood-err 1048576", "out Everything is Ok"},
    };
    for (const auto& script : scripts) {
        gui.messages.clear();
        fake.script(script);
        EXPECT_EQ(run(), ArchiverOutcome::failed) << script.front();
        ASSERT_EQ(gui.messages.size(), 1u) << script.front();
        EXPECT_TRUE(gui.messages[0] == (Message{"Warning", errorIntro + std::string(4096, 'x')}))
            << gui.messages[0].text.size() << " characters";
    }
}

TEST_F(ArchiverWin32Test, TheFirstFewErrorLinesAreShown) {
    fake.script(
        {"raw-err \\r\\nWARNING: Access is denied.\\r\\nsystem\\\\app\\\\A.apk\\r\\n\\r\\n"
         "two\\r\\nthree\\r\\nfour\\r\\nfive\\r\\n",
         "sleep 60000", "touch too-late"});
    EXPECT_EQ(run(), ArchiverOutcome::failed);
    EXPECT_THAT(
        gui.messages,
        ElementsAre(Message{"Warning", errorIntro + "WARNING: Access is denied.\rsystem\\app\\A.apk"
                                                    "\rtwo\rthree\rfour"}));
    EXPECT_FALSE(fake.fileExists("too-late"));
}

TEST_F(ArchiverWin32Test, TheReasonWrittenAfterTheFirstErrorLineIsShown) {
    fake.script({"err ERROR: rom.zip.tmp", "sleep 100", "err System ERROR:", "sleep 100",
                 "err There is not enough space on the disk.", "exit 2"});
    EXPECT_EQ(run(), ArchiverOutcome::failed);
    EXPECT_THAT(gui.messages,
                ElementsAre(Message{"Warning", errorIntro + "ERROR: rom.zip.tmp\rSystem ERROR:\r"
                                                            "There is not enough space on the "
                                                            "disk."}));
}

// 7z ended by someone else (Task Manager) leaves its temporary archive, and only an exit code.
TEST_F(ArchiverWin32Test, ATemporaryArchiveLeftByAFailed7zIsRemoved) {
    fake.sandbox().write("bin\\win\\rom.zip", "old");
    fake.script({"touch rom.zip.tmp", "exit 1"});
    EXPECT_EQ(run({"u", {}, "rom.zip", {"*"}}, fake.folder()), ArchiverOutcome::failed);
    EXPECT_FALSE(fake.fileExists("rom.zip.tmp"));
    EXPECT_EQ(readFile(fake.folder() + "rom.zip"), "old");
}

// 7z asks for an encrypted entry's password on its standard input: it gets NUL, never the
// program's own input, whatever that holds.
TEST_F(ArchiverWin32Test, SevenZipsInputIsEmptyNeverTheProgramsOwn) {
    const HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
    fake.script({"read-in", "out Everything is Ok"});
    // The program's input holds an answer and then ends, so that a 7z reading it never waits.
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, &inherited, 0));
    DWORD written = 0;
    WriteFile(write, "secret\r\n", 8, &written, nullptr);
    CloseHandle(write);
    SetStdHandle(STD_INPUT_HANDLE, read);
    EXPECT_EQ(run({"t", {}, "rom.zip"}), ArchiverOutcome::succeeded);
    SetStdHandle(STD_INPUT_HANDLE, saved);
    CloseHandle(read);
    EXPECT_EQ(readFile(fake.folder() + "fake_stdin.txt"), "");
}

TEST_F(ArchiverWin32Test, TheArchiverRunsInItsOwnFolderUnlessAStepNamesAnother) {
    fake.script({"out Everything is Ok"});
    run({"d", {}, "rom.zip"});
    EXPECT_EQ(fake.workingFolder() + "\\", fake.folder());

    const std::string add = fake.sandbox().folder("app");
    run({"a", {"-r"}, "C:\\r\\my rom.zip", {"*.*"}}, add + "\\");
    EXPECT_EQ(fake.workingFolder(), add);
    EXPECT_EQ(fake.commandLine(),
              "\"" + fake.program() + "\" a -bd -y -r -- \"C:\\r\\my rom.zip\" *.*");
    EXPECT_THAT(fake.arguments(),
                ElementsAre("a", "-bd", "-y", "-r", "--", "C:\\r\\my rom.zip", "*.*"));
}

TEST_F(ArchiverWin32Test, AnArchiverThatCantStartIsReported) {
    DeleteFileA(fake.program().c_str());
    EXPECT_EQ(run({"d", {}, "rom.zip", {"a"}}), ArchiverOutcome::failed);
    ASSERT_EQ(gui.messages.size(), 1u);
    EXPECT_EQ(gui.messages[0].title, "Warning");
    EXPECT_EQ(gui.messages[0].text.rfind(errorIntro, 0), 0u);
    EXPECT_NE(gui.messages[0].text.find(fake.program()), std::string::npos);
}

TEST_F(ArchiverWin32Test, AFolderThatCantBeEnteredStartsNothingAndIsNamed) {
    fake.script({"out Everything is Ok"});
    const std::string file = fake.sandbox().write("add", "a file where the folder should be");
    EXPECT_EQ(run({"a", {"-r"}, "rom.zip", {"*.*"}}, file + "\\"), ArchiverOutcome::failed);
    ASSERT_EQ(gui.messages.size(), 1u);
    EXPECT_EQ(gui.messages[0].title, "Warning");
    const std::string named =
        errorIntro + "7z could not be started in the folder \"" + file + "\\\" (";
    EXPECT_EQ(gui.messages[0].text.rfind(named, 0), 0u) << gui.messages[0].text;
    EXPECT_FALSE(fake.ran());
}

// The real 7z.exe that ships in the program folder's bin\win\ (the build folder is laid out
// as the program folder; the tests live in its tests\ folder).
class RealArchiverWin32 : public testing::Test {
protected:
    void SetUp() override {
        program = findProgramFolder(nullptr) + "..\\bin\\win\\7z.exe";
        ASSERT_GT(fileSize(program), 0) << program;
        rom = sandbox.root() + "my rom.zip";
        sandbox.folder("add");
        sandbox.folder("add\\system");
        sandbox.folder("add\\system\\app");
        sandbox.folder("add\\system\\bin");
        sandbox.write("add\\system\\app\\A.apk", "apk A");
        sandbox.write("add\\system\\app\\B b.apk", "apk B");
        sandbox.write("add\\system\\bin\\tool", "no dot in this name");
    }
    ArchiverOutcome run(const ArchiverCommand& command, const std::string& folder = "") {
        return runArchiver(gui, program, command, folder);
    }
    std::set<std::string> entries(const std::string& zip) {
        std::set<std::string> paths;
        for (const ArchiveEntry& entry : listArchive(program, zip).entries)
            paths.insert(entry.path);
        return paths;
    }

    TempFolder sandbox;
    FakeGui gui;
    std::string program, rom;
};

TEST_F(RealArchiverWin32, StarDotStarMissesNamesWithoutADotWhereStarAddsThem) {
    EXPECT_EQ(run({"a", {"-r"}, rom, {"*.*"}}, sandbox.root() + "add\\"),
              ArchiverOutcome::succeeded);
    EXPECT_THAT(gui.messages, IsEmpty());
    // 7-Zip matches "*.*" itself, on Windows too: a name without a dot is left out. This is why
    // the program's add commands use "*".
    EXPECT_EQ(entries(rom), (std::set<std::string>{"system\\app\\A.apk", "system\\app\\B b.apk"}));

    EXPECT_EQ(run({"a", {"-r"}, rom, {"*"}}, sandbox.root() + "add\\"), ArchiverOutcome::succeeded);
    const std::set<std::string> everything{"system",
                                           "system\\app",
                                           "system\\bin",
                                           "system\\app\\A.apk",
                                           "system\\app\\B b.apk",
                                           "system\\bin\\tool"};
    EXPECT_EQ(entries(rom), everything);

    // After "--" a path that looks like a switch is a name, which matches nothing here.
    EXPECT_EQ(run({"d", {}, rom, {"-i!*", "@list"}}), ArchiverOutcome::succeeded);
    EXPECT_EQ(entries(rom), everything);

    EXPECT_EQ(run({"d", {}, rom, {"system\\app\\B b.apk", "system/bin/tool"}}),
              ArchiverOutcome::succeeded);
    EXPECT_THAT(gui.messages, IsEmpty());
    EXPECT_EQ(entries(rom), (std::set<std::string>{"system", "system\\app", "system\\bin",
                                                   "system\\app\\A.apk"}));
}

TEST_F(RealArchiverWin32, ExtractionIntoTheQuotedFolderSucceeds) {
    ASSERT_EQ(run({"a", {"-r"}, rom, {"*.*"}}, sandbox.root() + "add\\"),
              ArchiverOutcome::succeeded);
    const std::string out = sandbox.folder("undo files") + "\\";
    // 7z follows the success line of an extraction with its counts: still a success.
    EXPECT_EQ(run({"x", {}, rom, {"system\\app\\B b.apk"}, out}), ArchiverOutcome::succeeded);
    EXPECT_EQ(readFile(out + "system\\app\\B b.apk"), "apk B");
    EXPECT_EQ(fileSize(out + "system\\app\\A.apk"), fileSizeMissing);
    EXPECT_THAT(gui.messages, IsEmpty());
}

TEST_F(RealArchiverWin32, AFolderThatCantBeEnteredPacksNothingOfTheCurrentFolder) {
    ASSERT_EQ(run({"a", {"-r"}, rom, {"*"}}, sandbox.root() + "add\\"), ArchiverOutcome::succeeded);
    const std::string original = readFile(rom);
    sandbox.folder("home");
    sandbox.folder("home\\Documents");
    sandbox.write("home\\Documents\\letter.txt", "private");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA((sandbox.root() + "home").c_str());
    const std::string file = sandbox.write("not a folder", "a file where the folder should be");
    for (const std::string& folder : {file + "\\", sandbox.root() + "gone\\"}) {
        for (const std::string& archive : {rom, std::string("x.zip")}) {
            gui.messages.clear();
            EXPECT_EQ(run({"a", {"-r"}, archive, {"*"}}, folder), ArchiverOutcome::failed)
                << archive << " in " << folder;
            EXPECT_EQ(gui.messages.size(), 1u) << archive << " in " << folder;
        }
    }
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(readFile(rom), original);
    EXPECT_EQ(fileSize(sandbox.root() + "home\\x.zip"), fileSizeMissing);
    EXPECT_EQ(fileSize(sandbox.root() + "x.zip"), fileSizeMissing);
}

TEST_F(RealArchiverWin32, ABrokenZipIsNeverTakenForSuccess) {
    const std::string broken = sandbox.write("broken.zip", "PK\3\4 this is not a zip");
    run({"d", {}, broken, {"system\\app\\A.apk"}});
    // 7z may end before its error line is read: then the last line decides.
    ASSERT_EQ(gui.messages.size(), 1u);
    EXPECT_EQ(gui.messages[0].title, "Warning");
    EXPECT_TRUE(gui.messages[0] == doubt || gui.messages[0].text.rfind(errorIntro, 0) == 0)
        << gui.messages[0].text;
    EXPECT_EQ(readFile(broken), "PK\3\4 this is not a zip");
}
