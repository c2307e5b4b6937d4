// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_layer.h"

#include "platform/paths.h"
#include "platform/windows_error.h"

#include <windows.h>

#include <vector>

namespace {

// The program's paths in the system's code page as the wide text Windows takes. A path near
// MAX_PATH or longer gets the "\\?\" prefix, which lifts that limit for the wide calls on
// every Windows (and on Wine); the prefix turns off Windows' own clean-up of the path, so the
// separators are made '\' here. Shorter paths stay as they are: relative ones too.
std::wstring wide(const std::string& path) {
    std::wstring text(static_cast<std::size_t>(MultiByteToWideChar(
                          CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), text.data(),
                        static_cast<int>(text.size()));
    // CreateDirectory's limit is 12 characters below MAX_PATH: room for an 8.3 name inside.
    if (text.size() < MAX_PATH - 12 || text.starts_with(L"\\\\?\\")) return text;
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    if (text.size() > 2 && text[1] == L':' && text[2] == L'\\') return L"\\\\?\\" + text;
    if (text.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + text.substr(2);
    return text;
}

std::string narrow(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return "";
    std::string result(static_cast<std::size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

// `text` in the code page; "" when the code page can't hold every character of it.
std::string narrowWhole(const std::wstring& text) {
    const std::string result = narrow(text.c_str());
    std::wstring back(static_cast<std::size_t>(MultiByteToWideChar(
                          CP_ACP, 0, result.data(), static_cast<int>(result.size()), nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_ACP, 0, result.data(), static_cast<int>(result.size()), back.data(),
                        static_cast<int>(back.size()));
    return back == text ? result : "";
}

// "\\?\C:\...", "\\.\C:\..." and "\\?\UNC\server\..." in the plain form that the user and 7z.exe
// know; the file layer adds the prefix again where a path needs it.
std::wstring plainForm(const std::wstring& path) {
    if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
    if ((path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) && path.size() > 6 &&
        path[5] == L':' && path[6] == L'\\')
        return path.substr(4);
    return path;
}

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && isPathSeparator(path.back()) && path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

// Reserves a fresh name beside `destination` by creating it empty; "" when none can be made.
std::string reserveTemporaryName(const std::string& destination) {
    for (unsigned n = 0; n < 1000; ++n) {
        const std::string candidate =
            destination + ".tmp" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n);
        HANDLE file = CreateFileW(wide(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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

// Copies `source` over the file `destination` a few megabytes at a time, asking `goOn` before
// each chunk: CopyFileEx's progress routine would do, but Wine never calls it.
bool copyInChunks(const std::string& source, const std::string& destination,
                  const CopyGoesOn& goOn) {
    const HANDLE from = CreateFileW(wide(source).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (from == INVALID_HANDLE_VALUE) return false;
    const HANDLE to = CreateFileW(wide(destination).c_str(), GENERIC_WRITE, 0, nullptr,
                                  TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (to == INVALID_HANDLE_VALUE) {
        CloseHandle(from);
        return false;
    }
    std::vector<char> buffer(1 << 20);
    constexpr int buffersPerChunk = 8;
    bool whole = false;
    for (int round = 0;; ++round) {
        if (round % buffersPerChunk == 0 && !goOn()) break;
        DWORD got = 0;
        if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) break;
        if (got == 0) {
            whole = true;
            break;
        }
        DWORD written = 0;
        if (!WriteFile(to, buffer.data(), got, &written, nullptr) || written != got) break;
    }
    whole = whole && FlushFileBuffers(to);
    CloseHandle(from);
    return CloseHandle(to) && whole;
}

// The block-cloning requests of ReFS, which MinGW's headers lack.
constexpr DWORD supportsBlockCloning = 0x08000000;  // FILE_SUPPORTS_BLOCK_REFCOUNTING
constexpr DWORD getIntegrity =
    CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 159, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD setIntegrity =
    CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 160, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD duplicateExtents =
    CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 209, METHOD_BUFFERED, FILE_WRITE_ACCESS);
struct IntegrityInformation {
    WORD checksumAlgorithm;
    WORD reserved;
    DWORD flags;
    DWORD checksumChunkSize;
    DWORD clusterSize;
};
struct IntegritySetting {
    WORD checksumAlgorithm;
    WORD reserved;
    DWORD flags;
};
struct DuplicateExtents {
    HANDLE file;
    LARGE_INTEGER sourceOffset;
    LARGE_INTEGER targetOffset;
    LARGE_INTEGER byteCount;
};

// Makes `to` (open for writing, empty) a block clone of `from` where the volume offers one
// (ReFS): the two share their clusters until either is written, and nothing is copied. False
// where it can't, with `to` left empty for a copy.
bool cloneBlocks(HANDLE from, HANDLE to) {
    DWORD volumeFlags = 0;
    if (!GetVolumeInformationByHandleW(from, nullptr, 0, nullptr, nullptr, &volumeFlags, nullptr,
                                       0) ||
        !(volumeFlags & supportsBlockCloning))
        return false;
    LARGE_INTEGER size;
    IntegrityInformation integrity{};
    BY_HANDLE_FILE_INFORMATION info;
    DWORD got = 0;
    if (!GetFileSizeEx(from, &size) || !GetFileInformationByHandle(from, &info) ||
        !DeviceIoControl(from, getIntegrity, nullptr, 0, &integrity, sizeof integrity, &got,
                         nullptr) ||
        integrity.clusterSize == 0)
        return false;
    // Both files must keep checksums alike, and a sparse file's clone must be sparse too.
    IntegritySetting setting{integrity.checksumAlgorithm, 0, integrity.flags};
    if (!DeviceIoControl(to, setIntegrity, &setting, sizeof setting, nullptr, 0, &got, nullptr))
        return false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) &&
        !DeviceIoControl(to, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &got, nullptr))
        return false;
    FILE_END_OF_FILE_INFO end{size};
    if (!SetFileInformationByHandle(to, FileEndOfFileInfo, &end, sizeof end)) return false;
    // Whole clusters, the last one past the end included, in pieces below 4 GB each.
    const LONGLONG cluster = integrity.clusterSize;
    const LONGLONG total = (size.QuadPart + cluster - 1) / cluster * cluster;
    const LONGLONG piece = (LONGLONG{1} << 31) / cluster * cluster;
    for (LONGLONG done = 0; done < total; done += piece) {
        DuplicateExtents extents{from, {}, {}, {}};
        extents.sourceOffset.QuadPart = extents.targetOffset.QuadPart = done;
        extents.byteCount.QuadPart = total - done < piece ? total - done : piece;
        if (!DeviceIoControl(to, duplicateExtents, &extents, sizeof extents, nullptr, 0, &got,
                             nullptr)) {
            FILE_END_OF_FILE_INFO empty{};
            SetFileInformationByHandle(to, FileEndOfFileInfo, &empty, sizeof empty);
            return false;
        }
    }
    return true;
}

// A block clone of `source` in the empty file `destination`, where the volume offers one.
bool cloneFile(const std::string& source, const std::string& destination) {
    const HANDLE from = CreateFileW(wide(source).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (from == INVALID_HANDLE_VALUE) return false;
    const HANDLE to = CreateFileW(wide(destination).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool cloned = to != INVALID_HANDLE_VALUE && cloneBlocks(from, to);
    CloseHandle(from);
    return to != INVALID_HANDLE_VALUE && CloseHandle(to) && cloned;
}

bool removeEntry(const std::string& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(wide(path).c_str(),
                           attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(wide(path).c_str()) != 0;
    return DeleteFileW(wide(path).c_str()) != 0;
}

bool removeFolderContent(const std::string& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool removed = true;
    do {
        const std::string name = narrow(found.cFileName);
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        const DWORD attributes = found.dwFileAttributes;
        // A junction or symbolic link is removed as a link; what it points to is never entered.
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            removed = removeFolderContent(path) && removed;
        removed = removeEntry(path, attributes) && removed;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return removed;
}

}  // namespace

std::int64_t fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data))
        return fileSizeMissing;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return fileSizeOfFolder;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string linkTarget(const std::string& path) {
    // Only a link is resolved: the final path of an ordinary file may name it differently (a
    // mapped drive as its network share), and the user's own text is what the messages show.
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const HANDLE file =
        CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= buffer.size()) return path;
    const std::string target = narrow(buffer.data());
    // The answer comes as "\\?\C:\..." or "\\?\UNC\server\...": the plain form is what the
    // user and 7z.exe know; the file layer adds the prefix again where a path needs it.
    if (target.starts_with("\\\\?\\UNC\\")) return "\\\\" + target.substr(8);
    if (target.starts_with("\\\\?\\")) return target.substr(4);
    return target;
}

std::string fullPath(const std::string& path) {
    if (path.empty()) return path;
    const std::wstring asked = wide(path);
    std::wstring typed(GetFullPathNameW(asked.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length =
        GetFullPathNameW(asked.c_str(), static_cast<DWORD>(typed.size()), typed.data(), nullptr);
    if (length == 0 || length >= typed.size()) return path;
    typed.resize(length);
    // Short names expanded, where the path exists; the case of the file's own name as on disk,
    // so that 7z's new archive, renamed into place, keeps the name the file had.
    std::wstring spelled = typed;
    std::wstring expanded(32768, L'\0');
    const DWORD expandedLength =
        GetLongPathNameW(typed.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (expandedLength > 0 && expandedLength < expanded.size())
        spelled.assign(expanded.data(), expandedLength);
    const std::size_t nameStart = spelled.find_last_of(L"\\/") + 1;
    WIN32_FIND_DATAW found;
    const HANDLE search = spelled.find_first_of(L"*?", nameStart) == std::wstring::npos
                              ? FindFirstFileW(spelled.c_str(), &found)
                              : INVALID_HANDLE_VALUE;
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        if (nameStart > 0 && nameStart < spelled.size())
            spelled = spelled.substr(0, nameStart) + found.cFileName;
    }
    // A long name the code page can't write (Windows before 10 1903) would turn into '?': the
    // short name the user typed to reach it stays.
    for (const std::wstring* full : {&spelled, &typed}) {
        const std::string text = narrowWhole(plainForm(*full));
        if (!text.empty()) return text;
    }
    return path;
}

bool isLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool fileNameStartsWith(const std::string& name, const std::string& start) {
    const std::wstring wholeName = wide(name);
    const std::wstring wideStart = wide(start);
    return wholeName.size() >= wideStart.size() &&
           CompareStringOrdinal(wholeName.data(), static_cast<int>(wideStart.size()),
                                wideStart.data(), static_cast<int>(wideStart.size()),
                                TRUE) == CSTR_EQUAL;
}

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        // Backup semantics opens a folder too; no access is asked for, so nothing is blocked.
        const HANDLE file = CreateFileW(
            wide(*paths[i]).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const bool known = GetFileInformationByHandle(file, &info[i]) != 0;
        CloseHandle(file);
        if (!known) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

bool pathExists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string copyBeside(const std::string& source, const std::string& destination,
                       const CopyGoesOn& goOn) {
    if (fileSize(source) < 0) return "";
    const std::string temporary = reserveTemporaryName(destination);
    if (temporary.empty()) return "";
    // A clone where the volume offers one takes no time and no room; otherwise a copy.
    const bool copied = cloneFile(source, temporary) ||
                        (goOn ? copyInChunks(source, temporary, goOn)
                              : CopyFileW(wide(source).c_str(), wide(temporary).c_str(), FALSE));
    if (copied) return temporary;
    const DWORD attributes = GetFileAttributesW(wide(temporary).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) removeEntry(temporary, attributes);
    return "";
}

bool copyFile(const std::string& source, const std::string& destination, const CopyGoesOn& goOn) {
    const std::string temporary = copyBeside(source, destination, goOn);
    if (temporary.empty()) return false;
    if (renameFile(temporary, destination)) return true;
    removeFile(temporary);
    return false;
}

bool holdsAnyFile(const std::string& folder) {
    const std::string prefix = withoutTrailingSeparators(folder) + "\\";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool any = false;
    do {
        const std::string name = narrow(found.cFileName);
        if (name == "." || name == "..") continue;
        const DWORD attributes = found.dwFileAttributes;
        const bool folderInside =
            (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        any = !folderInside || holdsAnyFile(prefix + name);
    } while (!any && FindNextFileW(search, &found));
    FindClose(search);
    return any;
}

bool removeTree(const std::string& path) {
    const std::string folder = withoutTrailingSeparators(path);
    const DWORD attributes = GetFileAttributesW(wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return removeEntry(folder, attributes);
    const bool emptied = removeFolderContent(folder);
    return removeEntry(folder, attributes) && emptied;
}

bool makeFolder(const std::string& path) {
    const std::wstring folder = wide(withoutTrailingSeparators(path));
    if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string whyFolderIsNotWritable(const std::string& folder) {
    const std::string name = withoutTrailingSeparators(folder) + "\\.slimkit-write-" +
                             std::to_string(GetCurrentProcessId());
    const HANDLE file = CreateFileW(wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return "";
    }
    const DWORD error = GetLastError();
    // A file of that name left by another run shows the folder takes files all the same.
    if (error == ERROR_FILE_EXISTS) return "";
    return windowsErrorText(error);
}

bool renameFile(const std::string& source, const std::string& destination) {
    return MoveFileExW(wide(source).c_str(), wide(destination).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool removeFile(const std::string& path) { return DeleteFileW(wide(path).c_str()) != 0; }

Placed renameWithoutReplacing(const std::string& source, const std::string& destination) {
    if (MoveFileExW(wide(source).c_str(), wide(destination).c_str(), MOVEFILE_WRITE_THROUGH))
        return Placed::done;
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? Placed::nameTaken
                                                                       : Placed::failed;
}

Placed linkWithoutReplacing(const std::string& existing, const std::string& newName) {
    if (CreateHardLinkW(wide(newName).c_str(), wide(existing).c_str(), nullptr))
        return Placed::done;
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? Placed::nameTaken
                                                                       : Placed::failed;
}

std::string makeFreshFolder(const std::string& parent, const std::string& prefix) {
    const std::string stem = withoutTrailingSeparators(parent) + "\\" + prefix;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
    // CreateDirectory fails on a name that is taken, so a folder made here is this run's alone.
    for (unsigned n = 0; n < 1000; ++n) {
        std::string folder = stem;
        for (int i = 0; i < 6; ++i) {
            seed = seed * 1103515245u + 12345u;
            folder += letters[(seed >> 16) % (sizeof letters - 1)];
        }
        if (CreateDirectoryW(wide(folder).c_str(), nullptr)) return folder + "\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
    }
    return "";
}

RomLock::RomLock(const std::string& romPath) : path_(lockPath(romPath)) {
    // Opened without sharing, the file stays this run's until its handle is closed, which
    // Windows does when the program ends in any way; the file then goes with it.
    const HANDLE file =
        CreateFileW(wide(path_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        state_ = State::held;
        handle_ = file;
        return;
    }
    // Access is denied in a folder the user can't write, and to a file whose holder is closing
    // it at the end of its run.
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide(path_).c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    state_ = error == ERROR_SHARING_VIOLATION          ? State::busy
             : error == ERROR_ACCESS_DENIED && !folder ? State::unusable
                                                       : State::blocked;
}

RomLock::~RomLock() {
    if (state_ == State::held) CloseHandle(static_cast<HANDLE>(handle_));
}
