// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/removal.h"

#include "catalogue/catalogue.h"
#include "platform/file_layer.h"
#include "platform/text.h"

#include <fstream>
#include <string_view>

namespace {

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

void collect(TickedPaths& ticked, const std::vector<std::string>& paths,
             const std::vector<std::string>& lost) {
    for (const std::string& path : paths) {
        // One separator may end a path to name a folder; what is left must be a literal name.
        std::string name = path;
        if (!name.empty() && isSeparator(name.back())) name.pop_back();
        (namesEntryLiterally(name) ? ticked.paths : ticked.skipped).push_back(path);
    }
    ticked.skipped.insert(ticked.skipped.end(), lost.begin(), lost.end());
}

bool writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(fileSystemPath(path), std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return !file.fail();
}

// The names in a list file take the charset the program hands 7z its names in.
std::string listCharset() { return archiverNamesAreUtf8() ? "-scsUTF-8" : "-scsWIN"; }

}  // namespace

bool namesEntryLiterally(const std::string& name) {
    if (name.find('"') != std::string::npos) return false;
    std::string_view rest = name;
    // Each folder of the name must be a name of its own: not empty, not "." or "..".
    while (true) {
        std::size_t end = 0;
        while (end < rest.size() && !isSeparator(rest[end])) ++end;
        const std::string_view part = rest.substr(0, end);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == rest.size()) return true;
        rest.remove_prefix(end + 1);
    }
}

std::string definitionPathKey(const std::string& path) {
    std::string key = archiverNameKey(path);
    if (key.ends_with('/')) key.pop_back();
    return key;
}

TickedPaths tickedPaths(const TickedEntry& ticked) {
    TickedPaths paths;
    if (!ticked.entry) return paths;
    const CatalogueEntry& entry = *ticked.entry;
    if (ticked.mode != RemovalMode::app) collect(paths, entry.widgetFiles, entry.lostWidgetFiles);
    if (ticked.mode != RemovalMode::widget) collect(paths, entry.files, entry.lostFiles);
    return paths;
}

TickedPaths tickedPaths(const std::vector<TickedEntry>& ticked) {
    TickedPaths all;
    for (const TickedEntry& one : ticked) {
        TickedPaths paths = tickedPaths(one);
        all.paths.insert(all.paths.end(), paths.paths.begin(), paths.paths.end());
        all.skipped.insert(all.skipped.end(), paths.skipped.begin(), paths.skipped.end());
    }
    return all;
}

std::string nameListText(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += '"' + name + "\"\n";
    return text;
}

ArchiverCommand removalCommand(const std::string& romPath, const std::string& listFile) {
    return {"d", {"-spd", listCharset(), "-i@" + listFile}, romPath};
}

ArchiverCommand extractCommand(const std::string& romPath, const std::string& extractionFolder,
                               const std::string& listFile) {
    return {"x", {"-spd", listCharset(), "-i@" + listFile}, romPath, {}, extractionFolder};
}

ArchiverCommand undoAddCommand(const std::string& archive, const std::string& listFile,
                               bool stored) {
    return {"a", {"-spd", stored ? "-mx=0" : "-mx=1", listCharset(), "-i@" + listFile}, archive};
}

std::string nameListPath(const std::string& extractionFolder) {
    std::string path = extractionFolder;
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path + ".names";
}

ArchiverResult runOnNames(const std::string& program, const ArchiverCommand& command,
                          const std::string& listFile, const std::vector<std::string>& names,
                          const ProgressSink& progress, const std::string& workingDirectory) {
    if (names.empty()) return {};
    if (!writeTextFile(listFile, nameListText(names))) {
        removeFile(listFile);
        return {ArchiverOutcome::failed, "Can't write the list of names for 7z: " + listFile};
    }
    ArchiverResult result = runArchiver(program, command, workingDirectory, progress);
    removeFile(listFile);
    return result;
}
