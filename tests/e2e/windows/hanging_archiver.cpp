// SPDX-License-Identifier: GPL-3.0-or-later
// A 7z.exe that hangs in the removal, for the tests of stopping a run. Given `d`, it does what
// 7z does first, creating its temporary archive beside the archive (the archive's name and
// ".tmp"), notes its process id in hang.pid beside itself, and then waits for ever, deaf to
// Ctrl-C: only being killed ends it. With a file hang.on beside it, it hangs in the command that
// file names instead (`t`, the closing check), without the temporary archive; named `l`, only
// in a listing after a removal (the listing for the check). Every other command goes to the real
// 7z, renamed 7z-real.exe beside it.
#include <windows.h>

#include <string>

namespace {

std::string ownFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path, length);
    return full.substr(0, full.find_last_of('\\') + 1);
}

// The command line after the program's own name.
std::string argumentsOf(const std::string& line) {
    std::size_t at = 0;
    if (!line.empty() && line[0] == '"')
        at = line.find('"', 1);
    else
        at = line.find_first_of(" \t");
    return at == std::string::npos ? std::string() : line.substr(at + 1);
}

// The archive of a command "d ... -- ARCHIVE ...": the argument after "--", in double quotes
// when it holds a blank.
std::string archiveOf(const std::string& arguments) {
    const auto switchesEnd = arguments.find(" -- ");
    if (switchesEnd == std::string::npos) return "";
    auto start = switchesEnd + 4;
    const bool quoted = arguments.compare(start, 1, "\"") == 0;
    if (quoted) ++start;
    const auto end = arguments.find(quoted ? '"' : ' ', start);
    return arguments.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string readFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    char text[16];
    DWORD got = 0;
    ReadFile(file, text, sizeof text, &got, nullptr);
    CloseHandle(file);
    return std::string(text, got);
}

void writeFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int main() {
    const std::string folder = ownFolder();
    std::string arguments = argumentsOf(GetCommandLineA());
    while (!arguments.empty() && arguments.front() == ' ') arguments.erase(0, 1);

    const std::string named = readFile(folder + "hang.on");
    const std::string hangOn = named.empty() ? "d" : named;
    // The ROM is listed before the run as well: only the listing after the removal hangs.
    const bool afterRemoval = hangOn == "l";
    const bool removed =
        GetFileAttributesA((folder + "removed").c_str()) != INVALID_FILE_ATTRIBUTES;
    if (arguments.starts_with(hangOn + " ") && (!afterRemoval || removed)) {
        SetConsoleCtrlHandler(nullptr, TRUE);
        if (hangOn == "d") writeFile(archiveOf(arguments) + ".tmp", "");
        // Whole or not at all: the test reads the file as soon as it is there.
        writeFile(folder + "hang.pid.new", std::to_string(GetCurrentProcessId()));
        MoveFileExA((folder + "hang.pid.new").c_str(), (folder + "hang.pid").c_str(),
                    MOVEFILE_REPLACE_EXISTING);
        Sleep(INFINITE);
    }

    std::string command = "\"" + folder + "7z-real.exe\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION real{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &real))
        return 2;
    WaitForSingleObject(real.hProcess, INFINITE);
    DWORD code = 2;
    GetExitCodeProcess(real.hProcess, &code);
    if (afterRemoval && code == 0 && arguments.starts_with("d ")) writeFile(folder + "removed", "");
    return static_cast<int>(code);
}
