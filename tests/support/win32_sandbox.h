#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <windows.h>

// A fresh folder under the temp folder for one Windows test, removed with everything in it
// (read-only files included) when the test ends. `path()` ends with '\'.
class Win32Sandbox {
public:
    Win32Sandbox() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        for (unsigned n = 0;; ++n) {
            root_ = std::string(temp) + "slimkit-test-" + std::to_string(GetCurrentProcessId()) +
                    "-" + std::to_string(n);
            if (CreateDirectoryA(root_.c_str(), nullptr)) break;
        }
        root_ += '\\';
    }
    ~Win32Sandbox() {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_, ignored))
            SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(root_, ignored);
    }
    Win32Sandbox(const Win32Sandbox&) = delete;
    Win32Sandbox& operator=(const Win32Sandbox&) = delete;

    const std::string& path() const { return root_; }

    // Writes `content` as it is (binary) to `name` below the sandbox; returns the full path.
    std::string write(const std::string& name, const std::string& content) const {
        const std::string full = root_ + name;
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }
    std::string folder(const std::string& name) const {
        const std::string full = root_ + name;
        CreateDirectoryA(full.c_str(), nullptr);
        return full;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string root_;
};
