// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/error_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> allLines(ErrorLines& lines) {
    std::vector<std::string> all;
    for (std::string line = lines.next(); !line.empty(); line = lines.next()) all.push_back(line);
    return all;
}

TEST(ErrorLines, LinesAreHandedOutWhenCompleteAndTheRestAtTheEnd) {
    ErrorLines lines(false);
    lines.take("par");
    EXPECT_EQ(lines.next(), "");
    lines.take("tial\nsecond\r\nthi");
    EXPECT_EQ(allLines(lines), (std::vector<std::string>{"partial", "second\r"}));
    EXPECT_FALSE(lines.empty());
    lines.take("rd");
    lines.end();
    EXPECT_EQ(allLines(lines), std::vector<std::string>{"third"});
    EXPECT_TRUE(lines.empty());
}

TEST(ErrorLines, EmptyLinesCarryNothing) {
    ErrorLines lines(false);
    lines.take("\n\nERROR: one\n\n");
    lines.end();
    EXPECT_EQ(allLines(lines), std::vector<std::string>{"ERROR: one"});
    EXPECT_TRUE(lines.empty());
}

TEST(ErrorLines, CarriageReturnsEndLinesWhereTheBuildSaysSo) {
    ErrorLines lines(true);
    lines.take("one\r");
    EXPECT_EQ(lines.next(), "one");
    lines.take("\ntwo\nthree\r\r\nfour");  // the line feed after "one\r" is no line of its own
    lines.end();
    EXPECT_EQ(allLines(lines), (std::vector<std::string>{"two", "three", "four"}));
}

TEST(ErrorLines, MemoryStaysBoundedHoweverMuchArrives) {
    ErrorLines lines(false);
    const std::string flood(ErrorLines::longestLine * 3 + 5, 'x');
    lines.take(flood);
    lines.take(flood);
    lines.take("\n");
    for (std::size_t i = 0; i < ErrorLines::mostLines + 10; ++i)
        lines.take("line " + std::to_string(i) + "\n");
    const std::vector<std::string> all = allLines(lines);
    ASSERT_EQ(all.size(), ErrorLines::mostLines);
    EXPECT_EQ(all.front(), std::string(ErrorLines::longestLine, 'x'));
    EXPECT_EQ(all[1], "line 0");
    EXPECT_EQ(all.back(), "line " + std::to_string(ErrorLines::mostLines - 2));
}

}  // namespace
