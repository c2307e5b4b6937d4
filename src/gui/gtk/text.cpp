// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gtk/text.h"

#include "platform/utf8.h"

std::string displayText(const std::string& text) { return asUtf8(text); }

std::string displayLines(const std::string& text) {
    std::string lines = displayText(text);
    std::string result;
    result.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == '\r') {
            result += '\n';
            if (i + 1 < lines.size() && lines[i + 1] == '\n') ++i;
        } else {
            result += lines[i];
        }
    }
    return result;
}
