// SPDX-License-Identifier: GPL-3.0-or-later
#include "apps/app_groups.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

// The folders that Android installs apps from, on every partition a ROM zip may carry as
// files: the partitions at the top, inside system/ as older ROMs keep them, and inside a
// system/system/ of a system-as-root ROM.
const std::vector<std::string>& appFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> list;
        static constexpr std::string_view partitions[] = {"system",     "vendor", "product",
                                                          "system_ext", "odm",    "oem"};
        static constexpr std::string_view holders[] = {"", "system/", "system/system/"};
        for (std::string_view holder : holders)
            for (std::string_view partition : partitions) {
                if (!holder.empty() && partition == "system") continue;
                for (std::string_view folder : {"app", "priv-app"})
                    list.push_back(std::string(holder) + std::string(partition) + "/" +
                                   std::string(folder));
            }
        list.push_back("system/system/app");
        list.push_back("system/system/priv-app");
        for (std::string_view other : {"data/app", "data-app", "preload", "system/preload"})
            list.push_back(std::string(other));
        return list;
    }();
    return folders;
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(),
                      [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b + 32 : b); });
}

// The app folder `path` lies in, and what follows it; empty when it lies in none.
std::string_view appFolderOf(std::string_view path, std::string_view& rest) {
    for (const std::string& folder : appFolders())
        if (path.size() > folder.size() + 1 && path.starts_with(folder) &&
            path[folder.size()] == '/') {
            rest = path.substr(folder.size() + 1);
            return path.substr(0, folder.size());
        }
    return {};
}

// For an app in a folder of its own, the length of that folder's path in `path`: the app folder
// and one more folder (two under data/app's random "~~..." buckets); 0 for a file directly in
// the app folder.
std::size_t ownFolderLength(std::string_view folder, std::string_view rest) {
    std::size_t slash = rest.find('/');
    if (slash == rest.npos) return 0;
    if (rest.starts_with("~~")) {
        const std::size_t second = rest.find('/', slash + 1);
        if (second == rest.npos) return 0;
        slash = second;
    }
    return folder.size() + 1 + slash;
}

// The name without its extension, when `name` is one of the compiled forms of an app.
bool compiledFormOf(std::string_view name, std::string_view& stem) {
    for (std::string_view extension : {".odex", ".vdex", ".art"})
        if (endsWithIgnoringCase(name, extension) && name.size() > extension.size()) {
            stem = name.substr(0, name.size() - extension.size());
            return true;
        }
    return false;
}

struct Group {
    std::vector<std::size_t> apks;     // listing indices of the APKs directly in its folder
    std::vector<std::size_t> members;  // listing indices of everything of the app
};

// The listing's paths with '/' between folders and no separator at the end.
std::vector<std::string> normalisedPaths(const std::vector<ListedEntry>& listing) {
    std::vector<std::string> paths(listing.size());
    for (std::size_t i = 0; i < listing.size(); ++i) {
        paths[i] = listing[i].path;
        std::replace(paths[i].begin(), paths[i].end(), '\\', '/');
        while (!paths[i].empty() && paths[i].back() == '/') paths[i].pop_back();
    }
    return paths;
}

// The main APK of the app keyed `key`: the one named after its folder, else base.apk, else the
// first by name.
std::size_t mainApkOf(std::string_view key, const Group& app,
                      const std::vector<std::string>& paths) {
    const std::string_view folderName = key.substr(key.rfind('/') + 1);
    std::size_t main = app.apks.front();
    int rank = 3;
    for (std::size_t index : app.apks) {
        const std::string_view name = std::string_view(paths[index]).substr(key.size() + 1);
        int candidate = 2;
        if (paths[index].size() == key.size() + 4 ||
            (name.size() == folderName.size() + 4 && name.starts_with(folderName)))
            candidate = 0;
        else if (name == "base.apk")
            candidate = 1;
        if (candidate < rank || (candidate == rank && paths[index] < paths[main])) {
            main = index;
            rank = candidate;
        }
    }
    return main;
}

// Sorts a listing's entries into the apps they belong to. Apps are keyed by a flat app's path
// less ".apk", or by the folder of an app in a folder of its own.
class AppSorter {
public:
    AppSorter(const std::vector<ListedEntry>& listing, const std::vector<std::string>& paths)
        : listing_(listing), paths_(paths) {}

    void add(std::size_t i) {
        const std::string_view path = paths_[i];
        std::string_view rest;
        const std::string_view folder = appFolderOf(path, rest);
        if (folder.empty()) return;
        const std::size_t own = rest.starts_with("oat/") ? 0 : ownFolderLength(folder, rest);
        if (own > 0) {
            Group& app = group(path.substr(0, own));
            app.members.push_back(i);
            const std::string_view name = path.substr(own + 1);
            if (!listing_[i].isFolder && name.find('/') == name.npos &&
                endsWithIgnoringCase(name, ".apk"))
                app.apks.push_back(i);
        } else if (listing_[i].isFolder) {
            // The folder entry of an app in its own folder: a member once the app is known.
            if (rest.find('/') == rest.npos) group(path).members.push_back(i);
        } else if (endsWithIgnoringCase(rest, ".apk")) {
            Group& app = group(path.substr(0, path.size() - 4));
            app.apks.push_back(i);
            app.members.push_back(i);
        } else {
            addCompiledForm(i, folder, rest);
        }
    }

    // The apps that have an APK, by the path of their main APK.
    std::vector<FoundApp> apps() {
        attachCompiledForms();
        std::vector<FoundApp> apps;
        for (std::string_view key : order_) {
            Group& app = groups_[key];
            if (app.apks.empty()) continue;
            const std::size_t main = mainApkOf(key, app, paths_);
            std::sort(app.members.begin(), app.members.end());
            FoundApp found;
            found.apkPath = listing_[main].path;
            found.entries.push_back(listing_[main].path);
            for (std::size_t index : app.members) {
                if (index != main) found.entries.push_back(listing_[index].path);
                if (!listing_[index].isFolder) found.size += listing_[index].size;
            }
            apps.push_back(std::move(found));
        }
        std::sort(apps.begin(), apps.end(),
                  [](const FoundApp& a, const FoundApp& b) { return a.apkPath < b.apkPath; });
        return apps;
    }

private:
    Group& group(std::string_view key) {
        auto [it, added] = groups_.try_emplace(key);
        if (added) order_.push_back(key);
        return it->second;
    }

    // Foo.odex beside Foo.apk, or oat/<arch>/Foo.odex below the app folder: kept until the apps
    // are known.
    void addCompiledForm(std::size_t i, std::string_view folder, std::string_view rest) {
        std::string_view name = rest, stem;
        if (rest.starts_with("oat/")) {
            const std::size_t slash = rest.find('/', 4);
            if (slash == rest.npos) return;
            name = rest.substr(slash + 1);
        }
        if (name.find('/') != name.npos || !compiledFormOf(name, stem)) return;
        compiled_.emplace_back(std::string(folder) + "/" + std::string(stem), i);
    }

    // Each compiled form goes with the flat APK of its folder and name.
    void attachCompiledForms() {
        for (const auto& [key, index] : compiled_) {
            const auto it = groups_.find(key);
            if (it == groups_.end()) continue;
            Group& app = it->second;
            if (std::any_of(app.apks.begin(), app.apks.end(),
                            [&](std::size_t apk) { return paths_[apk].size() == key.size() + 4; }))
                app.members.push_back(index);
        }
        compiled_.clear();
    }

    const std::vector<ListedEntry>& listing_;
    const std::vector<std::string>& paths_;
    std::unordered_map<std::string_view, Group> groups_;
    std::vector<std::string_view> order_;
    std::vector<std::pair<std::string, std::size_t>> compiled_;
};

}  // namespace

std::vector<FoundApp> findApps(const std::vector<ListedEntry>& listing) {
    const std::vector<std::string> paths = normalisedPaths(listing);
    AppSorter sorter(listing, paths);
    for (std::size_t i = 0; i < listing.size(); ++i) sorter.add(i);
    return sorter.apps();
}
