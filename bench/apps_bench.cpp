// SPDX-License-Identifier: GPL-3.0-or-later
// Finding and reading every app of a ROM zip, as the program does once a ROM is chosen: 7z's
// listing of the ROM, the apps found in it, and each APK's identity read inside the ROM zip.
//
//   apps_bench ROM APPS
// prints one line "listing_ms find_ms read_ms" and fails unless APPS apps were found and every
// one of them was read whole. Driven by bench/apps_bench.sh.
#include "apps/apk_file.h"
#include "apps/app_groups.h"
#include "tools/archive_listing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: apps_bench ROM APPS\n");
        return 2;
    }
    const std::string rom = argv[1];
    const std::size_t expected = std::strtoul(argv[2], nullptr, 10);

    auto start = std::chrono::steady_clock::now();
    const ArchiveListing listing = listArchive("7z", rom);
    const double listingTime = millisecondsSince(start);
    if (!listing.readable) {
        std::fprintf(stderr, "7z can't list %s\n", rom.c_str());
        return 1;
    }

    start = std::chrono::steady_clock::now();
    std::vector<ListedEntry> entries;
    entries.reserve(listing.entries.size());
    for (const ArchiveEntry& entry : listing.entries)
        entries.push_back({entry.path, entry.size, entry.isFolder});
    const std::vector<FoundApp> apps = findApps(entries);
    const double findTime = millisecondsSince(start);

    start = std::chrono::steady_clock::now();
    std::string why;
    const std::unique_ptr<RomZip> zip = RomZip::open(rom, why);
    if (!zip) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    std::size_t complete = 0;
    for (const FoundApp& app : apps) {
        const ApkReading reading = zip->readApk(app.apkPath);
        if (reading.complete() && !reading.identity.label.empty())
            ++complete;
        else
            std::fprintf(stderr, "%s: %s\n", app.apkPath.c_str(), reading.problem.c_str());
    }
    const double readTime = millisecondsSince(start);

    if (apps.size() != expected || complete != expected) {
        std::fprintf(stderr, "found %zu apps, read %zu whole, expected %zu\n", apps.size(),
                     complete, expected);
        return 1;
    }
    std::printf("%.1f %.1f %.1f\n", listingTime, findTime, readTime);
    return 0;
}
