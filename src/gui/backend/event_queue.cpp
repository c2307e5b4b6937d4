// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/backend/event_queue.h"

void EventQueue::postControl(ControlId id) {
    pending_.push_back({Event::Kind::control, static_cast<int>(id), ListEventType::leftClick});
}

void EventQueue::postList(ListEventType type) {
    pending_.push_back({Event::Kind::control, static_cast<int>(ControlId::appList), type});
}

void EventQueue::postTick(int row) {
    pending_.push_back({Event::Kind::control, static_cast<int>(ControlId::appList),
                        ListEventType::tickChanged, row});
}

void EventQueue::postMenu(int item) {
    pending_.push_back({Event::Kind::menu, item, ListEventType::leftClick});
}

void EventQueue::postClose() {
    pending_.push_back({Event::Kind::close, 0, ListEventType::leftClick});
}

void EventQueue::run(const std::function<void()>& waitForEvents,
                     const std::function<void(const Event&)>& handler) {
    for (;;) {
        while (pending_.empty()) waitForEvents();
        const Event event = pending_.front();
        pending_.pop_front();
        handler(event);
        if (event.kind == Event::Kind::close) break;
    }
    pending_.clear();
}
