// SPDX-License-Identifier: GPL-3.0-or-later
#include "apps/rom_apps.h"

#include "apps/apk_file.h"

#include <memory>

std::string RomApp::name() const {
    if (!reading.identity.label.empty()) return reading.identity.label;
    if (!reading.identity.package.empty()) return reading.identity.package;
    std::string file = found.apkPath.substr(found.apkPath.find_last_of("/\\") + 1);
    if (file.size() > 4) file.resize(file.size() - 4);
    return file;
}

std::vector<RomApp> readRomApps(const std::string& rom, const std::vector<ListedEntry>& listing,
                                std::string& why, const AppProgress& progress) {
    std::vector<FoundApp> found = findApps(listing);
    std::vector<RomApp> apps;
    if (found.empty()) return apps;
    const std::unique_ptr<RomZip> zip = RomZip::open(rom, why);
    if (!zip) return apps;
    apps.reserve(found.size());
    for (FoundApp& app : found) {
        ApkReading reading = zip->readApk(app.apkPath);
        apps.push_back({std::move(app), std::move(reading)});
        if (progress && !progress(apps.size(), found.size())) break;
    }
    return apps;
}
