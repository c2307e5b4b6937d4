// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/block_rom.h"

#include "apps/apk_file.h"
#include "pipeline/add_apps.h"
#include "pipeline/rom_catalogue.h"
#include "platform/file_layer.h"
#include "platform/text.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

BlockRom::~BlockRom() {
    images_.clear();  // each image removes its file first
    if (!folder_.empty()) removeTree(folder_);
}

std::string BlockRom::open(const std::string& romPath, const std::vector<ArchiveEntry>& listing,
                           const BlockGoesOn& goesOn, std::unique_ptr<BlockRom>& blocks) {
    blocks.reset();
    std::vector<std::string> names;
    for (const ArchiveEntry& entry : listing)
        if (!entry.isFolder) names.push_back(entry.path);
    const std::vector<BlockPartition> partitions = findBlockPartitions(names);
    if (partitions.empty()) return "";
    for (const BlockPartition& partition : partitions)
        for (const ArchiveEntry& entry : listing)
            if (archiverNameKey(entry.path).starts_with(partition.name + "/"))
                return "the ROM zip holds " + entry.path + " beside its " + partition.name +
                       " image, so a path there would name two things";
    for (const BlockPartition& partition : partitions)
        if (std::string why = BlockImage::unsupported(partition); !why.empty()) return why;
    std::unique_ptr<BlockRom> rom(new BlockRom);
    const fs::path romFile = fileSystemPath(romPath);
    rom->folder_ = makeFreshFolder(programPath(romFile.parent_path()),
                                   programPath(romFile.filename()) + "_blocks.");
    if (rom->folder_.empty())
        return "Can't make a folder beside " + romPath + " to rebuild its block images in";
    rom->romPath_ = linkTarget(fullPath(romPath));
    for (const BlockPartition& partition : partitions)
        for (const ArchiveEntry& entry : listing)
            if (entry.path == partition.transferList || entry.path == partition.newData)
                rom->sources_.push_back(entry);
    for (const BlockPartition& partition : partitions) {
        std::string why;
        std::unique_ptr<BlockImage> image = BlockImage::rebuild(
            romPath, partition, rom->folder_ + partition.name + ".img", goesOn, why);
        if (!image) return why;
        rom->images_.push_back({std::move(image), partition.name + "/", {}});
    }
    blocks = std::move(rom);
    return "";
}

bool BlockRom::rebuiltFrom(const std::string& romPath,
                           const std::vector<ArchiveEntry>& listing) const {
    if (linkTarget(fullPath(romPath)) != romPath_) return false;
    std::vector<std::string> names;
    for (const ArchiveEntry& entry : listing)
        if (!entry.isFolder) names.push_back(entry.path);
    std::vector<ArchiveEntry> sources;
    for (const BlockPartition& partition : findBlockPartitions(names))
        for (const ArchiveEntry& entry : listing)
            if (entry.path == partition.transferList || entry.path == partition.newData)
                sources.push_back(entry);
    return std::equal(sources.begin(), sources.end(), sources_.begin(), sources_.end(),
                      [](const ArchiveEntry& a, const ArchiveEntry& b) {
                          return a.path == b.path && a.size == b.size && a.crc == b.crc &&
                                 !a.crc.empty();
                      });
}

std::vector<ArchiveEntry> BlockRom::withImages(const std::vector<ArchiveEntry>& listing) const {
    std::vector<ArchiveEntry> entries = listing;
    for (const Image& image : images_) {
        // What a file takes in the zip, as the image's new data is packed on the whole.
        double packed = 0;
        for (const ArchiveEntry& entry : listing)
            if (entry.path == image.image->partition().newData && image.image->dataBytes())
                packed = static_cast<double>(entry.packedSize) /
                         static_cast<double>(image.image->dataBytes());
        for (const ImageFile& file : image.image->files()) {
            ArchiveEntry entry;
            entry.path = image.prefix + file.path;
            entry.size = file.size;
            entry.packedSize = static_cast<std::uint64_t>(static_cast<double>(file.size) * packed);
            entry.isFolder = file.isFolder;
            entry.isLink = file.isLink;
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

const BlockRom::Image* BlockRom::imageOf(const std::string& name) const {
    for (const Image& image : images_)
        if (name.starts_with(image.prefix)) return &image;
    return nullptr;
}

bool BlockRom::holds(const std::string& name) const { return imageOf(name) != nullptr; }

void BlockRom::fitPlan(RunPlan& plan) {
    std::vector<std::string> zipNames;
    for (std::string& name : plan.removalNames) {
        Image* image = const_cast<Image*>(imageOf(name));
        if (!image) {
            zipNames.push_back(std::move(name));
            continue;
        }
        image->removes.push_back(name.substr(image->prefix.size()));
    }
    plan.removalNames = std::move(zipNames);
    const auto fillCrc = [this](ArchiveEntry& entry) {
        if (const Image* image = imageOf(entry.path); image && !entry.isLink)
            entry.crc = image->image->crcOf(entry.path.substr(image->prefix.size()));
    };
    for (ArchiveEntry& entry : plan.removed) fillCrc(entry);
    for (PlannedApp& app : plan.apps)
        for (ArchiveEntry& entry : app.removes) fillCrc(entry);
    for (const Image& image : images_)
        if (!image.removes.empty()) {
            plan.rewritten.push_back(image.image->partition().newData);
            plan.rewritten.push_back(image.image->partition().transferList);
        }
}

bool BlockRom::extract(const RunPlan& plan, const std::string& folder) const {
    for (const ArchiveEntry& entry : plan.removed) {
        const Image* image = imageOf(entry.path);
        if (image &&
            !image->image->extract(entry.path.substr(image->prefix.size()), folder + entry.path))
            return false;
    }
    return true;
}

ArchiverResult BlockRom::slim(const std::string& archiver, const std::string& romPath,
                              const ProgressSink& progress) {
    const std::string out = folder_ + "out/";
    if (!makeFolder(out)) return {ArchiverOutcome::failed, "Can't make the folder " + out};
    const BlockGoesOn goesOn = [&progress] { return !progress.carryOn || progress.carryOn(); };
    std::string names;
    bool allBrotli = true;
    for (Image& image : images_) {
        if (image.removes.empty()) continue;
        const std::string& part = image.image->partition().name;
        std::string fault = image.image->remove(image.removes);
        if (fault.empty()) fault = image.image->writeBack(out, goesOn);
        if (fault == "stopped") return {ArchiverOutcome::stopped, ""};
        if (!fault.empty())
            return {ArchiverOutcome::failed,
                    "Can't slim the " + part + " image; the ROM zip was not changed:\r" + fault};
        allBrotli = allBrotli && image.image->partition().brotli;
        names +=
            image.image->partition().newData + '\n' + image.image->partition().transferList + '\n';
    }
    if (names.empty()) return {};
    // The names are the program's own (`system.new.dat.br`, ...): no quoting is needed.
    const std::string listFile = folder_ + "names";
    std::ofstream file(fileSystemPath(listFile), std::ios::binary | std::ios::trunc);
    file << names;
    file.close();
    if (file.fail())
        return {ArchiverOutcome::failed, "Can't write the list of names for 7z: " + listFile};
    // Brotli's output doesn't deflate: 7z would try, find it so and store it; stored at once,
    // the adding of a large image takes seconds less.
    ArchiverCommand command = addListCommand(romPath, listFile);
    if (allBrotli) command.switches.push_back("-mx0");
    return runArchiver(archiver, command, out, progress);
}

std::vector<RomApp> BlockRom::readApps(const std::string& romPath,
                                       const std::vector<ArchiveEntry>& entries, std::string& why,
                                       const AppProgress& progress) const {
    std::vector<FoundApp> found = findApps(listedEntries(entries));
    std::vector<RomApp> apps;
    std::unique_ptr<RomZip> zip;
    const std::string apk = folder_ + "app.apk";
    for (FoundApp& app : found) {
        ApkReading reading;
        if (const Image* image = imageOf(app.apkPath)) {
            if (image->image->extract(app.apkPath.substr(image->prefix.size()), apk))
                reading = readApkFile(apk);
            else
                reading.problem =
                    "it can't be read from the " + image->image->partition().name + " image";
            removeFile(apk);
        } else {
            if (!zip) zip = RomZip::open(romPath, why);
            if (!zip) return {};
            reading = zip->readApk(app.apkPath);
        }
        apps.push_back({std::move(app), std::move(reading)});
        if (progress && !progress(apps.size(), found.size())) break;
    }
    return apps;
}

RomContent readRomContent(const std::string& romPath, const std::vector<ArchiveEntry>& listing,
                          std::string& why, const AppProgress& progress,
                          const BlockGoesOn& goesOn) {
    RomContent content;
    std::unique_ptr<BlockRom> blocks;
    why = BlockRom::open(romPath, listing, goesOn, blocks);
    if (!why.empty()) {
        why = "Can't slim this ROM zip: " + why;
        content.entries = listing;
        return content;
    }
    if (!blocks) {
        content.entries = listing;
        content.apps = readRomApps(romPath, listedEntries(listing), why, progress);
        return content;
    }
    content.entries = blocks->withImages(listing);
    content.apps = blocks->readApps(romPath, content.entries, why, progress);
    content.blocks = std::move(blocks);
    return content;
}
