// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the APK identity reader. An input is the two files it reads: its first
// two bytes (little-endian) give the length of AndroidManifest.xml, which follows; the rest is
// resources.arsc. Beyond the sanitizers it checks that a reading is the same when repeated, that
// a complete one has a package, and that nothing is taken from a manifest without one.
#include "apps/apk_identity.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t split = std::min<std::size_t>(data[0] | data[1] << 8, input.size());
    const std::string_view manifest = input.substr(0, split);
    const std::string_view resources = input.substr(split);

    const ApkReading reading = readApkIdentity(manifest, resources);
    if (reading.complete()) require(!reading.identity.package.empty());
    if (reading.identity.package.empty()) {
        require(!reading.complete());
        require(reading.identity.versionCode.empty() && reading.identity.versionName.empty() &&
                reading.identity.label.empty());
    }
    const ApkReading again = readApkIdentity(manifest, resources);
    require(again.problem == reading.problem && again.identity.label == reading.identity.label &&
            again.identity.package == reading.identity.package);
    return 0;
}
