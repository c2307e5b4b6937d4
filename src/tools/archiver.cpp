// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/archiver.h"

#include "platform/ascii.h"
#include "platform/file_layer.h"
#include "platform/paths.h"
#include "tools/process.h"

#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

constexpr const char* successLine = "everything is ok";
constexpr const char* errorIntro = "There was an error while zip - processing: \r";
constexpr const char* doubtText =
    "Maybe there was an error with the zip - processing, please check";
// While 7z is silent, a front-end that is to be asked whether to go on (a window that repaints,
// a stop to be heard) is asked this often; without one, the runner sleeps until 7z writes or ends.
constexpr int askMilliseconds = 40;
constexpr std::size_t shownErrorLines = 5;
// How long 7z may go on writing the reason of a failure after its first error line.
constexpr auto reasonGrace = std::chrono::milliseconds(500);

std::string startFailureText(const std::string& program, const std::string& folder,
                             const StartResult& start) {
    const std::string reason = start.reason.empty() ? "" : " (" + start.reason + ")";
    switch (start.failure) {
        case StartFailure::folderNotEntered:
            return "7z could not be started in the folder \"" + folder + "\"" + reason + ".";
        case StartFailure::programNotFound: {
            std::string text =
                "The 7z archiver could not be started: \"" + program + "\" was not found";
            if (program.find_first_of("/\\") == std::string::npos)
                text += " on the search path (PATH)";
            return text + ".";
        }
        default:
            return "The 7z archiver could not be started" + reason + ".";
    }
}

// 7z ends an extraction with the success line, a blank line and counts of what it extracted.
bool isExtractionSummary(const std::string& line) {
    if (line.empty()) return true;
    for (const std::string_view count : {"Folders:", "Files:", "Size:", "Compressed:"})
        if (line.starts_with(count)) return true;
    return false;
}

// A line as a terminal would show it: 7z redraws its percentages by stepping back with
// backspaces and writing over them.
std::string visibleText(const std::string& line) {
    if (line.find('\b') == std::string::npos) return line;
    std::string shown;
    std::size_t cursor = 0;
    for (const char c : line) {
        if (c == '\b') {
            if (cursor > 0) --cursor;
            continue;
        }
        if (cursor < shown.size())
            shown[cursor] = c;
        else
            shown += c;
        ++cursor;
    }
    return shown;
}

// The last percentage shown in 7z's unfinished output line ("42% 3 + system/app/A.apk"), or -1.
int lastPercentage(const std::string& partial) {
    const std::string shown = visibleText(partial);
    for (auto sign = shown.rfind('%'); sign != std::string::npos && sign > 0;
         sign = shown.rfind('%', sign - 1)) {
        std::size_t start = sign;
        while (start > 0 && shown[start - 1] >= '0' && shown[start - 1] <= '9') --start;
        if (start < sign && sign - start <= 3) return std::stoi(shown.substr(start, sign - start));
        if (sign == 0) break;
    }
    return -1;
}

bool isAbsolute(const std::string& path) {
    return path.starts_with('/') || path.starts_with('\\') || (path.size() > 1 && path[1] == ':');
}

// The command's archive where 7z finds it: a relative name is taken in the folder 7z runs in.
std::string archiveLocation(const std::string& archive, const std::string& folder) {
    if (archive.empty() || folder.empty() || isAbsolute(archive)) return archive;
    const bool separated = folder.back() == '/' || folder.back() == '\\';
    return folder + (separated ? "" : std::string(1, pathSeparator)) + archive;
}

// Why 7z could not extract into `folder`, or "" when it can: a folder that takes no files would
// leave 7z to fail on each one with an error that doesn't name the folder ("errno=2 : No such
// file or directory" for a file in a subfolder it could not make).
std::string extractionFolderFault(const std::string& folder) {
    if (folder.empty() || !folderExists(folder)) return "";
    const std::string reason = whyFolderIsNotWritable(folder);
    if (reason.empty()) return "";
    return "7z can't extract into the folder \"" + folder + "\": it can't be written (" + reason +
           ").";
}

// What a killed 7z may have left beside the archive it was rewriting: its temporary archive,
// named as 7z names it, at the first of archive.tmp, archive.tmp1, ... that was free at its start.
class TemporaryArchive {
public:
    explicit TemporaryArchive(std::string archive) : archive_(std::move(archive)) {
        if (archive_.empty()) return;
        archiveExisted_ = pathExists(archive_);
        for (unsigned n = 0; name_.empty(); ++n) {
            std::string candidate = archive_ + ".tmp" + (n ? std::to_string(n) : "");
            if (!pathExists(candidate)) name_ = std::move(candidate);
        }
    }

    void settleAfterKill() const {
        if (name_.empty() || !pathExists(name_)) return;
        // 7z deletes the archive only right before it renames its finished temporary file into
        // place: without the archive, that file is the whole new archive.
        if (archiveExisted_ && !pathExists(archive_))
            renameFile(name_, archive_);
        else
            removeFile(name_);
    }

private:
    std::string archive_;
    std::string name_;
    bool archiveExisted_ = false;
};

// A crashed 7z.exe ends with an NTSTATUS code such as 0xC0000005, which an int holds as a
// negative number: it is shown as Windows tools show it.
std::string exitCodeText(int code) {
#ifdef _WIN32
    if (code < 0) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
        return text;
    }
#endif
    return std::to_string(code);
}

// What 7z brought in read mode before its streams ended or it was killed.
struct ArchiverOutput {
    std::string lastLine;                 // an extraction's closing summary left out
    std::vector<std::string> errorLines;  // the first one killed 7z
    bool stopped = false;                 // the run was asked to stop: 7z was killed
};

// 7z gives a failure's reason on the lines after its first ("System ERROR:", then
// "errno=28 : No space left on device"): they are taken in until 7z ends or a short grace has
// passed.
void collectReason(ProcessHandle& process, std::vector<std::string>& lines) {
    const auto deadline = std::chrono::steady_clock::now() + reasonGrace;
    for (auto now = std::chrono::steady_clock::now(); !streamsEnded(process) && now < deadline;
         now = std::chrono::steady_clock::now()) {
        takeOutput(process);
        std::string line = readErrorLine(process);
        if (line.empty())
            waitForOutput(
                process, static_cast<int>(
                             std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count()));
        else if (lines.size() < shownErrorLines)
            lines.push_back(std::move(line));
    }
}

// Reads both streams until both end, so neither can fill up and stall 7z, and an error line
// written after the last output line is still seen. The first error line, with the reason that
// follows it, kills 7z, and so does a wish to stop; the percentages go to `progress` on the way.
ArchiverOutput readArchiverOutput(ProcessHandle& process, bool extracting,
                                  const ProgressSink& progress) {
    ArchiverOutput output;
    int percent = -1;
    while (!streamsEnded(process)) {
        if (availableOutput(process) > 0 && (!progress || outputLineReady(process))) {
            std::string line(trimmed(visibleText(readOutputLine(process)), " "));
            const bool summary = extracting && lowerAscii(output.lastLine) == successLine &&
                                 isExtractionSummary(line);
            if (!summary) output.lastLine = std::move(line);
            continue;
        }
        if (progress) {
            const int now = lastPercentage(partialOutput(process));
            if (now >= 0 && now != percent) progress.percent(percent = now);
        }
        // 7z may have finished while the user was asked whether to stop: its step then stands
        // as it went, and the run stops before the next one.
        if (progress.carryOn && !progress.carryOn() && !hasEnded(process)) {
            killProcess(process);
            output.stopped = true;
            return output;
        }
        std::string errorLine = readErrorLine(process);
        if (!errorLine.empty()) {
            output.errorLines.push_back(std::move(errorLine));
            collectReason(process, output.errorLines);
            killProcess(process);
            // What 7z had written before it was stopped.
            while (output.errorLines.size() < shownErrorLines &&
                   !(errorLine = readErrorLine(process)).empty())
                output.errorLines.push_back(std::move(errorLine));
            return output;
        }
        waitForOutput(process, progress.carryOn ? askMilliseconds : -1);
    }
    return output;
}

// The outcome of a read-mode run that 7z ended with exit code `code`.
ArchiverResult judged(const ArchiverOutput& output, int code) {
    if (!output.errorLines.empty()) {
        std::string text = errorIntro + output.errorLines.front();
        for (std::size_t i = 1; i < output.errorLines.size(); ++i)
            text += "\r" + output.errorLines[i];
        return {ArchiverOutcome::failed, text};
    }
    // 7z's exit codes: 1 for a warning (some file could not be read), 2 for a fatal error, 7 for
    // a bad command line, 8 for lack of memory, 255 when stopped by the user. Every one of them
    // means the step did not do all it was asked to.
    if (code != 0)
        return {ArchiverOutcome::failed, errorIntro + ("7z ended with code " + exitCodeText(code))};
    if (lowerAscii(output.lastLine) != successLine) return {ArchiverOutcome::doubtful, doubtText};
    return {};
}

}  // namespace

std::vector<std::string> archiverArguments(const ArchiverCommand& command) {
    std::vector<std::string> arguments{command.verb};
    arguments.insert(arguments.end(), command.switches.begin(), command.switches.end());
    if (!command.extractInto.empty()) arguments.push_back("-o" + command.extractInto);
    arguments.push_back("--");
    arguments.push_back(command.archive);
    arguments.insert(arguments.end(), command.paths.begin(), command.paths.end());
    return arguments;
}

ArchiverResult runArchiver(const std::string& program, const ArchiverCommand& command,
                           const std::string& workingDirectory, const ProgressSink& progress) {
    std::string folder = workingDirectory;
#ifdef _WIN32
    // The Windows build's archiver runs in its own folder unless a step names another.
    if (folder.empty()) folder = folderOfPath(program);
#endif

    if (const std::string fault = extractionFolderFault(command.extractInto); !fault.empty())
        return {ArchiverOutcome::failed, errorIntro + fault};

    // No question waits for an answer (-y); 7z shows its percentages (-bsp1), redrawn in place
    // on its output line, only when they are wanted, and no progress at all (-bd) otherwise.
    std::vector<std::string> arguments = archiverArguments(command);
    arguments.insert(arguments.begin() + 1, {progress ? "-bsp1" : "-bd", "-y"});
    const TemporaryArchive leftover(archiveLocation(command.archive, folder));
    StartResult start = startProcess(
        program, arguments, folder,
        hideWindow | keepHandle | captureOutput | captureErrors | endWithProgram | emptyInput);
    if (!start.handle)
        return {ArchiverOutcome::failed, errorIntro + startFailureText(program, folder, start)};
    // An extraction and a test both end with 7z's summary of what they read.
    const bool extracting = command.verb == "x" || command.verb == "t";
    const ArchiverOutput output = readArchiverOutput(*start.handle, extracting, progress);
    // 7z was killed: it leaves its temporary archive behind.
    if (output.stopped || !output.errorLines.empty()) leftover.settleAfterKill();
    if (output.stopped) return {ArchiverOutcome::stopped, ""};
    const int code = exitCode(*start.handle);
    // A stop signal from a terminal reaches 7z too, which then ends on its own with an error.
    if ((code != 0 || !output.errorLines.empty()) && progress.carryOn && !progress.carryOn()) {
        leftover.settleAfterKill();
        return {ArchiverOutcome::stopped, ""};
    }
    if (code == 0 || !output.errorLines.empty()) return judged(output, code);
    // A 7z ended by someone else (a kill, the out-of-memory killer) leaves its temporary archive
    // as one the runner killed does. One that failed on its own has removed it already.
    leftover.settleAfterKill();
    if (const int signal = outsideSignal(*start.handle))
        return {ArchiverOutcome::failed,
                errorIntro + ("7z was ended from outside (signal " + std::to_string(signal) +
                              ") before it finished this step.")};
    return judged(output, code);
}
