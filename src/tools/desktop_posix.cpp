// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/desktop.h"

#include "tools/command_line.h"

#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

extern char** environ;

void openWithDesktop(const std::string& target) {
    const std::string opener = findProgram("xdg-open");
    if (opener.empty()) return;
    std::string name = "xdg-open";
    std::string argument = target;
    char* argv[] = {name.data(), argument.data(), nullptr};
    sigset_t noSignals;
    sigemptyset(&noSignals);

    // The handler's parent ends at once, so the handler is adopted and collected by the system
    // and the program neither waits for it nor keeps a zombie. After fork only
    // async-signal-safe calls: the program has other threads.
    const pid_t middle = fork();
    if (middle == 0) {
        if (fork() == 0) {
            setsid();
            sigprocmask(SIG_SETMASK, &noSignals, nullptr);
            execve(opener.c_str(), argv, environ);
            _exit(127);
        }
        _exit(0);
    }
    if (middle > 0)
        while (waitpid(middle, nullptr, 0) == -1 && errno == EINTR) {
        }
}
