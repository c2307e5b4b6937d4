// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the transfer list reader. Beyond the sanitizers it checks that a list it
// accepts is one it can rebuild a partition from: its ranges are whole and within bounds, and
// the text written from it reads back as the same list.
#include "blockimage/transfer_list.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    const TransferList list = parseTransferList(text, why);
    if (!why.empty()) return 0;
    require(list.version >= 1 && list.version <= 4);
    require(list.newBlocks() > 0);
    for (const TransferCommand& command : list.commands)
        for (const BlockRange& range : command.ranges)
            require(range.first < range.end && range.end <= (std::uint64_t{1} << 32));
    std::string again;
    const TransferList reread = parseTransferList(transferListText(list), again);
    require(again.empty());
    require(reread.version == list.version && reread.totalBlocks == list.totalBlocks &&
            reread.commands == list.commands);
    return 0;
}
