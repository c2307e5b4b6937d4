// SPDX-License-Identifier: GPL-3.0-or-later
#include "blockimage/block_image.h"

#include <brotli/decode.h>
#include <brotli/encode.h>
#include <ext2fs/ext2fs.h>
#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t blockSize = 4096;
constexpr std::size_t maxScriptBytes = 16u << 20;
constexpr std::size_t maxListBytes = 64u << 20;
constexpr int maxDepth = 256;
constexpr std::uint32_t erofsMagic = 0xE0F5E1E2;
constexpr int brotliQuality = 6;

std::string libraryError(errcode_t code) { return error_message(code); }

struct ZipCloser {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

// An entry of the zip read whole, up to `limit` bytes; false when it is missing, larger or broken.
bool readEntry(zip_t* zip, const std::string& name, std::size_t limit, std::string& text) {
    zip_stat_t stat;
    if (zip_stat(zip, name.c_str(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
        stat.size > limit)
        return false;
    ZipFilePtr file(zip_fopen(zip, name.c_str(), 0));
    if (!file) return false;
    text.resize(stat.size);
    return zip_fread(file.get(), text.data(), stat.size) == static_cast<zip_int64_t>(stat.size);
}

// The new data of a partition, raw or brotli-decompressed, read in order.
class NewDataReader {
public:
    // Reads up to the size asked into the buffer: the bytes read, 0 at the end, -1 on an error.
    using Source = std::function<std::int64_t(std::uint8_t*, std::size_t)>;

    NewDataReader(Source source, bool brotli) : source_(std::move(source)) {
        if (brotli) decoder_ = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    }
    ~NewDataReader() {
        if (decoder_) BrotliDecoderDestroyInstance(decoder_);
    }
    NewDataReader(const NewDataReader&) = delete;
    NewDataReader& operator=(const NewDataReader&) = delete;

    // Fills `out` whole; false when the data ends first or is broken.
    bool read(std::uint8_t* out, std::size_t size) {
        while (!decoder_ && size > 0) {
            const std::int64_t got = readRaw(out, size);
            if (got <= 0) return false;
            out += got;
            size -= static_cast<std::size_t>(got);
        }
        while (size > 0) {
            if (available_ == 0 && !finished_) {
                const std::int64_t got = readRaw(input_.data(), input_.size());
                if (got < 0) return false;
                next_ = input_.data();
                available_ = static_cast<std::size_t>(got);
                finished_ = got == 0;
            }
            std::size_t room = size;
            const BrotliDecoderResult result =
                BrotliDecoderDecompressStream(decoder_, &available_, &next_, &room, &out, nullptr);
            size = room;
            if (result == BrotliDecoderResult::BROTLI_DECODER_RESULT_ERROR) return false;
            if (result == BrotliDecoderResult::BROTLI_DECODER_RESULT_SUCCESS && size > 0)
                return false;
            if (result == BrotliDecoderResult::BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT &&
                available_ == 0 && finished_)
                return false;
        }
        return true;
    }

    // The window of the brotli stream, from its first bits; 0 before anything was read.
    int window() const { return window_; }

private:
    std::int64_t readRaw(std::uint8_t* out, std::size_t size) {
        const std::int64_t got = source_(out, size);
        if (got > 0 && window_ == 0 && decoder_) window_ = streamWindow(out[0]);
        return got;
    }
    static int streamWindow(std::uint8_t first) {
        if (!(first & 1)) return 16;
        if (const int n = (first >> 1) & 7) return 17 + n;
        const int m = (first >> 4) & 7;
        if (m == 1) return BROTLI_MAX_WINDOW_BITS;  // a large window: the most a stream takes
        return m ? std::max(8 + m, BROTLI_MIN_WINDOW_BITS) : 17;
    }

    Source source_;
    BrotliDecoderState* decoder_ = nullptr;
    std::vector<std::uint8_t> input_ = std::vector<std::uint8_t>(1 << 20);
    const std::uint8_t* next_ = nullptr;
    std::size_t available_ = 0;
    bool finished_ = false;
    int window_ = 0;
};

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool readAll(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (got <= 0) return false;
        data += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool zeroRange(int fd, const BlockRange& range) {
    const off_t start = static_cast<off_t>(range.first * blockSize);
    const off_t length = static_cast<off_t>((range.end - range.first) * blockSize);
    if (::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, start, length) == 0)
        return true;
    static const std::vector<std::uint8_t> zeros(blockSize);
    for (std::uint64_t block = range.first; block < range.end; ++block)
        if (!writeAll(fd, zeros.data(), zeros.size(), block * blockSize)) return false;
    return true;
}

// The lines of an updater-script that check the partition's blocks against a hash once written:
// a slimmed image would fail them, and the zip would stop the flashing half done.
bool checksPartitionHash(const std::string& script, const std::string& part) {
    std::size_t start = 0;
    while (start < script.size()) {
        std::size_t end = script.find('\n', start);
        if (end == std::string::npos) end = script.size();
        const std::string_view line(script.data() + start, end - start);
        if (line.find("range_sha1") != std::string_view::npos &&
            line.find(part) != std::string_view::npos)
            return true;
        start = end + 1;
    }
    return false;
}

std::string crcText(uLong crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lX", crc & 0xffffffffUL);
    return text;
}

// Why the image (only the blocks written take space) and the new data written back would not
// fit beside the ROM zip, or "".
std::string roomFault(zip_t* zip, const BlockPartition& partition, const TransferList& list,
                      const std::string& imagePath) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    zip_stat(zip, partition.newData.c_str(), 0, &stat);
    const std::uint64_t needed = list.newBlocks() * blockSize + stat.comp_size + (64u << 20);
    std::error_code error;
    const fs::space_info space = fs::space(fs::path(imagePath).parent_path(), error);
    if (error || space.available >= needed) return "";
    return "there is too little free space beside the ROM zip to rebuild the " + partition.name +
           " image: " + std::to_string(needed >> 20) + " MiB are needed, " +
           std::to_string(space.available >> 20) + " MiB are free";
}

}  // namespace

struct BlockImage::State {
    BlockPartition partition;
    std::string imagePath;
    TransferList list;
    int window = 0;  // the old stream's brotli window
    ext2_filsys fs = nullptr;
    std::string root;  // "" or "system/": where the partition's files begin in the image
    ext2_ino_t rootIno = EXT2_ROOT_INO;
    std::vector<ImageFile> files;

    ~State() {
        if (fs) ext2fs_close2(fs, 0);
        if (!imagePath.empty()) ::unlink(imagePath.c_str());
    }

    std::string rebuildFrom(zip_t* zip, const BlockGoesOn& goesOn);
    std::string openChecked(const BlockGoesOn& goesOn);
    std::string checkBlocks(const BlockGoesOn& goesOn);
    std::string listFolder(ext2_ino_t folder, const std::string& prefix, int depth);
    std::string verifyWritten(const std::string& dataPath, const RangeSet& written, int image,
                              const BlockGoesOn& goesOn) const;
    ext2_ino_t lookUp(const std::string& path) const;
};

std::string BlockImage::State::rebuildFrom(zip_t* zip, const BlockGoesOn& goesOn) {
    const std::string& part = partition.name;
    std::string text;
    if (!readEntry(zip, partition.transferList, maxListBytes, text))
        return "Can't read " + partition.transferList + " from the ROM zip";
    std::string why;
    list = parseTransferList(text, why);
    if (!why.empty()) return partition.transferList + ": " + why;
    std::string script;
    if (readEntry(zip, "META-INF/com/google/android/updater-script", maxScriptBytes, script) &&
        checksPartitionHash(script, part))
        return "the updater-script checks the " + part +
               " partition's hash (range_sha1) after writing it, which a slimmed image would "
               "fail, stopping the flashing half done";

    if (const std::string fault = roomFault(zip, partition, list, imagePath); !fault.empty())
        return fault;

    const Fd image(::open(imagePath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (image.get() < 0) return "Can't create " + imagePath + ": " + std::strerror(errno);
    if (::ftruncate(image.get(), static_cast<off_t>(list.imageBlocks() * blockSize)) != 0)
        return "Can't write " + imagePath + ": " + std::strerror(errno);
    ZipFilePtr data(zip_fopen(zip, partition.newData.c_str(), 0));
    if (!data) return "Can't read " + partition.newData + " from the ROM zip";
    NewDataReader reader(
        [file = data.get()](std::uint8_t* out, std::size_t size) {
            return static_cast<std::int64_t>(zip_fread(file, out, size));
        },
        partition.brotli);
    std::vector<std::uint8_t> buffer(256 * blockSize);
    for (const TransferCommand& command : list.commands) {
        for (const BlockRange& range : command.ranges) {
            if (command.op != TransferOp::newData) {
                if (!zeroRange(image.get(), range)) return "Can't write " + imagePath;
                continue;
            }
            for (std::uint64_t block = range.first; block < range.end;) {
                if (goesOn && !goesOn()) return "stopped";
                const std::uint64_t count =
                    std::min<std::uint64_t>(range.end - block, buffer.size() / blockSize);
                if (!reader.read(buffer.data(), count * blockSize))
                    return partition.newData + " is damaged or shorter than " +
                           partition.transferList + " says";
                if (!writeAll(image.get(), buffer.data(), count * blockSize, block * blockSize))
                    return "Can't write " + imagePath + ": " + std::strerror(errno);
                block += count;
            }
        }
    }
    window = reader.window();
    return "";
}

std::string BlockImage::State::openChecked(const BlockGoesOn& goesOn) {
    const std::string& part = partition.name;
    std::uint8_t super[2048] = {};
    {
        const Fd image(::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC));
        if (image.get() < 0 || !readAll(image.get(), super, sizeof super, 0))
            return "the " + part + " image is too short to hold a file system";
    }
    std::uint32_t magic32 = 0;
    std::memcpy(&magic32, super + 1024, 4);
    if (magic32 == erofsMagic)
        return "the " + part + " image is EROFS, which this program can't change yet";
    if (super[1024 + 56] != 0x53 || super[1024 + 57] != 0xEF)
        return "the " + part + " image is no ext4 file system";

    const errcode_t opened = ext2fs_open2(
        imagePath.c_str(), nullptr, EXT2_FLAG_RW | EXT2_FLAG_64BITS, 0, 0, unix_io_manager, &fs);
    if (opened == EXT2_ET_UNSUPP_FEATURE || opened == EXT2_ET_RO_UNSUPP_FEATURE) {
        fs = nullptr;
        return "the " + part +
               " image uses a file system feature that e2fsprogs' library can't "
               "change safely";
    }
    if (opened) {
        fs = nullptr;
        return "the " + part + " image can't be opened as ext4: " + libraryError(opened);
    }
    if (ext2fs_has_feature_shared_blocks(fs->super))
        return "the " + part +
               " image shares blocks between files (shared_blocks), so no "
               "file's blocks can be freed alone";
    if (fs->blocksize != blockSize)
        return "the " + part + " image's blocks are " + std::to_string(fs->blocksize) +
               " bytes, not the transfer list's 4096";
    const std::uint64_t fsBlocks = ext2fs_blocks_count(fs->super);
    if (fsBlocks > list.imageBlocks())
        return "the " + part + " image is larger than its transfer list writes";
    for (const TransferCommand& command : list.commands)
        if (command.op == TransferOp::newData)
            for (const BlockRange& range : command.ranges)
                if (range.end > fsBlocks)
                    return "the " + part +
                           " image carries data past its file system (a verity "
                           "hash tree or footer), which would no longer match a changed image; "
                           "this program can't rebuild it";
    if ((fs->super->s_state & EXT2_ERROR_FS) || !(fs->super->s_state & EXT2_VALID_FS))
        return "the " + part + " image's file system is marked as having errors";
    if (const errcode_t read = ext2fs_read_bitmaps(fs))
        return "the " + part + " image's bitmaps can't be read: " + libraryError(read);
    return checkBlocks(goesOn);
}

// The check before a change: every block that a file or folder holds is marked in use and held
// by that one alone, and every inode with a name is marked in use. Freeing a file's blocks is only
// safe when that holds.
std::string BlockImage::State::checkBlocks(const BlockGoesOn& goesOn) {
    const std::string fault = "the " + partition.name + " image's file system has errors";
    ext2fs_block_bitmap seen = nullptr;
    if (ext2fs_allocate_block_bitmap(fs, "seen", &seen)) return fault;
    ext2_inode_scan scan = nullptr;
    if (ext2fs_open_inode_scan(fs, 0, &scan)) {
        ext2fs_free_block_bitmap(seen);
        return fault;
    }
    struct Walk {
        ext2_filsys fs;
        ext2fs_block_bitmap seen;
        bool bad = false;
    } walk{fs, seen};
    const auto visit = [](ext2_filsys filsys, blk64_t* block, e2_blkcnt_t, blk64_t, int,
                          void* data) -> int {
        auto* w = static_cast<Walk*>(data);
        if (*block >= ext2fs_blocks_count(filsys->super) ||
            !ext2fs_test_block_bitmap2(filsys->block_map, *block) ||
            ext2fs_test_block_bitmap2(w->seen, *block)) {
            w->bad = true;
            return BLOCK_ABORT;
        }
        ext2fs_mark_block_bitmap2(w->seen, *block);
        return 0;
    };
    ext2_ino_t ino = 0;
    ext2_inode inode;
    std::uint64_t scanned = 0;
    while (!walk.bad) {
        // An inode table that can't be read is a fault like any other.
        if (ext2fs_get_next_inode(scan, &ino, &inode) != 0) {
            walk.bad = true;
            break;
        }
        if (ino == 0) break;
        if ((++scanned & 0xfff) == 0 && goesOn && !goesOn()) {
            walk.bad = true;
            break;
        }
        if (inode.i_links_count == 0) continue;
        if (!ext2fs_test_inode_bitmap2(fs->inode_map, ino)) walk.bad = true;
        if (walk.bad || !ext2fs_inode_has_valid_blocks2(fs, &inode)) continue;
        if (ext2fs_block_iterate3(fs, ino, BLOCK_FLAG_READ_ONLY, nullptr, visit, &walk))
            walk.bad = true;
    }
    ext2fs_close_inode_scan(scan);
    ext2fs_free_block_bitmap(seen);
    return walk.bad ? fault : "";
}

std::string BlockImage::State::listFolder(ext2_ino_t folder, const std::string& prefix, int depth) {
    if (depth > maxDepth) return "the " + partition.name + " image's folders nest too deep";
    struct Entry {
        std::string name;
        ext2_ino_t ino;
    };
    std::vector<Entry> entries;
    const auto collect = [](ext2_ino_t, int, ext2_dir_entry* dirent, int, int, char*,
                            void* data) -> int {
        const int length = ext2fs_dirent_name_len(dirent);
        std::string name(dirent->name, static_cast<std::size_t>(length));
        if (name != "." && name != "..")
            static_cast<std::vector<Entry>*>(data)->push_back({std::move(name), dirent->inode});
        return 0;
    };
    if (const errcode_t failed = ext2fs_dir_iterate2(fs, folder, 0, nullptr, collect, &entries))
        return "the " + partition.name + " image's folder " + prefix +
               " can't be read: " + libraryError(failed);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (const Entry& entry : entries) {
        ext2_inode inode;
        if (ext2fs_read_inode(fs, entry.ino, &inode))
            return "the " + partition.name + " image's file " + prefix + entry.name +
                   " can't be read";
        ImageFile file{prefix + entry.name, EXT2_I_SIZE(&inode), LINUX_S_ISDIR(inode.i_mode),
                       LINUX_S_ISLNK(inode.i_mode)};
        if (file.isFolder) file.size = 0;
        files.push_back(file);
        if (file.isFolder)
            if (std::string fault = listFolder(entry.ino, file.path + "/", depth + 1);
                !fault.empty())
                return fault;
    }
    return "";
}

ext2_ino_t BlockImage::State::lookUp(const std::string& path) const {
    ext2_ino_t ino = 0;
    if (ext2fs_namei(fs, EXT2_ROOT_INO, rootIno, path.c_str(), &ino)) return 0;
    return ino;
}

std::string BlockImage::unsupported(const BlockPartition&) { return ""; }

BlockImage::BlockImage(std::unique_ptr<State> state) : state_(std::move(state)) {}
BlockImage::~BlockImage() = default;

std::unique_ptr<BlockImage> BlockImage::rebuild(const std::string& romPath,
                                                const BlockPartition& partition,
                                                const std::string& imagePath,
                                                const BlockGoesOn& goesOn, std::string& why) {
    auto state = std::make_unique<State>();
    state->partition = partition;
    int zipError = 0;
    const ZipPtr zip(zip_open(romPath.c_str(), ZIP_RDONLY, &zipError));
    if (!zip) {
        why = "Can't open " + romPath + " to read its " + partition.name + " image";
        return nullptr;
    }
    state->imagePath = imagePath;
    why = state->rebuildFrom(zip.get(), goesOn);
    if (why.empty()) why = state->openChecked(goesOn);
    if (why.empty()) {
        // A system image that holds the whole root keeps the partition's files below system/.
        ext2_ino_t inner = 0;
        ext2_ino_t buildProp = 0;
        if (partition.name == "system" &&
            !ext2fs_namei(state->fs, EXT2_ROOT_INO, EXT2_ROOT_INO, "system/build.prop", &inner) &&
            ext2fs_namei(state->fs, EXT2_ROOT_INO, EXT2_ROOT_INO, "build.prop", &buildProp) &&
            !ext2fs_namei(state->fs, EXT2_ROOT_INO, EXT2_ROOT_INO, "system", &inner)) {
            state->root = "system/";
            state->rootIno = inner;
        }
        why = state->listFolder(state->rootIno, "", 0);
    }
    if (!why.empty()) return nullptr;
    return std::unique_ptr<BlockImage>(new BlockImage(std::move(state)));
}

const BlockPartition& BlockImage::partition() const { return state_->partition; }
const std::vector<ImageFile>& BlockImage::files() const { return state_->files; }
std::uint64_t BlockImage::dataBytes() const { return state_->list.newBlocks() * blockSize; }

namespace {

// Reads a file of the image in pieces, handing each to `take`.
template <typename Take>
bool readImageFile(ext2_filsys fs, ext2_ino_t ino, Take take) {
    ext2_file_t file = nullptr;
    if (ext2fs_file_open(fs, ino, 0, &file)) return false;
    std::vector<char> buffer(1 << 20);
    bool good = true;
    while (good) {
        unsigned int got = 0;
        if (ext2fs_file_read(file, buffer.data(), static_cast<unsigned int>(buffer.size()), &got)) {
            good = false;
            break;
        }
        if (got == 0) break;
        good = take(buffer.data(), got);
    }
    ext2fs_file_close(file);
    return good;
}

}  // namespace

std::string BlockImage::crcOf(const std::string& path) const {
    const ext2_ino_t ino = state_->lookUp(path);
    if (!ino) return "";
    uLong crc = crc32(0, nullptr, 0);
    const bool read = readImageFile(state_->fs, ino, [&crc](const char* data, unsigned int size) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), size);
        return true;
    });
    return read ? crcText(crc) : "";
}

bool BlockImage::extract(const std::string& path, const std::string& destination) const {
    const ext2_ino_t ino = state_->lookUp(path);
    if (!ino) return false;
    std::error_code error;
    fs::create_directories(fs::path(destination).parent_path(), error);
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const bool read = readImageFile(state_->fs, ino, [&out](const char* data, unsigned int size) {
        out.write(data, size);
        return static_cast<bool>(out);
    });
    out.close();
    return read && !out.fail();
}

namespace {

std::string removeOne(ext2_filsys fs, ext2_ino_t top, const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string parentPath = slash == std::string::npos ? "" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    ext2_ino_t parent = top;
    if (!parentPath.empty() && ext2fs_namei(fs, EXT2_ROOT_INO, top, parentPath.c_str(), &parent))
        return path + ": its folder is not in the image";
    ext2_ino_t ino = 0;
    if (ext2fs_lookup(fs, parent, name.c_str(), static_cast<int>(name.size()), nullptr, &ino))
        return path + ": not in the image";
    ext2_inode_large inode;
    auto* small = reinterpret_cast<ext2_inode*>(&inode);
    if (ext2fs_read_inode_full(fs, ino, small, sizeof inode)) return path + ": can't be read";
    const bool folder = LINUX_S_ISDIR(inode.i_mode);
    if (folder) {
        int held = 0;
        ext2fs_dir_iterate2(
            fs, ino, 0, nullptr,
            [](ext2_ino_t, int, ext2_dir_entry* dirent, int, int, char*, void* data) -> int {
                const int length = ext2fs_dirent_name_len(dirent);
                const std::string_view entry(dirent->name, static_cast<std::size_t>(length));
                if (entry != "." && entry != "..") ++*static_cast<int*>(data);
                return 0;
            },
            &held);
        if (held) return path + ": the folder still holds files";
    }
    if (const errcode_t failed = ext2fs_unlink(fs, parent, name.c_str(), ino, 0))
        return path + ": " + libraryError(failed);
    if (folder) {
        // Its ".." was a link of the folder above.
        ext2_inode above;
        if (!ext2fs_read_inode(fs, parent, &above) && above.i_links_count > 1) {
            --above.i_links_count;
            ext2fs_write_inode(fs, parent, &above);
        }
        inode.i_links_count = 0;
    } else if (inode.i_links_count > 0) {
        --inode.i_links_count;
    }
    if (inode.i_links_count > 0) {
        // Another name still holds the file.
        return ext2fs_write_inode_full(fs, ino, small, sizeof inode) ? path + ": can't be written"
                                                                     : "";
    }
    if (ext2fs_inode_has_valid_blocks2(fs, small))
        if (const errcode_t failed = ext2fs_punch(fs, ino, small, nullptr, 0, ~0ULL))
            return path + ": its blocks can't be freed: " + libraryError(failed);
    if (const blk64_t attributes = ext2fs_file_acl_block(fs, small)) {
        __u32 count = 0;
        if (!ext2fs_adjust_ea_refcount3(fs, attributes, nullptr, -1, &count, ino) && count == 0)
            ext2fs_block_alloc_stats2(fs, attributes, -1);
        ext2fs_file_acl_block_set(fs, small, 0);
    }
    inode.i_dtime = static_cast<__u32>(fs->now ? fs->now : ::time(nullptr));
    if (ext2fs_write_inode_full(fs, ino, small, sizeof inode)) return path + ": can't be written";
    ext2fs_inode_alloc_stats2(fs, ino, -1, folder);
    return "";
}

}  // namespace

std::string BlockImage::remove(const std::vector<std::string>& paths) {
    std::vector<std::string> deepestFirst = paths;
    std::sort(deepestFirst.begin(), deepestFirst.end(), std::greater<>());
    for (const std::string& path : deepestFirst)
        if (std::string fault = removeOne(state_->fs, state_->rootIno, path); !fault.empty())
            return fault;
    if (const errcode_t failed = ext2fs_flush(state_->fs))
        return "the " + state_->partition.name + " image can't be written: " + libraryError(failed);
    return "";
}

namespace {

// Writes the new data, raw or through brotli, to a file.
class NewDataWriter {
public:
    NewDataWriter(const std::string& path, bool brotli, int window)
        : out_(path, std::ios::binary | std::ios::trunc) {
        if (!brotli) return;
        encoder_ = BrotliEncoderCreateInstance(nullptr, nullptr, nullptr);
        BrotliEncoderSetParameter(encoder_, BROTLI_PARAM_QUALITY, brotliQuality);
        BrotliEncoderSetParameter(
            encoder_, BROTLI_PARAM_LGWIN,
            static_cast<std::uint32_t>(
                window ? std::clamp(window, BROTLI_MIN_WINDOW_BITS, BROTLI_MAX_WINDOW_BITS)
                       : BROTLI_DEFAULT_WINDOW));
    }
    ~NewDataWriter() {
        if (encoder_) BrotliEncoderDestroyInstance(encoder_);
    }
    NewDataWriter(const NewDataWriter&) = delete;
    NewDataWriter& operator=(const NewDataWriter&) = delete;

    bool write(const std::uint8_t* data, std::size_t size) {
        if (!encoder_)
            return static_cast<bool>(out_.write(reinterpret_cast<const char*>(data),
                                                static_cast<std::streamsize>(size)));
        return compress(BROTLI_OPERATION_PROCESS, data, size);
    }
    bool finish() {
        if (encoder_ && !compress(BROTLI_OPERATION_FINISH, nullptr, 0)) return false;
        out_.close();
        return !out_.fail();
    }

private:
    bool compress(BrotliEncoderOperation operation, const std::uint8_t* data, std::size_t size) {
        std::uint8_t buffer[1 << 16];
        do {
            std::uint8_t* next = buffer;
            std::size_t room = sizeof buffer;
            if (!BrotliEncoderCompressStream(encoder_, operation, &size, &data, &room, &next,
                                             nullptr))
                return false;
            if (!out_.write(reinterpret_cast<const char*>(buffer),
                            static_cast<std::streamsize>(sizeof buffer - room)))
                return false;
        } while (size > 0 || BrotliEncoderHasMoreOutput(encoder_) ||
                 (operation == BROTLI_OPERATION_FINISH && !BrotliEncoderIsFinished(encoder_)));
        return true;
    }

    std::ofstream out_;
    BrotliEncoderState* encoder_ = nullptr;
};

void addBlock(RangeSet& ranges, std::uint64_t block) {
    if (!ranges.empty() && ranges.back().end == block)
        ++ranges.back().end;
    else
        ranges.push_back({block, block + 1});
}

bool allZero(const std::uint8_t* data, std::size_t size) {
    return std::all_of(data, data + size, [](std::uint8_t byte) { return byte == 0; });
}

}  // namespace

// Reads the new data back as the recovery will, and compares each block with the image's: what
// goes into the ROM zip is what the image holds, whatever the encoder or the disk did.
std::string BlockImage::State::verifyWritten(const std::string& dataPath, const RangeSet& written,
                                             int image, const BlockGoesOn& goesOn) const {
    const std::string fault = dataPath + " doesn't read back as the image's blocks";
    const Fd data(::open(dataPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (data.get() < 0) return fault;
    NewDataReader reader(
        [fd = data.get()](std::uint8_t* out, std::size_t size) {
            return static_cast<std::int64_t>(::read(fd, out, size));
        },
        partition.brotli);
    std::vector<std::uint8_t> read(256 * blockSize), expected(256 * blockSize);
    for (const BlockRange& range : written)
        for (std::uint64_t block = range.first; block < range.end;) {
            if (goesOn && !goesOn()) return "stopped";
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(range.end - block, 256));
            if (!reader.read(read.data(), count * blockSize) ||
                !readAll(image, expected.data(), count * blockSize, block * blockSize) ||
                std::memcmp(read.data(), expected.data(), count * blockSize) != 0)
                return fault;
            block += count;
        }
    std::uint8_t extra = 0;
    return reader.read(&extra, 1) ? fault : "";
}

std::string BlockImage::writeBack(const std::string& folder, const BlockGoesOn& goesOn) const {
    const State& state = *state_;
    const std::string dataPath = folder + "/" + state.partition.newData;
    const std::string listPath = folder + "/" + state.partition.transferList;
    const Fd image(::open(state.imagePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (image.get() < 0) return "Can't read " + state.imagePath;
    NewDataWriter writer(dataPath, state.partition.brotli, state.window);
    const std::uint64_t fsBlocks = ext2fs_blocks_count(state.fs->super);
    RangeSet written, zeros, rest;
    // Runs of blocks in use are read whole, up to a MiB at a time.
    const auto used = [&](std::uint64_t b) {
        return b < fsBlocks && ext2fs_test_block_bitmap2(state.fs->block_map, b);
    };
    constexpr std::uint64_t runBlocks = 256;
    std::vector<std::uint8_t> run(runBlocks * blockSize);
    std::uint64_t asked = 0;
    for (std::uint64_t b = 0; b < state.list.imageBlocks();) {
        if ((++asked & 0xfff) == 0 && goesOn && !goesOn()) return "stopped";
        if (!used(b)) {
            addBlock(rest, b++);
            continue;
        }
        std::uint64_t end = b + 1;
        while (end < state.list.imageBlocks() && end - b < runBlocks && used(end)) ++end;
        if (!readAll(image.get(), run.data(), (end - b) * blockSize, b * blockSize))
            return "Can't read " + state.imagePath;
        for (std::uint64_t at = b; at < end; ++at) {
            const std::uint8_t* block = run.data() + (at - b) * blockSize;
            if (allZero(block, blockSize)) {
                addBlock(zeros, at);
                continue;
            }
            if (!writer.write(block, blockSize)) return "Can't write " + dataPath;
            addBlock(written, at);
        }
        b = end;
    }
    if (!writer.finish()) return "Can't write " + dataPath;
    if (std::string fault = state.verifyWritten(dataPath, written, image.get(), goesOn);
        !fault.empty())
        return fault;
    // What the old list did with the blocks it didn't write, the new one does with the free ones.
    bool erases = false;
    for (const TransferCommand& command : state.list.commands)
        erases = erases || command.op == TransferOp::erase;
    TransferList list;
    list.version = state.list.version;
    list.commands.push_back({erases ? TransferOp::erase : TransferOp::zero, rest});
    list.commands.push_back({TransferOp::newData, written});
    list.commands.push_back({TransferOp::zero, zeros});
    list.totalBlocks = blockCount(written) + blockCount(zeros) + (erases ? 0 : blockCount(rest));
    std::ofstream out(listPath, std::ios::binary | std::ios::trunc);
    out << transferListText(list);
    out.close();
    return out.fail() ? "Can't write " + listPath : "";
}
