// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/dispatch.h"

#include "catalogue/removal_mode.h"
#include "gui/gui.h"
#include "shell/app_list.h"
#include "shell/app_state.h"
#include "shell/knowledge.h"
#include "shell/removal_list_dialogs.h"
#include "shell/window_run.h"
#include "tools/desktop.h"

#include <string>

namespace {

// The entry of the selected row, or nullptr when no row is selected or the row has none.
CatalogueEntry* selectedEntry(const Gui& gui) {
    const int row = gui.selectedRow();
    return row < 0 ? nullptr : gui.rowEntry(row);
}

void chooseRom(Gui& gui, AppState& state) {
    const std::string chosen =
        gui.openFileDialog("Select Rom", "CWM ZIP (*.zip)", "*.zip", state.romPath);
    if (!chosen.empty()) gui.setRomPathText(chosen);
    state.romPath = gui.romPathText();
    if (!chosen.empty()) fitAppListToRom(gui, state.catalogue, state.paths, state.romPath);
}

void onListEvent(Gui& gui, const AppState& state, const Event& event) {
    const ListEventType type = event.listEvent;
    if (type == ListEventType::tickChanged) {
        onRowTicked(gui, state.knowledge, event.row);
        return;
    }
    CatalogueEntry* entry = selectedEntry(gui);
    if (!entry) return;
    switch (type) {
        case ListEventType::leftClick:
            gui.setListTooltip(rowDescription(*entry, state.knowledge));
            break;
        case ListEventType::rightClick:
            gui.setMenuItemEnabled(MenuItem::appWidgetMode,
                                   modeAllowed(*entry, RemovalMode::appWidget));
            gui.setMenuItemEnabled(MenuItem::widgetMode, modeAllowed(*entry, RemovalMode::widget));
            gui.setMenuItemEnabled(MenuItem::openDefinitionFile, !entry->found);
            gui.showEntryMenu();
            break;
        case ListEventType::leftDoubleClick:
            if (modeAllowed(*entry, RemovalMode::widget)) {
                const int row = gui.selectedRow();
                const bool widget = gui.cellText(row, 1) == removalModeText(RemovalMode::widget);
                const RemovalMode next = widget ? RemovalMode::appWidget : RemovalMode::widget;
                gui.setCellText(row, 1, removalModeText(next));
            }
            break;
        default:
            break;
    }
}

void onControl(Gui& gui, AppState& state, const Event& event) {
    switch (static_cast<ControlId>(event.id)) {
        case ControlId::donateButton:
            openWithDesktop(donationUrl);
            break;
        case ControlId::creditLink:
            openWithDesktop(forumThreadUrl);
            break;
        case ControlId::openFolderButton:
            openWithDesktop(state.paths.addFolder);
            break;
        case ControlId::appList:
            onListEvent(gui, state, event);
            break;
        case ControlId::browseButton:
            chooseRom(gui, state);
            break;
        case ControlId::selectAllButton:
            selectAllRows(gui, state.knowledge);
            break;
        case ControlId::unselectAllButton:
            setAllTicks(gui, false);
            break;
        case ControlId::customizeButton:
            // The rows follow the slimmed ROM: its removed apps go, its added ones come. The
            // status line then reads "Ready", as after every run.
            if (customizeFromWindow(gui, state.paths, state.romPath) &&
                fitAppListToRom(gui, state.catalogue, state.paths, state.romPath))
                gui.setStatusText("Ready");
            break;
        case ControlId::saveListButton:
            saveRemovalList(gui);
            break;
        case ControlId::loadListButton:
            loadRemovalList(gui, state.catalogue);
            break;
        default:
            break;
    }
}

void onMenu(Gui& gui, AppState& state, int item) {
    switch (static_cast<MenuItem>(item)) {
        case MenuItem::showDescription:
            if (const CatalogueEntry* entry = selectedEntry(gui))
                gui.messageBox(entry->name, rowDescription(*entry, state.knowledge));
            break;
        case MenuItem::openDefinitionFile:
            // An app found in the ROM has no definition file: its item is greyed.
            if (const CatalogueEntry* entry = selectedEntry(gui); entry && !entry->found)
                openWithDesktop(entry->definitionFile);
            break;
        // Enabled only for widget rows by the right click that showed the menu.
        case MenuItem::appWidgetMode:
            gui.setCellText(gui.selectedRow(), 1, removalModeText(RemovalMode::appWidget));
            break;
        case MenuItem::widgetMode:
            gui.setCellText(gui.selectedRow(), 1, removalModeText(RemovalMode::widget));
            break;
        case MenuItem::loadKnowledge:
            loadKnowledgeFromWindow(gui, state);
            break;
        default:
            break;
    }
}

}  // namespace

void dispatch(Gui& gui, AppState& state, const Event& event) {
    switch (event.kind) {
        case Event::Kind::control:
            onControl(gui, state, event);
            break;
        case Event::Kind::menu:
            onMenu(gui, state, event.id);
            break;
        case Event::Kind::close:
            break;
    }
}
