// SPDX-License-Identifier: GPL-3.0-or-later
// Stops a run of the program under test the ways Windows can, for the tests of stopping a run.
// PIDFILE is where hanging_archiver.exe notes its process id once it hangs in the removal.
//   stop_driver ctrl-c PIDFILE PROGRAM [ARGUMENTS...]
//       starts PROGRAM on this console, waits until 7z hangs, presses Ctrl-C on the console
//       (this driver ignores it) and waits for PROGRAM to end: prints "exit CODE"
//   stop_driver kill PIDFILE PROGRAM [ARGUMENTS...]
//       the same, but ends PROGRAM outright with TerminateProcess
//   stop_driver end-session TITLE PIDFILE
//       once 7z hangs, tells the window TITLE that the session ends, as Windows does at log-off:
//       WM_QUERYENDSESSION, then WM_ENDSESSION; prints the window's answer "query ANSWER"
//   stop_driver gone PIDFILE
//       waits until the hanging 7z has ended
//   stop_driver says TITLE TEXT
//       waits until a visible window TITLE shows a text that contains TEXT
// Every verb but `says` then waits until the hanging 7z has ended and prints "7z gone", or
// "7z left" after a minute. Exit status 0 when each wait was met, 1 when one was not.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace {

bool waitUntil(const std::function<bool()>& holds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!holds()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The hanging 7z, opened as soon as it has noted its id: null after a minute without it, and
// INVALID_HANDLE_VALUE when it noted its id but has already ended.
HANDLE hangingArchiver(const std::string& pidFile) {
    HANDLE process = nullptr;
    waitUntil([&] {
        DWORD id = 0;
        if (!(std::ifstream(pidFile) >> id)) return false;
        process = OpenProcess(SYNCHRONIZE, FALSE, id);
        if (!process) process = INVALID_HANDLE_VALUE;
        return true;
    });
    return process;
}

// Waits until 7z has ended; says so.
bool archiverGone(HANDLE archiver) {
    const bool gone = archiver == INVALID_HANDLE_VALUE ||
                      (archiver && WaitForSingleObject(archiver, 60000) == WAIT_OBJECT_0);
    std::printf("%s\n", gone ? "7z gone" : "7z left");
    return gone;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

int runAndStop(bool ctrlC, const std::string& pidFile, int argc, char** argv) {
    std::string command = quoted(argv[0]);
    for (int i = 1; i < argc; ++i) command += " " + quoted(argv[i]);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        std::printf("can't start %s: error %lu\n", argv[0], GetLastError());
        return 1;
    }
    HANDLE archiver = hangingArchiver(pidFile);
    if (!archiver) std::printf("7z never hung\n");
    if (ctrlC) {
        SetConsoleCtrlHandler(nullptr, TRUE);
        if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
            std::printf("GenerateConsoleCtrlEvent failed: error %lu\n", GetLastError());
    } else {
        TerminateProcess(started.hProcess, 1);
    }
    const bool ended = WaitForSingleObject(started.hProcess, 60000) == WAIT_OBJECT_0;
    DWORD code = 0;
    GetExitCodeProcess(started.hProcess, &code);
    if (ended)
        std::printf("exit %lu\n", code);
    else
        std::printf("the program did not end\n");
    const bool gone = archiverGone(archiver);
    if (!ended) TerminateProcess(started.hProcess, 1);
    return archiver && ended && gone ? 0 : 1;
}

int endSession(const std::string& title, const std::string& pidFile) {
    HANDLE archiver = hangingArchiver(pidFile);
    if (!archiver) std::printf("7z never hung\n");
    HWND window = nullptr;
    waitUntil([&] { return (window = FindWindowA(nullptr, title.c_str())) != nullptr; });
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 60000,
                             &answer)) {
        std::printf("no answer to WM_QUERYENDSESSION: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("query %lu\n", static_cast<unsigned long>(answer));
    // The program ends once its run is wound up; a window that is gone by now takes no more.
    SendMessageTimeoutA(window, WM_ENDSESSION, answer ? TRUE : FALSE, ENDSESSION_LOGOFF,
                        SMTO_NORMAL, 60000, nullptr);
    return archiverGone(archiver) && archiver ? 0 : 1;
}

struct TextSearch {
    const std::string& text;
    bool found = false;
};

bool showsText(HWND window, const std::string& text) {
    TextSearch search{text};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM state) -> BOOL {
            auto& search = *reinterpret_cast<TextSearch*>(state);
            char shown[4096] = {};
            SendMessageA(child, WM_GETTEXT, sizeof shown, reinterpret_cast<LPARAM>(shown));
            search.found = std::string(shown).find(search.text) != std::string::npos;
            return !search.found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int says(const std::string& title, const std::string& text) {
    if (waitUntil([&] {
            HWND window = FindWindowA(nullptr, title.c_str());
            return window && IsWindowVisible(window) && showsText(window, text);
        }))
        return 0;
    std::printf("no window \"%s\" showing \"%s\"\n", title.c_str(), text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string verb = argc > 1 ? argv[1] : "";
    if ((verb == "ctrl-c" || verb == "kill") && argc > 3)
        return runAndStop(verb == "ctrl-c", argv[2], argc - 3, argv + 3);
    if (verb == "end-session" && argc == 4) return endSession(argv[2], argv[3]);
    if (verb == "gone" && argc == 3) {
        HANDLE archiver = hangingArchiver(argv[2]);
        return archiver && archiverGone(archiver) ? 0 : 1;
    }
    if (verb == "says" && argc == 4) return says(argv[2], argv[3]);
    std::fputs(
        "usage: stop_driver ctrl-c|kill PIDFILE PROGRAM [ARGUMENTS...] | "
        "end-session TITLE PIDFILE | gone PIDFILE | says TITLE TEXT\n",
        stderr);
    return 2;
}
