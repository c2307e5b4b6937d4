// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/process.h"

#include "platform/windows_error.h"
#include "tools/command_line.h"
#include "tools/error_lines.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

namespace {

// One captured stream: the parent's end of the pipe, read with overlapped reads so that a wait
// can block on their events, and the bytes taken in but not yet handed out.
struct PipeReader {
    HANDLE pipe = nullptr;
    HANDLE event = nullptr;  // signalled when the read in flight completes
    OVERLAPPED overlapped{};
    bool reading = false;  // a read is in flight into `buffer`
    char buffer[16384];
    std::string held;
    bool ended = true;
    // A line was handed out at a carriage return that ended the bytes read so far: a line feed
    // arriving next belongs to that line end.
    bool dropLineFeed = false;

    PipeReader() = default;
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;
    ~PipeReader() { close(); }

    void start(HANDLE readEnd) {
        pipe = readEnd;
        event = pipe ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
        ended = !pipe || !event;
    }

    void close() {
        // The system writes into `buffer` until a read in flight is over: end it first.
        if (reading) {
            DWORD got = 0;
            CancelIoEx(pipe, &overlapped);
            GetOverlappedResult(pipe, &overlapped, &got, TRUE);
            reading = false;
        }
        if (event) CloseHandle(event);
        if (pipe) CloseHandle(pipe);
        event = pipe = nullptr;
    }

    void take(const char* bytes, DWORD count) {
        held.append(bytes, count);
        if (dropLineFeed && !held.empty()) {
            if (held.front() == '\n') held.erase(0, 1);
            dropLineFeed = false;
        }
    }

    // Takes in what the read that was started has brought: false while it is in flight or when
    // the stream has ended (a broken pipe; any other failure can't be recovered either).
    bool collect() {
        DWORD got = 0;
        if (GetOverlappedResult(pipe, &overlapped, &got, FALSE)) {
            reading = false;
            take(buffer, got);
            return true;
        }
        reading = GetLastError() == ERROR_IO_INCOMPLETE;
        ended = !reading;
        return false;
    }

    // Starts a read unless one is in flight or the stream has ended; true when it brought bytes
    // at once.
    bool arm() {
        if (ended || reading) return false;
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event;
        if (ReadFile(pipe, buffer, sizeof buffer, nullptr, &overlapped)) return collect();
        reading = GetLastError() == ERROR_IO_PENDING;
        ended = !reading;
        return false;
    }

    // Takes in one chunk that has arrived, without waiting, and leaves a read in flight for the
    // next; false when nothing came.
    bool takeArrived() {
        if (ended) return false;
        if (!reading) return arm();
        if (!collect()) return false;
        arm();
        return true;
    }

    // Takes in everything that has arrived, without waiting.
    bool fillAvailable() {
        bool took = false;
        while (takeArrived()) took = true;
        return took;
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

// A pipe whose write end the child inherits and writes to as to any file, and whose read end
// stays the parent's alone. It is a named pipe, unique to this program, since only those can be
// read with overlapped reads, and so waited on together with the child's end.
struct Pipe {
    HANDLE read = nullptr, write = nullptr;

    bool open() {
        static std::atomic<unsigned> made{0};
        const std::string name = "\\\\.\\pipe\\slimkit-" + std::to_string(GetCurrentProcessId()) +
                                 "-" + std::to_string(made++);
        // One instance, made here first: no other program can take this pipe's place or its
        // other end.
        read = CreateNamedPipeA(
            name.c_str(),
            PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
        if (read == INVALID_HANDLE_VALUE) {
            read = nullptr;
            return false;
        }
        SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
        write = CreateFileA(name.c_str(), GENERIC_WRITE, 0, &security, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (write == INVALID_HANDLE_VALUE) {
            write = nullptr;
            const DWORD error = GetLastError();
            closeRead();
            SetLastError(error);
            return false;
        }
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
        while (errors.takeArrived()) {
            errorLines.take(errors.held);
            errors.held.clear();
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
    result.handle->output.start(std::exchange(output.read, nullptr));
    result.handle->errors.start(std::exchange(errors.read, nullptr));
    return result;
}

// CreateProcessA, the child suspended when it is to go into a job first; 0, or the error.
// Wine, on a busy machine, now and then refuses a start with ERROR_INTERNAL_ERROR, having
// started nothing: such a start is tried again, a few times.
DWORD createProcess(std::string& commandLine, bool inherit, bool suspended,
                    const std::string& workingDirectory, STARTUPINFOA& startup,
                    PROCESS_INFORMATION& started) {
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, inherit ? TRUE : FALSE,
                           NORMAL_PRIORITY_CLASS | (suspended ? CREATE_SUSPENDED : 0), nullptr,
                           workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                           &started))
            return 0;
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 3) return error;
        Sleep(100);
    }
}

}  // namespace

StartResult startProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory, unsigned options) {
    // A child that can't enter its folder must not run anywhere else: in another folder
    // `7z a -r ... *` would pack whatever lies there. Windows makes no folder current whose path
    // reaches its old limit, however long the paths of the files inside may be.
    if (workingDirectory.size() >= MAX_PATH - 1)
        return startFailed(StartFailure::folderNotEntered, ERROR_FILENAME_EXCED_RANGE);
    if (!workingDirectory.empty())
        if (const DWORD error = folderError(workingDirectory))
            return startFailed(StartFailure::folderNotEntered, error);

    const std::string parameters = windowsCommandLine(arguments);
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
    const DWORD startError =
        createProcess(commandLine, captured || input, inJob, workingDirectory, startup, started);
    const bool created = startError == 0;
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

std::size_t availableOutput(ProcessHandle& process) {
    // A line feed that completes an earlier carriage return is no output of its own: it is taken
    // in (and dropped) with what has arrived before anything is counted.
    process.output.fillAvailable();
    return process.output.held.size();
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
        if (output.fillAvailable()) continue;
        // A child may fill its error stream before it ends the line: take that in meanwhile.
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
    output.fillAvailable();
    return output.ended && output.held.empty() && process.errors.ended &&
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
    // Blocks on the events of the reads in flight on both streams and on the child's end, which
    // cuts the wait short so that its last output is read at once. A read that brings bytes as
    // it starts, or has ended unseen, cuts it short too. Once the child has ended, a child of its
    // own may still hold the pipes: only they are waited on.
    HANDLE waited[3];
    DWORD count = 0;
    for (PipeReader* reader : {&process.output, &process.errors}) {
        if (reader->arm()) return;
        if (reader->reading) waited[count++] = reader->event;
    }
    // Captured streams that have both ended bring nothing more: no reason to wait.
    if (count == 0 && (process.output.pipe || process.errors.pipe)) return;
    if (!process.hasEnded()) waited[count++] = process.process;
    if (count == 0) return;
    WaitForMultipleObjects(count, waited, FALSE,
                           milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
}
