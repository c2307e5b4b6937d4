// SPDX-License-Identifier: GPL-3.0-or-later
#include "apps/apk_file.h"

#include <zip.h>

#include <algorithm>
#include <optional>
#include <string>

namespace {

struct ZipCloser {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;

struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, FileCloser>;

std::string zipMessage(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

std::string zipMessage(zip_t* zip) { return zip_error_strerror(zip_get_error(zip)); }

// The whole content of entry `index`, when it is no larger than `limit`; "why" otherwise. The
// size the directory claims is checked before anything is allocated, and the content must be
// exactly that long (libzip checks its CRC at the end).
std::optional<std::string> readEntry(zip_t* zip, zip_uint64_t index, std::uint64_t limit,
                                     const std::string& name, std::string& why) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(zip, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        why = name + " can't be read: " + zipMessage(zip);
        return std::nullopt;
    }
    if (stat.size > limit) {
        why = name + " is too large (" + std::to_string(stat.size) + " bytes)";
        return std::nullopt;
    }
    const ZipFilePtr file(zip_fopen_index(zip, index, 0));
    if (!file) {
        why = name + " can't be read: " + zipMessage(zip);
        return std::nullopt;
    }
    std::string content(static_cast<std::size_t>(stat.size), '\0');
    std::size_t done = 0;
    char extra;
    for (;;) {
        const bool full = done == content.size();
        const zip_int64_t got =
            full ? zip_fread(file.get(), &extra, 1)
                 : zip_fread(file.get(), content.data() + done, content.size() - done);
        if (got < 0) {
            why = name + " can't be read: " + zip_error_strerror(zip_file_get_error(file.get()));
            return std::nullopt;
        }
        if (got == 0) break;
        if (full) {
            why = name + " is longer than its zip says";
            return std::nullopt;
        }
        done += static_cast<std::size_t>(got);
    }
    if (done != content.size()) {
        why = name + " is shorter than its zip says";
        return std::nullopt;
    }
    return content;
}

// The identity from an APK opened as a zip.
ApkReading readOpenApk(zip_t* apk, const ApkReadLimits& limits) {
    ApkReading reading;
    const zip_int64_t manifestIndex = zip_name_locate(apk, "AndroidManifest.xml", 0);
    if (manifestIndex < 0) {
        reading.problem = "the APK holds no AndroidManifest.xml";
        return reading;
    }
    std::string why;
    const std::optional<std::string> manifest =
        readEntry(apk, static_cast<zip_uint64_t>(manifestIndex), limits.maxIdentityFile,
                  "AndroidManifest.xml", why);
    if (!manifest) {
        reading.problem = why;
        return reading;
    }
    std::optional<std::string> resources = std::string();
    const zip_int64_t resourcesIndex = zip_name_locate(apk, "resources.arsc", 0);
    if (resourcesIndex >= 0) {
        resources = readEntry(apk, static_cast<zip_uint64_t>(resourcesIndex),
                              limits.maxIdentityFile, "resources.arsc", why);
    }
    // An unreadable table still leaves the manifest's own values, and what needed the table is
    // named after the table's fault.
    reading = readApkIdentity(*manifest, resources ? *resources : std::string());
    if (!resources) reading.problem = why + (reading.complete() ? "" : "; " + reading.problem);
    return reading;
}

std::string whyNotAZip(int code) {
    return code == ZIP_ER_NOZIP ? "the APK is not a zip"
                                : "the APK can't be opened as a zip: " + zipMessage(code);
}

}  // namespace

ApkReading readApkFile(const std::string& path, const ApkReadLimits& limits) {
    int code = 0;
    const ZipPtr apk(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!apk) return ApkReading{{}, whyNotAZip(code)};
    return readOpenApk(apk.get(), limits);
}

struct RomZip::Archive {
    ZipPtr zip;
};

RomZip::RomZip(std::unique_ptr<Archive> archive) : archive_(std::move(archive)) {}
RomZip::~RomZip() = default;

std::unique_ptr<RomZip> RomZip::open(const std::string& path, std::string& why) {
    int code = 0;
    ZipPtr zip(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!zip) {
        why = "Can't read " + path + " as a zip archive: " + zipMessage(code);
        return nullptr;
    }
    return std::unique_ptr<RomZip>(new RomZip(std::make_unique<Archive>(Archive{std::move(zip)})));
}

namespace {

// Opens the APK that `source` gives as a zip of its own and reads it; the source is the APK's
// from then on, freed with it.
ApkReading readApkSource(zip_source_t* source, const ApkReadLimits& limits) {
    zip_error_t error;
    zip_error_init(&error);
    const ZipPtr apk(zip_open_from_source(source, ZIP_RDONLY, &error));
    if (!apk) {
        const int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        zip_source_free(source);
        return ApkReading{{}, whyNotAZip(code)};
    }
    zip_error_fini(&error);
    return readOpenApk(apk.get(), limits);
}

}  // namespace

ApkReading RomZip::readApk(const std::string& entry, const ApkReadLimits& limits) const {
    zip_t* rom = archive_->zip.get();
    zip_int64_t index = zip_name_locate(rom, entry.c_str(), ZIP_FL_ENC_RAW);
    if (index < 0 && entry.find('\\') != std::string::npos) {
        // The Windows 7z lists '\' where the zip holds '/'.
        std::string slashed = entry;
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        index = zip_name_locate(rom, slashed.c_str(), ZIP_FL_ENC_RAW);
    }
    if (index < 0) return ApkReading{{}, "the ROM zip holds no " + entry};
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(rom, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
        return ApkReading{{}, "the APK can't be read: " + zipMessage(rom)};
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        return ApkReading{{}, "the APK is encrypted in the ROM zip"};

    if ((stat.valid & ZIP_STAT_COMP_METHOD) && stat.comp_method == ZIP_CM_STORE) {
        // Stored as it is: the APK's bytes lie in the ROM file, and libzip reads them in place,
        // seeking to its directory and to the two files.
        zip_source_t* source =
            zip_source_zip(rom, rom, static_cast<zip_uint64_t>(index), ZIP_FL_COMPRESSED, 0, -1);
        if (!source) return ApkReading{{}, "the APK can't be read: " + zipMessage(rom)};
        return readApkSource(source, limits);
    }

    // Compressed: a zip's directory lies at its end, so the APK is unpacked in memory first.
    std::string why;
    const std::optional<std::string> bytes = readEntry(
        rom, static_cast<zip_uint64_t>(index), limits.maxCompressedApk, "the compressed APK", why);
    if (!bytes) return ApkReading{{}, why};
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes->data(), bytes->size(), 0, &error);
    zip_error_fini(&error);
    if (!source) return ApkReading{{}, "the APK can't be read: out of memory"};
    return readApkSource(source, limits);
}
