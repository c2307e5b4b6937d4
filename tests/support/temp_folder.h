// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <system_error>

// A fresh folder under the system's temporary folder (TMPDIR on Linux), its name `prefix`
// followed by a number, removed with everything in it (read-only files and folders included)
// when the object goes. The one temporary folder of every test, on both builds. `path()` has no
// trailing separator; `root()` ends with the platform's own, as the program's folders do.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "slimkit-test-") {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) path_ = candidate.string();
        }
        if (path_.empty()) std::abort();
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        // What a test made read-only must become writable again to be removed (on Windows a
        // read-only file too). A link is never followed: its target may lie outside.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            if (!it->is_symlink(ignored))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }

    const std::string& path() const { return path_; }
    std::string root() const { return path_ + separator; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

    // Writes `bytes` to `name` below root(), creating the folders above it; the full path.
    std::string write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
    // Makes the folder `name` below root() with those above it; its full path.
    std::string folder(const std::string& name) const {
        std::filesystem::create_directories(root() + name);
        return root() + name;
    }

#ifdef _WIN32
    static constexpr char separator = '\\';
#else
    static constexpr char separator = '/';
#endif

private:
    std::string path_;
};

// Writes `content` to `path`, creating the folders above it.
inline void writeFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string TempFolder::write(const std::string& name, const std::string& bytes) const {
    writeFile(root() + name, bytes);
    return root() + name;
}

inline std::string TempFolder::read(const std::string& name) const {
    return readFile(root() + name);
}
