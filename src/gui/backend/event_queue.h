// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/gui.h"

#include <deque>
#include <functional>

// The program's events as a back-end's toolkit callbacks queue them. They are handed out only
// between toolkit iterations, so a handler never runs inside a toolkit callback and always runs
// to its end before the next event is taken.
class EventQueue {
public:
    void postControl(ControlId id);
    void postList(ListEventType type);
    // The user changed the tick of `row`.
    void postTick(int row);
    void postMenu(int item);
    void postClose();

    // Hands every event to `handler`, one at a time, until the close event has been handled;
    // `waitForEvents` runs the toolkit while none is queued. Events left after the close are
    // dropped: the window is going away.
    void run(const std::function<void()>& waitForEvents,
             const std::function<void(const Event&)>& handler);
    void clear() { pending_.clear(); }

private:
    std::deque<Event> pending_;
};
