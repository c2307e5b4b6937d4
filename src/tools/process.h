// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// The process facility: starts a child with its arguments, watches it, reads its output and
// ends it. One implementation per platform (process_posix.cpp, process_win32.cpp).

enum StartOption : unsigned {
    hideWindow = 1u << 0,     // the child shows no window
    keepHandle = 1u << 1,     // hand out a ProcessHandle
    captureOutput = 1u << 2,  // the child's standard output goes to a pipe
    captureErrors = 1u << 3,  // the child's standard error goes to a pipe
    // The child never outlives the program, however the program ends (even killed outright).
    // On POSIX it goes when the thread that started it ends: start it from the one that waits.
    endWithProgram = 1u << 4,
    // The child's standard input is empty (/dev/null, NUL): a question it asks, such as 7z's
    // password prompt, reads the end at once instead of waiting on the user's terminal.
    emptyInput = 1u << 5,
};

// A started child with the readers on its pipes. Destroying it releases the pipes; a child
// that is still running is left to end on its own and is collected, never left a zombie.
class ProcessHandle;

struct ProcessDeleter {
    void operator()(ProcessHandle* handle) const;
};
using ProcessPtr = std::unique_ptr<ProcessHandle, ProcessDeleter>;

// Why startProcess started no child.
enum class StartFailure {
    none,
    programNotFound,   // the program itself was not found
    folderNotEntered,  // the working folder could not be entered: the program was not run
    programNotRun,     // the program was found but could not be run, or the start lacked means
};

struct StartResult {
    bool started = false;  // false: no child runs the program (see failure)
    StartFailure failure = StartFailure::none;
    std::string reason;  // the system's words for the failure, e.g. "Permission denied"; or ""
    ProcessPtr handle;   // only with keepHandle
};

// A child runs only in the working folder it is given, never in the program's own current folder
// instead: when that folder can't be entered, the program is not run (folderNotEntered). An
// empty `workingDirectory` leaves the child in the program's current folder; on Windows, what
// only the shell can open (a document, a URL) starts in the folder its path names, if any.
// The child gets `arguments` as they stand, after the program's name: on POSIX as its argv, on
// Windows joined by windowsCommandLine (tools/command_line.h).
StartResult startProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory, unsigned options);

// Standard-output bytes that can be read now without waiting.
std::size_t availableOutput(ProcessHandle& process);
// One line of standard output without its line end; waits until the line is complete or the
// output has ended. While it waits it takes in what the error stream brings (for readErrorLine),
// so a child that fills its error stream is never stalled.
std::string readOutputLine(ProcessHandle& process);
// True when readOutputLine would not wait: a whole line of standard output has arrived, or the
// output has ended with text left. Takes in what the pipe offers; never waits.
bool outputLineReady(ProcessHandle& process);
// The standard-output text that has arrived after the last whole line, without taking it; never
// waits. A child that redraws a line in place (7z's percentages) shows it here as it goes.
std::string partialOutput(ProcessHandle& process);
// Every standard-output byte that has arrived, line ends included, taken out at once; "" when
// none has. Never waits. For a reader that splits a long output itself.
std::string takeOutput(ProcessHandle& process);
// One complete error-stream line from what has arrived, or "" when none is complete; never
// waits. Once the stream has ended, text after its last line end is a line too. Empty lines are
// passed over, over-long lines cut and surplus lines dropped, as ErrorLines says
// (tools/error_lines.h).
std::string readErrorLine(ProcessHandle& process);
// True once both captured streams have ended and everything they brought has been handed out;
// the child may still be running. Without captured streams: once the child has ended. Never
// waits.
bool streamsEnded(ProcessHandle& process);
// Waits until the child has ended, then gives its exit code: the status it exited with; on POSIX
// 128 plus the signal's number when a signal ended it, on Windows -1 after killProcess. -1 when
// it can't be known (a child the Windows shell started without handing out its process).
int exitCode(ProcessHandle& process);
// True once the child has ended, whatever its streams still hold; never waits.
bool hasEnded(ProcessHandle& process);
// Ends the child at once; returns when it has ended.
void killProcess(ProcessHandle& process);
// Waits until the child has ended, then gives the signal that ended it when killProcess did not
// send it (someone else's kill, the out-of-memory killer, a crash); 0 when it ended on its own
// or by killProcess. Always 0 on Windows, where an end from outside leaves only an exit code.
int outsideSignal(ProcessHandle& process);
// Waits at most `milliseconds` (a negative number: as long as it takes) for new bytes, or the
// end, on either captured stream; returns early when something arrives. Without captured
// streams, waits for the child's end instead. Hands nothing out (what it may take in stays for
// the readers above).
void waitForOutput(ProcessHandle& process, int milliseconds);
