// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <deque>
#include <string>

// The lines of a child's error stream, put together from the pieces in which they arrive. The
// process facility takes in everything the stream brings as soon as it can, so that a child
// writing a flood of errors never stalls on a full pipe; memory stays bounded however much it
// writes:
// - a line is kept to its first `longestLine` bytes; the rest of it is dropped;
// - at most `mostLines` complete lines wait to be handed out; later ones are dropped;
// - an empty line carries nothing and is dropped.
class ErrorLines {
public:
    static constexpr std::size_t longestLine = 4096;
    static constexpr std::size_t mostLines = 16;

    // With `carriageReturnEnds` (the Windows build), a carriage return ends a line as a line feed
    // does, and a carriage return followed by a line feed is one line end, also when the two
    // arrive in different pieces. Otherwise only a line feed ends a line, and a carriage return
    // stays part of it.
    explicit ErrorLines(bool carriageReturnEnds) : carriageReturnEnds_(carriageReturnEnds) {}

    void take(const char* bytes, std::size_t count);
    void take(const std::string& bytes) { take(bytes.data(), bytes.size()); }
    // The stream has ended: text after its last line end is a line of its own.
    void end();
    // The first line waiting, or "" when no complete line is there.
    std::string next();
    // Nothing waits to be handed out, not even part of a line.
    bool empty() const { return lines_.empty() && partial_.empty(); }

private:
    void finishLine();

    bool carriageReturnEnds_;
    std::deque<std::string> lines_;
    std::string partial_;
    bool afterCarriageReturn_ = false;
};
