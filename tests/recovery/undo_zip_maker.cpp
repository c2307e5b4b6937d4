// Makes an undo zip the way a customize run does, for the recovery tests to flash:
//   undo_zip_maker <program folder> <rom zip> <in-zip path>...
// The program folder holds app/undo/undo.zip and app/undo/files/. One ticked "App" row holds
// the paths; createUndoZip writes <rom zip>_undo.zip. Every message box the run shows is
// printed and makes the exit status 1.
#include "catalogue/catalogue.h"
#include "pipeline/undo_zip.h"
#include "platform/paths.h"
#include "support/fake_gui.h"
#include "tools/archive_listing.h"

#include <iostream>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: undo_zip_maker <program folder> <rom zip> <in-zip path>...\n";
        return 2;
    }
    std::string programFolder = argv[1];
    if (programFolder.back() != '/') programFolder += '/';

    CatalogueEntry entry;
    entry.name = "Removed apps";
    entry.files.assign(argv + 3, argv + argc);
    FakeGui gui;
    gui.checks[ControlId::recoveryZipCheck] = true;
    gui.insertRow(0, entry.name + "\nApp");
    gui.setRowEntry(0, &entry);
    gui.setRowState(0, RowState::ticked);

    const ProgramPaths paths = programPaths(programFolder);
    const ArchiveListing rom = listArchive(paths.archiverProgram, argv[2]);
    const bool made = !createUndoZip(gui, paths, argv[2], rom.entries).empty();
    for (const auto& message : gui.messages)
        std::cerr << message.title << ": " << message.text << '\n';
    return made && gui.messages.empty() ? 0 : 1;
}
