// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/control_layout.h"
#include "gui/gui.h"

#include <memory>

typedef struct _GtkWidget GtkWidget;

// The GTK+ 2 window of the Linux build.
//
// Signal handlers only queue the program's events (EventQueue says when they are handed out).
// Texts handed in are the program's 8-bit strings: a text that isn't valid UTF-8 is shown as
// Latin-1; reads give back the text as it was set.
class GtkGui : public Gui {
public:
    // Opens the display; false when there is none. The constructor calls it as well.
    static bool initialise();

    explicit GtkGui(WindowSpec window);
    ~GtkGui() override;
    GtkGui(const GtkGui&) = delete;
    GtkGui& operator=(const GtkGui&) = delete;

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

    // For tests and tools that look at the built window: the widget of a control (for the check
    // list, the tree view), the main window, the page of a tab, a popup menu item; nullptr
    // before they exist.
    GtkWidget* widget(ControlId id) const;
    GtkWidget* window() const;
    GtkWidget* tabPage(int tab) const;
    GtkWidget* menuItemWidget(MenuItem item) const;

    struct Impl;

private:
    void fillDetached(const std::function<void()>& fill);

    std::unique_ptr<Impl> impl_;
};
