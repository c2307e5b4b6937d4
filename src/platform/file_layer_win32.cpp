#include "platform/file_layer.h"

#include <windows.h>

#include <vector>

namespace {

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/') &&
           path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

// Reserves a fresh name beside `destination` by creating it empty; "" when none can be made.
std::string reserveTemporaryName(const std::string& destination) {
    for (unsigned n = 0; n < 1000; ++n) {
        const std::string candidate =
            destination + ".tmp" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n);
        HANDLE file = CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return candidate;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return "";
    }
    return "";
}

bool removeEntry(const std::string& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryA(path.c_str()) != 0;
    return DeleteFileA(path.c_str()) != 0;
}

bool removeFolderContent(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool removed = true;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        const DWORD attributes = found.dwFileAttributes;
        // A junction or symbolic link is removed as a link; what it points to is never entered.
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            removed = removeFolderContent(path) && removed;
        removed = removeEntry(path, attributes) && removed;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return removed;
}

}  // namespace

std::int64_t fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -2;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string linkTarget(const std::string& path) {
    // Only a link is resolved: the final path of an ordinary file may name it differently (a
    // mapped drive as its network share), and the user's own text is what the messages show.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::vector<char> buffer(32768);
    const DWORD length =
        GetFinalPathNameByHandleA(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= buffer.size()) return path;
    std::string target(buffer.data(), length);
    // The answer comes as "\\?\C:\..." or "\\?\UNC\server\...": the plain form is what the
    // user and 7z.exe know. A target too long for it is left to the path as given.
    if (target.size() >= MAX_PATH + 4) return path;
    if (target.starts_with("\\\\?\\UNC\\")) return "\\\\" + target.substr(8);
    if (target.starts_with("\\\\?\\")) return target.substr(4);
    return target;
}

bool pathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string copyBeside(const std::string& source, const std::string& destination) {
    if (fileSize(source) < 0) return "";
    const std::string temporary = reserveTemporaryName(destination);
    if (temporary.empty()) return "";
    if (CopyFileA(source.c_str(), temporary.c_str(), FALSE)) return temporary;
    const DWORD attributes = GetFileAttributesA(temporary.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) removeEntry(temporary, attributes);
    return "";
}

bool copyFile(const std::string& source, const std::string& destination) {
    const std::string temporary = copyBeside(source, destination);
    if (temporary.empty()) return false;
    if (renameFile(temporary, destination)) return true;
    removeFile(temporary);
    return false;
}

bool holdsAnyFile(const std::string& folder) {
    const std::string prefix = withoutTrailingSeparators(folder) + "\\";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool any = false;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const DWORD attributes = found.dwFileAttributes;
        const bool folderInside =
            (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        any = !folderInside || holdsAnyFile(prefix + name);
    } while (!any && FindNextFileA(search, &found));
    FindClose(search);
    return any;
}

bool removeTree(const std::string& path) {
    const std::string folder = withoutTrailingSeparators(path);
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return removeEntry(folder, attributes);
    const bool emptied = removeFolderContent(folder);
    return removeEntry(folder, attributes) && emptied;
}

bool makeFolder(const std::string& path) {
    return CreateDirectoryA(withoutTrailingSeparators(path).c_str(), nullptr) != 0;
}

bool renameFile(const std::string& source, const std::string& destination) {
    return MoveFileExA(source.c_str(), destination.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
