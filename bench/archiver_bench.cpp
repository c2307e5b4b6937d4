// SPDX-License-Identifier: GPL-3.0-or-later
// How much CPU the archive tool runner itself spends while a real 7z works, next to a loop that
// only waits on the same 7z's pipes with poll(), and beside bare 2 ms waits for as long as the
// runner took (the floor of a loop that wakes every 2 ms). The runner runs twice: alone, and as a
// run drives it, taking 7z's percentages and asking whether to go on. Children's time is not
// counted. The ways alternate within each round; medians are compared. Goal: the runner at most
// 1.1 times the poll-only loop.
//
//   archiver_bench [megabytes [rounds]]   (default 100 MiB, 5 rounds)
#include "support/shown_archiver.h"
#include "tools/archiver.h"
#include "tools/command_line.h"
#include "tools/process.h"

#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>
#include <vector>

extern char** environ;

namespace {

struct Cost {
    double cpuMs = 0;
    double wallMs = 0;
};

double cpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

template <typename Work>
Cost measure(Work work) {
    const double cpuBefore = cpuMilliseconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    work();
    Cost cost;
    cost.cpuMs = cpuMilliseconds() - cpuBefore;
    cost.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallBefore)
            .count();
    return cost;
}

// The same 7z run, with nothing but poll() on its pipes and reads of whatever arrives.
bool pollOnly(const std::string& folder, const std::string& zip) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    for (int fd : {out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::string program = "7z";
    std::vector<std::string> words = {"a", "-bd", "-y", "-mx=1", zip, "data.bin"};
    std::vector<char*> argv = {program.data()};
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string here = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "7z", &actions, nullptr, argv.data(), environ);
    std::filesystem::current_path(here);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) return false;
    pollfd entries[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    char buffer[16384];
    while (open > 0) {
        if (poll(entries, 2, -1) < 0 && errno != EINTR) break;
        for (pollfd& entry : entries) {
            if (entry.fd < 0 || !entry.revents) continue;
            if (read(entry.fd, buffer, sizeof buffer) <= 0) {
                close(entry.fd);
                entry.fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The floor of any loop that wakes every 2 ms: the same wall time spent in bare 2 ms waits.
void bareWaits(double wallMs) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::duration<double, std::milli>(wallMs);
    while (std::chrono::steady_clock::now() < end) poll(nullptr, 0, 2);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Where the runner's own CPU goes outside its waits: the parts of a start, each repeated, in CPU
// milliseconds per start, beside posix_spawnp() of the same program as the poll-only loop uses.
void startParts(const std::string& folder) {
    const int times = 200;
    const auto perStart = [times](auto part) { return measure(part).cpuMs / times; };
    const double lookup = perStart([&] {
        for (int i = 0; i < times; ++i) findProgram("7z");
    });
    const double thread = perStart([&] {
        for (int i = 0; i < times; ++i) std::thread([] {}).join();
    });
    const unsigned options =
        hideWindow | keepHandle | captureOutput | captureErrors | endWithProgram | emptyInput;
    const double start = perStart([&] {
        for (int i = 0; i < times; ++i) {
            StartResult started = startProcess("true", {}, folder, options);
            if (started.handle) exitCode(*started.handle);
        }
    });
    const double spawn = perStart([&] {
        for (int i = 0; i < times; ++i) {
            char program[] = "true";
            char* argv[] = {program, nullptr};
            pid_t pid = 0;
            if (posix_spawnp(&pid, "true", nullptr, nullptr, argv, environ) == 0)
                waitpid(pid, nullptr, 0);
        }
    });
    std::printf(
        "per start, cpu ms: PATH lookup %.4f, thread %.4f, startProcess %.4f, "
        "posix_spawnp %.4f\n",
        lookup, thread, start, spawn);
}

}  // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 100;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string pattern = std::filesystem::temp_directory_path().string() + "/slimkit-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) return 1;
    const std::string folder = pattern + "/";
    const std::string zip = folder + "rom.zip";
    {
        std::ofstream data(folder + "data.bin", std::ios::binary);
        std::mt19937_64 random(42);
        std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
        for (long m = 0; m < megabytes; ++m) {
            for (auto& word : block) word = random();
            data.write(reinterpret_cast<const char*>(block.data()),
                       static_cast<std::streamsize>(block.size() * sizeof block[0]));
        }
    }

    std::printf("7z a -mx=1 of %ld MiB of incompressible data, runner vs. poll-only loop\n",
                megabytes);
    std::printf("%-12s %10s %10s\n", "", "cpu ms", "wall ms");
    bool ok = true;
    const ArchiverCommand command{"a", {"-mx=1"}, zip, {"data.bin"}};
    FakeGui gui;
    ProgressSink progress([](int) {});
    progress.carryOn = [] { return true; };
    // The three ways of running 7z, taken in a different order each round so that none always
    // comes after the same one, after one unmeasured run of each (the first run of anything pays
    // for what the program sets up once).
    const std::vector<std::function<bool()>> ways = {
        [&] { return runArchiver(gui, "7z", command, folder) == ArchiverOutcome::succeeded; },
        [&] {
            return runArchiver("7z", command, folder, progress).outcome ==
                   ArchiverOutcome::succeeded;
        },
        [&] { return pollOnly(folder, zip); },
    };
    const char* names[] = {"runner", "runner asked", "poll only"};
    for (const auto& way : ways) {
        ok &= way();
        std::filesystem::remove(zip);
    }
    std::vector<std::vector<Cost>> costs(ways.size() + 1);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < ways.size(); ++i) {
            const std::size_t way = (i + static_cast<std::size_t>(round)) % ways.size();
            costs[way].push_back(measure([&] { ok &= ways[way](); }));
            std::filesystem::remove(zip);
        }
        costs.back().push_back(measure([&] { bareWaits(costs[0].back().wallMs); }));
        for (std::size_t way = 0; way < costs.size(); ++way)
            std::printf("%-12s %10.2f %10.1f\n", way < ways.size() ? names[way] : "2 ms waits",
                        costs[way].back().cpuMs, costs[way].back().wallMs);
    }
    startParts(folder);
    std::filesystem::remove_all(folder);
    std::vector<double> medianCpu;
    for (std::size_t way = 0; way < costs.size(); ++way) {
        std::vector<double> cpu, wall;
        for (const Cost& cost : costs[way]) cpu.push_back(cost.cpuMs), wall.push_back(cost.wallMs);
        medianCpu.push_back(median(cpu));
        std::printf("median %-12s %10.2f %10.1f\n", way < ways.size() ? names[way] : "2 ms waits",
                    medianCpu.back(), median(wall));
    }
    std::printf("cpu ratio of medians, runner / poll only: %.2f, asked runner / poll only: %.2f\n",
                medianCpu[2] > 0 ? medianCpu[0] / medianCpu[2] : 0.0,
                medianCpu[2] > 0 ? medianCpu[1] / medianCpu[2] : 0.0);
    if (!ok) std::printf("a 7z run did not succeed\n");
    return ok ? 0 : 1;
}
