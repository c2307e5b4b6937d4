// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the apps in a ROM's listing, in each layout ROMs use, with what belongs to each.
#include "apps/app_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A listing from lines "path size", a path ending in '/' being a folder.
std::vector<ListedEntry> listing(const std::vector<std::string>& lines) {
    std::vector<ListedEntry> entries;
    for (const std::string& line : lines) {
        const std::size_t space = line.rfind(' ');
        ListedEntry entry;
        entry.path = line.substr(0, space);
        entry.size = space == line.npos ? 0 : std::stoull(line.substr(space + 1));
        entry.isFolder = entry.path.ends_with('/') || entry.path.ends_with('\\');
        if (entry.isFolder) entry.path.pop_back();
        entries.push_back(entry);
    }
    return entries;
}

struct Expected {
    std::string apk;
    std::vector<std::string> entries;  // after the APK
    std::uint64_t size;
};

void expectApps(const std::vector<std::string>& lines, const std::vector<Expected>& expected,
                const std::string& layout) {
    const std::vector<FoundApp> apps = findApps(listing(lines));
    ASSERT_EQ(apps.size(), expected.size()) << layout;
    for (std::size_t i = 0; i < apps.size(); ++i) {
        std::vector<std::string> entries = {expected[i].apk};
        entries.insert(entries.end(), expected[i].entries.begin(), expected[i].entries.end());
        EXPECT_EQ(apps[i].apkPath, expected[i].apk) << layout;
        EXPECT_EQ(apps[i].entries, entries) << layout << ": " << expected[i].apk;
        EXPECT_EQ(apps[i].size, expected[i].size) << layout << ": " << expected[i].apk;
    }
}

}  // namespace

TEST(AppGroups, FlatAppsTakeTheirCompiledFormsOnly) {
    expectApps({"system/app/Foo.apk 100", "system/app/Foo.odex 20", "system/app/Foo.vdex 3",
                "system/app/FooBar.apk 50", "system/app/oat/arm64/Foo.odex 7",
                "system/app/oat/arm64/Foo.art 1", "system/app/oat/arm/FooBar.vdex 5",
                "system/app/oat/arm64/Orphan.odex 9", "system/app/Orphan.vdex 9",
                "system/app/Foo.apk.bak 4", "system/app/oat/Foo.odex 4"},
               {{"system/app/Foo.apk",
                 {"system/app/Foo.odex", "system/app/Foo.vdex", "system/app/oat/arm64/Foo.odex",
                  "system/app/oat/arm64/Foo.art"},
                 131},
                {"system/app/FooBar.apk", {"system/app/oat/arm/FooBar.vdex"}, 55}},
               "flat");
}

// A folder without an APK directly in it is no app, whatever lies deeper.
TEST(AppGroups, AnAppInAFolderOfItsOwnTakesTheWholeFolder) {
    expectApps(
        {"system/priv-app/", "system/priv-app/Settings/", "system/priv-app/Settings/lib/",
         "system/priv-app/Settings/lib/arm64/libsettings.so 40",
         "system/priv-app/Settings/Settings.apk 500",
         "system/priv-app/Settings/oat/arm64/Settings.odex 60",
         "system/priv-app/SettingsProvider/SettingsProvider.apk 70",
         "system/priv-app/Odd/Renamed.apk 8", "system/priv-app/Odd/notes.txt 1",
         "system/priv-app/NoApk/lib/arm/libx.so 5", "system/priv-app/Nested/sub/Nested.apk 5"},
        {{"system/priv-app/Odd/Renamed.apk", {"system/priv-app/Odd/notes.txt"}, 9},
         {"system/priv-app/Settings/Settings.apk",
          {"system/priv-app/Settings", "system/priv-app/Settings/lib",
           "system/priv-app/Settings/lib/arm64/libsettings.so",
           "system/priv-app/Settings/oat/arm64/Settings.odex"},
          600},
         {"system/priv-app/SettingsProvider/SettingsProvider.apk", {}, 70}},
        "own folder");
}

TEST(AppGroups, SplitApksAndDataAppFoldersMakeOneApp) {
    expectApps({"data/app/com.foo-1/split_config.arm64_v8a.apk 30",
                "data/app/com.foo-1/base.apk 300", "data/app/com.foo-1/lib/arm64/libfoo.so 3",
                "data/app/~~Zq0ZbA==/com.bar-Xy1==/base.apk 10",
                "data/app/~~Zq0ZbA==/com.bar-Xy1==/oat/arm64/base.odex 2",
                "data/app/~~Zq0ZbA==/com.baz-Q==/base.apk 1", "system/app/Cam/Cam.apk 9",
                "system/app/Cam/Cam_split.apk 4"},
               {{"data/app/com.foo-1/base.apk",
                 {"data/app/com.foo-1/split_config.arm64_v8a.apk",
                  "data/app/com.foo-1/lib/arm64/libfoo.so"},
                 333},
                {"data/app/~~Zq0ZbA==/com.bar-Xy1==/base.apk",
                 {"data/app/~~Zq0ZbA==/com.bar-Xy1==/oat/arm64/base.odex"},
                 12},
                {"data/app/~~Zq0ZbA==/com.baz-Q==/base.apk", {}, 1},
                {"system/app/Cam/Cam.apk", {"system/app/Cam/Cam_split.apk"}, 13}},
               "data/app and splits");
}

// Every partition's app folders, and only those: other APKs of the ROM (the framework, overlays,
// apps of the add folder's making elsewhere) are not apps to remove.
TEST(AppGroups, FindsAppsOnEveryPartitionAndNowhereElse) {
    const std::vector<std::string> folders = {"system/app",
                                              "system/priv-app",
                                              "system/vendor/app",
                                              "system/product/app",
                                              "system/product/priv-app",
                                              "system/system_ext/app",
                                              "system/system_ext/priv-app",
                                              "vendor/app",
                                              "vendor/priv-app",
                                              "product/app",
                                              "product/priv-app",
                                              "system_ext/priv-app",
                                              "odm/app",
                                              "system/system/app",
                                              "system/system/product/priv-app",
                                              "data/app",
                                              "data-app",
                                              "preload",
                                              "system/preload"};
    std::vector<std::string> lines = {"system/framework/framework-res.apk 10",
                                      "system/product/overlay/Theme.apk 10",
                                      "system/appendix/Not.apk 1",
                                      "app/Top.apk 1",
                                      "system/app.apk 1",
                                      "sdcard/Download/Game.apk 1",
                                      "META-INF/com/google/android/update-binary 5"};
    std::vector<Expected> expected;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string flat = folders[i] + "/Flat" + std::to_string(i) + ".APK";
        const std::string own =
            folders[i] + "/Own" + std::to_string(i) + "/Own" + std::to_string(i) + ".apk";
        lines.push_back(flat + " 2");
        lines.push_back(own + " 3");
        expected.push_back({flat, {}, 2});
        expected.push_back({own, {}, 3});
    }
    std::sort(expected.begin(), expected.end(),
              [](const Expected& a, const Expected& b) { return a.apk < b.apk; });
    expectApps(lines, expected, "partitions");
}

// The Windows 7z lists '\' between folders: the groups are the same, spelled as listed.
TEST(AppGroups, KeepsTheListingsSpelling) {
    expectApps({"system\\app\\Foo\\ 0", "system\\app\\Foo\\Foo.apk 5",
                "system\\app\\Foo\\lib\\arm\\libfoo.so 1", "system\\app\\Bar.apk 2",
                "system\\app\\oat\\arm\\Bar.odex 1"},
               {{"system\\app\\Bar.apk", {"system\\app\\oat\\arm\\Bar.odex"}, 3},
                {"system\\app\\Foo\\Foo.apk",
                 {"system\\app\\Foo", "system\\app\\Foo\\lib\\arm\\libfoo.so"},
                 6}},
               "backslashes");
    EXPECT_TRUE(findApps({}).empty());
}
