// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Block-based ROM zips for the tests: ext4 images made with mke2fs -d from folders, a reference
// writer of transfer lists and new data as a ROM's build writes a full image, a reference
// recovery that applies a list to a blank partition, and what e2fsprogs' own tools read from an
// image to compare trees with.

#include "support/temp_folder.h"
#include "support/zip_tools.h"
#include "support/zip_writer.h"

#include <brotli/decode.h>
#include <brotli/encode.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace blocktest {

constexpr std::size_t block = 4096;

// Runs an e2fsprogs tool: its standard output, its error stream dropped (debugfs greets there).
inline std::string tool(const std::vector<std::string>& arguments, int* status = nullptr) {
    std::vector<std::string> shell{"sh", "-c", "exec \"$0\" \"$@\" 2>/dev/null"};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    return runProgram(shell, "", status);
}

// Makes a 4096-byte-block ext4 image of `megabytes` from `source`; "" or what went wrong.
inline std::string makeExt4(const std::string& source, const std::string& image, int megabytes,
                            const std::string& options = "") {
    int status = 0;
    std::vector<std::string> command{"mke2fs", "-q", "-F", "-t", "ext4", "-b", "4096", "-I", "256"};
    std::istringstream extra(options);
    for (std::string word; extra >> word;) command.push_back(word);
    for (const std::string& word :
         {std::string("-d"), source, image, std::to_string(megabytes) + "M"})
        command.push_back(word);
    const std::string output = tool(command, &status);
    return status == 0 ? "" : "mke2fs failed: " + output;
}

// Sets a file's SELinux label as Android's build does; false where the file system takes none.
inline bool label(const std::string& path, const std::string& context) {
    return ::lsetxattr(path.c_str(), "security.selinux", context.c_str(), context.size() + 1, 0) ==
           0;
}

struct ListStyle {
    int version = 4;
    bool brotli = true;
    bool erase = true;  // the blocks not written are erased first; otherwise zeroed
};

inline std::string rangeText(const std::vector<std::pair<std::size_t, std::size_t>>& ranges) {
    std::string text = std::to_string(ranges.size() * 2);
    for (const auto& [first, end] : ranges)
        text += "," + std::to_string(first) + "," + std::to_string(end);
    return text;
}

// The entries a ROM's build writes for a full image of `partition`: its transfer list (erase or
// zero what isn't written, then `new` in runs of at most 1024 blocks, `zero` for zero blocks)
// and its new data, brotli-compressed at quality 9 when asked.
inline std::vector<ZipWriterEntry> fullImageEntries(const std::string& image,
                                                    const std::string& partition,
                                                    const ListStyle& style) {
    const std::size_t blocks = image.size() / block;
    std::vector<std::pair<std::size_t, std::size_t>> written, zeros;
    std::string data;
    for (std::size_t b = 0; b < blocks; ++b) {
        const bool zero = std::all_of(image.begin() + static_cast<long>(b * block),
                                      image.begin() + static_cast<long>((b + 1) * block),
                                      [](char c) { return c == 0; });
        auto& ranges = zero ? zeros : written;
        if (!ranges.empty() && ranges.back().second == b &&
            (zero || b - ranges.back().first < 1024))
            ++ranges.back().second;
        else
            ranges.push_back({b, b + 1});
        if (!zero) data.append(image, b * block, block);
    }
    std::string list = std::to_string(style.version) + "\n";
    std::size_t total = 0;
    for (const auto& [first, end] : written) total += end - first;
    for (const auto& [first, end] : zeros) total += end - first;
    list += std::to_string(total) + "\n";
    if (style.version >= 2) list += "0\n0\n";
    list += std::string(style.erase ? "erase " : "zero ") + rangeText({{0, blocks}}) + "\n";
    for (const auto& range : written) list += "new " + rangeText({range}) + "\n";
    if (!zeros.empty()) list += "zero " + rangeText(zeros) + "\n";
    std::string newData = data;
    if (style.brotli) {
        std::size_t size = BrotliEncoderMaxCompressedSize(data.size());
        newData.resize(size);
        BrotliEncoderCompress(9, 22, BROTLI_MODE_GENERIC, data.size(),
                              reinterpret_cast<const std::uint8_t*>(data.data()), &size,
                              reinterpret_cast<std::uint8_t*>(newData.data()));
        newData.resize(size);
    }
    return {{partition + ".transfer.list", list},
            {partition + (style.brotli ? ".new.dat.br" : ".new.dat"), newData}};
}

// What a recovery's block_image_update leaves on a blank partition of `blocks` blocks from a
// full image's transfer list and new data: `new` writes the data's next blocks, `zero` zeros,
// `erase` leaves what a discard leaves (here a pattern, which nothing may rely on). "" with
// `why` set when the list is one a recovery would reject.
inline std::string recover(const std::string& list, const std::string& newData, bool brotli,
                           std::size_t blocks, std::string& why) {
    std::string data = newData;
    if (brotli) {
        std::size_t size = blocks * block;
        data.resize(size);
        if (BrotliDecoderDecompress(
                newData.size(), reinterpret_cast<const std::uint8_t*>(newData.data()), &size,
                reinterpret_cast<std::uint8_t*>(data.data())) != BROTLI_DECODER_RESULT_SUCCESS) {
            why = "the new data is no brotli stream";
            return "";
        }
        data.resize(size);
    }
    std::string partition(blocks * block, '\0');
    std::istringstream lines(list);
    std::string line;
    int version = 0;
    lines >> version;
    std::getline(lines, line);
    for (int header = version >= 2 ? 3 : 1; header > 0; --header) std::getline(lines, line);
    std::size_t used = 0;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        std::istringstream words(line);
        std::string command, ranges;
        words >> command >> ranges;
        std::vector<std::size_t> numbers;
        std::istringstream parts(ranges);
        for (std::string part; std::getline(parts, part, ',');) numbers.push_back(std::stoul(part));
        if (numbers.empty() || numbers[0] != numbers.size() - 1 || numbers[0] % 2) {
            why = "bad ranges: " + line;
            return "";
        }
        for (std::size_t i = 1; i < numbers.size(); i += 2) {
            const std::size_t first = numbers[i], end = numbers[i + 1];
            if (first >= end || end > blocks) {
                why = "a range outside the partition: " + line;
                return "";
            }
            for (std::size_t b = first; b < end; ++b) {
                char* target = partition.data() + b * block;
                if (command == "zero") {
                    std::fill(target, target + block, '\0');
                } else if (command == "erase") {
                    std::fill(target, target + block, '\xA5');
                } else if (command == "new") {
                    if (used + block > data.size()) {
                        why = "the new data ends too soon";
                        return "";
                    }
                    std::copy(data.begin() + static_cast<long>(used),
                              data.begin() + static_cast<long>(used + block), target);
                    used += block;
                } else {
                    why = "a command a full image never has: " + line;
                    return "";
                }
            }
        }
    }
    if (used != data.size()) {
        why = "new data left over: " + std::to_string(data.size() - used) + " bytes";
        return "";
    }
    return partition;
}

// e2fsck -fn's verdict on an image: "" when clean, else its output.
inline std::string fsckFaults(const std::string& image) {
    int status = 0;
    const std::string output = tool({"e2fsck", "-fn", image}, &status);
    return status == 0 ? "" : output;
}

// What debugfs reads of each path of an image: type, mode, owner, size, link target, extended
// attributes, and a file's content. A path that isn't there reads "missing".
inline std::map<std::string, std::string> tree(const std::string& image,
                                               const std::vector<std::string>& paths,
                                               const std::string& dumpFolder) {
    std::map<std::string, std::string> seen;
    for (const std::string& path : paths) {
        const std::string output = tool({"debugfs", "-R", "stat \"/" + path + "\"", image});
        std::istringstream lines(output);
        std::string line, record;
        bool attributes = false;
        while (std::getline(lines, line)) {
            if (line.find("Type: ") != std::string::npos) {
                const std::size_t type = line.find("Type: ");
                record += line.substr(type, line.find("Flags:") - type) + "\n";
            } else if (line.starts_with("User:")) {
                record +=
                    line.substr(0, line.find("Project:")) + line.substr(line.find("Size:")) + "\n";
            } else if (line.starts_with("Fast link dest:")) {
                record += line + "\n";
            } else if (line.starts_with("Extended attributes:")) {
                attributes = true;
            } else if (attributes && line.starts_with("  ")) {
                record += line + "\n";
            } else {
                attributes = false;
            }
        }
        if (record.find("regular") != std::string::npos) {
            const std::string dumped = dumpFolder + "/content";
            std::filesystem::remove(dumped);
            tool({"debugfs", "-R", "dump \"/" + path + "\" \"" + dumped + "\"", image});
            record += "content " + readFile(dumped) + "\n";
        }
        seen[path] = record.empty() ? "missing" : record;
    }
    return seen;
}

}  // namespace blocktest
