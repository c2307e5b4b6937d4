// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/stop_signals.h"

#include <unistd.h>
#include <csignal>
#include <iterator>

namespace {

constexpr int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};

volatile std::sig_atomic_t caughtSignal = 0;
struct sigaction earlier[sizeof stopSignals / sizeof stopSignals[0]];

extern "C" void onStopSignal(int signal) { caughtSignal = signal; }

}  // namespace

StopSignals::StopSignals() {
    caughtSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(stopSignals); ++i)
        sigaction(stopSignals[i], &action, &earlier[i]);
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < std::size(stopSignals); ++i)
        sigaction(stopSignals[i], &earlier[i], nullptr);
}

int StopSignals::caught() { return caughtSignal; }

void noteStopSignal(int signal) { caughtSignal = signal; }

void endBySignal(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    _exit(exitStatusOf(signal));
}
