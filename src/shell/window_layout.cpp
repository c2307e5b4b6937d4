// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/window_layout.h"

#include "catalogue/removal_mode.h"
#include "gui/gui.h"
#include "pipeline/request.h"

namespace {

constexpr int onWindow = -1;
constexpr int removeTab = 0;
constexpr int addTab = 1;
constexpr int settingsTab = 2;
constexpr int aboutTab = 3;

ControlSpec control(ControlId id, const char* name, ControlKind kind, int x, int y, int width,
                    int height, std::string caption, int tab) {
    ControlSpec layout;
    layout.id = static_cast<int>(id);
    layout.name = name;
    layout.kind = kind;
    layout.x = x;
    layout.y = y;
    layout.width = width;
    layout.height = height;
    layout.caption = std::move(caption);
    layout.tab = tab;
    return layout;
}

#ifdef _WIN32
constexpr ControlKind donateKind = ControlKind::pictureButton;
#else
constexpr ControlKind donateKind = ControlKind::button;
#endif

using K = ControlKind;
using C = ControlId;

// The controls on the window itself: the ROM's field, Customize!, the status line and the tab
// panel.
void addWindowControls(std::vector<ControlSpec>& controls) {
    controls.push_back(
        control(C::romFrame, "romFrame", K::frame, 5, 5, 340, 45, "Select Rom", onWindow));
    ControlSpec romPathField =
        control(C::romPathField, "romPathField", K::textField, 10, 22, 295, 20, "", onWindow);
    romPathField.hasBackground = true;
    romPathField.background = {255, 255, 255};
    controls.push_back(romPathField);
    controls.push_back(
        control(C::browseButton, "browseButton", K::button, 310, 22, 30, 20, "...", onWindow));
    controls.push_back(control(C::customizeButton, "customizeButton", K::button, 250, 335, 95, 20,
                               "Customize!", onWindow));
    controls.push_back(
        control(C::statusText, "statusText", K::label, 5, 337, 225, 20, "", onWindow));
    controls.push_back(control(C::customizeFrame, "customizeFrame", K::frame, 5, 55, 340, 272,
                               "Customize", onWindow));
    controls.push_back(control(C::tabPanel, "tabPanel", K::tabPanel, 10, 72, 330, 250,
                               "Remove|Add|Settings|About", onWindow));
}

// The Remove page: the check list and the buttons below it.
void addRemovePage(std::vector<ControlSpec>& controls) {
    ControlSpec appList = control(C::appList, "appList", K::checkList, 5, 5, 312, 185,
                                  "Apps To Remove|Remove", removeTab);
    appList.column0Width = 185;
    appList.column1Width = 95;
    controls.push_back(appList);
    controls.push_back(control(C::unselectAllButton, "unselectAllButton", K::button, 122, 195, 95,
                               20, "Unselect All", removeTab));
    controls.push_back(control(C::selectAllButton, "selectAllButton", K::button, 222, 195, 95, 20,
                               "Select All", removeTab));
}

// The Add page: the switch for adding apps, what it does, and the way to the add folder.
void addAddPage(std::vector<ControlSpec>& controls) {
    // The check boxes start as a run's options do by default.
    const RunOptions defaults;
    ControlSpec enableAdding = control(C::enableAddingCheck, "enableAddingCheck", K::checkBox, 15,
                                       15, 250, 20, "Enable adding apps", addTab);
    enableAdding.checked = defaults.addApps;
    controls.push_back(enableAdding);
    controls.push_back(control(
        C::experimentalText, "experimentalText", K::label, 15, 40, 302, 105,
        "Experimental! \rCopy the apps you want to install into your ROM into the data\\app "
        "folder, and apps you want to install as system apps into the system\\app folder. It "
        "will work with many apps, but not with all, sorry. I'll try to find a better "
        "installation method.",
        addTab));
    controls.push_back(control(C::openFolderButton, "openFolderButton", K::button, 15, 155, 70, 20,
                               "Open Folder", addTab));
}

// The Settings page: the backup and undo zip switches and the removal lists.
void addSettingsPage(std::vector<ControlSpec>& controls) {
    // The check boxes start as a run's options do by default.
    const RunOptions defaults;
    controls.push_back(control(C::settingsFrame, "settingsFrame", K::frame, 5, 5, 312, 215,
                               "Application Settings", settingsTab));
    ControlSpec backup = control(C::backupCheck, "backupCheck", K::checkBox, 15, 25, 250, 20,
                                 "Create Backup before customizing", settingsTab);
    backup.checked = defaults.backup;
    controls.push_back(backup);
    ControlSpec recoveryZip = control(C::recoveryZipCheck, "recoveryZipCheck", K::checkBox, 15, 50,
                                      250, 20, "Create recovery zip for CWM", settingsTab);
    recoveryZip.checked = defaults.undoZip;
    controls.push_back(recoveryZip);
    controls.push_back(control(C::saveListButton, "saveListButton", K::button, 15, 80, 125, 20,
                               "Save removal list", settingsTab));
    controls.push_back(control(C::loadListButton, "loadListButton", K::button, 150, 80, 125, 20,
                               "Load removal list", settingsTab));
}

// The About page.
void addAboutPage(std::vector<ControlSpec>& controls) {
    ControlSpec aboutTitle = control(C::aboutTitleText, "aboutTitleText", K::centredLabel, 5, 15,
                                     312, 30, "Slimkit V# 0.9", aboutTab);
    aboutTitle.titleFont = true;
    aboutTitle.hasTextColour = true;
    aboutTitle.textColour = {0, 0, 255};
    controls.push_back(aboutTitle);
    // The rectangle reaches past the page's right edge; the page clips it.
    ControlSpec credit = control(C::creditLink, "creditLink", K::link, 77, 50, 312, 20,
                                 "Made by the Slimkit team", aboutTab);
    credit.hasTextColour = true;
    credit.textColour = {0, 255, 0};
    controls.push_back(credit);
    controls.push_back(
        control(C::donateButton, "donateButton", donateKind, 225, 190, 92, 26, "Donate", aboutTab));
    controls.push_back(control(
        C::aboutText, "aboutText", K::centredLabel, 5, 75, 312, 100,
        "Slimkit for CMW Roms. \r\rIf you have any questions, found a bug or want to add a "
        "definition file please look into the Vexo thread.\r\rIf you like my work you can by me "
        "a beer by clicking on Donate ;)",
        aboutTab));
}

}  // namespace

std::vector<ControlSpec> windowLayout() {
    // In this order: each page follows the tab panel it lies on, and the check list comes before
    // the buttons below it.
    std::vector<ControlSpec> controls;
    addWindowControls(controls);
    addRemovePage(controls);
    addAddPage(controls);
    addSettingsPage(controls);
    addAboutPage(controls);
    return controls;
}

WindowSpec mainWindowSpec() {
    WindowSpec window;
    window.title = "Slimkit for CWM Roms V# 0.9";
    window.width = 350;
    window.height = 365;
    window.menu = {
        {static_cast<int>(MenuItem::showDescription), "Show description", ""},
        {static_cast<int>(MenuItem::openDefinitionFile), "Open definition file", ""},
        {static_cast<int>(MenuItem::appWidgetMode), removalModeText(RemovalMode::appWidget),
         "Removal Mod"},
        {static_cast<int>(MenuItem::widgetMode), removalModeText(RemovalMode::widget),
         "Removal Mod"},
        {static_cast<int>(MenuItem::loadKnowledge), "Load app knowledge...", ""},
    };
    return window;
}
