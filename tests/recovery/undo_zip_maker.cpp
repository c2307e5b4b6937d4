// SPDX-License-Identifier: GPL-3.0-or-later
// Makes an undo zip the way a customize run does, for the recovery tests to flash:
//   undo_zip_maker [--run] <program folder> <rom zip> <in-zip path>...
// With --run, the whole run is made (no backup, no adding): the ROM zip loses the paths too.
// The program folder holds app/undo/undo.zip and app/undo/files/. One ticked entry, removed as
// an app, holds the paths; the run's plan decides what goes in, and createUndoZip writes
// <rom zip>_undo.zip. A plan the run would refuse, and every message the run shows, is printed
// and makes the exit status 1.
#include "catalogue/catalogue.h"
#include "pipeline/customize.h"
#include "pipeline/reporter.h"
#include "pipeline/undo_zip.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "tools/archive_listing.h"

#include <iostream>

namespace {

class PrintingReporter : public Reporter {
public:
    int messages = 0;  // other than a run's "Finish"
    void status(const std::string&) override {}
    void message(const std::string& title, const std::string& text) override {
        if (title == "Finish") return;
        std::cerr << title << ": " << text << '\n';
        ++messages;
    }
    void progress(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
    const bool wholeRun = argc > 1 && std::string(argv[1]) == "--run";
    if (wholeRun) {
        --argc;
        ++argv;
    }
    if (argc < 4) {
        std::cerr << "usage: undo_zip_maker [--run] <program folder> <rom zip> <in-zip path>...\n";
        return 2;
    }
    std::string programFolder = argv[1];
    if (programFolder.back() != '/') programFolder += '/';

    CatalogueEntry entry;
    entry.name = "Removed apps";
    entry.files.assign(argv + 3, argv + argc);
    CustomizeRequest request;
    request.romPath = argv[2];
    request.options = {false, true, false};
    request.ticked.push_back({&entry, RemovalMode::app});
    PrintingReporter reporter;

    const ProgramPaths paths = programPaths(programFolder);
    PreparedRun prepared;
    if (const std::string refusal = prepareRun(request, paths, prepared); !refusal.empty()) {
        reporter.message("Error", refusal);
        return 1;
    }
    if (wholeRun)
        return customize(prepared, paths, reporter).end == RunEnd::complete &&
                       reporter.messages == 0
                   ? 0
                   : 1;
    // A run extracts into a fresh folder of its own, removed when it is done.
    ProgramPaths runPaths = paths;
    runPaths.extractionFolder = makeFreshFolder(paths.extractionFolder, "maker-");
    const bool made = !createUndoZip(reporter, runPaths, prepared.request.romPath, prepared.plan,
                                     prepared.undoTemplate)
                           .empty();
    removeTree(runPaths.extractionFolder);
    return made && reporter.messages == 0 ? 0 : 1;
}
