// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/control_layout.h"
#include "gui/gui.h"

#include <memory>

typedef struct HWND__* HWND;
typedef struct HMENU__* HMENU;

// The Win32 window of the Windows build, built from the same control table as the GTK window.
//
// Window procedures only queue the program's events (EventQueue says when they are handed out).
// Texts are the program's 8-bit strings in the system's code page; a lone carriage return in a
// label or message box is shown as a line break.
class Win32Gui : public Gui {
public:
    explicit Win32Gui(WindowSpec window);
    ~Win32Gui() override;
    Win32Gui(const Win32Gui&) = delete;
    Win32Gui& operator=(const Win32Gui&) = delete;

    void buildWindow(const std::vector<ControlSpec>& controls,
                     const std::function<void()>& onListReady) override;
    void buildEntryMenu() override;
    void showWindow() override;
    void runEventLoop(const std::function<void(const Event&)>& handler) override;
    void destroyWindow() override;

    void setStatusText(const std::string& text) override;
    std::string romPathText() const override;
    void setRomPathText(const std::string& text) override;

    bool isChecked(ControlId box) const override;

    int rowCount() const override;
    void clearRows() override;
    void insertRow(int row, const std::string& text) override;
    int selectedRow() const override;
    int rowState(int row) const override;
    void setRowState(int row, int state) override;
    std::string cellText(int row, int column) const override;
    void setCellText(int row, int column, const std::string& text) override;
    void setRowEntry(int row, CatalogueEntry* entry) override;
    CatalogueEntry* rowEntry(int row) const override;
    void setListTooltip(const std::string& text) override;

    void setMenuItemEnabled(MenuItem item, bool enabled) override;
    void showEntryMenu() override;

    void messageBox(const std::string& title, const std::string& text) override;
    bool questionBox(const std::string& title, const std::string& text) override;
    bool pumpDuringRun() override;
    void postClose() override;
    std::string openFileDialog(const std::string& title, const std::string& filterName,
                               const std::string& pattern, const std::string& startPath) override;
    std::string saveFileDialog(const std::string& title, const std::string& filterName,
                               const std::string& pattern) override;

    // For tests and tools that look at the built window; nullptr before they exist.
    HWND control(ControlId id) const;
    HWND window() const;
    HWND tabPage(int tab) const;
    HMENU entryMenu() const;
    std::string listTooltip() const;  // as the tooltip shows it
    // The decoded Donate picture is ready (start-up decodes it before the window is built).
    bool hasDonatePicture() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
