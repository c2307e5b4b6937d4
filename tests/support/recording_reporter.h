// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pipeline/reporter.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// The front-end of a pipeline run in a test: it keeps every status and message in order, and
// stops the run once `stopWhen` says so.
class RecordingReporter : public Reporter {
public:
    struct Message {
        std::string title, text;
        bool operator==(const Message&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Message& message) {
            return out << message.title << ": " << message.text;
        }
    };

    std::vector<std::string> statusTexts;
    std::vector<Message> messages;
    std::vector<int> percents;
    // Asked each time the run asks whether to go on, until it says stop; a hook for what a test
    // does while 7z works.
    std::function<bool()> stopWhen;
    bool stopped = false;

    void status(const std::string& text) override { statusTexts.push_back(text); }
    void message(const std::string& title, const std::string& text) override {
        messages.push_back({title, text});
    }
    void progress(int percent) override { percents.push_back(percent); }
    bool carryOn() override {
        if (!stopped && stopWhen && stopWhen()) stopped = true;
        return !stopped;
    }
    void clear() {
        statusTexts.clear();
        messages.clear();
        percents.clear();
        stopped = false;
    }
};
