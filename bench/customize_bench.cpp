// Runs one whole customize (backup, undo zip, removal, adding) on a ROM zip, as the program does
// after "Customize!", with an in-memory window. For bench/customize_bench.sh.
//
//   customize_bench PROGRAM_FOLDER ROM_ZIP IN_ZIP_PATH...
//
// Each in-zip path becomes one ticked entry of the check list. Exits 1 when the run showed any
// message other than the closing one.

#include "catalogue/catalogue.h"
#include "pipeline/customize.h"
#include "platform/paths.h"
#include "support/fake_gui.h"

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER ROM_ZIP IN_ZIP_PATH...\n", argv[0]);
        return 2;
    }
    FakeGui gui;
    gui.checks[ControlId::backupCheck] = true;
    gui.checks[ControlId::recoveryZipCheck] = true;
    gui.checks[ControlId::enableAddingCheck] = true;
    std::vector<std::unique_ptr<CatalogueEntry>> entries;
    for (int i = 3; i < argc; ++i) {
        auto entry = std::make_unique<CatalogueEntry>();
        entry->name = argv[i];
        entry->files = {argv[i]};
        const int row = gui.rowCount();
        gui.insertRow(row, entry->name + "\nApp");
        gui.setRowEntry(row, entry.get());
        gui.setRowState(row, RowState::ticked);
        entries.push_back(std::move(entry));
    }

    customize(gui, programPaths(argv[1]), argv[2]);

    const bool clean = gui.messages.size() == 1 && gui.messages[0].title == "Finish";
    if (!clean)
        for (const auto& message : gui.messages)
            std::fprintf(stderr, "%s: %s\n", message.title.c_str(), message.text.c_str());
    return clean ? 0 : 1;
}
