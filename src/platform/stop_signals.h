// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// While a run works, SIGTERM, SIGINT and SIGHUP (on Windows a console's Ctrl-C, Ctrl-Break, its
// closing and the end of the session) stop the run instead of ending the program in its middle,
// which would leave 7z writing on. The program ends as the signal asked once the run is wound up.
class StopSignals {
public:
    StopSignals();   // catches them from now on
    ~StopSignals();  // gives them back their earlier handling
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal caught since the start of the catching (SIGINT, ...), 0 for none.
    static int caught();
};

// A stop that comes another way than as a signal (on Windows the end of the session, which the
// window is told of) stops the run as `signal` would.
void noteStopSignal(int signal);

// The exit status of a program ended by `signal`: 128 plus its number, as shells report it.
inline int exitStatusOf(int signal) { return 128 + signal; }

// Ends the program as `signal` would have ended it without being caught.
[[noreturn]] void endBySignal(int signal);
