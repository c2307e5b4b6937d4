// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <utility>

// What a run hears from 7z while it works, and how it is told to stop: all the runner needs of
// whoever started it.
struct ProgressSink {
    ProgressSink() = default;
    template <typename Percent>
    ProgressSink(Percent percent) : percent(std::move(percent)) {}

    std::function<void(int percent)> percent;  // each new percentage
    std::function<bool()> carryOn;             // false: kill 7z and end the step
    explicit operator bool() const { return static_cast<bool>(percent); }
};
