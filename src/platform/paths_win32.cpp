// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

#include <windows.h>

#include <vector>

std::string findProgramFolder(const char*) {
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = 0;
    for (;;) {
        length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return "";
        if (length < buffer.size()) break;
        buffer.resize(buffer.size() * 2);
    }
    // In a code page other than UTF-8 a character outside it would come back as '?' or as a
    // look-alike letter, naming another folder: such a folder counts as not found.
    const int size = static_cast<int>(length);
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lost = FALSE;
    std::string path(static_cast<std::size_t>(WideCharToMultiByte(
                         CP_ACP, flags, buffer.data(), size, nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_ACP, flags, buffer.data(), size, path.data(),
                        static_cast<int>(path.size()), nullptr, flags ? &lost : nullptr);
    if (lost) return "";
    return folderOfPath(path);
}
