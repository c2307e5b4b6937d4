#include "catalogue/removal_mode.h"

#include "catalogue/catalogue.h"

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

bool equalIgnoringAsciiCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return i == a.size() && !b[i];
}

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
