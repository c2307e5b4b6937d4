// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "apps/apk_identity.h"
#include "apps/app_groups.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// An app found in a ROM zip with what its APK says about it.
struct RomApp {
    FoundApp found;
    ApkReading reading;  // a fault of this APK stays here and costs no other app anything

    // What to call the app: its label, else its package, else its APK's file name less ".apk".
    std::string name() const;
};

// Called after each APK read with how many are done and how many there are; returning false
// stops the reading there.
using AppProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Every app in `listing` (the ROM zip's, as 7z lists it), each with its identity read from the
// ROM zip at `rom`, sorted by APK path. Only the ROM zip that can't be opened fails the whole
// ("" with `why` set); an APK that can't be read is listed with its problem. Stopped by
// `progress`, it returns the apps read so far.
std::vector<RomApp> readRomApps(const std::string& rom, const std::vector<ListedEntry>& listing,
                                std::string& why, const AppProgress& progress = {});
