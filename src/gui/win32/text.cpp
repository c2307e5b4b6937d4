// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/win32/text.h"

#include "platform/utf8.h"

#include <windows.h>

std::string displayText(const std::string& text) {
    return GetACP() == CP_UTF8 ? asUtf8(text) : text;
}

std::string displayLines(const std::string& original) {
    const std::string text = displayText(original);
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        shown += text[i];
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) shown += '\n';
    }
    return shown;
}

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}
