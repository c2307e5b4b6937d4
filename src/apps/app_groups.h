// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One entry of the ROM zip's listing, as far as finding apps goes (the pipeline's ArchiveEntry
// carries the same three).
struct ListedEntry {
    std::string path;  // as listed: '/' between folders, or '\' from the Windows build's 7z
    std::uint64_t size = 0;
    bool isFolder = false;
};

// An app the ROM holds, with everything that goes with it.
struct FoundApp {
    std::string apkPath;               // its (main) APK, spelled as listed
    std::vector<std::string> entries;  // every entry of the app, the APK first, then as listed
    std::uint64_t size = 0;            // of the files among `entries`
};

// The apps in a ROM's listing: every APK in an app folder of any partition the ROM holds as
// files (system/app, system/priv-app, vendor/app, system/product/priv-app, data/app, preload,
// ...), lying there flat (system/app/Foo.apk) or in a folder of its own (system/app/Foo/Foo.apk,
// data/app/com.foo-1/base.apk). A flat APK takes its Foo.odex, Foo.vdex and Foo.art beside it and
// in oat/<arch>/; an app in a folder of its own takes the whole folder (lib/, oat/, its split
// APKs). Sorted by APK path; linear in the listing's size, apart from the sort.
std::vector<FoundApp> findApps(const std::vector<ListedEntry>& listing);
