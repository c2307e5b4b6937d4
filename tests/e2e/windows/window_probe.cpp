// SPDX-License-Identifier: GPL-3.0-or-later
// Waits, under Wine, until a window of the program under test is in a given state, so that the
// black-box script acts only once its last action has taken effect:
//   window_probe shown TITLE                    a visible top-level window with that title
//   window_probe gone TITLE                     no visible window with that title
//   window_probe tab TITLE INDEX                the window's tab strip shows page INDEX
//   window_probe checked TITLE CAPTION [0|1]    the check box CAPTION is ticked (or not)
//   window_probe field TITLE TEXT               an edit field of the window shows TEXT
//   window_probe label TITLE TEXT               a label of the window shows a text holding TEXT
//   window_probe fill TITLE TEXT                puts TEXT into the file name field of the
//                                               file dialog TITLE, once the dialog has one
// Texts are UTF-8: the probe runs with UTF-8 as its code page, as the program does.
// Exits 0 once the state holds, 1 after a minute without it (and says what it saw), 2 on bad
// arguments. Titles and texts are compared whole.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Class names are compared as Windows does, without regard to case.
bool isKind(HWND window, const char* kind) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, kind) == 0;
}

// The text of a control in another process: WM_GETTEXT is carried across, GetWindowText is not.
std::string controlText(HWND control) {
    char text[1024] = {};
    SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<HWND> children(HWND window) {
    std::vector<HWND> found;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND shownWindow(const std::string& title) {
    HWND window = FindWindowA(nullptr, title.c_str());
    return window && IsWindowVisible(window) ? window : nullptr;
}

HWND child(HWND window, const char* kind, const std::function<bool(HWND)>& matches) {
    for (HWND control : children(window))
        if (isKind(control, kind) && matches(control)) return control;
    return nullptr;
}

// What the window shows now, for the message when the state never came.
std::string seen(const std::string& title) {
    HWND window = shownWindow(title);
    if (!window) return "no visible window \"" + title + "\"";
    std::string text;
    for (HWND control : children(window)) {
        if (isKind(control, WC_TABCONTROLA))
            text += " [tab " + std::to_string(SendMessageA(control, TCM_GETCURSEL, 0, 0)) + "]";
        else if (isKind(control, "Edit"))
            text += " [field \"" + controlText(control) + "\"]";
        else if (isKind(control, "Button") &&
                 (GetWindowLongA(control, GWL_STYLE) & 0xF) == BS_AUTOCHECKBOX)
            text += " [" + controlText(control) + ": " +
                    std::to_string(SendMessageA(control, BM_GETCHECK, 0, 0)) + "]";
    }
    return "the window shows" + text;
}

int usage() {
    std::fputs(
        "usage: window_probe shown|gone TITLE | tab TITLE INDEX | "
        "checked TITLE CAPTION [0|1] | field|fill TITLE TEXT\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string what = argv[1], title = argv[2];
    const std::vector<std::string> rest(argv + 3, argv + argc);
    std::function<bool()> holds;
    if (what == "shown" && rest.empty()) {
        holds = [&] { return shownWindow(title) != nullptr; };
    } else if (what == "gone" && rest.empty()) {
        holds = [&] { return shownWindow(title) == nullptr; };
    } else if (what == "tab" && rest.size() == 1) {
        const LRESULT page = std::stol(rest[0]);
        holds = [&, page] {
            HWND window = shownWindow(title);
            return window && child(window, WC_TABCONTROLA, [&](HWND tabs) {
                       return SendMessageA(tabs, TCM_GETCURSEL, 0, 0) == page;
                   });
        };
    } else if (what == "checked" && (rest.size() == 1 || rest.size() == 2)) {
        const LRESULT state = rest.size() == 2 && rest[1] == "0" ? BST_UNCHECKED : BST_CHECKED;
        holds = [&, state] {
            HWND window = shownWindow(title);
            return window && child(window, "Button", [&](HWND box) {
                       return controlText(box) == rest[0] &&
                              SendMessageA(box, BM_GETCHECK, 0, 0) == state;
                   });
        };
    } else if (what == "field" && rest.size() == 1) {
        holds = [&] {
            HWND window = shownWindow(title);
            return window &&
                   child(window, "Edit", [&](HWND field) { return controlText(field) == rest[0]; });
        };
    } else if (what == "label" && rest.size() == 1) {
        holds = [&] {
            HWND window = shownWindow(title);
            return window && child(window, "Static", [&](HWND label) {
                       return controlText(label).find(rest[0]) != std::string::npos;
                   });
        };
    } else if (what == "fill" && rest.size() == 1) {
        constexpr int fileNameBox = 0x47C;
        holds = [&] {
            HWND dialog = shownWindow(title);
            return dialog && GetDlgItem(dialog, fileNameBox) &&
                   SetDlgItemTextA(dialog, fileNameBox, rest[0].c_str());
        };
    } else {
        return usage();
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!holds()) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "window_probe %s: not within a minute; %s\n", what.c_str(),
                         seen(title).c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}
