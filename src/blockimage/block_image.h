// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "blockimage/transfer_list.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A partition that a ROM zip carries as a block image: `<part>.transfer.list` with
// `<part>.new.dat` or `<part>.new.dat.br` beside it, at the top of the zip.
struct BlockPartition {
    std::string name;          // system, vendor, product or system_ext
    std::string transferList;  // the entries, as the zip's listing spells them
    std::string newData;
    bool brotli = false;  // newData is brotli-compressed
};

// The block partitions among a ROM zip's entry names ('/' or '\' between folders).
std::vector<BlockPartition> findBlockPartitions(const std::vector<std::string>& entryNames);

// One file or folder inside an image, named from the partition's top ('/' between folders). A
// system image that holds the whole root (its files below `system/`) is named from that folder,
// as the partition is mounted.
struct ImageFile {
    std::string path;
    std::uint64_t size = 0;
    bool isFolder = false;
    bool isLink = false;
};

// Called often during long work; false stops it.
using BlockGoesOn = std::function<bool()>;

// The ext4 image of one block partition, rebuilt into a file of the program's own, where its files
// can be listed, read and removed without mounting it, and from which a new `new.dat(.br)` and
// transfer list are written. The file is removed with the object.
class BlockImage {
public:
    // Rebuilds `partition` of the ROM zip at `romPath` into `imagePath` (which must not exist)
    // as the recovery would write it, and checks that it can be changed safely. Null, with `why`
    // in words for the user, when it can't: a list that isn't a full image's, too little free
    // space, an updater-script that checks the partition's hash after writing it, an image that
    // isn't ext4 (EROFS is named), block size other than 4096, a feature that shares blocks
    // between files or that e2fsprogs' library doesn't know, errors in the file system, data
    // past its end (a verity hash tree or footer). On the Windows build, always null.
    static std::unique_ptr<BlockImage> rebuild(const std::string& romPath,
                                               const BlockPartition& partition,
                                               const std::string& imagePath,
                                               const BlockGoesOn& goesOn, std::string& why);
    // Why this build can't rebuild `partition` at all, before anything is written; "" when it
    // can.
    static std::string unsupported(const BlockPartition& partition);
    ~BlockImage();
    BlockImage(const BlockImage&) = delete;
    BlockImage& operator=(const BlockImage&) = delete;

    const BlockPartition& partition() const;
    // The bytes of new data the old list writes.
    std::uint64_t dataBytes() const;
    // Every file and folder below the top, parents before what they hold.
    const std::vector<ImageFile>& files() const;

    // A file's CRC-32 as 7z prints it (eight upper-case hex digits); "" when it can't be read.
    std::string crcOf(const std::string& path) const;
    // Writes the content of the file `path` to `destination`, making the folders above it.
    bool extract(const std::string& path, const std::string& destination) const;
    // Removes the files and (empty once their content is gone) folders `paths`, deepest first,
    // freeing their inodes and blocks; a name of a file with other hard links only loses that
    // name. "" when all went, else what failed.
    std::string remove(const std::vector<std::string>& paths);
    // Writes `folder`/<newData> and `folder`/<transferList>: the blocks in use (zero blocks as
    // `zero`), the rest erased as the old list did it, in the old list's version; brotli at
    // quality 6 with the old stream's window. "" when done, else what failed.
    std::string writeBack(const std::string& folder, const BlockGoesOn& goesOn) const;

    struct State;

private:
    explicit BlockImage(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};
