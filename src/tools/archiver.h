// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/progress_sink.h"

#include <string>
#include <utility>
#include <vector>

// One 7z command, kept as its parts until it is started: nothing ever reads a command back out
// of text. What every run gets (its progress switch and -y) the runner adds.
struct ArchiverCommand {
    ArchiverCommand(std::string verb, std::vector<std::string> switches, std::string archive,
                    std::vector<std::string> paths = {}, std::string extractInto = {})
        : verb(std::move(verb)),
          switches(std::move(switches)),
          archive(std::move(archive)),
          paths(std::move(paths)),
          extractInto(std::move(extractInto)) {}

    std::string verb;                   // a (add), d (delete), x (extract), t (test) or l (list)
    std::vector<std::string> switches;  // each whole, as 7z takes it: "-spd", "-i@/tmp/names"
    std::string archive;                // after "--", so a name starting with '-' is no switch
    std::vector<std::string> paths;     // after the archive: names to add, delete or extract
    std::string extractInto;            // x: the folder the files go to (its -o switch)
};

// The arguments 7z gets for `command`, after the program's name.
std::vector<std::string> archiverArguments(const ArchiverCommand& command);

// How a run of the archiver ended.
enum class ArchiverOutcome {
    succeeded,  // exit code 0 and the success line came last
    doubtful,   // exit code 0, some other last line: "Maybe there was an error ..."
    failed,     // an error line, a non-zero exit code, or 7z could not be started (in its
                // folder): "There was an error ..."
    stopped,    // the run was asked to stop: 7z was killed, its leftovers settled; no warning
};

// The title the user sees the runner's texts under.
inline constexpr const char* archiverWarningTitle = "Warning";

struct ArchiverResult {
    ArchiverOutcome outcome = ArchiverOutcome::succeeded;
    std::string warning;  // what to show under archiverWarningTitle; "" when all went well
};

// Runs the 7z archiver on `command`, reads its output and its error stream until both end, waits
// for its end and judges the outcome.
//
// Nothing is shown here: the result carries the text the user is to see under "Warning".
//
// 7z runs only in the folder the step names: when it can't be entered, 7z is not started, and
// the warning is the error intro and a line naming the folder: failed.
//
// An extraction into a folder that takes no files (the user may not write there) is not
// started either: the warning says the folder can't be written, with the system's reason.
//
// The first non-empty error-stream line kills it once 7z has ended or a short grace (half a second)
// has passed, so that the reason 7z writes after it is seen; that line and the next few make the
// warning: failed. A 7z that a signal from outside ended (a kill, the out-of-memory killer) gives
// "7z was ended from outside (signal " and the number: failed. Otherwise any non-zero exit code
// (7z's 1 for a warning such as a file it could not read, 2 fatal error, 7 bad command line, 8 out
// of memory, 255 stopped by the user) gives "7z ended with code " and the number: failed, also
// after the success line. Otherwise a last output line other than "everything is ok" (any case,
// blanks around it) gives "Maybe there was an error ...": doubtful. An extraction (`x`) or a test
// (`t`) may follow the success line with 7z's summary of what it read ("Files: 2", "Size: 15",
// ...).
//
// A killed 7z, whoever killed it, leaves its temporary archive beside the command's archive (its
// name followed by ".tmp", or ".tmp1", ... when that was taken): after the runner's kill and after
// any end with a non-zero exit code, that file is removed, or renamed into place when 7z had
// already deleted the archive to put it there. Files of those names that were there before the run
// are never touched.
//
// 7z's standard input is empty: a password it would ask for (an encrypted entry) reads the end,
// and 7z fails with its own reason instead of waiting on the user's terminal.
//
// An empty `workingDirectory` runs 7z in the program's current folder on Linux and in 7z.exe's
// own folder on Windows: only for steps that name every path in full. `program` is the archiver
// to start (ProgramPaths::archiverProgram).
//
// With `progress`, 7z is asked for its percentages in place of -bd, and each new one
// is handed to `progress` while 7z works; the outcome is judged as without. Its carryOn, when
// set, is asked while 7z works; false kills 7z, settles its temporary archive as above: stopped.
ArchiverResult runArchiver(const std::string& program, const ArchiverCommand& command,
                           const std::string& workingDirectory, const ProgressSink& progress = {});
