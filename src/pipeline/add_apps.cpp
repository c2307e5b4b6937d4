// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipeline/add_apps.h"

#include "pipeline/reporter.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/utf8.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr bool followFileLinks = false;  // 7z.exe reads a linked file through its link
#else
constexpr bool followFileLinks = true;  // p7zip stores the link itself without it
#endif

// The ROM zip and the files named after it beside it: its backups, undo zips and temporary
// copies. A link to any of them counts as well. Folders are compared by what they are, not by
// how they are spelled: on Windows the add folder may name the ROM's folder in another case or
// by its short name.
class RomFamily {
public:
    explicit RomFamily(const std::string& romPath)
        : rom_(romPath),
          folder_(folderOrHere(romPath)),
          name_(romPath.substr(folderOfPath(romPath).size())) {}

    bool holds(const std::string& file) const {
        if (sameFile(file, rom_)) return true;
        for (const std::string& path : {file, linkTarget(file)}) {
            if (fileNameStartsWith(path.substr(folderOfPath(path).size()), name_) &&
                sameFile(folderOrHere(path), folder_))
                return true;
        }
        return false;
    }

private:
    std::string rom_;
    std::string folder_;
    std::string name_;

    // The folder of `path`, the current one for a bare name.
    static std::string folderOrHere(const std::string& path) {
        const std::string folder = folderOfPath(path);
        return folder.empty() ? std::string(1, '.') : folder;
    }
};

std::string relativeName(const fs::path& file, const fs::path& folder) {
    const auto name = file.lexically_relative(folder).generic_u8string();
    return std::string(name.begin(), name.end());
}

// Why 7z can't be handed `name` (relative to the add folder) as a line of its list file: it drops
// blanks and tabs at either end of a line, takes CR and LF as line ends, and rejects a whole list
// that isn't UTF-8. "" when the name travels as it is.
std::string nameFault(const std::string& name) {
    if (!isUtf8(name)) return ": 7z can't be handed a name that isn't UTF-8 text";
    if (name.find_first_of("\r\n") != std::string::npos)
        return ": 7z can't be handed a name with a line break in it";
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(name.front()) || blank(name.back()))
        return ": 7z can't be handed a name that begins or ends with a blank or a tab";
    return "";
}

// A free name beside the ROM zip for the list of files to add.
std::string listFilePath(const std::string& romPath) {
    return firstFreeNumbered(romPath + "_add_list_");
}

bool writeList(const std::string& path, const std::vector<std::string>& files) {
    std::ofstream list(path, std::ios::binary);
    for (const std::string& file : files) list << file << '\n';
    list.close();
    return !list.fail();
}

// Shows "Can't add " + the path when the add folder holds something 7z can't add safely, or
// "Can't read " + the path of a folder in it that can't be read.
bool refuses(Reporter& reporter, const AddFolderContent& content) {
    if (!content.refused.empty())
        reporter.message("Error", "Can't add " + content.refused + content.refusal);
    else if (!content.unreadable.empty())
        reporter.message("Error", "Can't read " + content.unreadable);
    else
        return false;
    return true;
}

}  // namespace

ArchiverCommand addListCommand(const std::string& archive, const std::string& listFile) {
    ArchiverCommand command{"a", {"-spd", "-scsUTF-8", "-i@" + listFile}, archive};
    if (followFileLinks) command.switches.push_back("-l");
    return command;
}

AddFolderContent addFolderContent(const std::string& addFolder, const std::string& romPath) {
    AddFolderContent content;
    const RomFamily rom(romPath);
    const fs::path folder = fileSystemPath(addFolder);
    std::error_code error;
    fs::recursive_directory_iterator it(folder, error), end;
    if (error) {
        // Missing, or not a folder: it holds nothing, and the add step says why it can't be used.
        if (error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory)
            content.unreadable = addFolder;
        return content;
    }
    while (it != end) {
        const fs::path found = it->path();
        // Follows a link to see what it points to; a folder link is never descended into, and a
        // broken one is no file.
        std::error_code statusError;
        const fs::file_status target = it->status(statusError);
        // Asked of the system: on Windows the standard library takes a junction or a directory
        // link for an ordinary folder and would walk into whatever it points to.
        const bool folderLink = fs::is_directory(target) && isLink(programPath(found));
        if (folderLink) it.disable_recursion_pending();
        const bool entered = fs::is_directory(target) && !folderLink;
        if (fs::is_regular_file(target)) {
            if (!rom.holds(programPath(found))) {
                content.files.push_back(relativeName(found, folder));
                content.refusal = nameFault(content.files.back());
                if (!content.refusal.empty()) {
                    content.refused = programPath(found);
                    return content;
                }
            }
        } else if (!fs::is_directory(target) && fs::exists(target)) {
            content.refused = programPath(found);
            return content;
        }
        it.increment(error);
        if (error) {
            // What 7z can't read would be missing from the ROM zip without a word.
            content.unreadable = programPath(entered ? found : found.parent_path());
            return content;
        }
    }
    return content;
}

ArchiverOutcome addApps(Reporter& reporter, const ProgramPaths& paths, const std::string& romPath) {
    // 7z is never started in a folder it can't enter; make the add folder, so that a missing
    // one is not a failed step.
    makeFolder(paths.addFolder);
    if (!folderExists(paths.addFolder)) {
        reporter.message("Warning", "Can't access " + paths.addFolder);
        return ArchiverOutcome::failed;
    }
    const AddFolderContent content = addFolderContent(paths.addFolder, romPath);
    if (refuses(reporter, content)) return ArchiverOutcome::failed;
    if (content.files.empty()) return ArchiverOutcome::succeeded;
    const std::string listFile = listFilePath(romPath);
    if (!writeList(listFile, content.files)) {
        removeFile(listFile);
        reporter.message("Error", "Can't add " + paths.addFolder);
        return ArchiverOutcome::failed;
    }
    const ArchiverResult result =
        runArchiver(paths.archiverProgram, addListCommand(romPath, listFile), paths.addFolder,
                    progressOf(reporter));
    removeFile(listFile);
    if (!result.warning.empty()) reporter.message(archiverWarningTitle, result.warning);
    return result.outcome;
}
