// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted stand-in for 7z.exe. It reads fake_script.txt beside itself, one command a line:
//   out TEXT / err TEXT          TEXT and CR LF on standard output / standard error
//   raw-out TEXT / raw-err TEXT  TEXT only, with \r \n \t and \\ as escapes
//   flood-err N                  N bytes "x" on standard error, with no line end
//   close-out                    close standard output (standard error stays open)
//   sleep MS                     pause
//   touch NAME                   create the file NAME beside itself
//   read-in                      record what standard input gives at once (fake_stdin.txt):
//                                "" for its end, "(closed)" for no input
//   exit CODE                    end with that exit status
// Before that it records, beside itself, its whole command line (fake_command_line.txt), the
// arguments split as 7-Zip splits them: blanks and tabs separate, double quotes toggle, no
// escapes (fake_argv.txt, one a line) and its working folder (fake_cwd.txt).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ownFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path, length);
    return full.substr(0, full.find_last_of('\\') + 1);
}

std::vector<std::string> splitLikeSevenZip(const std::string& line) {
    std::vector<std::string> parts;
    std::string part;
    bool quoted = false, any = false;
    for (const char c : line) {
        if ((c == ' ' || c == '\t') && !quoted) {
            if (any) parts.push_back(part);
            part.clear();
            any = false;
        } else if (c == '"') {
            quoted = !quoted;
            any = true;
        } else {
            part += c;
            any = true;
        }
    }
    if (any) parts.push_back(part);
    return parts;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
    }
    return out;
}

void put(HANDLE stream, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int main() {
    const std::string folder = ownFolder();
    const std::string commandLine = GetCommandLineA();
    std::ofstream(folder + "fake_command_line.txt", std::ios::binary) << commandLine;
    {
        std::ofstream argv(folder + "fake_argv.txt", std::ios::binary);
        const auto parts = splitLikeSevenZip(commandLine);
        for (std::size_t i = 1; i < parts.size(); ++i) argv << parts[i] << '\n';
    }
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    std::ofstream(folder + "fake_cwd.txt", std::ios::binary) << cwd;

    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    std::ifstream script(folder + "fake_script.txt", std::ios::binary);
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto blank = line.find(' ');
        const std::string command = line.substr(0, blank);
        const std::string argument = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (command == "out")
            put(out, argument + "\r\n");
        else if (command == "err")
            put(err, argument + "\r\n");
        else if (command == "raw-out")
            put(out, unescape(argument));
        else if (command == "raw-err")
            put(err, unescape(argument));
        else if (command == "flood-err") {
            const std::string block(65536, 'x');
            for (long left = std::stol(argument); left > 0; left -= 65536)
                put(err, block.substr(0, static_cast<std::size_t>(std::min(left, 65536L))));
        } else if (command == "close-out")
            CloseHandle(out);
        else if (command == "sleep")
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(argument)));
        else if (command == "touch")
            std::ofstream(folder + argument) << "";
        else if (command == "read-in") {
            char bytes[256];
            DWORD got = 0;
            const bool read =
                ReadFile(GetStdHandle(STD_INPUT_HANDLE), bytes, sizeof bytes, &got, nullptr);
            std::ofstream(folder + "fake_stdin.txt", std::ios::binary)
                << (read ? std::string(bytes, got) : std::string("(closed)"));
        } else if (command == "exit")
            return static_cast<int>(std::stoul(argument));
    }
    return 0;
}
