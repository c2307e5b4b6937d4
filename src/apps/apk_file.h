// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "apps/apk_identity.h"

#include <cstdint>
#include <memory>
#include <string>

// How much of an APK is read into memory at most. The two files of the identity are small (a
// few KiB to a few MiB); an APK that the ROM zip compressed must be unpacked whole to be opened.
struct ApkReadLimits {
    std::uint64_t maxIdentityFile = 64u << 20;      // AndroidManifest.xml, resources.arsc
    std::uint64_t maxCompressedApk = 512ull << 20;  // an APK deflated inside the ROM zip
};

// Reads the identity of the APK at `path` on disk. Failures say why in the reading's problem.
ApkReading readApkFile(const std::string& path, const ApkReadLimits& limits = {});

// A ROM zip opened once to read many of its APKs without unpacking it: an APK that the zip
// stores as it is is opened in place, one it compressed is unpacked in memory, and of either
// only AndroidManifest.xml and resources.arsc are read. One thread at a time: a front-end that
// reads while its window stays responsive gives the RomZip to one worker.
class RomZip {
public:
    // The ROM zip at `path` (UTF-8 on both builds), or null with `why` set.
    static std::unique_ptr<RomZip> open(const std::string& path, std::string& why);
    ~RomZip();
    RomZip(const RomZip&) = delete;
    RomZip& operator=(const RomZip&) = delete;

    // The identity of the APK that the zip holds as `entry` (as the ROM's listing names it, '/'
    // or '\' between folders).
    ApkReading readApk(const std::string& entry, const ApkReadLimits& limits = {}) const;

private:
    struct Archive;
    explicit RomZip(std::unique_ptr<Archive> archive);
    std::unique_ptr<Archive> archive_;
};
