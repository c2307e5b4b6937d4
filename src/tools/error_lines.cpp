// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/error_lines.h"

#include <algorithm>
#include <utility>

void ErrorLines::take(const char* bytes, std::size_t count) {
    const char* const stop = bytes + count;
    while (bytes != stop) {
        if (afterCarriageReturn_ && *bytes == '\n') ++bytes;
        afterCarriageReturn_ = false;
        const char* const lineEnd =
            carriageReturnEnds_
                ? std::find_if(bytes, stop, [](char c) { return c == '\r' || c == '\n'; })
                : std::find(bytes, stop, '\n');
        const std::size_t room = longestLine - partial_.size();
        partial_.append(bytes, std::min(room, static_cast<std::size_t>(lineEnd - bytes)));
        if (lineEnd == stop) return;
        afterCarriageReturn_ = *lineEnd == '\r';
        finishLine();
        bytes = lineEnd + 1;
    }
}

void ErrorLines::end() {
    finishLine();
    afterCarriageReturn_ = false;
}

std::string ErrorLines::next() {
    if (lines_.empty()) return "";
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

void ErrorLines::finishLine() {
    if (!partial_.empty() && lines_.size() < mostLines) lines_.push_back(std::move(partial_));
    partial_.clear();
}
