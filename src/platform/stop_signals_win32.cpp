// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/stop_signals.h"

#include <windows.h>
#include <csignal>

namespace {

// Windows has no SIGHUP; a console that is closed is reported as one, as a terminal's hang-up.
constexpr int hangUp = 1;

volatile LONG caughtSignal = 0;
HANDLE runEnded = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            InterlockedExchange(&caughtSignal, SIGINT);
            return TRUE;
        default:
            // Closing the console or ending the session ends the program as soon as this
            // returns: the run gets a few seconds to kill 7z and clean up first.
            InterlockedExchange(&caughtSignal, event == CTRL_CLOSE_EVENT ? hangUp : SIGTERM);
            if (runEnded) WaitForSingleObject(runEnded, 4000);
            return TRUE;
    }
}

}  // namespace

StopSignals::StopSignals() {
    InterlockedExchange(&caughtSignal, 0);
    runEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    if (runEnded) SetEvent(runEnded);
    if (!caught()) {
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        CloseHandle(runEnded);
        runEnded = nullptr;
    }
}

int StopSignals::caught() {
    return static_cast<int>(InterlockedCompareExchange(&caughtSignal, 0, 0));
}

void noteStopSignal(int signal) { InterlockedExchange(&caughtSignal, signal); }

void endBySignal(int signal) { ExitProcess(static_cast<UINT>(exitStatusOf(signal))); }
