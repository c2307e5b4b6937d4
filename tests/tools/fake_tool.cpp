// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted stand-in for the archiver and the desktop opener. Installed under the name it
// plays (e.g. "7z"), it records its arguments in <self>.args (each followed by a NUL byte), its
// working folder in <self>.cwd and its process id in <self>.pid, then follows <self>.script, one
// instruction a line:
//   out TEXT / err TEXT         write TEXT and a line feed to standard output / error
//   put-out TEXT / put-err TEXT write TEXT alone
//   repeat N TEXT               write N lines of TEXT to standard output
//   flood-err N                 write N bytes "x" to standard error, with no line feed
//   close-out                   close standard output (standard error stays open)
//   sleep MS                    sleep MS milliseconds
//   wait-for PATH               go on once PATH exists (relative to the folder of <self>): the
//                               test decides when, however slow the machine; after a minute
//                               without it, end with status 124
//   touch PATH                  create a file (relative to the folder of <self>)
//   remove PATH                 remove a file (likewise)
//   read-in                     record in <self>.stdin what standard input gives at once, as
//                               a prompt would read it: "" for its end, "(closed)" for none;
//                               after a minute with neither, "(waiting)"
//   exit CODE                   end with that status
// TEXT understands \t, \r, \n, \b and \\. Writes are unbuffered, so a killed run leaves nothing
// unwritten behind.
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

std::string decode(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        const char next = text[++i];
        plain += next == 't'   ? '\t'
                 : next == 'r' ? '\r'
                 : next == 'n' ? '\n'
                 : next == 'b' ? '\b'
                               : next;
    }
    return plain;
}

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = write(fd, text.data() + done, text.size() - done);
        if (count <= 0) std::_Exit(3);
        done += static_cast<std::size_t>(count);
    }
}

}  // namespace

int main(int argc, char** argv) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return 4;
    const std::string self(buffer, static_cast<std::size_t>(length));
    const std::string folder = self.substr(0, self.rfind('/') + 1);

    {
        std::ofstream args(self + ".args", std::ios::binary);
        for (int i = 0; i < argc; ++i) args << argv[i] << '\0';
        std::ofstream cwd(self + ".cwd", std::ios::binary);
        if (getcwd(buffer, sizeof buffer)) cwd << buffer;
        std::ofstream(self + ".pid", std::ios::binary) << getpid();
    }

    std::ifstream script(self + ".script", std::ios::binary);
    std::string line;
    while (std::getline(script, line)) {
        const auto blank = line.find(' ');
        const std::string word = line.substr(0, blank);
        const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (word == "out")
            writeAll(STDOUT_FILENO, decode(rest) + "\n");
        else if (word == "err")
            writeAll(STDERR_FILENO, decode(rest) + "\n");
        else if (word == "put-out")
            writeAll(STDOUT_FILENO, decode(rest));
        else if (word == "put-err")
            writeAll(STDERR_FILENO, decode(rest));
        else if (word == "repeat") {
            const auto gap = rest.find(' ');
            const long count = std::strtol(rest.c_str(), nullptr, 10);
            const std::string text = decode(gap == std::string::npos ? "" : rest.substr(gap + 1));
            for (long i = 0; i < count; ++i) writeAll(STDOUT_FILENO, text + "\n");
        } else if (word == "flood-err") {
            const std::string block(65536, 'x');
            for (long left = std::atol(rest.c_str()); left > 0; left -= 65536)
                writeAll(STDERR_FILENO,
                         block.substr(0, static_cast<std::size_t>(std::min(left, 65536L))));
        } else if (word == "close-out")
            close(STDOUT_FILENO);
        else if (word == "sleep")
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(rest.c_str())));
        else if (word == "wait-for")
            for (int waited = 0;
                 access((rest.starts_with('/') ? rest : folder + rest).c_str(), F_OK) != 0;
                 waited += 5) {
                if (waited > 60000) return 124;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        else if (word == "touch")
            std::ofstream(rest.starts_with('/') ? rest : folder + rest).put('x');
        else if (word == "remove")
            std::remove((rest.starts_with('/') ? rest : folder + rest).c_str());
        else if (word == "read-in") {
            std::string got = "(waiting)";
            pollfd input{STDIN_FILENO, POLLIN, 0};
            if (poll(&input, 1, 60000) > 0) {
                char bytes[256];
                const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
                got = count < 0 ? "(closed)" : std::string(bytes, static_cast<std::size_t>(count));
            }
            std::ofstream(self + ".stdin", std::ios::binary) << got;
        } else if (word == "exit")
            return std::atoi(rest.c_str());
    }
    return 0;
}
