#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it when the
// test ends. `path()` ends with a separator, as the program's own folders do.
class Sandbox {
public:
    Sandbox() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
            const auto candidate = std::filesystem::temp_directory_path() /
                                   ("slimkit-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) root_ = candidate;
        }
        if (root_.empty()) ADD_FAILURE() << "can't make a temporary folder";
    }
    ~Sandbox() {
        std::error_code ignored;
        if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    std::string path() const { return root_.string() + "/"; }

    std::string write(const std::string& name, const std::string& bytes) const {
        const auto file = root_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

    std::string read(const std::string& name) const {
        std::ifstream in(root_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path root_;
};
