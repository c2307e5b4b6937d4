// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The PATH a test's child processes are found on, put back as it was when the object goes.
// POSIX only.

#include <cstdlib>
#include <optional>
#include <string>

class SearchPath {
public:
    enum Mode { before, instead };

    // `folder` first on PATH, or alone as the whole of it.
    explicit SearchPath(const std::string& folder, Mode mode = before) {
        if (const char* path = std::getenv("PATH")) saved_ = path;
        set(mode == before && saved_ ? folder + ":" + *saved_ : folder);
    }
    ~SearchPath() {
        if (saved_)
            setenv("PATH", saved_->c_str(), 1);
        else
            unsetenv("PATH");
    }
    SearchPath(const SearchPath&) = delete;
    SearchPath& operator=(const SearchPath&) = delete;

    static void set(const std::string& path) { setenv("PATH", path.c_str(), 1); }
    // The PATH there was before, "" for none.
    std::string saved() const { return saved_.value_or(""); }

private:
    std::optional<std::string> saved_;
};
