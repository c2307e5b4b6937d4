// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/win32/win32_gui.h"

#include "gui/win32/gui_impl.h"

#include <windows.h>

#include <utility>

void Win32Gui::Impl::moveFocus(bool backwards) {
    std::vector<HWND> reachable;
    for (HWND control : tabOrder)
        if (IsWindowVisible(control) && IsWindowEnabled(control)) reachable.push_back(control);
    if (reachable.empty()) return;
    const auto count = static_cast<long>(reachable.size());
    long at = -1;
    for (long i = 0; i < count; ++i)
        if (reachable[static_cast<std::size_t>(i)] == GetFocus()) at = i;
    const long next =
        at < 0 ? (backwards ? count - 1 : 0) : (at + (backwards ? count - 1 : 1)) % count;
    HWND target = reachable[static_cast<std::size_t>(next)];
    SendMessageA(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    SetFocus(target);
    const auto found = layoutOf.find(target);
    if (found != layoutOf.end() && found->second.kind == ControlKind::textField)
        SendMessageA(target, EM_SETSEL, 0, -1);
}

// The main window's own keys, taken before the dialog manager sees them: it would turn
// Enter into a press of control 1 ("...") wherever the focus is. Enter and Space press a
// focused button (Space through the button itself); Enter elsewhere and Escape do nothing.
// Message boxes and file dialogs run their own loops and keep Windows' keys.
bool Win32Gui::Impl::takeKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || !window ||
        (message.hwnd != window && !IsChild(window, message.hwnd)))
        return false;
    switch (message.wParam) {
        case VK_RETURN: {
            const bool repeated = message.lParam & (1L << 30);
            const auto found = layoutOf.find(GetFocus());
            if (!repeated && found != layoutOf.end() &&
                (found->second.kind == ControlKind::button ||
                 found->second.kind == ControlKind::pictureButton))
                events.postControl(static_cast<ControlId>(found->second.id));
            return true;
        }
        case VK_ESCAPE:
            return true;
        case VK_TAB:
            if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
            moveFocus(GetKeyState(VK_SHIFT) < 0);
            return true;
        default:
            return false;
    }
}

void Win32Gui::runEventLoop(const std::function<void(const Event&)>& handler) {
    Impl& impl = *impl_;
    // One message at a time; the end of the message queue ends the loop as a close would.
    const auto waitForEvents = [&impl] {
        MSG message;
        if (GetMessageA(&message, nullptr, 0, 0) <= 0) {
            impl.events.postClose();
            return;
        }
        if (impl.takeKey(message)) return;
        if (impl.window && IsDialogMessageA(impl.window, &message)) return;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    };
    impl.events.run(waitForEvents, handler);
}

namespace {

bool isInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

}  // namespace

// The window paints and can be moved while a run works, but its controls take no input; its
// close button (through WM_CLOSE) and Escape only note the wish for the run to ask about.
bool Win32Gui::pumpDuringRun() {
    Impl& impl = *impl_;
    impl.running = true;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the event loop, which ends on it.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        const bool toMain =
            impl.window && (message.hwnd == impl.window || IsChild(impl.window, message.hwnd));
        if (toMain && message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
            impl.closeAsked = true;
            continue;
        }
        if (toMain && isInput(message.message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    impl.running = false;
    return std::exchange(impl.closeAsked, false);
}

void Win32Gui::postClose() { impl_->events.postClose(); }
