// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/control_layout.h"

#include <functional>
#include <string>
#include <vector>

struct CatalogueEntry;

// Every control of the main window has a fixed number; events name controls by it.
// 15 is not used.
enum class ControlId : int {
    romPathField = 0,
    browseButton = 1,
    tabPanel = 2,
    appList = 3,
    selectAllButton = 4,
    unselectAllButton = 5,
    customizeButton = 6,
    statusText = 7,
    enableAddingCheck = 8,
    experimentalText = 9,
    openFolderButton = 10,
    backupCheck = 11,
    recoveryZipCheck = 12,
    saveListButton = 13,
    loadListButton = 14,
    creditLink = 16,
    aboutTitleText = 17,
    donateButton = 18,
    aboutText = 19,
    romFrame = 20,
    customizeFrame = 21,
    settingsFrame = 22,
};

// Items of the check list's popup menu, numbered in a space of their own.
enum class MenuItem : int {
    showDescription = 0,
    openDefinitionFile = 1,
    appWidgetMode = 2,
    widgetMode = 3,
    loadKnowledge = 4,
};

// A row's state in the check list is a bit set.
namespace RowState {
inline constexpr int none = 0;
inline constexpr int selected = 1;
inline constexpr int ticked = 2;
}  // namespace RowState

// How the check list reports a click on a row.
enum class ListEventType : int {
    leftClick = 0,
    rightClick = 1,
    leftDoubleClick = 2,
    rightDoubleClick = 3,
    // The user ticked or unticked the event's row (a click on its box, or Space).
    tickChanged = 4,
};

struct Event {
    enum class Kind { control, menu, close };
    Kind kind = Kind::close;
    int id = 0;  // control number (Kind::control) or menu item number (Kind::menu)
    ListEventType listEvent = ListEventType::leftClick;  // for ControlId::appList
    int row = -1;                                        // for ListEventType::tickChanged
};

// The contract between the program and a window back-end. The program's work (the shell and
// the pipeline) reaches the window only through this interface; back-ends implement it with a
// toolkit, tests with an in-memory fake.
//
// Unless said otherwise, no operation here fires an event: events come only from the user.
// Row numbers count from 0; an operation on a row that does not exist does nothing and a read
// gives its empty value (0, "", nullptr). Texts are the program's 8-bit strings: a window shows
// one that isn't UTF-8 as Latin-1, and the list's cells read back as they were set. The contract
// suite in tests/gui/gui_contract.h holds every back-end, and the tests' fake, to these rules.
class Gui {
public:
    virtual ~Gui() = default;

    // --- building and running the window --------------------------------------------------
    // Builds the hidden main window from the control table. `onListReady` is called once, as
    // soon as the check list and both of its columns exist and before the controls after it are
    // made, so that the catalogue is loaded into the list while the window is still hidden.
    virtual void buildWindow(const std::vector<ControlSpec>& controls,
                             const std::function<void()>& onListReady) = 0;
    // Builds the popup menu of the check list; all items start enabled.
    virtual void buildEntryMenu() = 0;
    // Shows the window, centred on the screen.
    virtual void showWindow() = 0;
    // Hands every event to `handler`, one at a time, until the close event has been handled.
    virtual void runEventLoop(const std::function<void(const Event&)>& handler) = 0;
    // Closes the window and releases everything the back-end holds.
    virtual void destroyWindow() = 0;

    // --- status text and ROM path field ---------------------------------------------------
    virtual void setStatusText(const std::string& text) = 0;
    virtual std::string romPathText() const = 0;
    virtual void setRomPathText(const std::string& text) = 0;

    // --- check boxes ----------------------------------------------------------------------
    virtual bool isChecked(ControlId box) const = 0;

    // --- the check list -------------------------------------------------------------------
    virtual int rowCount() const = 0;
    virtual void clearRows() = 0;
    // Inserts a row at `row`; a line feed in `text` separates column 0 from column 1.
    virtual void insertRow(int row, const std::string& text) = 0;
    // The one selected row, or -1.
    virtual int selectedRow() const = 0;
    // RowState bits.
    virtual int rowState(int row) const = 0;
    // Sets both bits at once: ticking a row this way also clears its selection, and setting the
    // selected bit takes the selection from any other row.
    virtual void setRowState(int row, int state) = 0;
    virtual std::string cellText(int row, int column) const = 0;
    virtual void setCellText(int row, int column, const std::string& text) = 0;
    // The entry is referred to, never owned.
    virtual void setRowEntry(int row, CatalogueEntry* entry) = 0;
    virtual CatalogueEntry* rowEntry(int row) const = 0;
    // One tooltip for the whole list.
    virtual void setListTooltip(const std::string& text) = 0;

    // --- popup menu -----------------------------------------------------------------------
    virtual void setMenuItemEnabled(MenuItem item, bool enabled) = 0;
    // Shows the popup menu at the mouse pointer; a chosen item arrives later as a menu event.
    virtual void showEntryMenu() = 0;

    // Called often while a run works, from inside its handler: paints the window and takes the
    // toolkit's waiting events, swallowing input to the main window's controls (never kept for
    // later), so no event reaches the dispatch before the run ends. True when, since the last
    // call, the user asked to close the window (its close button or Escape).
    virtual bool pumpDuringRun() = 0;

    // Queues the close event, as the user's close button does: for a close that
    // pumpDuringRun reported while work that isn't a run, which it stopped, was under way.
    virtual void postClose() = 0;

    // --- dialogs (modal: they return when the user has closed them) -----------------------
    virtual void messageBox(const std::string& title, const std::string& text) = 0;
    // A question with "Yes" and "No"; true for "Yes".
    virtual bool questionBox(const std::string& title, const std::string& text) = 0;
    // One file of the filter's pattern; "" when cancelled.
    virtual std::string openFileDialog(const std::string& title, const std::string& filterName,
                                       const std::string& pattern,
                                       const std::string& startPath) = 0;
    // Asks before it gives the name of a file that is there, as the toolkit's save dialogs do.
    virtual std::string saveFileDialog(const std::string& title, const std::string& filterName,
                                       const std::string& pattern) = 0;
};
