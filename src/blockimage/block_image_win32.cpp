// SPDX-License-Identifier: GPL-3.0-or-later
#include "blockimage/block_image.h"

// The Windows build has no ext4 library yet: a block-based ROM zip is refused where it is found.
struct BlockImage::State {};

std::string BlockImage::unsupported(const BlockPartition& partition) {
    return "the ROM zip keeps its " + partition.name + " partition as a block image (" +
           partition.newData +
           "); block-based ROM zips aren't supported by the Windows build yet. Use the Linux "
           "build for them.";
}

BlockImage::BlockImage(std::unique_ptr<State> state) : state_(std::move(state)) {}
BlockImage::~BlockImage() = default;

std::unique_ptr<BlockImage> BlockImage::rebuild(const std::string&, const BlockPartition& partition,
                                                const std::string&, const BlockGoesOn&,
                                                std::string& why) {
    why = unsupported(partition);
    return nullptr;
}

const BlockPartition& BlockImage::partition() const {
    static const BlockPartition none;
    return none;
}
const std::vector<ImageFile>& BlockImage::files() const {
    static const std::vector<ImageFile> none;
    return none;
}
std::uint64_t BlockImage::dataBytes() const { return 0; }
std::string BlockImage::crcOf(const std::string&) const { return ""; }
bool BlockImage::extract(const std::string&, const std::string&) const { return false; }
std::string BlockImage::remove(const std::vector<std::string>&) { return "not supported"; }
std::string BlockImage::writeBack(const std::string&, const BlockGoesOn&) const {
    return "not supported";
}
