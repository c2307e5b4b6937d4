// SPDX-License-Identifier: GPL-3.0-or-later
// Runs on ROM zips that carry their system partition as a block image, with the real 7z and
// e2fsprogs: the plan sees the files inside the image, the run removes them there and writes a
// new image into the ROM zip, which a recovery flashes onto a clean file system.
#include "pipeline/customize.h"

#include "catalogue/catalogue.h"
#include "pipeline/leftovers.h"
#include "platform/paths.h"
#include "support/block_images.h"
#include "support/recording_reporter.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace blocktest;

namespace {

const std::string fooApk = [] {
    std::string bytes(200003, '\0');
    unsigned seed = 7;
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}();

using Names = std::set<std::string>;

// A reporter that stops the run once the removal has begun.
class StoppingReporter : public RecordingReporter {
public:
    void status(const std::string& text) override {
        RecordingReporter::status(text);
        stopped = stopped || text == "Removing files ...";
    }
};

class BlockRomTest : public testing::Test {
protected:
    TempFolder temp;
    const ProgramPaths paths = programPaths(temp / "program folder/");
    const std::string romFolder = temp / "roms";
    const std::string romPath = romFolder + "/block röm.zip";
    const std::string source = temp / "system";
    const std::string image = temp / "system.img";
    const std::string updaterScript =
        "block_image_update(\"/dev/block/by-name/system\", package_extract_file("
        "\"system.transfer.list\"), \"system.new.dat.br\", \"system.patch.dat\");\n";
    std::vector<std::string> paths_{
        "app",       "app/Foo", "app/Foo/Foo.apk", "app/Bar",   "app/Bar/Bar.apk", "etc",
        "etc/hosts", "bin",     "bin/tool",        "build.prop"};
    std::vector<std::unique_ptr<CatalogueEntry>> entries;
    std::string original;

    void SetUp() override {
        fs::create_directories(paths.addFolder);
        fs::create_directories(paths.extractionFolder);
        const std::string templateSource = temp / "template source";
        writeFile(templateSource + "/META-INF/com/google/android/update-binary", "#!/sbin/sh\n");
        ASSERT_TRUE(makeZip(templateSource, paths.undoTemplate));
        writeFile(source + "/app/Foo/Foo.apk", fooApk);
        writeFile(source + "/app/Bar/Bar.apk", std::string(30000, 'b'));
        writeFile(source + "/etc/hosts", "127.0.0.1 localhost\n");
        writeFile(source + "/bin/tool", "tool");
        writeFile(source + "/build.prop", "ro.build.id=TEST\n");
        ::chmod((source + "/bin/tool").c_str(), 0750);
        ::lchown((source + "/bin/tool").c_str(), 0, 2000);
        for (const std::string& path : paths_)
            label(source + "/" + path, "u:object_r:system_file:s0");
        ASSERT_EQ(makeExt4(source, image, 16), "");
        fs::create_directories(romFolder);
        std::vector<ZipWriterEntry> rom = fullImageEntries(readFile(image), "system", {});
        rom.push_back({"META-INF/com/google/android/updater-script", updaterScript});
        rom.push_back({"boot.img", "boot"});
        ASSERT_TRUE(writeZip(romPath, rom));
        original = readFile(romPath);
    }

    CustomizeRequest request(std::vector<std::string> files, bool undoZip = true) {
        auto entry = std::make_unique<CatalogueEntry>();
        entry->name = "entry";
        entry->files = std::move(files);
        CustomizeRequest asked;
        asked.romPath = romPath;
        asked.options.undoZip = undoZip;
        asked.options.addApps = false;
        asked.ticked.push_back({entry.get(), RemovalMode::app});
        entries.push_back(std::move(entry));
        return asked;
    }

    // The system partition the ROM zip now flashes, on a blank one.
    std::string flashed(std::string& why) {
        const std::string list = zipEntryContent(romPath, "system.transfer.list");
        const std::string data = zipEntryContent(romPath, "system.new.dat.br");
        const std::string partition =
            recover(list, data, true, readFile(image).size() / block, why);
        const std::string path = temp / "flashed.img";
        writeFile(path, partition);
        return path;
    }
};

TEST_F(BlockRomTest, ThePlanSeesTheFilesInsideTheImage) {
    PreparedRun prepared;
    ASSERT_EQ(prepareRun(request({"system/app/Foo", "boot.img", "system/app/Gone"}), paths,
                         prepared, false),
              "");
    ASSERT_TRUE(prepared.blocks);
    const RunPlan& plan = prepared.plan;
    ASSERT_EQ(plan.removed.size(), 2u);
    EXPECT_EQ(plan.removed[0].path, "boot.img");
    EXPECT_EQ(plan.removed[1].path, "system/app/Foo/Foo.apk");
    EXPECT_EQ(plan.removed[1].size, 200003u);
    EXPECT_EQ(plan.removed[1].crc.size(), 8u);
    EXPECT_EQ(plan.apps[0].absent, std::vector<std::string>{"system/app/Gone"});
    // 7z is handed only the zip's own entries; the image's new data and list are written anew.
    EXPECT_EQ(plan.removalNames, std::vector<std::string>{"boot.img"});
    EXPECT_EQ(plan.rewritten,
              (std::vector<std::string>{"system.new.dat.br", "system.transfer.list"}));
    // The image is rebuilt beside the ROM zip, and goes with the plan.
    EXPECT_EQ(leftoverBlockFolders(romPath).size(), 1u);
    prepared = PreparedRun{};
    EXPECT_EQ(leftoverBlockFolders(romPath), std::vector<std::string>{});
}

TEST_F(BlockRomTest, ARunRemovesFilesInsideTheImageAndTheRomFlashesClean) {
    fs::create_directories(temp / "dump");
    const auto before = tree(image, paths_, temp / "dump");
    RecordingReporter reporter;
    const RunResult run = customize(request({"system/app/Foo", "boot.img"}), paths, reporter);
    const std::vector<RecordingReporter::Message> done{{"Finish", "Customzation done ;)"}};
    EXPECT_EQ(reporter.messages, done);
    EXPECT_EQ(run.end, RunEnd::complete);
    EXPECT_EQ(readFile(romPath + "_BU_0"), original);
    EXPECT_EQ(zipEntries(romPath), (Names{"META-INF/com/google/android/updater-script",
                                          "system.new.dat.br", "system.transfer.list"}));
    EXPECT_EQ(zipEntryContent(romPath, "META-INF/com/google/android/updater-script"),
              updaterScript);

    std::string why;
    const std::string partition = flashed(why);
    ASSERT_EQ(why, "");
    EXPECT_EQ(fsckFaults(partition), "");
    auto after = tree(partition, paths_, temp / "dump");
    for (const std::string gone : {"app/Foo", "app/Foo/Foo.apk"}) {
        EXPECT_EQ(after[gone], "missing") << gone;
        after[gone] = before.at(gone);
    }
    EXPECT_EQ(after, before);
    // Foo.apk's blocks are no longer written.
    EXPECT_LT(zipEntryContent(romPath, "system.new.dat.br").size() + 190000,
              fullImageEntries(readFile(image), "system", {})[1].content.size());

    // The undo zip gives back what went, from the image and from the zip.
    EXPECT_EQ(zipEntries(romPath + "_undo.zip"), (Names{"META-INF/com/google/android/update-binary",
                                                        "boot.img", "system/app/Foo/Foo.apk"}));
    EXPECT_EQ(zipEntryContent(romPath + "_undo.zip", "system/app/Foo/Foo.apk"), fooApk);
    // Nothing of the run is left beside the ROM zip.
    Names beside;
    for (const auto& file : fs::directory_iterator(romFolder))
        beside.insert(file.path().filename());
    EXPECT_EQ(beside, (Names{
                          "block röm.zip",
                          "block röm.zip_BU_0",
                          "block röm.zip_undo.zip",
                      }));
}

// The images that reading the ROM zip's apps rebuilt serve its run, unless the ROM zip changed
// in between: then the run rebuilds them from the zip as it now is.
TEST_F(BlockRomTest, ImagesReadEarlierServeTheRunOnlyWhileTheRomIsUnchanged) {
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "changed" : "unchanged");
        ASSERT_TRUE(writeZip(romPath, [&] {
            std::vector<ZipWriterEntry> rom = fullImageEntries(readFile(image), "system", {});
            rom.push_back({"META-INF/com/google/android/updater-script", updaterScript});
            return rom;
        }()));
        std::string why;
        RomContent content =
            readRomContent(romPath, listArchive(paths.archiverProgram, romPath).entries, why);
        ASSERT_EQ(why, "");
        ASSERT_TRUE(content.blocks);
        const BlockRom* read = content.blocks.get();
        if (changed) {
            fs::rename(source + "/app/Foo", temp / "Foo elsewhere");
            ASSERT_EQ(makeExt4(source, temp / "other.img", 16), "");
            fs::rename(temp / "Foo elsewhere", source + "/app/Foo");
            std::vector<ZipWriterEntry> rom =
                fullImageEntries(readFile(temp / "other.img"), "system", {});
            rom.push_back({"META-INF/com/google/android/updater-script", updaterScript});
            ASSERT_TRUE(writeZip(romPath, rom));
        }
        PreparedRun prepared;
        prepared.blocks = std::move(content.blocks);
        ASSERT_EQ(prepareRun(request({"system/app/Foo"}), paths, prepared), "");
        ASSERT_TRUE(prepared.blocks);
        EXPECT_EQ(prepared.blocks.get() == read, !changed);
        EXPECT_EQ(prepared.plan.removed.size(), changed ? 0u : 1u);
        EXPECT_EQ(leftoverBlockFolders(romPath).size(), 1u);
    }
}

// What a ROM zip can't be slimmed for is said before anything is written, and leaves nothing.
TEST_F(BlockRomTest, ARefusedImageChangesNothing) {
    std::vector<ZipWriterEntry> rom = fullImageEntries(readFile(image), "system", {});
    rom[0].content = "4\n10\n0\n0\nbsdiff 0 10 a b 2,0,1 1 2,5,6\nnew 2,7,8\n";
    ASSERT_TRUE(writeZip(romPath, rom));
    const std::string incremental = readFile(romPath);
    RecordingReporter reporter;
    customize(request({"system/app/Foo"}), paths, reporter);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].title, "Error");
    EXPECT_EQ(
        reporter.messages[0].text.rfind("Can't customize " + romPath +
                                            "; nothing was changed:\rsystem.transfer.list: the "
                                            "transfer list is incremental",
                                        0),
        0u)
        << reporter.messages[0].text;
    EXPECT_EQ(readFile(romPath), incremental);
    EXPECT_EQ(leftoverBlockFolders(romPath), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(romPath + "_BU_0"));
}

// A run stopped in the removal leaves the ROM zip as it was, and no image beside it; a folder
// that a killed run left is removed by the next run.
TEST_F(BlockRomTest, AStoppedRunLeavesTheRomAndNoImage) {
    fs::create_directories(romPath + "_blocks.Ab12Cd");
    writeFile(romPath + "_blocks.Ab12Cd/system.img", "left by a killed run");
    StoppingReporter reporter;
    const RunResult run = customize(request({"system/app/Foo"}, false), paths, reporter);
    EXPECT_TRUE(run.interrupted);
    EXPECT_EQ(readFile(romPath), original);
    EXPECT_EQ(leftoverBlockFolders(romPath), std::vector<std::string>{});
}

}  // namespace
