// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/progress_sink.h"

#include <string>

// Where a run tells its user what it does: the window's status line and message boxes, or the
// command line's output. 7z's runner hears only progress and carryOn, through progressOf.
class Reporter {
public:
    virtual ~Reporter() = default;
    // The step now under way ("Removing files ...").
    virtual void status(const std::string& text) = 0;
    // A message the user must see, with its title ("Error", "Warning", "Finish").
    virtual void message(const std::string& title, const std::string& text) = 0;
    // How far 7z has got with the current step, 0 to 100.
    virtual void progress(int percent) = 0;
    // Asked often while 7z works: the front-end keeps itself alive (a window repaints) and
    // answers false once its user or a stop signal asks to stop the run. Once false, always false.
    virtual bool carryOn() { return true; }
};

// Hands 7z's percentages to the reporter and asks it whether to go on.
inline ProgressSink progressOf(Reporter& reporter) {
    ProgressSink sink([&reporter](int percent) { reporter.progress(percent); });
    sink.carryOn = [&reporter] { return reporter.carryOn(); };
    return sink;
}
