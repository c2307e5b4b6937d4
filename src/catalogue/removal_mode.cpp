// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/removal_mode.h"

#include "catalogue/catalogue.h"
#include "platform/ascii.h"

namespace {

struct ModeName {
    RemovalMode mode;
    const char* text;
};

// The one table of the modes' texts.
constexpr ModeName modeNames[] = {
    {RemovalMode::app, "App"},
    {RemovalMode::appWidget, "App/Widget"},
    {RemovalMode::widget, "Widget"},
};

}  // namespace

const char* removalModeText(RemovalMode mode) {
    for (const ModeName& name : modeNames)
        if (name.mode == mode) return name.text;
    return "";
}

RemovalMode removalModeOfText(const std::string& text) {
    for (const ModeName& name : modeNames)
        if (equalIgnoringAsciiCase(text, name.text)) return name.mode;
    return RemovalMode::widget;
}

RemovalMode startingMode(const CatalogueEntry& entry) {
    return entry.isWidget ? RemovalMode::appWidget : RemovalMode::app;
}

bool modeAllowed(const CatalogueEntry& entry, RemovalMode mode) {
    return entry.isWidget ? mode != RemovalMode::app : mode == RemovalMode::app;
}
