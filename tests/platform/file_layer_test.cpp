// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_layer.h"

#include "support/faults.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

// Runs removeTree as an ordinary user who owns the tree, so that permissions count as they would
// for the program's user.
bool removeTreeAsOwner(const TempFolder& temp, const std::string& folder,
                       const std::string& argument) {
    if (geteuid() == 0) {
        fs::permissions(temp.path(), fs::perms::all);
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            lchown(entry.path().c_str(), ordinaryUserId, ordinaryUserId);
        lchown(folder.c_str(), ordinaryUserId, ordinaryUserId);
        lchown(fs::path(folder).parent_path().c_str(), ordinaryUserId, ordinaryUserId);
    }
    const ChildRun run =
        inChild(ordinaryUser(), [&] { return removeTree(argument) ? "" : "not removed"; });
    EXPECT_EQ(run.unavailable, "");
    return run.unavailable.empty() && run.failure.empty();
}

// True when every block of the file at `path` is shared with another file.
bool sharesEveryBlock(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    constexpr unsigned extents = 64;
    alignas(fiemap) char buffer[sizeof(fiemap) + extents * sizeof(fiemap_extent)] = {};
    auto* map = reinterpret_cast<fiemap*>(buffer);
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = extents;
    const bool mapped = ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    close(fd);
    if (!mapped || map->fm_mapped_extents == 0) return false;
    for (unsigned i = 0; i < map->fm_mapped_extents; ++i)
        if (!(map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED)) return false;
    return true;
}

}  // namespace

TEST(FileSize, TellsFilesFromFoldersAndMissingPaths) {
    TempFolder temp;
    writeFile(temp / "rom.zip", "12345");
    writeFile(temp / "empty.zip", "");
    ASSERT_EQ(mkfifo((temp / "pipe").c_str(), 0600), 0);

    EXPECT_EQ(fileSize(temp / "rom.zip"), 5);
    EXPECT_EQ(fileSize(temp / "empty.zip"), 0);
    EXPECT_EQ(fileSize(temp / "missing.zip"), fileSizeMissing);
    EXPECT_EQ(fileSize(temp.path()), fileSizeOfFolder);
    EXPECT_EQ(fileSize(temp.path() + "/"), fileSizeOfFolder);
    EXPECT_EQ(fileSize(temp / "pipe"), fileSizeMissing);
    EXPECT_TRUE(folderExists(temp.path()));
    EXPECT_TRUE(folderExists(temp.path() + "/"));
    EXPECT_FALSE(folderExists(temp / "rom.zip"));
    EXPECT_FALSE(folderExists(temp / "empty.zip"));
    EXPECT_FALSE(folderExists(temp / "missing.zip"));
    EXPECT_FALSE(folderExists(temp / "pipe"));
}

TEST(PathExists, SeesEveryKindOfNameAndTellsLinks) {
    TempFolder temp;
    writeFile(temp / "file", "x");
    fs::create_directory(temp / "folder");
    fs::create_symlink(temp / "nowhere", temp / "broken");
    fs::create_directory_symlink(temp / "folder", temp / "folder-link");

    EXPECT_TRUE(pathExists(temp / "file"));
    EXPECT_TRUE(pathExists(temp / "folder"));
    EXPECT_TRUE(pathExists(temp / "broken"));
    EXPECT_FALSE(pathExists(temp / "nowhere"));
    EXPECT_TRUE(isLink(temp / "broken"));
    EXPECT_TRUE(isLink(temp / "folder-link"));
    EXPECT_FALSE(isLink(temp / "folder"));
    EXPECT_FALSE(isLink(temp / "file"));
    EXPECT_FALSE(isLink(temp / "nowhere"));
}

// Where the file system offers copy-on-write clones (Btrfs on a loop device, mounted in a mount
// namespace of the test's own), the copy is one: every block of it is the source's.
TEST(CopyFile, IsACloneWhereTheFileSystemOffersOne) {
    TempFolder temp;
    const std::string image = temp / "btrfs.img", folder = temp / "btrfs", skip = temp / "skip";
    fs::create_directory(folder);
    std::string content(5 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 % 251);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const std::string make = "truncate -s 160M '" + image + "' && mkfs.btrfs -q '" + image +
                                 "' >/dev/null 2>&1 && mount -o loop '" + image + "' '" + folder +
                                 "' 2>/dev/null";
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            std::system(make.c_str()) != 0) {
            writeFile(skip,
                      "no Btrfs file system can be mounted here (mkfs.btrfs, a loop "
                      "device and a mount namespace of its own are needed)");
            _exit(77);
        }
        writeFile(folder + "/rom.zip", content);
        int fault = 0;
        if (!copyFile(folder + "/rom.zip", folder + "/rom.zip_BU_0"))
            fault = 1;
        else if (readFile(folder + "/rom.zip_BU_0") != content)
            fault = 2;
        else if (!sharesEveryBlock(folder + "/rom.zip_BU_0"))
            fault = 3;
        umount(folder.c_str());
        _exit(fault);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << readFile(skip);
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: the copy failed, 2: its content differs, 3: it does not share the source's blocks";
}

TEST(CopyFile, CopiesWholeContentAndReplacesTarget) {
    TempFolder temp;
    std::string content(3 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 % 251);
    writeFile(temp / "rom.zip", content);
    writeFile(temp / "copy.zip", "older and different");

    ASSERT_TRUE(copyFile(temp / "rom.zip", temp / "copy.zip"));
    EXPECT_EQ(readFile(temp / "copy.zip"), content);
    EXPECT_EQ(namesIn(temp.path()), (std::set<std::string>{"rom.zip", "copy.zip"}));
}

TEST(CopyFile, FailureLeavesTargetAndNoPartialFile) {
    TempFolder temp;
    writeFile(temp / "rom.zip", std::string(200000, 'r'));
    writeFile(temp / "copy.zip", "earlier copy");
    fs::create_directory(temp / "folder.zip");
    writeFile(temp / "folder.zip/inside", "kept");

    EXPECT_FALSE(copyFile(temp / "missing.zip", temp / "copy.zip"));
    EXPECT_FALSE(copyFile(temp.path(), temp / "copy.zip"));
    EXPECT_FALSE(copyFile(temp / "rom.zip", temp / "folder.zip"));
    EXPECT_FALSE(copyFile(temp / "rom.zip", temp / "no/such/folder/copy.zip"));
    {
        const FileSizeLimit full(65536);
        EXPECT_FALSE(copyFile(temp / "rom.zip", temp / "copy.zip"));
    }

    EXPECT_EQ(readFile(temp / "copy.zip"), "earlier copy");
    EXPECT_EQ(readFile(temp / "folder.zip/inside"), "kept");
    EXPECT_EQ(namesIn(temp.path()), (std::set<std::string>{"rom.zip", "copy.zip", "folder.zip"}));
}

TEST(CopyFile, IsAskedBetweenChunksAndAStopLeavesNoPartialFile) {
    TempFolder temp;
    const std::string content(20 << 20, 'r');
    writeFile(temp / "rom.zip", content);
    writeFile(temp / "copy.zip", "earlier copy");
    int asked = 0;

    EXPECT_FALSE(copyFile(temp / "rom.zip", temp / "copy.zip", [&] { return ++asked < 2; }));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(readFile(temp / "copy.zip"), "earlier copy");
    EXPECT_EQ(namesIn(temp.path()), (std::set<std::string>{"rom.zip", "copy.zip"}));

    asked = 0;
    EXPECT_TRUE(copyFile(temp / "rom.zip", temp / "copy.zip", [&] { return ++asked > 0; }));
    EXPECT_GE(asked, 3);
    EXPECT_TRUE(readFile(temp / "copy.zip") == content);
}

TEST(CopyFile, NamesWithBlanksAndNonAsciiLetters) {
    TempFolder temp;
    writeFile(temp / "Röm fïles/my rom.zip", "content");
    ASSERT_TRUE(copyFile(temp / "Röm fïles/my rom.zip", temp / "Röm fïles/my rom.zip_BU_0"));
    EXPECT_EQ(readFile(temp / "Röm fïles/my rom.zip_BU_0"), "content");
}

TEST(RemoveTree, RemovesNestedAndReadOnlyContent) {
    TempFolder temp;
    const std::string folder = temp / "app/undo/files";
    writeFile(folder + "/system/app/A.apk", "a");
    writeFile(folder + "/system/bin/tool", "t");
    writeFile(folder + "/.hidden", "h");
    fs::permissions(folder + "/system/app/A.apk", fs::perms::owner_read);
    fs::permissions(folder + "/system/bin", fs::perms::owner_read | fs::perms::owner_exec);
    fs::create_directory(folder + "/locked");
    fs::permissions(folder + "/locked", fs::perms::none);

    EXPECT_TRUE(removeTreeAsOwner(temp, folder, folder + "/"));
    EXPECT_FALSE(pathExists(folder));
    EXPECT_TRUE(fs::is_directory(temp / "app/undo"));
}

TEST(RemoveTree, NeverFollowsLinksOutOfTheFolder) {
    TempFolder temp;
    writeFile(temp / "outside/precious/data.txt", "keep me");
    writeFile(temp / "outside/single.txt", "keep me too");
    fs::permissions(temp / "outside/precious", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string folder = temp / "files";
    fs::create_directories(folder + "/system");
    fs::create_directory_symlink(temp / "outside/precious", folder + "/system/linked");
    fs::create_symlink(temp / "outside/single.txt", folder + "/file-link");

    EXPECT_TRUE(removeTreeAsOwner(temp, folder, folder));
    EXPECT_FALSE(pathExists(folder));
    EXPECT_EQ(readFile(temp / "outside/precious/data.txt"), "keep me");
    EXPECT_EQ(readFile(temp / "outside/single.txt"), "keep me too");
    EXPECT_EQ(fs::status(temp / "outside/precious").permissions() & fs::perms::owner_write,
              fs::perms::none);
}

TEST(RemoveTree, LinkInPlaceOfTheFolderIsRemovedAsALink) {
    TempFolder temp;
    writeFile(temp / "outside/data.txt", "keep me");
    fs::create_directory_symlink(temp / "outside", temp / "files");

    EXPECT_TRUE(removeTree(temp / "files/"));
    EXPECT_FALSE(pathExists(temp / "files"));
    EXPECT_EQ(readFile(temp / "outside/data.txt"), "keep me");
}

TEST(RemoveTree, MissingFolderIsAFailure) {
    TempFolder temp;
    EXPECT_FALSE(removeTree(temp / "missing"));
}

TEST(MakeFolder, CreatesAFolderForTheOwnerOnlyAndNeverFollowsALink) {
    TempFolder temp;
    const mode_t previous = umask(022);
    EXPECT_TRUE(makeFolder(temp / "files/"));
    umask(previous);
    struct stat status {};
    ASSERT_EQ(stat((temp / "files").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);

    fs::create_directory_symlink(temp / "files", temp / "link");
    EXPECT_FALSE(makeFolder(temp / "link"));
}

TEST(RenameAndRemoveFile, ReplaceAndDelete) {
    TempFolder temp;
    writeFile(temp / "new", "new");
    writeFile(temp / "old", "old");
    EXPECT_TRUE(renameFile(temp / "new", temp / "old"));
    EXPECT_EQ(readFile(temp / "old"), "new");
    EXPECT_TRUE(removeFile(temp / "old"));
    EXPECT_FALSE(removeFile(temp / "old"));
    EXPECT_FALSE(pathExists(temp / "old"));
}
