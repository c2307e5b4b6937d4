// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writes zips entry by entry, byte for byte as asked: names 7z would never write itself (`/x`,
// `a/./b`, two entries of one name, names in any case), symbolic links, entries marked encrypted
// and an archive comment. Stored, so the names and contents are the bytes given.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct ZipWriterEntry {
    std::string name;     // the bytes of the name; a name ending in '/' is a folder
    std::string content;  // a link's content is the path it points to
    bool link = false;
    bool encrypted = false;  // only marked so: 7z lists it as encrypted, and can't extract it
};

inline std::uint32_t zipCrc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// True when the zip was written whole.
inline bool writeZip(const std::string& path, const std::vector<ZipWriterEntry>& entries,
                     const std::string& comment = "") {
    std::string out, directory;
    const auto u16 = [](std::string& to, unsigned value) {
        to += static_cast<char>(value & 0xFF);
        to += static_cast<char>((value >> 8) & 0xFF);
    };
    const auto u32 = [&](std::string& to, std::uint32_t value) {
        u16(to, value & 0xFFFF);
        u16(to, value >> 16);
    };
    for (const ZipWriterEntry& entry : entries) {
        const bool folder = entry.name.ends_with('/');
        const std::uint32_t crc = zipCrc32(entry.content);
        const auto size = static_cast<std::uint32_t>(entry.content.size());
        const unsigned flags = (entry.encrypted ? 1u : 0u) | 0x800u;  // names in UTF-8
        const std::uint32_t mode = entry.link ? 0120777u : folder ? 040755u : 0100644u;
        const auto offset = static_cast<std::uint32_t>(out.size());
        const auto common = [&](std::string& to) {
            u16(to, 10);  // version needed
            u16(to, flags);
            u16(to, 0);     // stored
            u16(to, 0);     // time
            u16(to, 0x21);  // date: 1980-01-01
            u32(to, crc);
            u32(to, size);
            u32(to, size);
            u16(to, static_cast<unsigned>(entry.name.size()));
            u16(to, 0);  // extra
        };
        u32(out, 0x04034b50u);
        common(out);
        out += entry.name + entry.content;
        u32(directory, 0x02014b50u);
        u16(directory, 0x031E);  // made by Unix, 3.0
        common(directory);
        u16(directory, 0);  // comment
        u16(directory, 0);  // disk
        u16(directory, 0);  // internal attributes
        u32(directory, mode << 16 | (folder ? 0x10u : 0u));
        u32(directory, offset);
        directory += entry.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out += directory;
    u32(out, 0x06054b50u);
    u16(out, 0);
    u16(out, 0);
    u16(out, static_cast<unsigned>(entries.size()));
    u16(out, static_cast<unsigned>(entries.size()));
    u32(out, static_cast<std::uint32_t>(directory.size()));
    u32(out, directoryOffset);
    u16(out, static_cast<unsigned>(comment.size()));
    out += comment;
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file.flush());
}
