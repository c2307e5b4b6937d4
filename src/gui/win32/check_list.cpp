// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/win32/win32_gui.h"

#include "gui/win32/gui_impl.h"
#include "gui/win32/text.h"

#include <windows.h>

#include <commctrl.h>

#include <map>
#include <vector>

namespace {

// Marks the rows' changes while it lives as the program's own.
class SettingRows {
public:
    explicit SettingRows(Win32Gui::Impl& impl) : impl_(impl), was_(impl.settingRows) {
        impl.settingRows = true;
    }
    ~SettingRows() { impl_.settingRows = was_; }
    SettingRows(const SettingRows&) = delete;
    SettingRows& operator=(const SettingRows&) = delete;

private:
    Win32Gui::Impl& impl_;
    bool was_;
};

}  // namespace

void Win32Gui::Impl::createList(const ControlSpec& control) {
    list = create(control, WC_LISTVIEWA,
                  LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP,
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
    tooltip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                              instance, nullptr);
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = const_cast<char*>("");
    SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
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
int Win32Gui::rowCount() const { return impl_->list ? ListView_GetItemCount(impl_->list) : 0; }

void Win32Gui::clearRows() {
    if (impl_->list) ListView_DeleteAllItems(impl_->list);
    impl_->cells.clear();
}

void Win32Gui::insertRow(int row, const std::string& text) {
    HWND list = impl_->list;
    if (!list || row < 0 || row > rowCount()) return;
    const auto feed = text.find('\n');
    std::string first = displayText(text.substr(0, feed));
    std::string second = feed == std::string::npos ? "" : text.substr(feed + 1);
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = first.data();
    item.lParam = 0;
    const SettingRows setting(*impl_);
    const int made =
        static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (made < 0) return;
    impl_->cells.insert(impl_->cells.begin() + made, {text.substr(0, feed), ""});
    setCellText(made, 1, second);
}

int Win32Gui::selectedRow() const {
    return impl_->list ? ListView_GetNextItem(impl_->list, -1, LVNI_SELECTED) : -1;
}

int Win32Gui::rowState(int row) const {
    if (!impl_->validRow(row)) return 0;
    HWND list = impl_->list;
    int state = 0;
    if (ListView_GetItemState(list, row, LVIS_SELECTED) & LVIS_SELECTED)
        state |= RowState::selected;
    if (ListView_GetCheckState(list, row)) state |= RowState::ticked;
    return state;
}

void Win32Gui::setRowState(int row, int state) {
    if (!impl_->validRow(row)) return;
    HWND list = impl_->list;
    const SettingRows setting(*impl_);
    if (state & RowState::selected) ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, row, (state & RowState::selected) ? LVIS_SELECTED : 0,
                          LVIS_SELECTED);
    ListView_SetCheckState(list, row, (state & RowState::ticked) ? TRUE : FALSE);
}

std::string Win32Gui::cellText(int row, int column) const {
    if (!impl_->validRow(row) || column < 0 || column > 1) return "";
    return impl_->cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void Win32Gui::setCellText(int row, int column, const std::string& text) {
    if (!impl_->validRow(row) || column < 0 || column > 1) return;
    impl_->cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
    std::string copy = displayText(text);
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
    if (!impl.tooltip) return;
    std::string shown = displayLines(text);
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
HMENU Win32Gui::entryMenu() const { return impl_->menu; }

std::string Win32Gui::listTooltip() const {
    if (!impl_->tooltip) return "";
    std::vector<char> text(1024, '\0');  // the longest text a tooltip gives back
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = impl_->window;
    tool.uId = reinterpret_cast<UINT_PTR>(impl_->list);
    tool.lpszText = text.data();
    SendMessageA(impl_->tooltip, TTM_GETTEXTA, text.size(), reinterpret_cast<LPARAM>(&tool));
    return text.data();
}
