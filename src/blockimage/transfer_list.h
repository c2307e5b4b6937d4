// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Blocks of a partition, [first, end), in 4096-byte blocks.
struct BlockRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    bool operator==(const BlockRange&) const = default;
};
using RangeSet = std::vector<BlockRange>;

std::uint64_t blockCount(const RangeSet& ranges);

// What a command of a full image does to its ranges.
enum class TransferOp {
    erase,    // discards them: their content is not relied upon
    newData,  // writes the next blocks of the new data, in the ranges' order
    zero,     // writes zeros
};

struct TransferCommand {
    TransferOp op = TransferOp::newData;
    RangeSet ranges;
    bool operator==(const TransferCommand&) const = default;
};

// A transfer list that writes a whole partition: what the recovery's block_image_update does with
// the `<part>.new.dat` beside it.
struct TransferList {
    int version = 0;                // 1 to 4
    std::uint64_t totalBlocks = 0;  // the second line: the blocks the list writes
    std::vector<TransferCommand> commands;
    std::uint64_t newBlocks() const;    // what the new data must hold, in blocks
    std::uint64_t imageBlocks() const;  // one past the last block any command names
};

// Reads a transfer list. "" in `why` when it is one this program can rebuild a partition from;
// otherwise why not, in words for the user: an incremental list (move, bsdiff, imgdiff, stash,
// free) patches the partition already on the device, so there is no whole image in the zip.
// Bounded: a list over 64 MiB, a block beyond 2^32 or a line that isn't a command is refused,
// never read further.
TransferList parseTransferList(std::string_view text, std::string& why);

// The text of `list`, as parseTransferList reads it; version 2 and later carry the two stash
// lines, both 0 for a full image.
std::string transferListText(const TransferList& list);

// "N,a,b,c,d": the count of numbers, then each range's first block and the block after it.
std::string rangeSetText(const RangeSet& ranges);
