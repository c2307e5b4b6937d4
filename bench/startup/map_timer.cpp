// SPDX-License-Identifier: GPL-3.0-or-later
// Times programs from exec until their first top-level window is mapped, in one X server.
//   map_timer RUNS PROGRAM_A [ARGS...] -- PROGRAM_B [ARGS...]
// Runs A and B alternately (ABBA...) so that drift of the machine hits both alike, kills each
// once its window is mapped, and prints the median of each and the ratio A / B.
#include <X11/Xlib.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

double timeToMap(Display* x, std::vector<char*>& argv) {
    XSync(x, True);  // drop what earlier runs left
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "can't start %s\n", argv[0]);
        std::exit(1);
    }
    XEvent event;
    for (;;) {
        XNextEvent(x, &event);
        if (event.type == MapNotify) break;
    }
    const auto mapped = std::chrono::steady_clock::now();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    // Let the X server finish with the killed client before the next run starts, so that no
    // run shares the machine with the clean-up after the one before it.
    XSync(x, False);
    usleep(100 * 1000);
    return std::chrono::duration<double, std::milli>(mapped - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: map_timer RUNS A [ARGS...] -- B [ARGS...]\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    std::vector<char*> programs[2];
    int which = 0;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0 && which == 0) {
            which = 1;
            continue;
        }
        programs[which].push_back(argv[i]);
    }
    for (auto& program : programs) program.push_back(nullptr);

    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);

    std::vector<double> times[2];
    for (int run = 0; run < runs; ++run) {
        const int first = run % 2;
        for (int k : {first, 1 - first}) times[k].push_back(timeToMap(x, programs[k]));
    }
    const double a = median(times[0]), b = median(times[1]);
    std::printf("median A %.1f ms, median B %.1f ms, ratio A/B %.2f (%d runs each)\n", a, b, a / b,
                runs);
    XCloseDisplay(x);
    return 0;
}
