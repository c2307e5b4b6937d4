// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/process.h"

#include "tools/command_line.h"
#include "tools/error_lines.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace {

// The end of one child, shared by its handle and the thread that collects it, if any.
struct ChildEnd {
    explicit ChildEnd(pid_t id) : pid(id) {}
    ChildEnd(const ChildEnd&) = delete;
    ChildEnd& operator=(const ChildEnd&) = delete;
    ~ChildEnd() {
        if (pidfd >= 0) close(pidfd);
    }
    const pid_t pid;
    // With a pidfd, no thread collects the child: its end is looked at when someone asks, and
    // waited for by polling the pidfd.
    int pidfd = -1;
    std::mutex lock;
    std::condition_variable endedSignal;
    bool ended = false;
    int exitCode = -1;    // set with `ended`
    int signal = 0;       // set with `ended`: the signal that ended it, 0 for an exit
    bool killed = false;  // killProcess sent SIGKILL
};

// Under the child's lock: collects the child that `waited` and `info` (from waitid with WNOWAIT)
// say has ended, and records how.
void record(ChildEnd& child, int waited, const siginfo_t& info) {
    while (waitpid(child.pid, nullptr, 0) == -1 && errno == EINTR) {
    }
    if (waited == 0 && info.si_code == CLD_EXITED)
        child.exitCode = info.si_status;
    else if (waited == 0 && (info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED)) {
        child.exitCode = 128 + info.si_status;
        child.signal = info.si_status;
    }
    child.ended = true;
    child.endedSignal.notify_all();
}

void collect(ChildEnd& child) {
    siginfo_t info{};
    // WNOWAIT leaves the child a zombie until `ended` is set under the lock: killProcess can
    // then never signal a process id that has been handed on to another process.
    int waited = 0;
    while ((waited = waitid(P_PID, child.pid, &info, WEXITED | WNOWAIT)) == -1 && errno == EINTR) {
    }
    std::lock_guard guard(child.lock);
    record(child, waited, info);
}

// Under the child's lock: records the child's end if it has come, without waiting.
void lookAtEnd(ChildEnd& child) {
    if (child.ended || child.pidfd < 0) return;
    siginfo_t info{};
    int waited = 0;
    while ((waited = waitid(P_PID, child.pid, &info, WEXITED | WNOHANG | WNOWAIT)) == -1 &&
           errno == EINTR) {
    }
    if (waited == 0 && info.si_pid == 0) return;  // still running
    record(child, waited, info);
}

bool endedNow(ChildEnd& child) {
    std::lock_guard guard(child.lock);
    lookAtEnd(child);
    return child.ended;
}

bool startCollector(const std::shared_ptr<ChildEnd>& child) {
    try {
        std::thread([child] { collect(*child); }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// Waits at most `milliseconds` (a negative number: as long as it takes) for the child's end;
// true once it has come.
bool waitForEnd(ChildEnd& child, int milliseconds = -1) {
    if (child.pidfd >= 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            if (endedNow(child)) return true;
            int left = -1;
            if (milliseconds >= 0) {
                left = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now())
                                            .count());
                if (left <= 0) return false;
            }
            pollfd entry{child.pidfd, POLLIN, 0};
            poll(&entry, 1, left);
        }
    }
    std::unique_lock guard(child.lock);
    const auto ended = [&child] { return child.ended; };
    if (milliseconds < 0) {
        child.endedSignal.wait(guard, ended);
        return true;
    }
    return child.endedSignal.wait_for(guard, std::chrono::milliseconds(milliseconds), ended);
}

void closeEnd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// A close-on-exec pipe whose ends are never 0, 1 or 2, so that connecting a write end to the
// child's standard output or error can't clash with a standard stream the program lacks. Both
// ends are closed when it goes.
struct Pipe {
    int read = -1, write = -1;

    Pipe() = default;
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() {
        closeEnd(read);
        closeEnd(write);
    }

    // `roomy`: a pipe that holds a megabyte, so that a child that writes much (7z's listing of a
    // large ROM) goes on without waiting for every read; where the system refuses, the pipe keeps
    // its size.
    bool open(bool roomy) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return false;
        for (int& end : ends) {
            if (end > STDERR_FILENO) continue;
            const int moved = fcntl(end, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            const int error = errno;
            close(end);
            end = moved;
            errno = error;
        }
        read = ends[0];
        write = ends[1];
        if (roomy && read >= 0) fcntl(read, F_SETPIPE_SZ, 1 << 20);
        return read >= 0 && write >= 0;
    }
    void closeWrite() { closeEnd(write); }
};

// /dev/null to be the children's standard input, opened at the first start that gets it and
// kept, close-on-exec above the standard streams (a program started without a standard input
// would get 0 for it, which dup2 would leave as it is). -1, with errno set, when it can't be
// opened now; a later start tries again.
int emptyInputFile() {
    static std::atomic<int> kept{-1};
    if (const int file = kept.load(); file >= 0) return file;
    const int opened = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (opened < 0) return -1;
    const int moved = fcntl(opened, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    close(opened);
    errno = error;
    if (moved < 0) return -1;
    // Another thread's start may have kept one meanwhile: that one serves.
    int earlier = -1;
    if (kept.compare_exchange_strong(earlier, moved)) return moved;
    close(moved);
    return earlier;
}

// What the child leaves in the program's memory, which it borrows until exec, when it gives up.
// Left as it was, the child runs the program.
struct ChildReport {
    enum Stage : int { ran, enteringFolder, executing };
    int stage = ran;
    int error = 0;  // errno of the failed call
};

[[noreturn]] void reportAndExit(ChildReport& report, ChildReport::Stage stage) {
    report.error = errno;
    report.stage = stage;
    _exit(127);
}

// One captured stream: the non-blocking read end and the bytes taken in but not yet handed out.
struct Reader {
    int fd = -1;
    std::string held;
    bool ended = false;  // the stream has ended: no byte will come any more

    Reader() = default;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader() { closeEnd(fd); }

    bool waiting() const { return fd >= 0 && !ended; }

    // Takes in one chunk that the pipe offers now, without waiting; false when nothing came.
    bool takeAvailable() {
        if (!waiting()) return false;
        char buffer[16384];
        for (;;) {
            const ssize_t count = read(fd, buffer, sizeof buffer);
            if (count > 0) {
                held.append(buffer, static_cast<std::size_t>(count));
                return true;
            }
            if (count < 0 && errno == EINTR) continue;
            // A read error other than "nothing yet" can't be recovered: treat it as the end.
            if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) ended = true;
            return false;
        }
    }

    std::string takeLine(std::size_t feed) {
        std::string line = held.substr(0, feed);
        held.erase(0, feed + 1);
        return line;
    }
};

}  // namespace

class ProcessHandle {
public:
    ProcessHandle() = default;
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    // A child that no one looks at any more is still collected when it ends.
    ~ProcessHandle() {
        if (child && child->pidfd >= 0 && !endedNow(*child)) startCollector(child);
    }

    std::shared_ptr<ChildEnd> child;
    Reader output;
    Reader errors;
    ErrorLines errorLines{false};

    // Takes in everything the error stream offers now, without waiting.
    void takeErrors() {
        while (errors.takeAvailable()) {
            errorLines.take(errors.held);
            errors.held.clear();
        }
        if (errors.ended) errorLines.end();
    }

    // Waits until either stream brings something or ends; a negative time waits without limit.
    void waitForStreams(int milliseconds) const {
        pollfd entries[2];
        nfds_t count = 0;
        for (const Reader* reader : {&output, &errors})
            if (reader->waiting()) entries[count++] = pollfd{reader->fd, POLLIN, 0};
        // Captured streams that have both ended bring nothing more: no reason to wait.
        if (count == 0 && (output.fd >= 0 || errors.fd >= 0)) return;
        if (count == 0) {
            // Nothing captured: only the child's end can cut the wait short.
            waitForEnd(*child, milliseconds);
            return;
        }
        poll(entries, count, milliseconds < 0 ? -1 : milliseconds);
    }
};

void ProcessDeleter::operator()(ProcessHandle* handle) const { delete handle; }

namespace {

// Collects a child that no handle will hold; a wait cut short by a signal is taken up again.
void reap(pid_t pid) {
    while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
    }
}

// The child's side of the start, between vfork and exec: it borrows the program's memory and
// stack while the starting thread waits, so it makes only async-signal-safe calls and changes
// nothing but `report`.
// With a `parent` (not 0), the child is killed when that parent goes.
[[noreturn]] void runChild(const std::string& path, char* const* argv, const char* folder,
                           const sigset_t& signalMask, pid_t parent, ChildReport& report, int input,
                           const Pipe& output, const Pipe& errors) {
    // Killed with the program; a program already gone before the request is seen here.
    if (parent != 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
    }
    // A child that can't enter its folder must not run the program anywhere else: in the
    // program's current folder `7z a -r ... *` would pack whatever lies there.
    if (folder && chdir(folder) != 0) reportAndExit(report, ChildReport::enteringFolder);
    if (input >= 0) dup2(input, STDIN_FILENO);
    if (output.write >= 0) dup2(output.write, STDOUT_FILENO);
    if (errors.write >= 0) dup2(errors.write, STDERR_FILENO);
    // The child shares the program's memory until it runs the program: none of the program's
    // signal handlers may run in it, so every handled signal is set back to its default before
    // signals are let through. A program that ignores SIGPIPE for its own output must not hand
    // that on either: the child starts with every signal's default handling, as a program
    // expects.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction current {};
        if (signal == SIGKILL || signal == SIGSTOP || sigaction(signal, nullptr, &current) != 0)
            continue;
        if (signal == SIGPIPE || current.sa_handler != SIG_IGN)
            sigaction(signal, &byDefault, nullptr);
    }
    sigprocmask(SIG_SETMASK, &signalMask, nullptr);
    execve(path.c_str(), argv, environ);
    reportAndExit(report, ChildReport::executing);
}

// Everything runChild is handed.
struct ChildStart {
    const std::string& path;
    char* const* argv;
    const char* folder;
    const sigset_t& signalMask;
    pid_t parent;
    ChildReport& report;
    int input;
    const Pipe& output;
    const Pipe& errors;
};

// Starts the child; its id, or -1 with errno set. vfork, not fork: copying the program's memory
// map for a child that at once runs another program costs more than the rest of the runner's
// work. Signals are held back meanwhile so that no handler runs in the child while it shares the
// program's memory. Kept apart so that nothing of the caller's lives across the vfork.
[[gnu::noinline]] pid_t startChild(const ChildStart& start) {
    sigset_t allSignals, previous;
    sigfillset(&allSignals);
    pthread_sigmask(SIG_SETMASK, &allSignals, &previous);
    const pid_t pid = vfork();
    if (pid == 0)
        runChild(start.path, start.argv, start.folder, start.signalMask, start.parent, start.report,
                 start.input, start.output, start.errors);
    const int error = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return pid;
}

// The handle of a started child: it takes over the read ends of the pipes, made non-blocking.
ProcessPtr handleOf(std::shared_ptr<ChildEnd> child, Pipe& output, Pipe& errors) {
    ProcessPtr handle(new ProcessHandle);
    handle->child = std::move(child);
    handle->output.fd = std::exchange(output.read, -1);
    handle->errors.fd = std::exchange(errors.read, -1);
    // A fresh pipe's read end has no other status flag to keep.
    for (const int fd : {handle->output.fd, handle->errors.fd})
        if (fd >= 0) fcntl(fd, F_SETFL, O_NONBLOCK);
    return handle;
}

// The program's name and then its arguments, as execve takes them.
struct ArgumentVector {
    ArgumentVector(const std::string& program, const std::vector<std::string>& after)
        : arguments{program} {
        arguments.insert(arguments.end(), after.begin(), after.end());
        for (std::string& argument : arguments) pointers.push_back(argument.data());
        pointers.push_back(nullptr);
    }
    std::vector<std::string> arguments;
    std::vector<char*> pointers;
};

// The end of a running child, watched so that it is never left a zombie: a handle (`withHandle`)
// looks at it itself through a pidfd where the system has them; a child without one, or where
// there are none, is collected by a thread of its own. Null, with the child ended, when neither
// can be had.
std::shared_ptr<ChildEnd> watchedChild(pid_t pid, bool withHandle) {
    auto child = std::make_shared<ChildEnd>(pid);
    if (withHandle) child->pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (child->pidfd >= 0 || startCollector(child)) return child;
    // Without a collector the child would be left a zombie: end it before it does anything.
    kill(pid, SIGKILL);
    reap(pid);
    return nullptr;
}

StartResult startFailed(StartFailure failure, int error) {
    StartResult result;
    result.failure = failure;
    result.reason = std::generic_category().message(error);
    return result;
}

// A child that has run its program: watched and, with keepHandle, handed out with the read ends
// of its pipes.
StartResult startedChild(pid_t pid, unsigned options, Pipe& output, Pipe& errors) {
    const bool keep = (options & keepHandle) != 0;
    const std::shared_ptr<ChildEnd> child = watchedChild(pid, keep);
    if (!child) return startFailed(StartFailure::programNotRun, EAGAIN);
    StartResult result;
    result.started = true;
    if (!keep) return result;
    result.handle = handleOf(child, output, errors);
    return result;
}

}  // namespace

StartResult startProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory, unsigned options) {
    const std::string path = findProgram(program);
    if (path.empty()) return {false, StartFailure::programNotFound, "", {}};

    // Everything the child needs is made here: after fork it may only make async-signal-safe
    // calls, since the program has other threads.
    ArgumentVector argv(program, arguments);
    const char* folder = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
    sigset_t noSignals;
    sigemptyset(&noSignals);
    const pid_t endWith = (options & endWithProgram) ? getpid() : 0;

    const bool keep = (options & keepHandle) != 0;
    Pipe output, errors;
    if ((keep && (options & captureOutput) && !output.open(true)) ||
        (keep && (options & captureErrors) && !errors.open(false)))
        return startFailed(StartFailure::programNotRun, errno);
    const int input = (options & emptyInput) ? emptyInputFile() : -1;
    if ((options & emptyInput) && input < 0) return startFailed(StartFailure::programNotRun, errno);

    // vfork returns once the child has run the program or has given up, having said why here.
    ChildReport report;
    const ChildStart start{
        path, argv.pointers.data(), folder, noSignals, endWith, report, input, output, errors};
    const pid_t pid = startChild(start);
    const int forkError = errno;
    output.closeWrite();
    errors.closeWrite();
    if (pid < 0) return startFailed(StartFailure::programNotRun, forkError);
    if (report.stage != ChildReport::ran) {
        reap(pid);
        return startFailed(report.stage == ChildReport::enteringFolder
                               ? StartFailure::folderNotEntered
                               : StartFailure::programNotRun,
                           report.error);
    }

    return startedChild(pid, options, output, errors);
}

std::size_t availableOutput(ProcessHandle& process) {
    if (process.output.held.empty()) process.output.takeAvailable();
    return process.output.held.size();
}

std::string readOutputLine(ProcessHandle& process) {
    Reader& output = process.output;
    std::size_t searched = 0;
    for (;;) {
        const auto feed = output.held.find('\n', searched);
        if (feed != std::string::npos) return output.takeLine(feed);
        searched = output.held.size();
        if (!output.waiting()) {
            std::string rest = std::move(output.held);
            output.held.clear();
            return rest;
        }
        if (output.takeAvailable() || !output.waiting()) continue;
        // A child may fill its error stream before it ends the line: take that in meanwhile.
        process.waitForStreams(-1);
        process.takeErrors();
    }
}

bool outputLineReady(ProcessHandle& process) {
    Reader& output = process.output;
    output.takeAvailable();
    return output.held.find('\n') != std::string::npos ||
           (!output.waiting() && !output.held.empty());
}

std::string partialOutput(ProcessHandle& process) {
    process.output.takeAvailable();
    return process.output.held;
}

std::string takeOutput(ProcessHandle& process) {
    Reader& output = process.output;
    if (output.held.empty()) output.takeAvailable();
    return std::exchange(output.held, {});
}

std::string readErrorLine(ProcessHandle& process) {
    process.takeErrors();
    return process.errorLines.next();
}

bool streamsEnded(ProcessHandle& process) {
    Reader& output = process.output;
    if (output.fd < 0 && process.errors.fd < 0) return endedNow(*process.child);
    process.takeErrors();
    if (output.held.empty()) output.takeAvailable();
    return !output.waiting() && output.held.empty() && !process.errors.waiting() &&
           process.errorLines.empty();
}

int exitCode(ProcessHandle& process) {
    ChildEnd& child = *process.child;
    waitForEnd(child);
    std::lock_guard guard(child.lock);
    return child.exitCode;
}

bool hasEnded(ProcessHandle& process) { return endedNow(*process.child); }

void killProcess(ProcessHandle& process) {
    ChildEnd& child = *process.child;
    {
        std::lock_guard guard(child.lock);
        lookAtEnd(child);
        if (!child.ended) child.killed = kill(child.pid, SIGKILL) == 0;
    }
    waitForEnd(child);
}

int outsideSignal(ProcessHandle& process) {
    ChildEnd& child = *process.child;
    waitForEnd(child);
    std::lock_guard guard(child.lock);
    return child.killed && child.signal == SIGKILL ? 0 : child.signal;
}

void waitForOutput(ProcessHandle& process, int milliseconds) {
    process.waitForStreams(milliseconds);
}
