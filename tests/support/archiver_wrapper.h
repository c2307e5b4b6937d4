// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The real 7z behind a shell script that comes first on PATH while the wrapper lives, to make 7z
// slow, hang or lie in one command of a run. POSIX only.

#include "support/search_path.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <string>

class ArchiverWrapper {
public:
    // `before` is shell code run first, with 7z's arguments as "$@"; the real 7z runs after it
    // unless it exits.
    ArchiverWrapper(const std::string& bin, const std::string& before) : bin_(bin), path_(bin) {
        writeFile(bin + "/7z",
                  "#!/bin/sh\n" + before + "\nPATH='" + path_.saved() + "' exec 7z \"$@\"\n");
        std::filesystem::permissions(bin + "/7z", std::filesystem::perms::owner_all);
    }

    std::string program() const { return bin_ + "/7z"; }

protected:
    const std::string bin_;

private:
    const SearchPath path_;
};

// A 7z that, in the command named by the file `bin`/hang-in ("x", "d", "a") on `rom`, begins its
// temporary archive beside `rom` (and a file in the folder it extracts to), shows 42%, writes its
// process id to `bin`/7z.pid, makes the file `bin`/hanging and then waits for good. Any other
// command, or none named, runs the real 7z.
class HangingArchiver : public ArchiverWrapper {
public:
    HangingArchiver(const std::string& bin, const std::string& rom)
        : ArchiverWrapper(bin, "hang=\nif [ \"$1\" = \"$(cat '" + bin +
                                   "/hang-in' 2>/dev/null)\" ]; then\n"
                                   "  for a; do [ \"$a\" = '" +
                                   rom +
                                   "' ] && hang=1; done\n"
                                   "fi\n"
                                   "if [ -n \"$hang\" ]; then\n"
                                   "  : > '" +
                                   rom +
                                   ".tmp'\n"
                                   "  for a; do case \"$a\" in -o*) : > \"${a#-o}partial.apk\";; "
                                   "esac; done\n"
                                   "  printf ' 42%% 1 + hanging'\n"
                                   "  echo $$ > '" +
                                   bin + "/7z.pid'; : > '" + bin +
                                   "/hanging'; exec sleep 120\n"
                                   "fi") {}

    void hangIn(const std::string& command) const {
        if (command.empty())
            std::filesystem::remove(bin_ + "/hang-in");
        else
            writeFile(bin_ + "/hang-in", command);
    }
    // True once for each time 7z has begun to wait.
    bool justHung() const { return std::filesystem::remove(bin_ + "/hanging"); }
    int pid() const { return std::stoi(readFile(bin_ + "/7z.pid")); }
};
