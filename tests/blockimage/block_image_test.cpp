// SPDX-License-Identifier: GPL-3.0-or-later
#include "blockimage/block_image.h"

#include "support/block_images.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iomanip>

namespace fs = std::filesystem;
using namespace blocktest;

namespace {

TEST(TransferListTest, ReadsFullImageListsOfEveryVersion) {
    for (int version = 1; version <= 4; ++version) {
        const std::string stash = version >= 2 ? "0\n0\n" : "";
        const std::string text =
            std::to_string(version) + "\n7\n" + stash + "erase 2,0,10\nnew 4,0,3,5,7\nzero 2,3,5\n";
        std::string why = "not cleared";
        const TransferList list = parseTransferList(text, why);
        EXPECT_EQ(why, "") << version;
        EXPECT_EQ(list.version, version);
        EXPECT_EQ(list.totalBlocks, 7u);
        EXPECT_EQ(list.newBlocks(), 5u);
        EXPECT_EQ(list.imageBlocks(), 10u);
        ASSERT_EQ(list.commands.size(), 3u);
        EXPECT_EQ(list.commands[1].ranges, (RangeSet{{0, 3}, {5, 7}}));
        EXPECT_EQ(transferListText(list), text);
    }
}

TEST(TransferListTest, RefusesIncrementalListsAndBrokenOnesWithAReason) {
    const std::string head = "4\n10\n0\n0\n";
    const std::vector<std::pair<std::string, std::string>> cases{
        {head + "move abc 2,0,1 1 2,5,6\n", "incremental (its command \"move\""},
        {head + "bsdiff 0 10 a b 2,0,1 1 2,5,6\n", "incremental (its command \"bsdiff\""},
        {head + "imgdiff 0 10 a b 2,0,1 1 2,5,6\n", "incremental (its command \"imgdiff\""},
        {head + "stash abc 2,0,1\nnew 2,0,1\n", "incremental (its command \"stash\""},
        {head + "new 2,0,1\nfree abc\n", "incremental (its command \"free\""},
        {"5\n10\n0\n0\nnew 2,0,1\n", "no version this program knows"},
        {"", "no version this program knows"},
        {"1\nten\nnew 2,0,1\n", "second line is no block count"},
        {"2\n10\nnew 2,0,1\n", "stash lines are no numbers"},
        {head + "new 3,0,1,2\n", "line 5 of the transfer list has no valid block ranges"},
        {head + "new 2,1,1\n", "no valid block ranges"},
        {head + "new 2,5,1\n", "no valid block ranges"},
        {head + "new 4,0,1\n", "no valid block ranges"},
        {head + "new 2,0,4294967297\n", "no valid block ranges"},
        {head + "new 2,0,99999999999999999999999\n", "no valid block ranges"},
        {head + "new\n", "no valid block ranges"},
        {head + "new 2,0,1\nformat\n", "line 6 of the transfer list is no command"},
        {head + "erase 2,0,10\n", "writes no new data"},
    };
    for (const auto& [text, reason] : cases) {
        std::string why;
        parseTransferList(text, why);
        EXPECT_NE(why.find(reason), std::string::npos) << text << "\n -> " << why;
    }
}

TEST(TransferListTest, FindsBlockPartitionsByTheirEntries) {
    const std::vector<BlockPartition> found =
        findBlockPartitions({"system.transfer.list", "system.new.dat.br", "vendor.transfer.list",
                             "vendor.new.dat", "product.new.dat.br", "system_ext.transfer.list",
                             "odm.transfer.list", "odm.new.dat", "sub/product.transfer.list"});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "system");
    EXPECT_EQ(found[0].newData, "system.new.dat.br");
    EXPECT_TRUE(found[0].brotli);
    EXPECT_EQ(found[1].name, "vendor");
    EXPECT_EQ(found[1].newData, "vendor.new.dat");
    EXPECT_FALSE(found[1].brotli);
}

// A system partition's folder as Android's build leaves it: owners, modes, SELinux labels, a
// symbolic link and a file with two names.
class BlockImageTest : public testing::Test {
protected:
    TempFolder temp;
    const std::string source = temp / "system";
    const std::string image = temp / "system.img";
    std::vector<std::string> paths{"app",       "app/Foo",         "app/Foo/Foo.apk",
                                   "app/Bar",   "app/Bar/Bar.apk", "bin",
                                   "bin/tool",  "bin/sh",          "etc",
                                   "etc/hosts", "etc/hosts.link",  "build.prop",
                                   "lib",       "lib/big.so",      "empty"};
    bool labelled = true;

    void SetUp() override {
        writeFile(source + "/app/Foo/Foo.apk", pseudo(300000, 1));
        writeFile(source + "/app/Bar/Bar.apk", pseudo(50000, 2));
        writeFile(source + "/bin/tool", pseudo(9000, 3));
        writeFile(source + "/etc/hosts", "127.0.0.1 localhost\n");
        writeFile(source + "/build.prop", "ro.build.id=TEST\n");
        writeFile(source + "/lib/big.so", pseudo(700000, 4));
        writeFile(source + "/empty", "");
        fs::create_symlink("tool", source + "/bin/sh");
        fs::create_hard_link(source + "/etc/hosts", source + "/etc/hosts.link");
        ::chmod((source + "/bin/tool").c_str(), 0750);
        ::lchown((source + "/bin/tool").c_str(), 0, 2000);
        ::chmod((source + "/etc/hosts").c_str(), 0600);
        ::lchown((source + "/app/Bar/Bar.apk").c_str(), 1000, 1000);
        for (const std::string& path : paths)
            labelled = label(source + "/" + path, "u:object_r:system_file:s0") && labelled;
        ASSERT_EQ(makeExt4(source, image, 16), "");
    }

    static std::string pseudo(std::size_t length, unsigned seed) {
        std::string bytes(length, '\0');
        for (char& byte : bytes) {
            seed = seed * 1103515245u + 12345u;
            byte = static_cast<char>(seed >> 16);
        }
        return bytes;
    }

    // A ROM zip holding the image as a full image's list writes it.
    std::string romOf(const std::string& imageBytes, const ListStyle& style,
                      const std::string& script = "block_image_update(\"/dev/block/system\");\n",
                      const std::string& name = "rom.zip") {
        std::vector<ZipWriterEntry> entries = fullImageEntries(imageBytes, "system", style);
        entries.push_back({"META-INF/com/google/android/updater-script", script});
        const std::string rom = temp / name;
        EXPECT_TRUE(writeZip(rom, entries));
        return rom;
    }

    std::unique_ptr<BlockImage> rebuilt(const std::string& rom, std::string& why,
                                        const std::string& imagePath = "") {
        std::string zipped = readFile(rom);
        const std::vector<std::string> names{"system.transfer.list", "system.new.dat.br",
                                             "system.new.dat"};
        std::vector<std::string> present;
        for (const std::string& name : names)
            if (zipped.find(name) != std::string::npos) present.push_back(name);
        const std::vector<BlockPartition> partitions = findBlockPartitions(present);
        EXPECT_EQ(partitions.size(), 1u);
        if (partitions.empty()) return nullptr;
        return BlockImage::rebuild(rom, partitions[0],
                                   imagePath.empty() ? temp / "rebuilt.img" : imagePath, {}, why);
    }
};

// The whole way: rebuilt from the zip, files removed, written back, flashed on a blank
// partition: the file system is clean and holds the old tree less exactly the removed names.
TEST_F(BlockImageTest, RemovedFilesLeaveACleanSmallerImageThatKeepsEverythingElse) {
    if (!labelled) GTEST_LOG_(INFO) << "no SELinux labels here: the tree is compared without";
    const std::string original = readFile(image);
    fs::create_directories(temp / "dump-old");
    const auto before = tree(image, paths, temp / "dump-old");
    ASSERT_NE(before.at("bin/tool").find("Mode:  0750"), std::string::npos)
        << before.at("bin/tool");
    const std::vector<ListStyle> styles{
        {1, false, false}, {2, true, true}, {3, false, true}, {4, true, true}};
    for (const ListStyle& style : styles) {
        SCOPED_TRACE("version " + std::to_string(style.version));
        const std::string rom = romOf(original, style);
        std::string why;
        const std::string rebuiltPath = temp / "rebuilt.img";
        std::unique_ptr<BlockImage> slim = rebuilt(rom, why, rebuiltPath);
        ASSERT_TRUE(slim) << why;
        EXPECT_EQ(readFile(rebuiltPath), original);
        std::vector<std::string> listed;
        for (const ImageFile& file : slim->files())
            if (file.path != "lost+found") listed.push_back(file.path);
        std::vector<std::string> expected = paths;
        std::sort(expected.begin(), expected.end());
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, expected);
        EXPECT_EQ(slim->crcOf("app/Foo/Foo.apk"),
                  (std::ostringstream() << std::hex << std::uppercase << std::setw(8)
                                        << std::setfill('0') << zipCrc32(pseudo(300000, 1)))
                      .str());

        ASSERT_EQ(slim->remove({"app/Foo/Foo.apk", "app/Foo", "etc/hosts.link", "bin/sh"}), "");
        const std::string out = temp / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        ASSERT_EQ(slim->writeBack(out, {}), "");
        const std::string dataName = style.brotli ? "system.new.dat.br" : "system.new.dat";
        const std::string list = readFile(out + "/system.transfer.list");
        EXPECT_EQ(list.substr(0, 2), std::to_string(style.version) + "\n");
        EXPECT_EQ(list.find(style.erase ? "zero 2,0," : "erase"), std::string::npos) << list;

        const std::string oldData =
            fullImageEntries(original, "system", {4, false, true})[1].content;
        const std::string newData = readFile(out + "/" + dataName);
        std::string recoverWhy;
        const std::string flashed =
            recover(list, newData, style.brotli, original.size() / block, recoverWhy);
        ASSERT_EQ(recoverWhy, "");
        // Foo.apk's 74 blocks are no longer written.
        std::string plain = newData;
        if (style.brotli)
            EXPECT_LT(newData.size(),
                      fullImageEntries(original, "system", style)[1].content.size());
        else
            EXPECT_LE(plain.size() + 74 * block, oldData.size());
        const std::string flashedImage = temp / "flashed.img";
        writeFile(flashedImage, flashed);
        EXPECT_EQ(fsckFaults(flashedImage), "");
        fs::remove_all(temp / "dump-new");
        fs::create_directories(temp / "dump-new");
        auto after = tree(flashedImage, paths, temp / "dump-new");
        for (const std::string gone : {"app/Foo/Foo.apk", "app/Foo", "etc/hosts.link", "bin/sh"}) {
            EXPECT_EQ(after[gone], "missing") << gone;
            after[gone] = before.at(gone);
        }
        EXPECT_EQ(after, before);
    }
}

// The root of a system image that holds the whole root file system: its files are named from
// its system/ folder, as the partition is mounted.
TEST_F(BlockImageTest, ASystemAsRootImageIsNamedFromItsSystemFolder) {
    const std::string root = temp / "root";
    fs::create_directories(root + "/system");
    fs::rename(source, root + "/system/system");
    for (const auto& entry : fs::directory_iterator(root + "/system/system"))
        fs::rename(entry.path(), root + "/system/" + entry.path().filename().string());
    fs::remove(root + "/system/system");
    writeFile(root + "/init", "init");
    ASSERT_EQ(makeExt4(root, image, 16), "");
    std::string why;
    const auto slim = rebuilt(romOf(readFile(image), {}), why);
    ASSERT_TRUE(slim) << why;
    bool sawApk = false, sawInit = false;
    for (const ImageFile& file : slim->files()) {
        sawApk = sawApk || file.path == "app/Foo/Foo.apk";
        sawInit = sawInit || file.path == "init" || file.path == "system/init";
    }
    EXPECT_TRUE(sawApk);
    EXPECT_FALSE(sawInit);
    ASSERT_EQ(slim->remove({"app/Foo/Foo.apk"}), "");
    EXPECT_EQ(slim->crcOf("app/Foo/Foo.apk"), "");
}

// Each image that can't be changed safely is refused with its reason, and leaves no file.
TEST_F(BlockImageTest, ImagesThatCantBeChangedSafelyAreRefusedWithTheirReason) {
    const std::string original = readFile(image);
    const auto debugfsWrite = [&](const std::string& command) {
        const std::string copy = temp / "changed.img";
        writeFile(copy, original);
        int status = 0;
        tool({"debugfs", "-w", "-R", command, copy}, &status);
        return readFile(copy);
    };
    const std::string mapped = tool({"debugfs", "-R", "bmap /lib/big.so 3", image});
    const std::string usedBlock = mapped.substr(0, mapped.find('\n'));
    ASSERT_GT(std::stoul(usedBlock), 0u);
    std::string withVerity = original + pseudo(8 * block, 9);
    std::string erofs = original;
    const std::uint32_t erofsMagic = 0xE0F5E1E2;
    std::memcpy(erofs.data() + 1024, &erofsMagic, 4);
    std::string small = temp / "small";
    fs::create_directories(small);
    writeFile(small + "/a", "a");
    int made = -1;
    tool({"mke2fs", "-q", "-F", "-t", "ext4", "-b", "1024", "-d", small, temp / "small.img", "8M"},
         &made);
    ASSERT_EQ(made, 0);
    struct Case {
        std::string name;
        std::string image;
        std::string script;
        std::string reason;
    };
    const std::string plainScript = "block_image_update(\"/dev/block/by-name/system\");\n";
    const std::vector<Case> cases{
        {"shared blocks", debugfsWrite("feature shared_blocks"), plainScript,
         "shares blocks between files (shared_blocks)"},
        {"unknown feature", debugfsWrite("ssv feature_incompat 0x10000000"), plainScript,
         "a file system feature that e2fsprogs' library can't change safely"},
        {"a used block marked free", debugfsWrite("freeb " + usedBlock), plainScript,
         "file system has errors"},
        {"marked with errors", debugfsWrite("ssv state 2"), plainScript, "marked as having errors"},
        {"verity after the file system", withVerity, plainScript,
         "data past its file system (a verity hash tree or footer)"},
        {"hash checked after writing", original,
         "block_image_update(\"/dev/block/by-name/system\");\nif range_sha1(\"/dev/block/"
         "by-name/system\", \"2,0,10\") == \"abc\" then ui_print(\"ok\"); endif;\n",
         "updater-script checks the system partition's hash (range_sha1)"},
        {"EROFS", erofs, plainScript, "EROFS, which this program can't change yet"},
        {"not a file system", pseudo(64 * block, 5), plainScript, "no ext4 file system"},
        {"1024-byte blocks", readFile(temp / "small.img"), plainScript,
         "blocks are 1024 bytes, not the transfer list's 4096"},
    };
    for (const Case& one : cases) {
        std::string why;
        const auto slim =
            rebuilt(romOf(one.image, {}, one.script, one.name + ".zip"), why, temp / "refused.img");
        EXPECT_FALSE(slim) << one.name;
        EXPECT_NE(why.find(one.reason), std::string::npos) << one.name << ": " << why;
        EXPECT_FALSE(fs::exists(temp / "refused.img")) << one.name;
    }
    // The block freed above is one a file holds: e2fsck finds the same fault.
    debugfsWrite("freeb " + usedBlock);
    EXPECT_NE(fsckFaults(temp / "changed.img"), "");
}

}  // namespace
