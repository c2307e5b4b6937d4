#include "platform/win32/win32_gui.h"

#include "platform/event_queue.h"
#include "platform/file_layer.h"
#include "platform/utf8.h"
#include "platform/win32/donate_picture.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <map>
#include <utility>

namespace {

constexpr const char* windowClass = "SlimkitMainWindow";
constexpr const char* pageClass = "SlimkitTabPage";
// Menu commands are numbered apart from the control numbers that WM_COMMAND also carries.
constexpr int menuCommandBase = 1000;

// With UTF-8 as the program's code page, paths are UTF-8 while names and descriptions from
// definition files are Latin-1: a text that is not UTF-8 is shown as Latin-1, as in the GTK
// build. In any other code page texts are shown as they are.
std::string shownText(const std::string& text) { return GetACP() == CP_UTF8 ? asUtf8(text) : text; }

std::string withLineBreaks(const std::string& original) {
    const std::string text = shownText(original);
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
    std::map<HWND, ControlSpec> specOf;
    std::vector<HWND> pages;
    // Where Tab goes: the ROM path and its button, the tab strip, the shown page's controls,
    // and "Customize!" last, as the user works through the window.
    std::vector<HWND> tabOrder;
    HWND lastFocus = nullptr;  // given back when the window is active again
    std::string tooltipText;
    EventQueue events;
    bool running = false;     // a run pumps the messages (pumpDuringRun)
    bool closeAsked = false;  // during a run: the close button or Escape since the last pump

    void showPage(int shown) {
        for (std::size_t i = 0; i < pages.size(); ++i)
            ShowWindow(pages[i], static_cast<int>(i) == shown ? SW_SHOW : SW_HIDE);
    }

    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_ACTIVATE:
            if (hwnd != window) break;
            // As in a dialog: a message box or file dialog closed, the focus is back where the
            // user left it, not on the window itself.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window, focus)) lastFocus = focus;
                return 0;
            }
            if (lastFocus && IsWindow(lastFocus) && IsWindowVisible(lastFocus)) {
                SetFocus(lastFocus);
                return 0;
            }
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
        case WM_COMMAND: {
            const HWND from = reinterpret_cast<HWND>(lParam);
            if (!from && HIWORD(wParam) == 0) {
                events.postMenu(LOWORD(wParam) - menuCommandBase);
                return 0;
            }
            const auto found = specOf.find(from);
            if (found == specOf.end()) break;
            const ControlKind kind = found->second.kind;
            const WORD code = HIWORD(wParam);
            if ((code == BN_CLICKED && (kind == ControlKind::button ||
                                        kind == ControlKind::pictureButton ||
                                        kind == ControlKind::checkBox)) ||
                (code == STN_CLICKED && kind == ControlKind::link))
                events.postControl(static_cast<ControlId>(found->second.id));
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom == tabs && header->code == TCN_SELCHANGE) {
                showPage(TabCtrl_GetCurSel(tabs));
                return 0;
            }
            if (header->hwndFrom == list) {
                switch (header->code) {
                case NM_CLICK: events.postList(ListEventType::leftClick); break;
                case NM_RCLICK: events.postList(ListEventType::rightClick); break;
                case NM_DBLCLK: events.postList(ListEventType::leftDoubleClick); break;
                case NM_RDBLCLK: events.postList(ListEventType::rightDoubleClick); break;
                default: break;  // column clicks among them: the headers do nothing
                }
                return 0;
            }
            break;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT: {
            const auto found = specOf.find(reinterpret_cast<HWND>(lParam));
            if (found == specOf.end()) break;
            const ControlSpec& control = found->second;
            HDC dc = reinterpret_cast<HDC>(wParam);
            if (control.hasTextColour) {
                const Rgb& c = control.textColour;
                SetTextColor(dc, RGB(c.red, c.green, c.blue));
            }
            if (control.hasBackground) {
                const Rgb& c = control.background;
                SetBkColor(dc, RGB(c.red, c.green, c.blue));
                return reinterpret_cast<LRESULT>(white);
            }
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_SETCURSOR: {
            const auto found = specOf.find(reinterpret_cast<HWND>(wParam));
            if (found != specOf.end() && found->second.kind == ControlKind::link) {
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

    void drawPictureButton(const DRAWITEMSTRUCT& item) {
        RECT area = item.rcItem;
        FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
        if (!donateBitmap) return;
        const int shift = (item.itemState & ODS_SELECTED) ? 1 : 0;
        HDC source = CreateCompatibleDC(item.hDC);
        HGDIOBJ previous = SelectObject(source, donateBitmap);
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(item.hDC, area.left + shift, area.top + shift, donate.width, donate.height,
                   source, 0, 0, donate.width, donate.height, blend);
        SelectObject(source, previous);
        DeleteDC(source);
        if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &area);
    }

    HWND parentFor(const ControlSpec& control) const {
        if (control.tab >= 0 && control.tab < static_cast<int>(pages.size()))
            return pages[static_cast<std::size_t>(control.tab)];
        return window;
    }

    HWND create(const ControlSpec& control, const char* className, DWORD style,
                DWORD extended = 0) {
        const std::string caption = withLineBreaks(control.caption);
        HWND made = CreateWindowExA(extended, className, caption.c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, control.x,
                                    control.y,
                                    control.width, control.height, parentFor(control),
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                    instance, nullptr);
        SendMessageA(made, WM_SETFONT,
                     reinterpret_cast<WPARAM>(control.titleFont ? titleFont : bodyFont), FALSE);
        controls[control.id] = made;
        specOf[made] = control;
        return made;
    }

    void createTabs(const ControlSpec& control) {
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
            HWND page = CreateWindowExA(WS_EX_CONTROLPARENT, pageClass, "", WS_CHILD,
                                        control.x + area.left, control.y + area.top,
                                        area.right - area.left, area.bottom - area.top, window,
                                        nullptr, instance, nullptr);
            SetWindowLongPtrA(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            // Pages lie above the tab control, which stays behind them.
            SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            pages.push_back(page);
        }
        TabCtrl_SetCurSel(tabs, 0);
        showPage(0);
    }

    void createList(const ControlSpec& control) {
        list = create(control, WC_LISTVIEWA,
                      LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER |
                          WS_TABSTOP,
                      WS_EX_CLIENTEDGE);
        SetWindowTextA(list, "");
        ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        const auto titles = splitAt(control.caption, '|');
        const int widths[2] = {control.column0Width, control.column1Width};
        for (int column = 0; column < 2 && column < static_cast<int>(titles.size()); ++column) {
            LVCOLUMNA layout{};
            layout.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            layout.pszText = const_cast<char*>(titles[static_cast<std::size_t>(column)].c_str());
            layout.cx = widths[column];
            layout.iSubItem = column;
            SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&layout));
        }
        tooltip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  window, nullptr, instance, nullptr);
        TOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(list);
        tool.lpszText = const_cast<char*>("");
        SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }

    bool validRow(int row) const { return list && row >= 0 && row < ListView_GetItemCount(list); }

    void makeTabOrder(const std::vector<ControlSpec>& table) {
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

    void moveFocus(bool backwards) {
        std::vector<HWND> reachable;
        for (HWND control : tabOrder)
            if (IsWindowVisible(control) && IsWindowEnabled(control)) reachable.push_back(control);
        if (reachable.empty()) return;
        const auto count = static_cast<long>(reachable.size());
        long at = -1;
        for (long i = 0; i < count; ++i)
            if (reachable[static_cast<std::size_t>(i)] == GetFocus()) at = i;
        const long next = at < 0 ? (backwards ? count - 1 : 0)
                                 : (at + (backwards ? count - 1 : 1)) % count;
        HWND target = reachable[static_cast<std::size_t>(next)];
        SendMessageA(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        SetFocus(target);
        const auto found = specOf.find(target);
        if (found != specOf.end() && found->second.kind == ControlKind::textField)
            SendMessageA(target, EM_SETSEL, 0, -1);
    }

    // The main window's own keys, taken before the dialog manager sees them: it would turn
    // Enter into a press of control 1 ("...") wherever the focus is. Enter and Space press a
    // focused button (Space through the button itself); Enter elsewhere and Escape do nothing.
    // Message boxes and file dialogs run their own loops and keep Windows' keys.
    bool takeKey(const MSG& message) {
        if (message.message != WM_KEYDOWN || !window ||
            (message.hwnd != window && !IsChild(window, message.hwnd)))
            return false;
        switch (message.wParam) {
        case VK_RETURN: {
            const bool repeated = message.lParam & (1L << 30);
            const auto found = specOf.find(GetFocus());
            if (!repeated && found != specOf.end() &&
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
};

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

void Win32Gui::buildWindow(const std::vector<ControlSpec>& controls,
                           const std::function<void()>& onListReady) {
    Impl& impl = *impl_;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, impl.layout.width, impl.layout.height};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    impl.window = CreateWindowExA(
        WS_EX_CONTROLPARENT, windowClass, impl.layout.title.c_str(), style,
        (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2,
        width, height, nullptr, nullptr, impl.instance, &impl);
    SendMessageA(impl.window, WM_SETFONT, reinterpret_cast<WPARAM>(impl.bodyFont), FALSE);

    for (const ControlSpec& control : controls) {
        switch (control.kind) {
        case ControlKind::frame:
            impl.create(control, "BUTTON", BS_GROUPBOX);
            break;
        case ControlKind::textField:
            impl.create(control, "EDIT", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP,
                        WS_EX_CLIENTEDGE);
            break;
        case ControlKind::button:
            impl.create(control, "BUTTON", BS_PUSHBUTTON | WS_TABSTOP);
            break;
        case ControlKind::pictureButton:
            impl.create(control, "BUTTON", BS_OWNERDRAW | WS_TABSTOP);
            break;
        case ControlKind::label:
            impl.create(control, "STATIC", SS_LEFT);
            break;
        case ControlKind::centredLabel:
            impl.create(control, "STATIC", SS_CENTER);
            break;
        case ControlKind::link:
            impl.create(control, "STATIC", SS_LEFT | SS_NOTIFY);
            break;
        case ControlKind::checkBox: {
            HWND box = impl.create(control, "BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP);
            SendMessageA(box, BM_SETCHECK, control.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        }
        case ControlKind::tabPanel:
            impl.createTabs(control);
            break;
        case ControlKind::checkList:
            impl.createList(control);
            if (onListReady) onListReady();
            break;
        }
    }
    // Siblings made first lie on top. Frames only draw a border around other controls: they go
    // below everything, or they would paint over what they surround.
    for (const auto& [made, control] : impl.specOf)
        if (control.kind == ControlKind::frame)
            SetWindowPos(made, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    impl.makeTabOrder(controls);
}

void Win32Gui::buildEntryMenu() {
    Impl& impl = *impl_;
    impl.menu = CreatePopupMenu();
    std::map<std::string, HMENU> submenus;
    for (const MenuItemSpec& item : impl.layout.menu) {
        HMENU target = impl.menu;
        if (!item.submenu.empty()) {
            HMENU& submenu = submenus[item.submenu];
            if (!submenu) {
                submenu = CreatePopupMenu();
                AppendMenuA(impl.menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu),
                            item.submenu.c_str());
            }
            target = submenu;
        }
        AppendMenuA(target, MF_STRING, static_cast<UINT_PTR>(menuCommandBase + item.id),
                    item.caption.c_str());
    }
}

void Win32Gui::showWindow() {
    if (!impl_->window) return;
    ShowWindow(impl_->window, SW_SHOW);
    UpdateWindow(impl_->window);
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

void Win32Gui::destroyWindow() {
    Impl& impl = *impl_;
    if (impl.menu) DestroyMenu(impl.menu);
    if (impl.tooltip) DestroyWindow(impl.tooltip);
    if (impl.window) DestroyWindow(impl.window);
    impl.menu = nullptr;
    impl.tooltip = impl.window = impl.tabs = impl.list = nullptr;
    impl.controls.clear();
    impl.specOf.clear();
    impl.pages.clear();
    impl.tabOrder.clear();
    impl.lastFocus = nullptr;
    impl.events.clear();
}

void Win32Gui::setStatusText(const std::string& text) {
    if (HWND label = control(ControlId::statusText)) {
        SetWindowTextA(label, shownText(text).c_str());
        UpdateWindow(label);
    }
}

std::string Win32Gui::romPathText() const {
    HWND field = control(ControlId::romPathField);
    if (!field) return "";
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(field)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(field, text.data(),
                                                        static_cast<int>(text.size()))));
    return text;
}

void Win32Gui::setRomPathText(const std::string& text) {
    if (HWND field = control(ControlId::romPathField)) SetWindowTextA(field, text.c_str());
}

bool Win32Gui::isChecked(ControlId box) const {
    HWND check = control(box);
    return check && SendMessageA(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int Win32Gui::rowCount() const {
    return impl_->list ? ListView_GetItemCount(impl_->list) : 0;
}

void Win32Gui::clearRows() {
    if (impl_->list) ListView_DeleteAllItems(impl_->list);
}

void Win32Gui::insertRow(int row, const std::string& text) {
    HWND list = impl_->list;
    if (!list || row < 0 || row > rowCount()) return;
    const auto feed = text.find('\n');
    std::string first = shownText(text.substr(0, feed));
    std::string second = feed == std::string::npos ? "" : text.substr(feed + 1);
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = first.data();
    item.lParam = 0;
    const int made = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0,
                                                   reinterpret_cast<LPARAM>(&item)));
    if (made >= 0) setCellText(made, 1, second);
}

int Win32Gui::selectedRow() const {
    return impl_->list ? ListView_GetNextItem(impl_->list, -1, LVNI_SELECTED) : -1;
}

int Win32Gui::rowState(int row) const {
    if (!impl_->validRow(row)) return 0;
    HWND list = impl_->list;
    int state = 0;
    if (ListView_GetItemState(list, row, LVIS_SELECTED) & LVIS_SELECTED) state |= RowState::selected;
    if (ListView_GetCheckState(list, row)) state |= RowState::ticked;
    return state;
}

void Win32Gui::setRowState(int row, int state) {
    if (!impl_->validRow(row)) return;
    HWND list = impl_->list;
    if (state & RowState::selected) ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, row, (state & RowState::selected) ? LVIS_SELECTED : 0,
                          LVIS_SELECTED);
    ListView_SetCheckState(list, row, (state & RowState::ticked) ? TRUE : FALSE);
}

std::string Win32Gui::cellText(int row, int column) const {
    if (!impl_->validRow(row) || column < 0 || column > 1) return "";
    std::string text(256, '\0');
    for (;;) {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const auto length = static_cast<std::size_t>(
            SendMessageA(impl_->list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

void Win32Gui::setCellText(int row, int column, const std::string& text) {
    if (!impl_->validRow(row) || column < 0 || column > 1) return;
    std::string copy = shownText(text);
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = copy.data();
    SendMessageA(impl_->list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void Win32Gui::setRowEntry(int row, CatalogueEntry* entry) {
    if (!impl_->validRow(row)) return;
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = reinterpret_cast<LPARAM>(entry);
    SendMessageA(impl_->list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

CatalogueEntry* Win32Gui::rowEntry(int row) const {
    if (!impl_->validRow(row)) return nullptr;
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageA(impl_->list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return reinterpret_cast<CatalogueEntry*>(item.lParam);
}

void Win32Gui::setListTooltip(const std::string& text) {
    Impl& impl = *impl_;
    impl.tooltipText = text;
    if (!impl.tooltip) return;
    std::string shown = withLineBreaks(text);
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = impl.window;
    tool.uId = reinterpret_cast<UINT_PTR>(impl.list);
    tool.lpszText = shown.data();
    SendMessageA(impl.tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Gui::setMenuItemEnabled(MenuItem item, bool enabled) {
    if (!impl_->menu) return;
    EnableMenuItem(impl_->menu, static_cast<UINT>(menuCommandBase + static_cast<int>(item)),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void Win32Gui::showEntryMenu() {
    Impl& impl = *impl_;
    if (!impl.menu || !impl.window) return;
    POINT at;
    GetCursorPos(&at);
    // The window must be in front, or the menu doesn't close when the user clicks elsewhere.
    SetForegroundWindow(impl.window);
    TrackPopupMenu(impl.menu, TPM_RIGHTBUTTON, at.x, at.y, 0, impl.window, nullptr);
    PostMessageA(impl.window, WM_NULL, 0, 0);
}

void Win32Gui::messageBox(const std::string& title, const std::string& text) {
    MessageBoxA(impl_->window, withLineBreaks(text).c_str(), shownText(title).c_str(), MB_OK);
}

bool Win32Gui::questionBox(const std::string& title, const std::string& text) {
    return MessageBoxA(impl_->window, withLineBreaks(text).c_str(), shownText(title).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

namespace {

// Wine's file dialog copies the chosen path into a buffer of MAX_PATH characters on its stack and
// crashes the program when a longer path is typed. Its OK button is therefore watched: a typed
// path that long is answered here, as the dialog itself would, and the dialog is closed.
struct LongPathAnswer {
    bool save = false;
    std::string title;
    std::string path;  // the long path taken, "" for none
};

std::string typedName(HWND dialog) {
    HWND field = GetDlgItem(dialog, cmb13);
    if (!field) field = GetDlgItem(dialog, edt1);
    if (!field) return "";
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(field)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(field, text.data(), static_cast<int>(text.size()))));
    return text;
}

// True when the dialog may close with `path`; otherwise it has said why not.
bool acceptLongPath(HWND dialog, const LongPathAnswer& answer, const std::string& path) {
    const std::int64_t size = fileSize(path);
    if (size == -2) {
        MessageBoxA(dialog, (path + "\nis a folder.").c_str(), answer.title.c_str(),
                    MB_OK | MB_ICONWARNING);
        return false;
    }
    if (!answer.save) {
        if (size >= 0) return true;
        const std::string text = path + "\nFile not found.\nCheck the file name and try again.";
        MessageBoxA(dialog, text.c_str(), answer.title.c_str(), MB_OK | MB_ICONWARNING);
        return false;
    }
    const auto cut = path.find_last_of("\\/");
    if (cut == std::string::npos || fileSize(path.substr(0, cut + 1)) != -2) {
        MessageBoxA(dialog, (path + "\nPath does not exist.").c_str(), answer.title.c_str(),
                    MB_OK | MB_ICONWARNING);
        return false;
    }
    return size < 0 ||
           MessageBoxA(dialog, (path + " already exists.\nDo you want to replace it?").c_str(),
                       answer.title.c_str(), MB_YESNO | MB_ICONWARNING) == IDYES;
}

LRESULT CALLBACK watchOkButton(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR, DWORD_PTR data) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        auto& answer = *reinterpret_cast<LongPathAnswer*>(data);
        std::string typed = typedName(dialog);
        if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"')
            typed = typed.substr(1, typed.size() - 2);
        if (typed.size() >= MAX_PATH - 1) {
            if (acceptLongPath(dialog, answer, typed)) {
                answer.path = typed;
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            return 0;
        }
    }
    return DefSubclassProc(dialog, message, wParam, lParam);
}

UINT_PTR CALLBACK fileDialogHook(HWND child, UINT message, WPARAM, LPARAM lParam) {
    // The hook's dialog is a child of the file dialog, which owns the OK button.
    if (message == WM_INITDIALOG) {
        const auto* dialog = reinterpret_cast<const OPENFILENAMEA*>(lParam);
        SetWindowSubclass(GetParent(child), watchOkButton, 1,
                          static_cast<DWORD_PTR>(dialog->lCustData));
    } else if (message == WM_DESTROY) {
        RemoveWindowSubclass(GetParent(child), watchOkButton, 1);
    }
    return 0;
}

std::string runFileDialog(HWND owner, bool save, const std::string& title,
                          const std::string& filterName, const std::string& pattern,
                          const std::string& startPath) {
    std::string filter = filterName + '\0' + pattern + '\0' + '\0';
    std::vector<char> file(32768, '\0');
    startPath.copy(file.data(), std::min(startPath.size(), file.size() - 1));
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    // The program never depends on its working folder; the dialog must not move it either.
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER |
                   OFN_ENABLEHOOK | OFN_ENABLESIZING |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    LongPathAnswer answer{save, title, ""};
    dialog.lpfnHook = fileDialogHook;
    dialog.lCustData = reinterpret_cast<LPARAM>(&answer);
    const BOOL chosen = save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    if (!answer.path.empty()) return answer.path;
    return chosen ? std::string(file.data()) : std::string();
}

}  // namespace

std::string Win32Gui::openFileDialog(const std::string& title, const std::string& filterName,
                                     const std::string& pattern, const std::string& startPath) {
    return runFileDialog(impl_->window, false, title, filterName, pattern, startPath);
}

std::string Win32Gui::saveFileDialog(const std::string& title, const std::string& filterName,
                                     const std::string& pattern) {
    return runFileDialog(impl_->window, true, title, filterName, pattern, "");
}

HWND Win32Gui::control(ControlId id) const {
    const auto found = impl_->controls.find(static_cast<int>(id));
    return found == impl_->controls.end() ? nullptr : found->second;
}

HWND Win32Gui::window() const {
    return impl_->window;
}

HWND Win32Gui::tabPage(int tab) const {
    const auto& pages = impl_->pages;
    return tab >= 0 && tab < static_cast<int>(pages.size()) ? pages[static_cast<std::size_t>(tab)]
                                                            : nullptr;
}

HMENU Win32Gui::entryMenu() const {
    return impl_->menu;
}

std::string Win32Gui::listTooltip() const {
    return impl_->tooltipText;
}

bool Win32Gui::hasDonatePicture() const {
    return impl_->donateBitmap != nullptr;
}
