#pragma once

#include <functional>
#include <string>

// Where a run tells its user what it does: the window's status line and message boxes, or the
// command line's output.
class Reporter {
public:
    virtual ~Reporter() = default;
    // The step now under way ("Removing files ...").
    virtual void status(const std::string& text) = 0;
    // A message the user must see, with its title ("Error", "Warning", "Finish").
    virtual void message(const std::string& title, const std::string& text) = 0;
    // How far 7z has got with the current step, 0 to 100.
    virtual void progress(int percent) = 0;
};

// Takes 7z's percentages while it works.
using ProgressSink = std::function<void(int percent)>;

// Hands 7z's percentages to the reporter.
inline ProgressSink progressOf(Reporter& reporter) {
    return [&reporter](int percent) { reporter.progress(percent); };
}
