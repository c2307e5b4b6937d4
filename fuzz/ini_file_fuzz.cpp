// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for IniFile: every input is a file on disk that is opened, read through every
// reading operation, written to and written back, then read again. Beyond the sanitizers it
// checks two properties: the first key of a section is what readString finds under its name,
// and a number written under a key is read back after the write-back.
#include "catalogue/ini_file.h"

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

class ScratchFile {
public:
    ScratchFile() {
        // Rewriting a file on a disk file system waits for the disk on every run (ext4 flushes
        // a truncated and rewritten file when it is closed); memory is a hundred times faster.
        const std::filesystem::path memory = "/dev/shm";
        const auto base =
            ::access(memory.c_str(), W_OK) == 0 ? memory : std::filesystem::temp_directory_path();
        std::string pattern = (base / "slimkit-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        folder_ = pattern;
        path_ = folder_ + "/input.ini";
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string folder_, path_;
};

void require(bool condition) {
    if (!condition) std::abort();
}

// A key survives being written and read again only if it parses back as the same key.
bool keyRoundTrips(std::string_view key) {
    if (key.find_first_of("=\r\n") != key.npos) return false;
    if (!key.empty() && (key.front() == ';' || key.front() == '[' || key.front() == ' ' ||
                         key.front() == '\t' || key.back() == ' ' || key.back() == '\t'))
        return false;
    return true;
}

void walk(IniFile& file, std::string_view group, std::string& firstKey) {
    if (!file.selectGroup(group)) {
        require(!file.beginKeys() && !file.nextKey());
        require(file.readString("x", "fallback") == "fallback");
        require(file.readNumber("x", -17) == -17);
        return;
    }
    require(file.beginKeys());
    bool first = true;
    while (file.nextKey()) {
        const std::string name = file.keyName();
        const std::string value = file.keyValue();
        file.readNumber(name, 0);
        if (first && !file.utf8Mode()) {
            require(file.readString(name, "\x01missing") == value);
            firstKey = name;
        }
        first = false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFile scratch;
    std::FILE* out = std::fopen(scratch.path().c_str(), "wb");
    require(out != nullptr);
    require(std::fwrite(data, 1, size, out) == size);
    require(std::fclose(out) == 0);

    IniFile file;
    require(file.open(scratch.path()));
    const bool utf8Mode = file.utf8Mode();
    static constexpr std::string_view groups[] = {"", "main", "files", "widget_files", "g\xE9"};
    std::string firstKeys[std::size(groups)];
    for (std::size_t i = 0; i < std::size(groups); ++i) walk(file, groups[i], firstKeys[i]);

    const std::size_t choice = size % std::size(groups);
    const std::string_view group = groups[choice];
    const std::string key =
        (size / 8) % 2 == 0 && keyRoundTrips(firstKeys[choice]) ? firstKeys[choice] : "k\xE9y";
    const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(size) * 2654435761u);
    file.selectGroup(group);
    file.writeNumber(key, number);
    require(file.readNumber(key, number ^ 1) == number);
    require(file.close());

    require(file.open(scratch.path()));
    require(file.utf8Mode() == utf8Mode);
    require(file.selectGroup(group));
    require(file.readNumber(key, number ^ 1) == number);
    return 0;
}
