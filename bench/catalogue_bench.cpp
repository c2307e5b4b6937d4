// SPDX-License-Identifier: GPL-3.0-or-later
// Loading the catalogue against a baseline that only lists the definition folder and reads
// every file whole, in the same process on the same generated folders. Goal: loading costs at
// most 1.5 times the baseline at 2,000 files.
#include "catalogue/catalogue.h"

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// A definition folder of `count` files shaped like the shipped ones: every fifth has a widget.
std::string generateCatalogue(const std::filesystem::path& root, int count) {
    const auto folder = root / std::to_string(count);
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        const std::string name = "App" + std::to_string(i);
        std::ofstream out(folder / (name + ".ini"), std::ios::binary);
        out << "[main]\nappname = " << name << "\n"
            << "description = Removes " << name << ", a stock app that many users never open\n"
            << "enabled = " << (i % 3 == 0) << "\n"
            << "widget = " << (i % 5 == 0) << "\n"
            << "[files]\n1 = system/app/" << name << ".apk\n2 = system\\app\\" << name
            << ".odex\n3 = system/lib/lib" << name << ".so\n";
        if (i % 5 == 0) out << "[widget_files]\n1 = system/app/" << name << "Widget.apk\n";
    }
    return folder.string() + "/";
}

// The least any loader has to do: list the folder, then open, size, read and close each file.
std::size_t listAndRead(const std::string& folder, std::vector<char>& buffer) {
    std::vector<std::string> names;
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) std::abort();
    while (const dirent* entry = ::readdir(directory))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    ::closedir(directory);

    std::size_t bytes = 0;
    for (const std::string& name : names) {
        const int fd = ::open((folder + name).c_str(), O_RDONLY);
        struct stat status;
        if (fd < 0 || ::fstat(fd, &status) != 0) std::abort();
        buffer.resize(static_cast<std::size_t>(status.st_size));
        bytes += static_cast<std::size_t>(::read(fd, buffer.data(), buffer.size()));
        ::close(fd);
    }
    return bytes;
}

struct Timing {
    double real, cpu;  // a run's mean, in the benchmarks' unit (milliseconds)
};

// Keeps the mean times of every run by its name.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Timing> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto root =
        std::filesystem::temp_directory_path() / ("slimkit-bench-" + std::to_string(::getpid()));
    const std::vector<int> counts = {2000, 20000};
    for (const int count : counts) {
        const std::string folder = generateCatalogue(root, count);
        const std::string size = std::to_string(count);
        benchmark::RegisterBenchmark(("listAndRead/" + size).c_str(), [folder](
                                                                          benchmark::State& state) {
            std::vector<char> buffer;
            for (auto _ : state) benchmark::DoNotOptimize(listAndRead(folder, buffer));
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(
            ("loadDefinitions/" + size).c_str(),
            [folder, count](benchmark::State& state) {
                for (auto _ : state) {
                    Catalogue catalogue;
                    if (!loadDefinitions(catalogue, folder) ||
                        catalogue.entries.size() != static_cast<std::size_t>(count))
                        state.SkipWithError("the catalogue did not load");
                    benchmark::DoNotOptimize(catalogue.entries.data());
                    state.PauseTiming();  // releasing the catalogue is not part of loading
                    catalogue = Catalogue();
                    state.ResumeTiming();
                }
            })
            ->Unit(benchmark::kMillisecond);
    }

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(root);

    for (const int count : counts) {
        const std::string size = std::to_string(count);
        const auto baseline = reporter.times.find("listAndRead/" + size);
        const auto loading = reporter.times.find("loadDefinitions/" + size);
        if (baseline == reporter.times.end() || loading == reporter.times.end()) continue;
        // On a busy machine the CPU times are the steadier measure; both are shown.
        const Timing& base = baseline->second;
        const Timing& load = loading->second;
        std::printf(
            "%6d files: list and read %.2f us a file (CPU %.2f), load %.2f us a file "
            "(CPU %.2f); ratio %.2f, CPU ratio %.2f%s\n",
            count, base.real * 1000 / count, base.cpu * 1000 / count, load.real * 1000 / count,
            load.cpu * 1000 / count, load.real / base.real, load.cpu / base.cpu,
            count == 2000 ? " (goal: at most 1.50)" : "");
    }
    return 0;
}
