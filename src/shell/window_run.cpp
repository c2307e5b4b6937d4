// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/window_run.h"

#include "gui/gui.h"
#include "pipeline/customize.h"
#include "pipeline/reporter.h"
#include "platform/stop_signals.h"
#include "platform/text.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

class WindowReporter : public Reporter {
public:
    explicit WindowReporter(Gui& gui) : gui_(gui) {}
    void status(const std::string& text) override {
        status_ = text;
        gui_.setStatusText(text);
    }
    // Nothing more is shown once a stop signal has come: the program ends after the run.
    void message(const std::string& title, const std::string& text) override {
        if (!StopSignals::caught()) gui_.messageBox(title, text);
    }
    void progress(int percent) override {
        gui_.setStatusText(status_ + " " + std::to_string(percent) + "%");
    }
    bool carryOn() override {
        const bool closeAsked = !stopped_ && gui_.pumpDuringRun();
        // A stop signal (or the end of the session, seen while pumping) asks nobody.
        if (StopSignals::caught())
            stopped_ = true;
        else if (closeAsked && gui_.questionBox(stopTitle, stopQuestion))
            stopped_ = true;
        return !stopped_;
    }

    static constexpr const char* stopTitle = "Stop";
    static constexpr const char* stopQuestion =
        "Stop the run?\r7z is ended at once and the temporary file it was writing is removed, so "
        "the ROM zip stays as it was before this step. The steps after it do not run, and an "
        "unfinished undo zip is not kept.";

private:
    Gui& gui_;
    std::string status_;
    bool stopped_ = false;
};

// What tells a changed file: its size and its time of change (7z writes a new file in its place).
std::pair<std::uintmax_t, std::filesystem::file_time_type> fileStamp(const std::string& path) {
    std::error_code ignored;
    const auto file = fileSystemPath(path);
    return {std::filesystem::file_size(file, ignored),
            std::filesystem::last_write_time(file, ignored)};
}

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

bool customizeFromWindow(Gui& gui, const ProgramPaths& paths, const std::string& romPath) {
    int signal = 0;
    const auto before = fileStamp(romPath);
    {
        const StopSignals stopSignals;
        WindowReporter reporter(gui);
        // A run refused before its first step never changed the status line: it would go on
        // showing what it showed before, such as the number of apps loaded.
        if (customize(windowRequest(gui, romPath), paths, reporter).end == RunEnd::refused)
            reporter.status("Ready");
        signal = StopSignals::caught();
    }
    if (signal) endBySignal(signal);
    return fileStamp(romPath) != before;
}
