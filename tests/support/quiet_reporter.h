// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/reporter.h"

#include <string>
#include <vector>

// A run's reporter that keeps its messages, each as "title: text", and shows nothing.
class QuietReporter : public Reporter {
public:
    std::vector<std::string> messages;
    void status(const std::string&) override {}
    void message(const std::string& title, const std::string& text) override {
        messages.push_back(title + ": " + text);
    }
    void progress(int) override {}
};
