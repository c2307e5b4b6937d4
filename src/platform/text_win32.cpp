// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/text.h"

#include "platform/ascii.h"
#include "platform/utf8.h"
#include "platform/windows_error.h"

#include <algorithm>
#include <string_view>

#include <windows.h>

bool archiverNamesAreUtf8() { return GetACP() == CP_UTF8; }

std::string lowerName(const std::string& text) {
    std::string lowered = text;
    if (lowered.empty()) return lowered;
    if (GetACP() != CP_UTF8) {
        CharLowerBuffA(lowered.data(), static_cast<DWORD>(lowered.size()));
        return lowered;
    }
    // Byte by byte: the code page's own lowering would change the length of a name that is not
    // UTF-8, and names from definition files are Latin-1.
    for (char& c : lowered) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7))
            c = static_cast<char>(byte + 0x20);
    }
    return lowered;
}

std::string archiverNameKey(const std::string& name) {
    if (name.empty()) return name;
    const int size = static_cast<int>(name.size());
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0)),
        L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), static_cast<int>(wide.size()));
    for (wchar_t& c : wide)
        if (c == L'\\') c = L'/';
    // 7z.exe upper-cases letter by letter with the system's own table.
    CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    std::string key(
        static_cast<std::size_t>(WideCharToMultiByte(
            CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), key.data(),
                        static_cast<int>(key.size()), nullptr, nullptr);
    return key;
}

namespace {

bool isDeviceName(std::string_view part) {
    const std::string stem = lowerAscii(std::string(part.substr(0, part.find('.'))));
    for (const char* device : {"con", "prn", "aux", "nul"})
        if (stem == device) return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool isWritableFileName(const std::string& name) {
    std::string_view rest = name;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find_first_of("/\\"), rest.size());
        const std::string_view part = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (part.empty()) continue;
        for (const char c : part)
            if (static_cast<unsigned char>(c) < 0x20 ||
                std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
                return false;
        if (part.back() == '.' || part.back() == ' ' || isDeviceName(part)) return false;
    }
    return true;
}

std::string normaliseDefinitionPath(const std::string& path) {
    // Under UTF-8 a path that isn't UTF-8 comes from an 8-bit definition file: it is taken as
    // Latin-1, as the window shows it, instead of reaching 7z.exe as U+FFFD.
    return GetACP() == CP_UTF8 ? asUtf8(path) : path;
}

bool listDefinitionFiles(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.ini").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        // No match in an existing folder is an empty listing, not a failure.
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

std::filesystem::path fileSystemPath(const std::string& path) {
    const int size = static_cast<int>(path.size());
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0)),
        L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string programPath(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    const int size = static_cast<int>(wide.size());
    std::string text(static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), size,
                                                                  nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, text.data(), static_cast<int>(text.size()),
                        nullptr, nullptr);
    return text;
}

std::string windowsErrorText(unsigned long error) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text =
        length && buffer ? std::string(buffer, length) : "error " + std::to_string(error);
    if (buffer) LocalFree(buffer);
    return std::string(trimmedEnd(text, "\r\n ."));
}
