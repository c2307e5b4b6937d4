#include "platform/paths.h"

#include <windows.h>

#include <vector>

std::string findProgramFolder(const char*) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(),
                                                static_cast<DWORD>(buffer.size()));
        if (length == 0) return "";
        if (length < buffer.size()) {
            const std::string path(buffer.data(), length);
            const auto cut = path.find_last_of("\\/");
            return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}
