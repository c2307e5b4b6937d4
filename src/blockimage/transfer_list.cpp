// SPDX-License-Identifier: GPL-3.0-or-later
#include "blockimage/transfer_list.h"

#include <charconv>

namespace {

constexpr std::size_t maxListBytes = 64u << 20;
constexpr std::uint64_t maxBlock = std::uint64_t{1} << 32;

bool readNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::string_view nextLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool parseRangeSet(std::string_view text, RangeSet& ranges) {
    std::vector<std::uint64_t> numbers;
    while (true) {
        const std::size_t comma = text.find(',');
        std::uint64_t value = 0;
        if (!readNumber(text.substr(0, comma), value)) return false;
        numbers.push_back(value);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (numbers.size() < 3 || numbers[0] != numbers.size() - 1 || numbers[0] % 2 != 0) return false;
    for (std::size_t i = 1; i + 1 < numbers.size(); i += 2) {
        if (numbers[i] >= numbers[i + 1] || numbers[i + 1] > maxBlock) return false;
        ranges.push_back({numbers[i], numbers[i + 1]});
    }
    return true;
}

bool isIncremental(std::string_view word) {
    return word == "move" || word == "bsdiff" || word == "imgdiff" || word == "stash" ||
           word == "free";
}

TransferList refused(std::string& why, std::string reason) {
    why = std::move(reason);
    return {};
}

}  // namespace

std::uint64_t blockCount(const RangeSet& ranges) {
    std::uint64_t count = 0;
    for (const BlockRange& range : ranges) count += range.end - range.first;
    return count;
}

std::uint64_t TransferList::newBlocks() const {
    std::uint64_t count = 0;
    for (const TransferCommand& command : commands)
        if (command.op == TransferOp::newData) count += blockCount(command.ranges);
    return count;
}

std::uint64_t TransferList::imageBlocks() const {
    std::uint64_t end = 0;
    for (const TransferCommand& command : commands)
        for (const BlockRange& range : command.ranges) end = std::max(end, range.end);
    return end;
}

TransferList parseTransferList(std::string_view text, std::string& why) {
    why.clear();
    if (text.size() > maxListBytes) return refused(why, "the transfer list is over 64 MiB");
    TransferList list;
    std::uint64_t number = 0;
    if (!readNumber(nextLine(text), number) || number < 1 || number > 4)
        return refused(why, "the transfer list has no version this program knows (1 to 4)");
    list.version = static_cast<int>(number);
    if (!readNumber(nextLine(text), list.totalBlocks))
        return refused(why, "the transfer list's second line is no block count");
    // Versions 2 and later name the stash the list needs: a full image needs none.
    for (int line = 0; list.version >= 2 && line < 2; ++line)
        if (!readNumber(nextLine(text), number))
            return refused(why, "the transfer list's stash lines are no numbers");
    for (std::size_t lineNumber = list.version >= 2 ? 5 : 3; !text.empty(); ++lineNumber) {
        const std::string_view line = nextLine(text);
        if (line.empty()) continue;
        const std::size_t blank = line.find(' ');
        const std::string_view word = line.substr(0, blank);
        if (isIncremental(word))
            return refused(why, "the transfer list is incremental (its command \"" +
                                    std::string(word) +
                                    "\" patches the partition on the device), so the zip "
                                    "holds no whole image; use a full ROM zip");
        TransferCommand command;
        if (word == "erase")
            command.op = TransferOp::erase;
        else if (word == "new")
            command.op = TransferOp::newData;
        else if (word == "zero")
            command.op = TransferOp::zero;
        else
            return refused(why, "line " + std::to_string(lineNumber) +
                                    " of the transfer list is no command this program knows");
        if (blank == std::string_view::npos ||
            !parseRangeSet(line.substr(blank + 1), command.ranges))
            return refused(why, "line " + std::to_string(lineNumber) +
                                    " of the transfer list has no valid block ranges");
        list.commands.push_back(std::move(command));
    }
    if (list.newBlocks() == 0) return refused(why, "the transfer list writes no new data");
    return list;
}

std::string rangeSetText(const RangeSet& ranges) {
    std::string text = std::to_string(ranges.size() * 2);
    for (const BlockRange& range : ranges)
        text += ',' + std::to_string(range.first) + ',' + std::to_string(range.end);
    return text;
}

std::string transferListText(const TransferList& list) {
    std::string text =
        std::to_string(list.version) + '\n' + std::to_string(list.totalBlocks) + '\n';
    if (list.version >= 2) text += "0\n0\n";
    for (const TransferCommand& command : list.commands) {
        if (command.ranges.empty()) continue;
        const char* word = command.op == TransferOp::erase  ? "erase"
                           : command.op == TransferOp::zero ? "zero"
                                                            : "new";
        text += std::string(word) + ' ' + rangeSetText(command.ranges) + '\n';
    }
    return text;
}
