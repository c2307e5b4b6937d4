// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/process.h"

#include "platform/windows_error.h"
#include "tools/error_lines.h"

#include <windows.h>

#include <timeapi.h>

#include <algorithm>
#include <utility>

namespace {

// One captured stream: the parent's read end of the pipe and the bytes read but not yet handed
// out as a line.
struct PipeReader {
    HANDLE pipe = nullptr;
    std::string held;
    bool ended = true;
    // A line was handed out at a carriage return that ended the bytes read so far: a line feed
    // arriving next belongs to that line end.
    bool dropLineFeed = false;

    void close() {
        if (pipe) CloseHandle(pipe);
        pipe = nullptr;
    }

    void take(const char* bytes, DWORD count) {
        held.append(bytes, count);
        if (dropLineFeed && !held.empty()) {
            if (held.front() == '\n') held.erase(0, 1);
            dropLineFeed = false;
        }
    }

    DWORD pending() {
        DWORD available = 0;
        if (ended || !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            if (!ended && GetLastError() == ERROR_BROKEN_PIPE) ended = true;
            return 0;
        }
        return available;
    }

    // Reads what the pipe holds now, without waiting.
    void fillAvailable() {
        char buffer[4096];
        for (DWORD available = pending(); available > 0; available = pending()) {
            DWORD got = 0;
            if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) ||
                got == 0) {
                ended = true;
                return;
            }
            take(buffer, got);
        }
    }

    // Waits for at least one byte or the end of the stream.
    void fillWaiting() {
        char buffer[4096];
        DWORD got = 0;
        if (ended || !ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) || got == 0) {
            ended = true;
            return;
        }
        take(buffer, got);
    }

    // Cuts the first line out of `held`; false when no line end has arrived yet. A carriage
    // return followed by a line feed is one line end; neither is part of the line.
    bool cutLine(std::string& line) {
        const auto end = held.find_first_of("\r\n");
        if (end == std::string::npos) return false;
        line = held.substr(0, end);
        const bool carriageReturn = held[end] == '\r';
        held.erase(0, end + 1);
        if (carriageReturn) {
            if (held.empty())
                dropLineFeed = true;
            else if (held.front() == '\n')
                held.erase(0, 1);
        }
        return true;
    }
};

PipeReader startReader(HANDLE pipe) {
    PipeReader reader;
    reader.pipe = pipe;
    reader.ended = pipe == nullptr;
    return reader;
}

struct Pipe {
    HANDLE read = nullptr, write = nullptr;

    // The write end is inherited by the child; the read end stays the parent's alone.
    bool open() {
        SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
        if (!CreatePipe(&read, &write, &security, 65536)) return false;
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        return true;
    }
    void closeRead() {
        if (read) CloseHandle(read);
        read = nullptr;
    }
    void closeWrite() {
        if (write) CloseHandle(write);
        write = nullptr;
    }
};

// 0 when `folder` is a folder, else the error that says why it can't be a working folder.
DWORD folderError(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ERROR_DIRECTORY;
}

StartResult startFailed(StartFailure failure, DWORD error) {
    StartResult result;
    result.failure = failure;
    result.reason = windowsErrorText(error);
    return result;
}

// What the shell is handed may be a URL ("https://host/page"), whose '/' names no folder: only
// '\' splits it, unlike folderOfPath.
std::string folderOfProgram(const std::string& program) {
    const auto cut = program.find_last_of('\\');
    return cut != std::string::npos && cut > 0 ? program.substr(0, cut + 1) : std::string();
}

// The job that holds every child started with endWithProgram. Its handle is never closed: the
// system closes it when the program ends, however it ends, and that kills what is in it. Null
// when the system can't make one.
HANDLE childrenJob() {
    static const HANDLE job = [] {
        HANDLE made = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made && !SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits,
                                             sizeof limits)) {
            CloseHandle(made);
            made = nullptr;
        }
        return made;
    }();
    return job;
}

}  // namespace

class ProcessHandle {
public:
    HANDLE process = nullptr;
    DWORD id = 0;
    PipeReader output, errors;
    ErrorLines errorLines{true};

    // Takes in everything the error stream offers now, without waiting.
    void takeErrors() {
        char buffer[4096];
        for (DWORD available = errors.pending(); available > 0; available = errors.pending()) {
            DWORD got = 0;
            if (!ReadFile(errors.pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got,
                          nullptr) ||
                got == 0) {
                errors.ended = true;
                break;
            }
            errorLines.take(buffer, got);
        }
        if (errors.ended) errorLines.end();
    }

    ~ProcessHandle() {
        output.close();
        errors.close();
        if (process) CloseHandle(process);
    }

    bool hasEnded() const { return !process || WaitForSingleObject(process, 0) != WAIT_TIMEOUT; }
};

void ProcessDeleter::operator()(ProcessHandle* handle) const { delete handle; }

namespace {

StartResult startThroughShell(const std::string& program, const std::string& parameters,
                              const std::string& workingDirectory, unsigned options) {
    const std::string directory =
        workingDirectory.empty() ? folderOfProgram(program) : workingDirectory;
    SHELLEXECUTEINFOA shell{};
    shell.cbSize = sizeof shell;
    shell.fMask = SEE_MASK_NOCLOSEPROCESS;
    shell.lpVerb = "";
    shell.lpFile = program.c_str();
    shell.lpParameters = parameters.c_str();
    shell.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    shell.nShow = (options & hideWindow) ? SW_HIDE : SW_SHOWNORMAL;
    if (!ShellExecuteExA(&shell)) return startFailed(StartFailure::programNotRun, GetLastError());

    StartResult result;
    result.started = true;
    if (shell.hProcess && (options & waitForExit)) WaitForSingleObject(shell.hProcess, INFINITE);
    if (!(options & keepHandle)) {
        if (shell.hProcess) CloseHandle(shell.hProcess);
        return result;
    }
    result.handle.reset(new ProcessHandle);
    result.handle->process = shell.hProcess;
    result.handle->id = shell.hProcess ? GetProcessId(shell.hProcess) : 0;
    return result;
}

// NUL, opened for the child to inherit as its standard input; null when it can't be opened.
HANDLE openEmptyInput() {
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    const HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &security, OPEN_EXISTING, 0, nullptr);
    return input == INVALID_HANDLE_VALUE ? nullptr : input;
}

// The child's window and, when a stream is captured or its input is to be empty, its standard
// streams: a pipe's write end for a captured one, `input` (NUL) for an empty input, the
// program's own for the others.
STARTUPINFOA startupInfo(unsigned options, HANDLE input, const Pipe& output, const Pipe& errors) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = (options & hideWindow) ? SW_HIDE : SW_SHOWNORMAL;
    if ((options & (captureOutput | captureErrors)) || input) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = input ? input : GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output.write ? output.write : GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = errors.write ? errors.write : GetStdHandle(STD_ERROR_HANDLE);
    }
    return startup;
}

// Why CreateProcess failed with `startError`; a start without captured streams is then handed
// to the shell, which opens a document, a folder or a URL with its default handler.
StartResult afterFailedCreate(const std::string& program, const std::string& parameters,
                              const std::string& workingDirectory, unsigned options,
                              DWORD startError) {
    // The folder may have gone since it was looked at; the shell is not asked then either.
    if (!workingDirectory.empty() &&
        (startError == ERROR_DIRECTORY || folderError(workingDirectory) != 0))
        return startFailed(StartFailure::folderNotEntered, startError);
    if (options & (captureOutput | captureErrors)) {
        const bool missing =
            startError == ERROR_FILE_NOT_FOUND || startError == ERROR_PATH_NOT_FOUND;
        return startFailed(missing ? StartFailure::programNotFound : StartFailure::programNotRun,
                           startError);
    }
    return startThroughShell(program, parameters, workingDirectory, options);
}

// The child CreateProcess started: let go, or handed out with the read ends of its pipes.
StartResult startedChild(const PROCESS_INFORMATION& started, unsigned options, Pipe& output,
                         Pipe& errors) {
    if (options & waitForExit) WaitForSingleObject(started.hProcess, INFINITE);
    StartResult result;
    result.started = true;
    if (!(options & keepHandle)) {
        CloseHandle(started.hProcess);
        output.closeRead();
        errors.closeRead();
        return result;
    }
    result.handle.reset(new ProcessHandle);
    result.handle->process = started.hProcess;
    result.handle->id = started.dwProcessId;
    result.handle->output = startReader(output.read);
    result.handle->errors = startReader(errors.read);
    return result;
}

}  // namespace

StartResult startProcess(const std::string& program, const std::string& parameters,
                         const std::string& workingDirectory, unsigned options) {
    // A child that can't enter its folder must not run anywhere else: in another folder
    // `7z a -r ... *` would pack whatever lies there. Windows makes no folder current whose path
    // reaches its old limit, however long the paths of the files inside may be.
    if (workingDirectory.size() >= MAX_PATH - 1)
        return startFailed(StartFailure::folderNotEntered, ERROR_FILENAME_EXCED_RANGE);
    if (!workingDirectory.empty())
        if (const DWORD error = folderError(workingDirectory))
            return startFailed(StartFailure::folderNotEntered, error);

    std::string commandLine =
        !program.empty() && program.front() == '"' ? program : "\"" + program + "\"";
    if (!parameters.empty()) commandLine += " " + parameters;

    const bool captured = options & (captureOutput | captureErrors);
    Pipe output, errors;
    if (((options & captureOutput) && !output.open()) ||
        ((options & captureErrors) && !errors.open())) {
        const DWORD error = GetLastError();
        output.closeRead(), output.closeWrite(), errors.closeRead(), errors.closeWrite();
        return startFailed(StartFailure::programNotRun, error);
    }

    const HANDLE input = (options & emptyInput) ? openEmptyInput() : nullptr;
    if ((options & emptyInput) && !input) {
        const DWORD error = GetLastError();
        output.closeRead(), output.closeWrite(), errors.closeRead(), errors.closeWrite();
        return startFailed(StartFailure::programNotRun, error);
    }
    STARTUPINFOA startup = startupInfo(options, input, output, errors);
    PROCESS_INFORMATION started{};
    // Held until it is in the job, so that nothing it does escapes the job. A program that
    // already runs in a job of someone else's gets a nested one (Windows 8 and later); where
    // that is refused the child runs all the same.
    const bool inJob = (options & endWithProgram) && childrenJob();
    // Wine, on a busy machine, now and then refuses a start with ERROR_INTERNAL_ERROR, having
    // started nothing: such a start is tried again, a few times.
    BOOL created = FALSE;
    DWORD startError = 0;
    for (int attempt = 1;; ++attempt) {
        created = CreateProcessA(
            nullptr, commandLine.data(), nullptr, nullptr, captured || input ? TRUE : FALSE,
            NORMAL_PRIORITY_CLASS | (inJob ? CREATE_SUSPENDED : 0), nullptr,
            workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &started);
        startError = created ? 0 : GetLastError();
        if (startError != ERROR_INTERNAL_ERROR || attempt == 3) break;
        Sleep(100);
    }
    if (input) CloseHandle(input);
    // The parent's copies of the write ends must go, or the pipes never report their end.
    output.closeWrite();
    errors.closeWrite();
    if (!created) {
        output.closeRead();
        errors.closeRead();
        return afterFailedCreate(program, parameters, workingDirectory, options, startError);
    }
    if (inJob) {
        AssignProcessToJobObject(childrenJob(), started.hProcess);
        ResumeThread(started.hThread);
    }
    CloseHandle(started.hThread);
    return startedChild(started, options, output, errors);
}

bool hasEnded(ProcessHandle& process) { return process.hasEnded(); }

bool isProcessRunning(ProcessHandle& process) {
    if (!process.hasEnded()) return true;
    return !process.output.held.empty() || process.output.pending() > 0;
}

std::size_t availableOutput(ProcessHandle& process) {
    // A line feed that completes an earlier carriage return is no output of its own: until
    // something has arrived after that carriage return, there is nothing to read.
    PipeReader& output = process.output;
    if (output.dropLineFeed) {
        output.fillAvailable();
        if (output.dropLineFeed) return 0;
    }
    return output.held.size() + output.pending();
}

std::string readOutputLine(ProcessHandle& process) {
    PipeReader& output = process.output;
    std::string line;
    while (!output.cutLine(line)) {
        if (output.ended) {
            line = std::move(output.held);
            output.held.clear();
            return line;
        }
        if (output.pending() > 0) {
            output.fillWaiting();
            continue;
        }
        // Anonymous pipes can't be waited on together: a child may fill its error stream before
        // it ends the line, so take that in while waiting in short pauses.
        process.takeErrors();
        if (!output.ended) waitForOutput(process, -1);
    }
    return line;
}

bool outputLineReady(ProcessHandle& process) {
    PipeReader& output = process.output;
    output.fillAvailable();
    return output.held.find_first_of("\r\n") != std::string::npos ||
           (output.ended && !output.held.empty());
}

std::string partialOutput(ProcessHandle& process) {
    process.output.fillAvailable();
    return process.output.held;
}

std::string takeOutput(ProcessHandle& process) {
    PipeReader& output = process.output;
    output.fillAvailable();
    return std::exchange(output.held, {});
}

std::string readErrorLine(ProcessHandle& process) {
    process.takeErrors();
    return process.errorLines.next();
}

bool streamsEnded(ProcessHandle& process) {
    PipeReader& output = process.output;
    if (!output.pipe && !process.errors.pipe) return process.hasEnded();
    process.takeErrors();
    return output.pending() == 0 && output.ended && output.held.empty() && process.errors.ended &&
           process.errorLines.empty();
}

int exitCode(ProcessHandle& process) {
    if (!process.process) return -1;
    WaitForSingleObject(process.process, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.process, &code)) return -1;
    return static_cast<int>(code);
}

void killProcess(ProcessHandle& process) {
    if (process.process && TerminateProcess(process.process, static_cast<UINT>(-1)))
        WaitForSingleObject(process.process, INFINITE);
}

int outsideSignal(ProcessHandle&) { return 0; }

void waitForOutput(ProcessHandle& process, int milliseconds) {
    // Anonymous pipes can't be waited on: the pipes are looked at between pauses, with the timer
    // resolution raised so that the first pauses are not stretched to the default tick of about
    // 15 ms. A quiet child is looked at less and less often, down to every 16 ms; the child's
    // end cuts a pause short, so its last output is read at once.
    const ULONGLONG start = GetTickCount64();
    const auto quiet = [&process] {
        return process.output.pending() == 0 && process.errors.pending() == 0 &&
               !(process.output.ended && process.errors.ended);
    };
    timeBeginPeriod(1);
    for (DWORD pause = 1; quiet(); pause = std::min<DWORD>(pause * 2, 16)) {
        DWORD left = pause;
        if (milliseconds >= 0) {
            const ULONGLONG spent = GetTickCount64() - start;
            if (spent >= static_cast<ULONGLONG>(milliseconds)) break;
            left = std::min<DWORD>(pause, static_cast<DWORD>(milliseconds - spent));
        }
        // Once the child has ended (a child of its own may still hold the pipes), a plain pause.
        if (process.hasEnded())
            Sleep(left);
        else if (WaitForSingleObject(process.process, left) == WAIT_OBJECT_0)
            break;
    }
    timeEndPeriod(1);
}
