// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ini_file.h"

#include "platform/text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <initializer_list>

namespace {

// Every key of the named groups, as the program sees them: "[group]" then "key=value" lines,
// or "[group] missing".
std::string dump(IniFile& file, std::initializer_list<std::string_view> groups) {
    std::string out;
    for (const auto group : groups) {
        out += "[" + std::string(group) + "]";
        if (!file.selectGroup(group) || !file.beginKeys()) {
            out += " missing\n";
            continue;
        }
        out += "\n";
        while (file.nextKey()) out += file.keyName() + "=" + file.keyValue() + "\n";
    }
    return out;
}

class IniFileTest : public ::testing::Test {
protected:
    // Opens `bytes` as a file; the test fails when it can't be opened.
    IniFile& load(const std::string& bytes) {
        EXPECT_TRUE(file.open(sandbox.write("test.ini", bytes)));
        return file;
    }
    std::string dumpOf(const std::string& bytes, std::initializer_list<std::string_view> groups) {
        load(bytes);
        return dump(file, groups);
    }

    TempFolder sandbox;
    IniFile file;
};

std::string lines(std::initializer_list<std::string> parts) {
    std::string out;
    for (const auto& part : parts) out += part + lineEnd;
    return out;
}

TEST_F(IniFileTest, LineEndsAndBlankLinesReadAlike) {
    const std::string expected =
        "[]\nfree=1\n[main]\nappname=Example\nenabled=1\n[files]\n1=a.apk\n";
    for (const std::string& bytes :
         {std::string(
              "free=1\r\n[main]\r\nappname = Example\r\nenabled = 1\r\n[files]\r\n1 = a.apk\r\n"),
          std::string("free=1\n[main]\nappname = Example\nenabled = 1\n[files]\n1 = a.apk\n"),
          std::string("free=1\r[main]\rappname = Example\renabled = 1\r[files]\r1 = a.apk\r"),
          std::string("\r\n\n  \t\nfree=1\n\n\r\r[main]\n \nappname = Example\n\t\n\n"
                      "enabled = 1\r\n\r\n[files]\n1 = a.apk\n  \t  "),
          std::string("free=1\n[main]\nappname = Example\nenabled = 1\n[files]\n1 = a.apk")}) {
        EXPECT_EQ(dumpOf(bytes, {"", "main", "files"}), expected) << bytes;
    }
}

TEST_F(IniFileTest, FilesWithoutLines) {
    for (const std::string& bytes : {std::string(), std::string("\xEF\xBB\xBF"),
                                     std::string("\r\n \t\n\r"), std::string("\xEF\xBB\xBF\n")}) {
        EXPECT_EQ(dumpOf(bytes, {"", "main"}), "[]\n[main] missing\n");
    }
}

TEST_F(IniFileTest, WhatCantBeOpened) {
    EXPECT_FALSE(file.open(sandbox.root() + "absent.ini"));
    std::filesystem::create_directory(sandbox.root() + "folder.ini");
    EXPECT_FALSE(file.open(sandbox.root() + "folder.ini"));
#ifndef _WIN32
    // A FIFO would block a plain open until a writer came along.
    const std::string fifo = sandbox.root() + "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(file.open(fifo));
#endif
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.selectGroup(""));
}

TEST_F(IniFileTest, Headers) {
    load("[ main ]\na=1\n[MAIN]\nb=2\n[open\nc=3\n  [x] tail ; y\nd=4\n[]\ne=5\n");
    EXPECT_EQ(dump(file, {"main", " main ", "open", "x", ""}),
              "[main]\nb=2\n[ main ]\na=1\n[open]\nc=3\n[x]\nd=4\n[]\n");
    // "[]" is a header of its own: its keys are not in the unnamed section, and no name reaches
    // them.
    EXPECT_EQ(file.readString("e", "none"), "none");
}

TEST_F(IniFileTest, KeysAndValues) {
    load(lines({"[main]", "  key1 \t=\t value ; x ", "k=v=w", "system/app/A.apk", "b = c", "#x=1",
                "=empty key", "my key = spaced", "nothing =", "tail \t", ";c=1", "; comment"}) +
         std::string("n\0ul = a\0b\n", 11));
    ASSERT_TRUE(file.selectGroup("main"));
    EXPECT_EQ(file.readString("KEY1", "?"), "value ; x");
    EXPECT_EQ(file.readString("k", "?"), "v=w");
    EXPECT_EQ(file.readString("system/app/A.apk", "?"), "");
    EXPECT_EQ(file.readString("b", "?"), "c");
    EXPECT_EQ(file.readString("#x", "?"), "1");
    EXPECT_EQ(file.readString("", "?"), "empty key");
    EXPECT_EQ(file.readString("my key", "?"), "spaced");
    EXPECT_EQ(file.readString("nothing", "?"), "");
    EXPECT_EQ(file.readString("tail", "?"), "");
    EXPECT_EQ(file.readString(";c", "?"), "?");
    EXPECT_EQ(file.readString("key1 ", "?"), "?");
    EXPECT_EQ(file.readString(std::string("n\0ul", 4), "?"), std::string("a\0b", 3));
}

TEST_F(IniFileTest, KeyWithoutEqualsSignWhateverTheLineEnds) {
    for (const char* end : {"\n", "\r\n", "\r"}) {
        load(std::string("[files]") + end + "system/app/A.apk" + end + "b = c" + end);
        EXPECT_EQ(dump(file, {"files"}), "[files]\nsystem/app/A.apk=\nb=c\n") << end;
    }
}

TEST_F(IniFileTest, DuplicatesAndSections) {
    load("top=0\n[files]\na=1\n; skipped\nA=2\n[other]\nz=9\n[Files]\nb=3\n");
    EXPECT_EQ(dump(file, {"files", "FILES", "", "other"}),
              "[files]\na=1\nA=2\n[FILES]\na=1\nA=2\n[]\ntop=0\n[other]\nz=9\n");
    file.selectGroup("files");
    EXPECT_EQ(file.readString("a", "?"), "1");
    EXPECT_EQ(file.readString("b", "?"), "?");  // under the second [Files]
    EXPECT_EQ(file.readString("z", "?"), "?");  // a lookup never leaves the section
    EXPECT_EQ(file.readString("top", "?"), "?");

    EXPECT_TRUE(file.nextKey());
    EXPECT_TRUE(file.nextKey());
    EXPECT_EQ(file.keyValue(), "2");
    EXPECT_FALSE(file.nextKey());
    EXPECT_FALSE(file.nextKey());
    EXPECT_TRUE(file.beginKeys());
    EXPECT_TRUE(file.nextKey());
    EXPECT_EQ(file.keyName(), "a");
}

TEST_F(IniFileTest, MissingGroupAndClosedFileGiveFallbacks) {
    load("[main]\nappname = X\nenabled = 1\n");
    EXPECT_FALSE(file.selectGroup("absent"));
    EXPECT_EQ(file.readString("appname", "fb"), "fb");
    EXPECT_EQ(file.readNumber("enabled", -3), -3);
    EXPECT_FALSE(file.beginKeys());
    EXPECT_FALSE(file.nextKey());
    EXPECT_EQ(file.keyName(), "");

    EXPECT_TRUE(file.selectGroup("Main"));
    EXPECT_EQ(file.readString("appname", "fb"), "X");
    EXPECT_TRUE(file.nextKey());

    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file.selectGroup("main"));
    EXPECT_FALSE(file.beginKeys());
    EXPECT_FALSE(file.nextKey());
    EXPECT_EQ(file.keyName(), "");
    EXPECT_EQ(file.keyValue(), "");
    EXPECT_EQ(file.readString("appname", "fb"), "fb");
    EXPECT_EQ(file.readNumber("enabled", 7), 7);
    file.writeNumber("x", 1);
    EXPECT_TRUE(file.close());
}

TEST_F(IniFileTest, Utf8Mode) {
    load(
        "\xEF\xBB\xBF[main]\ncaf\xC3\xA9 = \xC3\xA9\neuro = \xE2\x82\xAC 5\n"
        "cut = x \xC3\nraw = \xE9\xC3\xA9\n");
    EXPECT_TRUE(file.utf8Mode());
    ASSERT_TRUE(file.selectGroup("main"));
    EXPECT_EQ(file.readString("caf\xE9", "?"), "\xE9");
    EXPECT_EQ(file.readString("euro", "?"), "? 5");
    EXPECT_EQ(file.readString("cut", "?"), "x");      // the cut-off byte goes, then the blank
    EXPECT_EQ(file.readString("raw", "?"), "?\xE9");  // a Latin-1 byte breaks a sequence
    ASSERT_TRUE(file.nextKey());
    EXPECT_EQ(file.keyName(), "caf\xE9");

    load("[main]\ncaf\xC3\xA9 = \xC3\xA9\n");
    EXPECT_FALSE(file.utf8Mode());
    file.selectGroup("main");
    EXPECT_EQ(file.readString("caf\xC3\xA9", "?"), "\xC3\xA9");
    EXPECT_EQ(file.readString("caf\xE9", "?"), "?");
}

TEST(Utf8Conversion, BothWays) {
    std::string every;
    for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
    EXPECT_EQ(fromUtf8(latin1ToUtf8(every)), every);
    EXPECT_EQ(latin1ToUtf8("a\xE9\xFF"), "a\xC3\xA9\xC3\xBF");

    EXPECT_EQ(fromUtf8("\xF0\x9F\x98\x80!"), "?!");  // above U+00FF
    EXPECT_EQ(fromUtf8("\xC3\x41"), "?A");           // broken sequence
    EXPECT_EQ(fromUtf8("\xE2\x82\x41"), "?A");
    EXPECT_EQ(fromUtf8("\xC1\x81"), "?");              // overlong 'A'
    EXPECT_EQ(fromUtf8("\x80\x61\xBF\xF8\xFF"), "a");  // can't begin a sequence
    EXPECT_EQ(fromUtf8("a\xF0\x9F\x98"), "a");         // cut off by the end
}

TEST_F(IniFileTest, Numbers) {
    load(lines({"[n]", "a = 12abc", "b = abc", "c = -7", "d =", "e = +5", "f = - 5", "g = 007",
                "max = 2147483647", "over = 2147483648", "min = -2147483648", "under = -2147483649",
                "huge = 99999999999999999999999999999999999999",
                "tiny = -99999999999999999999999999999999999999"}));
    file.selectGroup("n");
    EXPECT_EQ(file.readNumber("a", 99), 12);
    EXPECT_EQ(file.readNumber("b", 99), 0);
    EXPECT_EQ(file.readNumber("c", 99), -7);
    EXPECT_EQ(file.readNumber("d", 99), 0);
    EXPECT_EQ(file.readNumber("e", 99), 5);
    EXPECT_EQ(file.readNumber("f", 99), 0);
    EXPECT_EQ(file.readNumber("g", 99), 7);
    EXPECT_EQ(file.readNumber("missing", 99), 99);
    EXPECT_EQ(file.readNumber("max", 0), INT32_MAX);
    EXPECT_EQ(file.readNumber("over", 0), INT32_MAX);
    EXPECT_EQ(file.readNumber("min", 0), INT32_MIN);
    EXPECT_EQ(file.readNumber("under", 0), INT32_MIN);
    EXPECT_EQ(file.readNumber("huge", 0), INT32_MAX);
    EXPECT_EQ(file.readNumber("tiny", 0), INT32_MIN);
}

TEST_F(IniFileTest, CreatedFileIsWrittenOnClose) {
    const std::string path = sandbox.write("list.ini", "old content\n");
    ASSERT_TRUE(file.create(path));
    EXPECT_EQ(sandbox.read("list.ini"), "");
    EXPECT_FALSE(file.selectGroup("Remove"));
    EXPECT_TRUE(file.close());
    EXPECT_EQ(sandbox.read("list.ini"), "");

    ASSERT_TRUE(file.create(path));
    file.selectGroup("Remove");
    file.writeNumber("x", 2);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(sandbox.read("list.ini"), lines({"[Remove]", "x = 2"}));
}

TEST_F(IniFileTest, WritingReplacesOrAppendsInOrder) {
    const std::string path = sandbox.root() + "list.ini";
    ASSERT_TRUE(file.create(path));
    file.selectGroup("Remove");
    file.writeNumber("browser", 3);
    file.writeNumber("Gallery", 1);
    file.writeNumber("music", INT32_MIN);
    file.writeNumber("gallery", 2);
    EXPECT_EQ(file.readNumber("GALLERY", -1), 2);
    EXPECT_EQ(dump(file, {"Remove"}), "[Remove]\nbrowser=3\ngallery=2\nmusic=-2147483648\n");
    file.selectGroup("");
    file.writeNumber("top", 0);
    file.close();
    EXPECT_EQ(sandbox.read("list.ini"),
              lines({"top = 0", "[Remove]", "browser = 3", "gallery = 2", "music = -2147483648"}));
}

TEST_F(IniFileTest, OpenedFileIsWrittenBackOnlyWhenWritten) {
    const std::string original = "\xEF\xBB\xBF; note\r\n[a]\r\nk = v  \r\nbare\r\n[b]\r\nz=1\r\n";
    const std::string path = sandbox.write("back.ini", original);
    ASSERT_TRUE(file.open(path));
    file.selectGroup("a");
    file.readString("k", "");
    EXPECT_TRUE(file.close());
    EXPECT_EQ(sandbox.read("back.ini"), original);

    ASSERT_TRUE(file.open(path));
    file.selectGroup("a");
    file.writeNumber("n\xE9w", 5);
    file.selectGroup("\xE9t\xE9");
    file.writeNumber("x", -1);
    file.writeNumber("y", 2);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(sandbox.read("back.ini"),
              "\xEF\xBB\xBF" + lines({"; note", "[a]", "k = v  ", "bare = ", "n\xC3\xA9w = 5",
                                      "[b]", "z = 1", "[\xC3\xA9t\xC3\xA9]", "x = -1", "y = 2"}));
}

TEST_F(IniFileTest, WrittenFileNeverTurnsIntoUtf8Mode) {
    const std::string path = sandbox.root() + "list.ini";
    ASSERT_TRUE(file.create(path));
    file.writeNumber("\xEF\xBB\xBFname", 1);
    file.close();
    ASSERT_TRUE(file.open(path));
    EXPECT_FALSE(file.utf8Mode());
    EXPECT_EQ(file.readNumber("\xEF\xBB\xBFname", -1), 1);
}

TEST_F(IniFileTest, OpeningAnotherFileWritesBackFirst) {
    const std::string first = sandbox.root() + "first.ini";
    {
        IniFile other;
        ASSERT_TRUE(other.create(first));
        other.selectGroup("g");
        other.writeNumber("k", 1);
        ASSERT_TRUE(other.open(sandbox.write("second.ini", "[g]\nk = 2\n")));
        EXPECT_EQ(sandbox.read("first.ini"), lines({"[g]", "k = 1"}));
        other.selectGroup("g");
        other.writeNumber("k", 3);
    }  // the destructor writes back too
    EXPECT_EQ(sandbox.read("second.ini"), lines({"[g]", "k = 3"}));
}

TEST_F(IniFileTest, FailedWritesAreReported) {
    EXPECT_FALSE(file.create(sandbox.root() + "no/such/folder/list.ini"));
    EXPECT_FALSE(file.isOpen());

    const std::string path = sandbox.write("gone/back.ini", "[g]\n");
    ASSERT_TRUE(file.open(path));
    std::filesystem::remove_all(sandbox.root() + "gone");
    file.selectGroup("g");
    file.writeNumber("k", 1);
    EXPECT_FALSE(file.close());

    if (std::filesystem::exists("/dev/full")) {
        ASSERT_TRUE(file.create("/dev/full"));
        file.writeNumber("k", 1);
        EXPECT_FALSE(file.close());
    }
}

}  // namespace
