#include "shell/window_run.h"

#include "pipeline/customize.h"
#include "platform/gui.h"
#include "tools/reporter.h"

namespace {

class WindowReporter : public Reporter {
public:
    explicit WindowReporter(Gui& gui) : gui_(gui) {}
    void status(const std::string& text) override { gui_.setStatusText(text); }
    void message(const std::string& title, const std::string& text) override {
        gui_.messageBox(title, text);
    }
    // The window shows no progress yet: the status line keeps the step's text.
    void progress(int) override {}

private:
    Gui& gui_;
};

}  // namespace

CustomizeRequest windowRequest(const Gui& gui, const std::string& romPath) {
    CustomizeRequest request;
    request.romPath = romPath;
    request.options.backup = gui.isChecked(ControlId::backupCheck);
    request.options.undoZip = gui.isChecked(ControlId::recoveryZipCheck);
    request.options.addApps = gui.isChecked(ControlId::enableAddingCheck);
    const int rows = gui.rowCount();
    for (int row = 0; row < rows; ++row) {
        if (!(gui.rowState(row) & RowState::ticked)) continue;
        if (const CatalogueEntry* entry = gui.rowEntry(row))
            request.ticked.push_back({entry, removalModeOfText(gui.cellText(row, 1))});
    }
    return request;
}

void customizeFromWindow(Gui& gui, const ProgramPaths& paths, const std::string& romPath) {
    WindowReporter reporter(gui);
    customize(windowRequest(gui, romPath), paths, reporter);
}
