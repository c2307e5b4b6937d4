// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// Who an app is, as its APK says: what Android itself shows and compares.
struct ApkIdentity {
    std::string package;      // the manifest's package name
    std::string versionCode;  // in decimal; "" when the manifest has none
    std::string versionName;  // "" when the manifest has none
    std::string label;        // the application's label in UTF-8; "" when it has none
};

// An identity and, when it could not be read whole, why not. Nothing is ever guessed: a value
// that could not be read is "" and `problem` says why (the first reason found).
struct ApkReading {
    ApkIdentity identity;
    std::string problem;
    bool complete() const { return problem.empty(); }
};

// Reads the identity from the two files of an APK that hold it: `manifest`, the bytes of
// AndroidManifest.xml (Android's binary XML), and `resources`, those of resources.arsc ("" when
// the APK has none). A value that names a resource is looked up in the table's default
// configuration, or its English one when there is no default. Any input is safe: every offset,
// size and count is checked against the chunk that holds it, nothing is allocated or looped over
// by an unchecked number, and chains of references end after a few steps or at a cycle.
// Without a package name nothing is taken from the manifest.
ApkReading readApkIdentity(std::string_view manifest, std::string_view resources);
