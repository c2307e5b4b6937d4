// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one whole customize (backup, undo zip, removal, adding) on a ROM zip, as the program does
// after "Customize!", without the window. For bench/customize_bench.sh.
//
//   customize_bench PROGRAM_FOLDER ROM_ZIP IN_ZIP_PATH...
//
// Each in-zip path becomes one ticked entry, removed as an app. Exits 1 when the run showed any
// message other than the closing one.

#include "catalogue/catalogue.h"
#include "pipeline/customize.h"
#include "pipeline/reporter.h"
#include "platform/paths.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

class RecordingReporter : public Reporter {
public:
    std::vector<std::pair<std::string, std::string>> messages;
    void status(const std::string&) override {}
    void message(const std::string& title, const std::string& text) override {
        messages.emplace_back(title, text);
    }
    void progress(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER ROM_ZIP IN_ZIP_PATH...\n", argv[0]);
        return 2;
    }
    CustomizeRequest request;
    request.romPath = argv[2];
    request.options = {true, true, true};
    std::vector<std::unique_ptr<CatalogueEntry>> entries;
    for (int i = 3; i < argc; ++i) {
        auto entry = std::make_unique<CatalogueEntry>();
        entry->name = argv[i];
        entry->files = {argv[i]};
        request.ticked.push_back({entry.get(), RemovalMode::app});
        entries.push_back(std::move(entry));
    }

    RecordingReporter reporter;
    customize(request, programPaths(argv[1]), reporter);

    const bool clean = reporter.messages.size() == 1 && reporter.messages[0].first == "Finish";
    if (!clean)
        for (const auto& [title, text] : reporter.messages)
            std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return clean ? 0 : 1;
}
