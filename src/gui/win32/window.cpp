// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/win32/win32_gui.h"

#include "gui/win32/gui_impl.h"
#include "gui/win32/text.h"
#include "platform/stop_signals.h"

#include <windows.h>

#include <commctrl.h>

#include <csignal>
#include <cstdint>
#include <utility>

namespace {

constexpr const char* windowClass = "SlimkitMainWindow";
constexpr const char* pageClass = "SlimkitTabPage";

HFONT arialFont(int points, bool bold) {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "Arial");
}

// A premultiplied 32-bit DIB for AlphaBlend.
HBITMAP pictureBitmap(const RgbaPicture& picture) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    auto* out = static_cast<std::uint8_t*>(bits);
    for (std::size_t i = 0; i + 3 < picture.pixels.size(); i += 4) {
        const unsigned alpha = picture.pixels[i + 3];
        out[i + 0] = static_cast<std::uint8_t>(picture.pixels[i + 2] * alpha / 255);
        out[i + 1] = static_cast<std::uint8_t>(picture.pixels[i + 1] * alpha / 255);
        out[i + 2] = static_cast<std::uint8_t>(picture.pixels[i + 0] * alpha / 255);
        out[i + 3] = static_cast<std::uint8_t>(alpha);
    }
    return bitmap;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace

void Win32Gui::Impl::showPage(int shown) {
    for (std::size_t i = 0; i < pages.size(); ++i)
        ShowWindow(pages[i], static_cast<int>(i) == shown ? SW_SHOW : SW_HIDE);
}

LRESULT Win32Gui::Impl::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            if (hwnd == window && onActivate(wParam)) return 0;
            break;
        case WM_CLOSE:
            if (hwnd == window && running) {
                closeAsked = true;
                return 0;
            }
            if (hwnd == window) {
                events.postClose();
                return 0;
            }
            break;
        case WM_QUERYENDSESSION:
        case WM_ENDSESSION:
            // The session ends during a run: it is stopped as a stop signal stops it, without
            // asking. The run kills 7z and cleans up before this thread takes the next
            // message, and the program then ends: the session is held until it has.
            if (hwnd == window && running && (message == WM_QUERYENDSESSION || wParam)) {
                noteStopSignal(SIGTERM);
                return message == WM_QUERYENDSESSION ? TRUE : 0;
            }
            break;
        case WM_COMMAND:
            if (onCommand(wParam, lParam)) return 0;
            break;
        case WM_NOTIFY:
            if (onNotify(*reinterpret_cast<const NMHDR*>(lParam))) return 0;
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            if (HBRUSH brush =
                    colours(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)))
                return reinterpret_cast<LRESULT>(brush);
            break;
        case WM_SETCURSOR: {
            const auto found = layoutOf.find(reinterpret_cast<HWND>(wParam));
            if (found != layoutOf.end() && found->second.kind == ControlKind::link) {
                SetCursor(LoadCursor(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            drawPictureButton(*item);
            return TRUE;
        }
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// As in a dialog: a message box or file dialog closed, the focus is back where the user left
// it, not on the window itself. False when there is no such place to go back to.
bool Win32Gui::Impl::onActivate(WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) lastFocus = focus;
        return true;
    }
    if (lastFocus && IsWindow(lastFocus) && IsWindowVisible(lastFocus)) {
        SetFocus(lastFocus);
        return true;
    }
    return false;
}

// A menu choice or a press of one of the window's controls; false for anything else.
bool Win32Gui::Impl::onCommand(WPARAM wParam, LPARAM lParam) {
    const HWND from = reinterpret_cast<HWND>(lParam);
    if (!from && HIWORD(wParam) == 0) {
        events.postMenu(LOWORD(wParam) - menuCommandBase);
        return true;
    }
    const auto found = layoutOf.find(from);
    if (found == layoutOf.end()) return false;
    const ControlKind kind = found->second.kind;
    const WORD code = HIWORD(wParam);
    if ((code == BN_CLICKED && (kind == ControlKind::button || kind == ControlKind::pictureButton ||
                                kind == ControlKind::checkBox)) ||
        (code == STN_CLICKED && kind == ControlKind::link))
        events.postControl(static_cast<ControlId>(found->second.id));
    return true;
}

// A tab chosen or a click in the check list; false for notes from anything else.
bool Win32Gui::Impl::onNotify(const NMHDR& header) {
    if (header.hwndFrom == tabs && header.code == TCN_SELCHANGE) {
        showPage(TabCtrl_GetCurSel(tabs));
        return true;
    }
    if (header.hwndFrom != list) return false;
    switch (header.code) {
        case NM_CLICK:
            events.postList(ListEventType::leftClick);
            break;
        case NM_RCLICK:
            events.postList(ListEventType::rightClick);
            break;
        case NM_DBLCLK:
            events.postList(ListEventType::leftDoubleClick);
            break;
        case NM_RDBLCLK:
            events.postList(ListEventType::rightDoubleClick);
            break;
        case LVN_ITEMCHANGED: {
            // A change of the tick box's picture (1 unticked, 2 ticked) that the program did not
            // make itself: the user's click or Space. A new row's first picture is no change.
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            const UINT before = (change.uOldState & LVIS_STATEIMAGEMASK) >> 12;
            const UINT after = (change.uNewState & LVIS_STATEIMAGEMASK) >> 12;
            if (!settingRows && (change.uChanged & LVIF_STATE) && before != 0 && after != 0 &&
                before != after)
                events.postTick(change.iItem);
            break;
        }
        default:
            break;  // column clicks among them: the headers do nothing
    }
    return true;
}

// The table's colours for a static text or field about to paint; nullptr for other windows.
HBRUSH Win32Gui::Impl::colours(HWND control, HDC dc) {
    const auto found = layoutOf.find(control);
    if (found == layoutOf.end()) return nullptr;
    const ControlSpec& look = found->second;
    if (look.hasTextColour) {
        const Rgb& c = look.textColour;
        SetTextColor(dc, RGB(c.red, c.green, c.blue));
    }
    if (look.hasBackground) {
        const Rgb& c = look.background;
        SetBkColor(dc, RGB(c.red, c.green, c.blue));
        return white;
    }
    SetBkMode(dc, TRANSPARENT);
    return GetSysColorBrush(COLOR_BTNFACE);
}

void Win32Gui::Impl::drawPictureButton(const DRAWITEMSTRUCT& item) {
    RECT area = item.rcItem;
    FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
    if (!donateBitmap) return;
    const int shift = (item.itemState & ODS_SELECTED) ? 1 : 0;
    HDC source = CreateCompatibleDC(item.hDC);
    HGDIOBJ previous = SelectObject(source, donateBitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(item.hDC, area.left + shift, area.top + shift, donate.width, donate.height, source,
               0, 0, donate.width, donate.height, blend);
    SelectObject(source, previous);
    DeleteDC(source);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &area);
}

HWND Win32Gui::Impl::parentFor(const ControlSpec& control) const {
    if (control.tab >= 0 && control.tab < static_cast<int>(pages.size()))
        return pages[static_cast<std::size_t>(control.tab)];
    return window;
}

HWND Win32Gui::Impl::create(const ControlSpec& control, const char* className, DWORD style,
                            DWORD extended) {
    const std::string caption = displayLines(control.caption);
    HWND made = CreateWindowExA(
        extended, className, caption.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
        control.x, control.y, control.width, control.height, parentFor(control),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
    SendMessageA(made, WM_SETFONT,
                 reinterpret_cast<WPARAM>(control.titleFont ? titleFont : bodyFont), FALSE);
    controls[control.id] = made;
    layoutOf[made] = control;
    return made;
}

void Win32Gui::Impl::createTabs(const ControlSpec& control) {
    tabs = create(control, WC_TABCONTROLA, WS_TABSTOP);
    const auto names = splitAt(control.caption, '|');
    SetWindowTextA(tabs, "");
    for (std::size_t i = 0; i < names.size(); ++i) {
        TCITEMA tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = const_cast<char*>(names[i].c_str());
        SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&tab));
    }
    RECT area{0, 0, control.width, control.height};
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    for (std::size_t i = 0; i < names.size(); ++i) {
        HWND page =
            CreateWindowExA(WS_EX_CONTROLPARENT, pageClass, "", WS_CHILD, control.x + area.left,
                            control.y + area.top, area.right - area.left, area.bottom - area.top,
                            window, nullptr, instance, nullptr);
        SetWindowLongPtrA(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        // Pages lie above the tab control, which stays behind them.
        SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        pages.push_back(page);
    }
    TabCtrl_SetCurSel(tabs, 0);
    showPage(0);
}

void Win32Gui::Impl::makeTabOrder(const std::vector<ControlSpec>& table) {
    tabOrder.clear();
    HWND last = nullptr;
    for (const ControlSpec& control : table) {
        const auto found = controls.find(control.id);
        if (found == controls.end()) continue;
        HWND made = found->second;
        if (!(GetWindowLongA(made, GWL_STYLE) & WS_TABSTOP)) continue;
        if (control.id == static_cast<int>(ControlId::customizeButton))
            last = made;
        else
            tabOrder.push_back(made);
    }
    if (last) tabOrder.push_back(last);
}

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* impl = reinterpret_cast<Win32Gui::Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!impl) return DefWindowProcA(window, message, wParam, lParam);
    return impl->handle(window, message, wParam, lParam);
}

}  // namespace

Win32Gui::Win32Gui(WindowSpec window) : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    impl.layout = std::move(window);
    INITCOMMONCONTROLSEX common{sizeof common,
                                ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&common);

    WNDCLASSA main{};
    main.lpfnWndProc = windowProcedure;
    main.hInstance = impl.instance;
    main.hCursor = LoadCursor(nullptr, IDC_ARROW);
    main.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    main.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    main.lpszClassName = windowClass;
    RegisterClassA(&main);
    WNDCLASSA page = main;
    page.hIcon = nullptr;
    page.lpszClassName = pageClass;
    RegisterClassA(&page);

    impl.titleFont = arialFont(16, true);
    impl.bodyFont = arialFont(8, false);
    if (decodePng(donatePicturePng, donatePicturePngSize, impl.donate))
        impl.donateBitmap = pictureBitmap(impl.donate);
}

Win32Gui::~Win32Gui() {
    destroyWindow();
    Impl& impl = *impl_;
    if (impl.donateBitmap) DeleteObject(impl.donateBitmap);
    DeleteObject(impl.titleFont);
    DeleteObject(impl.bodyFont);
    DeleteObject(impl.white);
}

void Win32Gui::Impl::makeControl(const ControlSpec& control) {
    switch (control.kind) {
        case ControlKind::frame:
            create(control, "BUTTON", BS_GROUPBOX);
            break;
        case ControlKind::textField:
            create(control, "EDIT", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
            break;
        case ControlKind::button:
            create(control, "BUTTON", BS_PUSHBUTTON | WS_TABSTOP);
            break;
        case ControlKind::pictureButton:
            create(control, "BUTTON", BS_OWNERDRAW | WS_TABSTOP);
            break;
        case ControlKind::label:
            create(control, "STATIC", SS_LEFT);
            break;
        case ControlKind::centredLabel:
            create(control, "STATIC", SS_CENTER);
            break;
        case ControlKind::link:
            create(control, "STATIC", SS_LEFT | SS_NOTIFY);
            break;
        case ControlKind::checkBox: {
            HWND box = create(control, "BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP);
            SendMessageA(box, BM_SETCHECK, control.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        }
        case ControlKind::tabPanel:
            createTabs(control);
            break;
        case ControlKind::checkList:
            createList(control);
            break;
    }
}

void Win32Gui::buildWindow(const std::vector<ControlSpec>& controls,
                           const std::function<void()>& onListReady) {
    Impl& impl = *impl_;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, impl.layout.width, impl.layout.height};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    impl.window = CreateWindowExA(WS_EX_CONTROLPARENT, windowClass, impl.layout.title.c_str(),
                                  style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                  nullptr, nullptr, impl.instance, &impl);
    SendMessageA(impl.window, WM_SETFONT, reinterpret_cast<WPARAM>(impl.bodyFont), FALSE);

    for (const ControlSpec& control : controls) {
        impl.makeControl(control);
        if (control.kind == ControlKind::checkList && onListReady) onListReady();
    }
    // Siblings made first lie on top. Frames only draw a border around other controls: they go
    // below everything, or they would paint over what they surround.
    for (const auto& [made, control] : impl.layoutOf)
        if (control.kind == ControlKind::frame)
            SetWindowPos(made, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    impl.makeTabOrder(controls);
}

void Win32Gui::showWindow() {
    if (!impl_->window) return;
    ShowWindow(impl_->window, SW_SHOW);
    UpdateWindow(impl_->window);
}
void Win32Gui::destroyWindow() {
    Impl& impl = *impl_;
    if (impl.menu) DestroyMenu(impl.menu);
    if (impl.tooltip) DestroyWindow(impl.tooltip);
    if (impl.window) DestroyWindow(impl.window);
    impl.menu = nullptr;
    impl.tooltip = impl.window = impl.tabs = impl.list = nullptr;
    impl.controls.clear();
    impl.layoutOf.clear();
    impl.pages.clear();
    impl.cells.clear();
    impl.tabOrder.clear();
    impl.lastFocus = nullptr;
    impl.events.clear();
}

void Win32Gui::setStatusText(const std::string& text) {
    if (HWND label = control(ControlId::statusText)) {
        SetWindowTextA(label, displayText(text).c_str());
        UpdateWindow(label);
    }
}

std::string Win32Gui::romPathText() const {
    HWND field = control(ControlId::romPathField);
    if (!field) return "";
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(field)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(field, text.data(), static_cast<int>(text.size()))));
    return text == displayText(impl_->romPath) ? impl_->romPath : text;
}

void Win32Gui::setRomPathText(const std::string& text) {
    HWND field = control(ControlId::romPathField);
    if (!field) return;
    impl_->romPath = text;
    SetWindowTextA(field, displayText(text).c_str());
}

bool Win32Gui::isChecked(ControlId box) const {
    HWND check = control(box);
    return check && SendMessageA(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
HWND Win32Gui::control(ControlId id) const {
    const auto found = impl_->controls.find(static_cast<int>(id));
    return found == impl_->controls.end() ? nullptr : found->second;
}

HWND Win32Gui::window() const { return impl_->window; }

HWND Win32Gui::tabPage(int tab) const {
    const auto& pages = impl_->pages;
    return tab >= 0 && tab < static_cast<int>(pages.size()) ? pages[static_cast<std::size_t>(tab)]
                                                            : nullptr;
}
bool Win32Gui::hasDonatePicture() const { return impl_->donateBitmap != nullptr; }
