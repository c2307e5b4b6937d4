// SPDX-License-Identifier: GPL-3.0-or-later
#include "blockimage/block_image.h"

#include <algorithm>
#include <set>

std::vector<BlockPartition> findBlockPartitions(const std::vector<std::string>& entryNames) {
    const std::set<std::string> names(entryNames.begin(), entryNames.end());
    std::vector<BlockPartition> found;
    for (const char* part : {"system", "vendor", "product", "system_ext"}) {
        const std::string name = part;
        if (!names.count(name + ".transfer.list")) continue;
        BlockPartition partition{name, name + ".transfer.list", name + ".new.dat.br", true};
        if (!names.count(partition.newData)) {
            partition.newData = name + ".new.dat";
            partition.brotli = false;
            if (!names.count(partition.newData)) continue;
        }
        found.push_back(std::move(partition));
    }
    return found;
}
