// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/backend/event_queue.h"
#include "gui/win32/donate_picture.h"
#include "gui/win32/win32_gui.h"

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <map>
#include <string>
#include <vector>

// Menu commands are numbered apart from the control numbers that WM_COMMAND also carries.
inline constexpr int menuCommandBase = 1000;

// What the Win32 window holds, shared by the files of the back-end.
struct Win32Gui::Impl {
    WindowSpec layout;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HFONT titleFont = nullptr, bodyFont = nullptr;
    RgbaPicture donate;
    HBITMAP donateBitmap = nullptr;
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    HWND window = nullptr, tabs = nullptr, list = nullptr, tooltip = nullptr;
    HMENU menu = nullptr;
    std::map<int, HWND> controls;
    std::map<HWND, ControlSpec> layoutOf;
    std::vector<HWND> pages;
    // Where Tab goes: the ROM path and its button, the tab strip, the shown page's controls,
    // and "Customize!" last, as the user works through the window.
    std::vector<HWND> tabOrder;
    HWND lastFocus = nullptr;  // given back when the window is active again
    // The check list's texts as the program set them, row by row: the list holds them as shown,
    // and a Latin-1 name shown as UTF-8 would read back as other bytes.
    std::vector<std::array<std::string, 2>> cells;
    std::string romPath;  // as the program set it; the field shows it as displayText does
    EventQueue events;
    bool settingRows = false;  // the program changes rows: their notes are none of the user's
    bool running = false;      // a run pumps the messages (pumpDuringRun)
    bool closeAsked = false;   // during a run: the close button or Escape since the last pump

    void showPage(int shown);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool onActivate(WPARAM wParam);
    bool onCommand(WPARAM wParam, LPARAM lParam);
    bool onNotify(const NMHDR& header);
    HBRUSH colours(HWND control, HDC dc);
    void drawPictureButton(const DRAWITEMSTRUCT& item);
    HWND parentFor(const ControlSpec& control) const;
    HWND create(const ControlSpec& control, const char* className, DWORD style, DWORD extended = 0);
    void makeControl(const ControlSpec& control);
    void createTabs(const ControlSpec& control);
    void createList(const ControlSpec& control);
    bool validRow(int row) const { return list && row >= 0 && row < ListView_GetItemCount(list); }
    void makeTabOrder(const std::vector<ControlSpec>& table);
    void moveFocus(bool backwards);
    bool takeKey(const MSG& message);
};
