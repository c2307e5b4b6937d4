// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/win32/win32_gui.h"

#include "gui/gui_contract.h"
#include "gui/win32/donate_picture.h"
#include "shell/window_layout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

using ::testing::ElementsAre;

namespace {

class Win32GuiTest : public testing::Test {
protected:
    void SetUp() override {
        gui.buildWindow(windowLayout(), {});
        gui.buildEntryMenu();
    }
    void TearDown() override { gui.destroyWindow(); }

    // Events that the window queued for `messages` posted to it, up to and with the close.
    std::vector<Event> eventsUntilClose() {
        PostMessageA(gui.window(), WM_CLOSE, 0, 0);
        std::vector<Event> events;
        gui.runEventLoop([&](const Event& event) { events.push_back(event); });
        return events;
    }

    static RECT placeIn(HWND control) {
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    Win32Gui gui{mainWindowSpec()};
};

std::string menuText(HMENU menu, UINT position) {
    char text[64] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

// The tests run with UTF-8 as their code page, as the program does: its manifest is theirs, so
// the window's texts read back through the A functions as UTF-8.
class Win32ContractWindow : public ContractWindow {
public:
    ~Win32ContractWindow() override { gui_.destroyWindow(); }
    Gui& gui() override { return gui_; }
    std::string shownStatus() override {
        char text[256] = {};
        GetWindowTextA(gui_.control(ControlId::statusText), text, sizeof text);
        return text;
    }
    std::string shownTooltip() override { return gui_.listTooltip(); }
    std::string shownCell(int row, int column) override {
        char text[256] = {};
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(gui_.control(ControlId::appList), LVM_GETITEMTEXTA, row,
                     reinterpret_cast<LPARAM>(&item));
        return text;
    }
    bool menuItemEnabled(MenuItem item) override {
        const UINT command = 1000 + static_cast<UINT>(item);
        return !(GetMenuState(gui_.entryMenu(), command, MF_BYCOMMAND) & MF_GRAYED);
    }

private:
    Win32Gui gui_{mainWindowSpec()};
};

std::unique_ptr<ContractWindow> makeWin32Window() {
    if (GetACP() != CP_UTF8) return nullptr;
    return std::make_unique<Win32ContractWindow>();
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32Gui, GuiContract, testing::Values(&makeWin32Window),
                         contractTestName);

TEST_F(Win32GuiTest, AFixedWindowWithoutMinimiseOrMaximise) {
    HWND window = gui.window();
    ASSERT_TRUE(window);
    EXPECT_FALSE(IsWindowVisible(window)) << "hidden until shown";
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 350);
    EXPECT_EQ(client.bottom, 365);
    char title[64];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Slimkit for CWM Roms V# 0.9");
    gui.showWindow();
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(Win32GuiTest, EveryControlLiesWhereTheTableSaysOnItsPage) {
    for (const ControlSpec& layout : windowLayout()) {
        HWND control = gui.control(static_cast<ControlId>(layout.id));
        ASSERT_TRUE(control) << layout.name;
        EXPECT_EQ(GetParent(control), layout.tab < 0 ? gui.window() : gui.tabPage(layout.tab))
            << layout.name;
        const RECT place = placeIn(control);
        EXPECT_EQ(place.left, layout.x) << layout.name;
        EXPECT_EQ(place.top, layout.y) << layout.name;
        EXPECT_EQ(place.right - place.left, layout.width) << layout.name;
        EXPECT_EQ(place.bottom - place.top, layout.height) << layout.name;
    }
    EXPECT_NE(SendMessageA(gui.control(ControlId::aboutTitleText), WM_GETFONT, 0, 0),
              SendMessageA(gui.control(ControlId::aboutText), WM_GETFONT, 0, 0));
    EXPECT_TRUE(GetWindowLongA(gui.control(ControlId::romPathField), GWL_STYLE) & ES_READONLY);
}

TEST_F(Win32GuiTest, FramesLieBelowTheControlsTheySurround) {
    bool frameSeen = false;
    for (HWND sibling = GetWindow(gui.window(), GW_CHILD); sibling;
         sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        const bool frame = sibling == gui.control(ControlId::romFrame) ||
                           sibling == gui.control(ControlId::customizeFrame);
        EXPECT_TRUE(frame || !frameSeen) << "a control lies below a frame";
        frameSeen = frameSeen || frame;
    }
    EXPECT_TRUE(frameSeen);
}

TEST_F(Win32GuiTest, TheListIsACheckListOfTwoColumns) {
    HWND list = gui.control(ControlId::appList);
    const DWORD extended = ListView_GetExtendedListViewStyle(list);
    EXPECT_TRUE(extended & LVS_EX_CHECKBOXES);
    EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & LVS_SINGLESEL);
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), 185);
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), 95);
}

TEST_F(Win32GuiTest, ThePopupMenuWithItsSubmenu) {
    HMENU menu = gui.entryMenu();
    ASSERT_TRUE(menu);
    ASSERT_EQ(GetMenuItemCount(menu), 4);
    EXPECT_EQ(menuText(menu, 0), "Show description");
    EXPECT_EQ(menuText(menu, 1), "Open definition file");
    EXPECT_EQ(menuText(menu, 2), "Removal Mod");
    EXPECT_EQ(menuText(menu, 3), "Load app knowledge...");
    HMENU submenu = GetSubMenu(menu, 2);
    ASSERT_TRUE(submenu);
    EXPECT_EQ(menuText(submenu, 0), "App/Widget");
    EXPECT_EQ(menuText(submenu, 1), "Widget");
}

TEST_F(Win32GuiTest, ClicksBecomeTheProgramsEvents) {
    gui.showWindow();
    SendMessageA(gui.control(ControlId::customizeButton), BM_CLICK, 0, 0);
    SendMessageA(gui.control(ControlId::donateButton), BM_CLICK, 0, 0);
    HWND link = gui.control(ControlId::creditLink);
    SendMessageA(GetParent(link), WM_COMMAND, MAKEWPARAM(16, STN_CLICKED),
                 reinterpret_cast<LPARAM>(link));
    SendMessageA(gui.window(), WM_COMMAND, 1000 + static_cast<int>(MenuItem::widgetMode), 0);

    const std::vector<Event> events = eventsUntilClose();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, Event::Kind::control);
    EXPECT_EQ(events[0].id, 6);
    EXPECT_EQ(events[1].id, 18);
    EXPECT_EQ(events[2].id, 16);
    EXPECT_EQ(events[3].kind, Event::Kind::menu);
    EXPECT_EQ(events[3].id, 3);
    EXPECT_EQ(events[4].kind, Event::Kind::close);
}

namespace {

// Queues a left click on the label of `row` in the check list.
void postClickOnRow(HWND list, int row) {
    RECT label;
    ListView_GetItemRect(list, row, &label, LVIR_LABEL);
    const LPARAM at = MAKELPARAM(label.left + 20, (label.top + label.bottom) / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
}

}  // namespace

TEST_F(Win32GuiTest, AClickOnARowSelectsItAndReportsALeftClick) {
    gui.insertRow(0, "Browser\nApp");
    gui.insertRow(1, "Gallery\nApp");
    gui.showWindow();
    postClickOnRow(gui.control(ControlId::appList), 1);

    std::vector<Event> events;
    PostMessageA(gui.window(), WM_CLOSE, 0, 0);
    gui.runEventLoop([&](const Event& event) { events.push_back(event); });
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].kind, Event::Kind::control);
    EXPECT_EQ(events[0].id, 3);
    EXPECT_EQ(events[0].listEvent, ListEventType::leftClick);
    EXPECT_EQ(gui.selectedRow(), 1);
    EXPECT_EQ(gui.rowState(1), RowState::selected);
}

// The user's tick (Space on the focused row here) comes as an event naming its row; the
// program's own rows and ticks report nothing.
TEST_F(Win32GuiTest, TheUsersTickIsReportedWithItsRow) {
    gui.insertRow(0, "Browser\nApp");
    gui.insertRow(1, "Gallery\nApp");
    gui.setRowState(0, RowState::ticked);
    gui.setRowState(1, RowState::selected);
    gui.showWindow();
    HWND list = gui.control(ControlId::appList);
    SetFocus(list);
    ListView_SetItemState(list, 1, LVIS_FOCUSED, LVIS_FOCUSED);
    PostMessageA(list, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageA(list, WM_KEYUP, VK_SPACE, 0xC0000000);

    std::vector<Event> events;
    PostMessageA(gui.window(), WM_CLOSE, 0, 0);
    gui.runEventLoop([&](const Event& event) { events.push_back(event); });
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].id, 3);
    EXPECT_EQ(events[0].listEvent, ListEventType::tickChanged);
    EXPECT_EQ(events[0].row, 1);
    EXPECT_EQ(events[1].kind, Event::Kind::close);
    EXPECT_EQ(gui.rowState(1), RowState::selected | RowState::ticked);
    EXPECT_EQ(gui.rowState(0), RowState::ticked);
}

// While a run works the window paints, a click on its controls is dropped rather than kept for
// after the run, and the close button and Escape come out as a wish to stop, not as events.
TEST_F(Win32GuiTest, DuringARunTheWindowPaintsTakesNoInputAndAsksToStopOnClose) {
    gui.insertRow(0, "Browser\nApp");
    gui.insertRow(1, "Gallery\nApp");
    gui.showWindow();
    gui.setStatusText("Removing files ... 42%");
    InvalidateRect(gui.window(), nullptr, TRUE);
    postClickOnRow(gui.control(ControlId::appList), 1);

    EXPECT_FALSE(gui.pumpDuringRun());
    EXPECT_FALSE(GetUpdateRect(gui.window(), nullptr, FALSE)) << "not painted";
    EXPECT_EQ(gui.selectedRow(), -1);

    PostMessageA(gui.window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(gui.pumpDuringRun());
    PostMessageA(gui.control(ControlId::customizeButton), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(gui.pumpDuringRun());
    EXPECT_FALSE(gui.pumpDuringRun()) << "a wish to stop is told once";
    EXPECT_TRUE(IsWindowVisible(gui.window()));
    // After the run, only the close posted now arrives.
    const std::vector<Event> events = eventsUntilClose();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::Kind::close);
}

namespace {

// The visible window titled `title` once `ready` says it is set up, or nullptr after a minute:
// a busy machine may take seconds to show a dialog and fill its controls.
HWND waitForWindow(const char* title, const std::function<bool(HWND)>& ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        HWND window = FindWindowA(nullptr, title);
        if (window && IsWindowVisible(window) && ready(window)) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

std::string controlText(HWND dialog, int id) {
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// The visible message box titled `title` whose text holds `part`, or nullptr after a minute. A
// message box shows its text in the static control 0xFFFF; a file dialog may share its title.
HWND waitForBox(const char* title, const std::string& part) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        for (HWND box = FindWindowExA(nullptr, nullptr, nullptr, title); box;
             box = FindWindowExA(nullptr, box, nullptr, title))
            if (IsWindowVisible(box) && controlText(box, 0xFFFF).find(part) != std::string::npos)
                return box;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

}  // namespace

TEST_F(Win32GuiTest, AMessageBoxShowsItsTextWithLineBreaksAndWaitsForOk) {
    gui.showWindow();
    std::string shownText;
    bool ownedByTheWindow = false;
    std::thread user([&] {
        // The box's text is the static control 0xFFFF.
        HWND box =
            waitForWindow("Warning", [](HWND box) { return !controlText(box, 0xFFFF).empty(); });
        if (!box) return;
        shownText = controlText(box, 0xFFFF);
        ownedByTheWindow = GetWindow(box, GW_OWNER) == gui.window();
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    gui.messageBox("Warning", "There was an error while zip - processing: \rERROR: x");
    user.join();
    EXPECT_EQ(shownText, "There was an error while zip - processing: \r\nERROR: x");
    EXPECT_TRUE(ownedByTheWindow);
}

TEST_F(Win32GuiTest, AQuestionIsAnsweredYesOnlyByYes) {
    gui.showWindow();
    for (const int button : {IDYES, IDNO}) {
        std::thread user([button] {
            if (HWND box = waitForBox("Save Profile File", "replace"))
                PostMessageA(box, WM_COMMAND, button, 0);
        });
        const bool yes = gui.questionBox("Save Profile File", "list.ini is there.\rreplace it?");
        user.join();
        EXPECT_EQ(yes, button == IDYES);
    }
}

namespace {

// Answers the file dialog titled `title`, once it has filled its file-type box, with `path`
// (or cancels it).
std::thread answerFileDialog(const char* title, std::string path, std::string& filter) {
    return std::thread([title, path, &filter] {
        constexpr int fileTypeBox = 0x470, fileNameBox = 0x47C;
        HWND dialog = waitForWindow(title, [](HWND dialog) {
            return GetDlgItem(dialog, fileNameBox) && !controlText(dialog, fileTypeBox).empty();
        });
        if (!dialog) return;
        filter = controlText(dialog, fileTypeBox);
        if (path.empty()) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        SetDlgItemTextA(dialog, fileNameBox, path.c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
}

}  // namespace

TEST_F(Win32GuiTest, FileDialogsGiveTheChosenPathOrNothing) {
    gui.showWindow();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string rom = std::string(temp) + "slimkit-dialog-test.zip";
    CloseHandle(CreateFileA(rom.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

    std::string filter;
    std::thread user = answerFileDialog("Select Rom", rom, filter);
    EXPECT_EQ(gui.openFileDialog("Select Rom", "CWM ZIP (*.zip)", "*.zip", ""), rom);
    user.join();
    EXPECT_EQ(filter, "CWM ZIP (*.zip)");

    user = answerFileDialog("Open Profile File", "", filter);
    EXPECT_EQ(gui.openFileDialog("Open Profile File", "INI file", "*.ini", rom), "");
    user.join();

    const std::string list = std::string(temp) + "slimkit-dialog-test";
    user = answerFileDialog("Save Profile File", list, filter);
    EXPECT_EQ(gui.saveFileDialog("Save Profile File", "INI file", "*.ini"), list)
        << "the program adds the extension itself";
    user.join();
    EXPECT_EQ(filter, "INI file");

    // A file that is there is given only when the user agrees to replace it; a "No" leaves the
    // dialog open.
    for (const int button : {IDNO, IDYES}) {
        std::thread replace([button] {
            if (HWND box = waitForBox("Save Profile File", "already exists"))
                PostMessageA(box, WM_COMMAND, button, 0);
            if (button == IDYES) return;
            if (HWND dialog = waitForWindow("Save Profile File", [](HWND dialog) {
                    return GetDlgItem(dialog, 0x47C) && IsWindowEnabled(dialog);
                }))
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        user = answerFileDialog("Save Profile File", rom, filter);
        EXPECT_EQ(gui.saveFileDialog("Save Profile File", "INI file", "*.ini"),
                  button == IDYES ? rom : "");
        user.join();
        replace.join();
    }
    DeleteFileA(rom.c_str());
}

namespace {

// Runs a shell command line of the Linux host (Wine starts Linux programs like its own) and
// gives its exit status, or -1 when it did not end within a minute. Wine has no exit code or
// end for a Linux process: the command writes its status to a file, which is awaited.
int runOnHost(const std::string& command) {
    static int runs = 0;
    const std::string name =
        "slimkit-keys-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs);
    std::string commandLine = "/bin/sh -c \"" + command + "; echo $? >/tmp/" + name +
                              ".part && mv /tmp/" + name + ".part /tmp/" + name + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return -1;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    const std::string status = "Z:\\tmp\\" + name;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (GetFileAttributesA(status.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (std::chrono::steady_clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    char text[16] = {};
    HANDLE file = CreateFileA(status.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    DeleteFileA(status.c_str());
    return std::atoi(text);
}

// Real key presses, as a user's keyboard gives them: xdotool gives the X window that Wine made
// for `window` the keyboard (a window just shown may refuse it for a moment) and presses `keys`.
// It returns once the X server has handled them; Wine reads them at the next message.
bool pressKeys(HWND window, const std::string& keys) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        // Wine makes and maps the X window as the window's thread handles its messages.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        const auto xWindow =
            reinterpret_cast<std::uintptr_t>(GetPropA(window, "__wine_x11_whole_window"));
        const std::string id = std::to_string(xWindow);
        if (xWindow && runOnHost("xdotool windowfocus " + id +
                                 " 2>/dev/null; [ $(xdotool "
                                 "getwindowfocus) = " +
                                 id + " ]") == 0)
            break;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return runOnHost("xdotool key --delay 30 --clearmodifiers " + keys) == 0;
}

bool waitUntilGone(HWND window) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

class Win32KeyTest : public Win32GuiTest {
protected:
    void SetUp() override {
        Win32GuiTest::SetUp();
        gui.insertRow(0, "Browser\nApp");
        gui.insertRow(1, "Gallery\nApp");
        gui.showWindow();
        // The window takes the keyboard once X gives it the focus and Wine has seen that.
        ASSERT_TRUE(pressKeys(gui.window(), "shift"));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (GetForegroundWindow() != gui.window()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the window never got active";
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Focuses `control`, presses `keys` and gives the number of the first control reported
    // (-1 when none came within a minute). Each case ends with keys that press a known button:
    // a key before it that wrongly pressed something would be reported first.
    int pressedBy(ControlId control, const std::string& keys) {
        SetFocus(gui.control(control));
        if (!pressKeys(gui.window(), keys)) return -2;
        std::vector<Event> events;
        std::mutex guard;
        std::condition_variable ended;
        bool done = false;
        std::thread deadline([&] {
            std::unique_lock<std::mutex> lock(guard);
            if (!ended.wait_for(lock, std::chrono::seconds(60), [&] { return done; }))
                PostMessageA(gui.window(), WM_CLOSE, 0, 0);
        });
        gui.runEventLoop([&](const Event& event) {
            if (event.kind == Event::Kind::close) return;
            events.push_back(event);
            if (events.size() == 1) PostMessageA(gui.window(), WM_CLOSE, 0, 0);
        });
        {
            std::lock_guard<std::mutex> lock(guard);
            done = true;
        }
        ended.notify_one();
        deadline.join();
        if (events.empty() || events[0].kind != Event::Kind::control) return -1;
        return events[0].id;
    }

    static int id(ControlId control) { return static_cast<int>(control); }
};

TEST_F(Win32KeyTest, EnterAndSpacePressOnlyTheFocusedButton) {
    EXPECT_EQ(pressedBy(ControlId::customizeButton, "Return"), id(ControlId::customizeButton));
    EXPECT_EQ(pressedBy(ControlId::selectAllButton, "space"), id(ControlId::selectAllButton));
    EXPECT_EQ(pressedBy(ControlId::customizeButton, "Escape KP_Enter"),
              id(ControlId::customizeButton));
    EXPECT_EQ(pressedBy(ControlId::romPathField, "Return Escape Tab space"),
              id(ControlId::browseButton));
    gui.setRowState(1, RowState::selected | RowState::ticked);
    EXPECT_EQ(pressedBy(ControlId::appList, "Return Escape Tab Return"),
              id(ControlId::unselectAllButton));
    EXPECT_EQ(gui.rowState(1), RowState::selected | RowState::ticked);

    // The Settings tab, chosen from the keyboard on the tab strip.
    EXPECT_EQ(pressedBy(ControlId::tabPanel, "Right Right Tab Return Tab Tab Return"),
              id(ControlId::saveListButton));
    EXPECT_TRUE(gui.isChecked(ControlId::backupCheck)) << "Enter left the check box alone";
    EXPECT_EQ(pressedBy(ControlId::recoveryZipCheck, "Return space"),
              id(ControlId::recoveryZipCheck));
    EXPECT_TRUE(gui.isChecked(ControlId::recoveryZipCheck)) << "Space ticked it";
    // The About tab: the Donate picture button is the first stop on its page.
    EXPECT_EQ(pressedBy(ControlId::tabPanel, "Right Tab Return"), id(ControlId::donateButton));
    EXPECT_TRUE(IsWindowVisible(gui.window()));
}

TEST_F(Win32KeyTest, TabGoesFromThePathToTheTabsThenThePageAndCustomizeLast) {
    // From the path field: "...", the tab strip, the list, "Unselect All", "Select All",
    // "Customize!"; backwards from the field it wraps round to "Customize!".
    EXPECT_EQ(pressedBy(ControlId::romPathField, "Tab Tab Tab Tab space"),
              id(ControlId::unselectAllButton));
    EXPECT_EQ(pressedBy(ControlId::romPathField, "Tab Tab Tab Tab Tab space"),
              id(ControlId::selectAllButton));
    EXPECT_EQ(pressedBy(ControlId::romPathField, "shift+Tab space"),
              id(ControlId::customizeButton));
    EXPECT_EQ(pressedBy(ControlId::customizeButton, "Tab Tab space"), id(ControlId::browseButton));
}

TEST_F(Win32KeyTest, EscapeClosesMessageBoxesAndFileDialogs) {
    bool closed = false;
    std::thread user([&] {
        HWND box =
            waitForWindow("Notice", [](HWND box) { return !controlText(box, 0xFFFF).empty(); });
        if (!box) return;
        closed = pressKeys(box, "Escape") && waitUntilGone(box);
        if (!closed) PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    gui.messageBox("Notice", "Escape closes this box");
    user.join();
    EXPECT_TRUE(closed);

    closed = false;
    user = std::thread([&] {
        HWND dialog = waitForWindow("Select Rom", [](HWND dialog) {
            return GetDlgItem(dialog, 0x47C) && !controlText(dialog, 0x470).empty();
        });
        if (!dialog) return;
        closed = pressKeys(dialog, "Escape") && waitUntilGone(dialog);
        if (!closed) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(gui.openFileDialog("Select Rom", "CWM ZIP (*.zip)", "*.zip", ""), "");
    user.join();
    EXPECT_TRUE(closed);
}

TEST(DonatePicture, DecodesToA92By26PictureWithTransparentCorners) {
    RgbaPicture picture;
    ASSERT_TRUE(decodePng(donatePicturePng, donatePicturePngSize, picture));
    EXPECT_EQ(picture.width, 92);
    EXPECT_EQ(picture.height, 26);
    ASSERT_EQ(picture.pixels.size(), 92u * 26u * 4u);
    EXPECT_EQ(picture.pixels[3], 0) << "the top-left corner is transparent";
    const std::size_t left = (13 * 92 + 3) * 4;  // on the face, left of the word
    EXPECT_EQ(picture.pixels[left + 3], 255);
    EXPECT_GT(picture.pixels[left + 0], 200) << "orange to yellow: much red";
    EXPECT_LT(picture.pixels[left + 2], 120) << "little blue";

    EXPECT_FALSE(decodePng(donatePicturePng, 20, picture));
    EXPECT_EQ(picture.width, 0);
    EXPECT_TRUE(Win32Gui(mainWindowSpec()).hasDonatePicture());
}
