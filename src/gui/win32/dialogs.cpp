// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/win32/win32_gui.h"

#include "gui/win32/gui_impl.h"
#include "gui/win32/text.h"
#include "platform/file_layer.h"
#include "platform/paths.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <cstdint>
#include <vector>

void Win32Gui::messageBox(const std::string& title, const std::string& text) {
    MessageBoxA(impl_->window, displayLines(text).c_str(), displayText(title).c_str(), MB_OK);
}

bool Win32Gui::questionBox(const std::string& title, const std::string& text) {
    return MessageBoxA(impl_->window, displayLines(text).c_str(), displayText(title).c_str(),
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
    if (size == fileSizeOfFolder) {
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
    const std::string folder = folderOfPath(path);
    if (folder.empty() || !folderExists(folder)) {
        MessageBoxA(dialog, (path + "\nPath does not exist.").c_str(), answer.title.c_str(),
                    MB_OK | MB_ICONWARNING);
        return false;
    }
    return size < 0 ||
           MessageBoxA(dialog, (path + " already exists.\nDo you want to replace it?").c_str(),
                       answer.title.c_str(), MB_YESNO | MB_ICONWARNING) == IDYES;
}

LRESULT CALLBACK watchOkButton(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data) {
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
