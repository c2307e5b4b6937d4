// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/archive_listing.h"

#include "platform/text.h"
#include "tools/archiver.h"
#include "tools/process.h"

#include <charconv>
#include <string_view>
#include <utility>

namespace {

// While 7z is silent, a caller that is to be asked whether to go on is asked this often.
constexpr int askMilliseconds = 40;

// Splits "Key = value"; false for any other line.
bool splitProperty(std::string_view line, std::string_view& key, std::string_view& value) {
    const auto equals = line.find(" = ");
    if (equals == std::string::npos) {
        // A property with no value ("CRC = ") loses its trailing blank to nothing: keep it.
        if (!line.ends_with(" =")) return false;
        key = line.substr(0, line.size() - 2);
        value = {};
        return true;
    }
    key = line.substr(0, equals);
    value = line.substr(equals + 3);
    return true;
}

// "Attributes = A_ -rw-r--r--": the Unix mode, when the zip keeps one, ends the value.
bool attributesSayLink(std::string_view value) {
    const auto blank = value.rfind(' ');
    const std::string_view mode = blank == std::string_view::npos ? value : value.substr(blank + 1);
    return mode.size() == 10 && mode[0] == 'l';
}

void takeEntryProperty(ArchiveEntry& entry, std::string_view key, std::string_view value) {
    if (key == "Folder") entry.isFolder = value == "+";
    if (key == "CRC") entry.crc = std::string(value);
    if (key == "Size") std::from_chars(value.data(), value.data() + value.size(), entry.size);
    if (key == "Packed Size")
        std::from_chars(value.data(), value.data() + value.size(), entry.packedSize);
    if (key == "Encrypted") entry.encrypted = value == "+";
    if (key == "Attributes") entry.isLink = attributesSayLink(value);
}

// The entries, from the listing's lines, taken one at a time as they arrive. Every entry starts
// with its "Path = " line; 7z writes the line breaks of names and comments as '_', so no text of
// the zip can start a line of its own.
class ListingParser {
public:
    void line(std::string_view line) {
        if (line.ends_with('\r')) line.remove_suffix(1);
        std::string_view key, value;
        if (!splitProperty(line, key, value)) return;
        if (key == "Path")
            entries_.push_back({std::string(value), 0, 0, "", false, false, false});
        else if (!entries_.empty())
            takeEntryProperty(entries_.back(), key, value);
    }

    std::vector<ArchiveEntry> finish() { return std::move(entries_); }

private:
    std::vector<ArchiveEntry> entries_;
};

ArchiveListing stoppedListing() {
    ArchiveListing listing;
    listing.archiverStarted = listing.stopped = true;
    return listing;
}

}  // namespace

PendingListing::PendingListing(const std::string& program, const std::string& archive) {
    // The names come back in the form the program hands them to 7z, so the two can be compared.
    const char* charset = archiverNamesAreUtf8() ? "-sccUTF-8" : "-sccWIN";
    // The listing writes nothing and names the archive by its whole path: 7z runs in the
    // program's own current folder, where no folder has to be made current, as a ROM's folder
    // deeper than Windows' old path limit could not be.
    const ArchiverCommand listing{"l", {"-ba", "-slt", "-tzip", "-spd", charset}, archive};
    process_ = startProcess(program, archiverArguments(listing), "",
                            hideWindow | keepHandle | captureOutput | captureErrors |
                                endWithProgram | emptyInput)
                   .handle;
}

PendingListing::~PendingListing() {
    if (process_) killProcess(*process_);
}

ArchiveListing PendingListing::finish(const std::function<bool()>& carryOn) {
    if (!process_) return {};
    const ProcessPtr owned = std::move(process_);
    ProcessHandle& process = *owned;
    ListingParser parser;
    std::string pending;  // output after the last line end
    bool errorWritten = false;
    // Both streams are read to their end: 7z may report an error just before it ends. The
    // listing of a large ROM runs to tens of thousands of lines: they are taken in a whole pipe's
    // worth at a time, and parsed as they come.
    while (!streamsEnded(process)) {
        if (std::string bytes = takeOutput(process); !bytes.empty()) {
            pending += bytes;
            const std::string_view text = pending;
            std::size_t start = 0;
            for (auto feed = text.find('\n'); feed != std::string_view::npos;
                 feed = text.find('\n', start)) {
                parser.line(text.substr(start, feed - start));
                start = feed + 1;
            }
            pending.erase(0, start);
            continue;
        }
        if (!readErrorLine(process).empty()) {
            errorWritten = true;
            continue;
        }
        if (carryOn && !hasEnded(process) && !carryOn()) {
            killProcess(process);
            return stoppedListing();
        }
        waitForOutput(process, carryOn ? askMilliseconds : -1);
    }
    if (!pending.empty()) parser.line(pending);
    ArchiveListing listing;
    listing.entries = parser.finish();
    listing.archiverStarted = true;
    listing.readable = !errorWritten && exitCode(process) == 0;
    // A stop signal from a terminal reaches 7z too, which then ends on its own with an error.
    if (!listing.readable && carryOn && !carryOn()) return stoppedListing();
    return listing;
}

ArchiveListing listArchive(const std::string& program, const std::string& archive,
                           const std::function<bool()>& carryOn) {
    return PendingListing(program, archive).finish(carryOn);
}
