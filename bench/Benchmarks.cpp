// What a simulation step costs the recorder, path by path, and what the
// module's number formatter costs next to the C library's.
//
// The step benchmarks call opcPreStep as the host does, against the cheap
// host of BenchHost.cpp, and check afterwards from the host's counts that
// every timed step took the path the benchmark is named after.
#include "bench/BenchHost.h"
#include "recorder/RecorderState.h"
#include "recorder/StepSampler.h"
#include "text/FormatFixed.h"
#include "text/FormatText.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdlib.h> // mkdtemp
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifndef KESTREL_BENCH_BUILD_TYPE
#define KESTREL_BENCH_BUILD_TYPE "unknown"
#endif

namespace {

constexpr char kVessel[] = "Bench Probe";
constexpr double kPitchRadians = 0.1234;
constexpr double kStep = 0.02; // a 50 Hz frame
constexpr std::int32_t kStamp = 613815000;

// A fresh recorder for the vessel the host knows, with the switch and the
// file flag given, and a fresh count of host calls.
void Prepare(std::int32_t recording, std::int32_t fileStarted)
{
    recorder = RecorderState{};
    std::snprintf(recorder.vesselName, sizeof recorder.vesselName, "%s", kVessel);
    recorder.recording = recording;
    recorder.fileStarted = fileStarted;
    recorder.fileStamp = kStamp;
    bench_host::SetObject(kVessel, kPitchRadians);
    bench_host::Reset();
}

// Marks the run as failed unless `holds`: the step took another path than
// the one being measured, and its figure would mean nothing.
void Require(benchmark::State& state, bool holds, const char* what)
{
    if (!holds) {
        state.SkipWithError(what);
    }
}

long Iterations(const benchmark::State& state)
{
    return static_cast<long>(state.iterations());
}

// Recording off, data file begun: nothing to do at all.
void BM_PreStepIdle(benchmark::State& state)
{
    Prepare(0, 1);
    for (auto _ : state) {
        opcPreStep(0.0, kStep, 0.0);
    }
    const bench_host::Counts& c = bench_host::Counted();
    Require(state, c.clockReads == 0 && recorder.elapsed == 0.0, "an idle step read the clock or moved the time axis");
}
BENCHMARK(BM_PreStepIdle);

// Recording off, no file begun: the stamp follows the clock, one read.
void BM_PreStepOffStamp(benchmark::State& state)
{
    Prepare(0, 0);
    for (auto _ : state) {
        opcPreStep(0.0, kStep, 0.0);
    }
    const bench_host::Counts& c = bench_host::Counted();
    Require(state, c.clockReads == Iterations(state) && recorder.elapsed == 0.0,
            "a step with no file begun did not read the clock exactly once");
}
BENCHMARK(BM_PreStepOffStamp);

// Recording on, the next sample far ahead: a comparison and an addition.
void BM_PreStepNoSample(benchmark::State& state)
{
    Prepare(1, 1);
    recorder.nextSample = 1e15;
    for (auto _ : state) {
        opcPreStep(0.0, kStep, 0.0);
    }
    const bench_host::Counts& c = bench_host::Counted();
    Require(state, c.lookups == 0 && c.clockReads == 0 && recorder.elapsed > 0.0,
            "a step with nothing due looked something up or left the time axis");
}
BENCHMARK(BM_PreStepNoSample);

// A sample at every step, but no time passes between samples: the lookup,
// the pitch query and the bookkeeping, and no line.
void BM_PreStepSampleNoLine(benchmark::State& state)
{
    Prepare(1, 1);
    recorder.interval = 0.0;
    for (auto _ : state) {
        opcPreStep(0.0, 0.0, 0.0);
    }
    const bench_host::Counts& c = bench_host::Counted();
    Require(state, c.lookups == Iterations(state) && c.pitchReads == Iterations(state) && c.opens == 0,
            "not every step sampled, or a step opened a file");
}
BENCHMARK(BM_PreStepSampleNoLine);

// A sample and a line at every step, into a real file: the whole way from
// the step to the file system and back.
void BM_PreStepSampleLine(benchmark::State& state)
{
    Prepare(1, 1);
    recorder.interval = 0.0;
    recorder.elapsed = 1.0; // the first step already spans a second
    const std::filesystem::path file = std::filesystem::path(bench_host::Root()) / "KestrelScribeData" /
                                       (std::string(kVessel) + "_" + std::to_string(kStamp) + ".txt");
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    for (auto _ : state) {
        opcPreStep(0.0, 1.0, 0.0);
    }
    const bench_host::Counts& c = bench_host::Counted();
    Require(state,
            c.lines == Iterations(state) && c.opens == Iterations(state) && c.closes == Iterations(state) &&
                c.failedOpens == 0 && std::filesystem::exists(file),
            "not every step wrote its line to the data file");
    std::filesystem::remove(file, ignored);
}
BENCHMARK(BM_PreStepSampleLine);

// The values both formatters print: times from 0 to 1e6 s and pitches from
// -90 to 90 degrees, each with one and with two decimals, interleaved. Drawn
// once from a fixed seed; mt19937_64's sequence is the same everywhere, and
// the mapping to [0, 1) is done here rather than by a distribution whose
// algorithm differs between standard libraries.
struct Item {
    double value;
    int decimals;
};

constexpr std::size_t kItemCount = 4096; // a power of two: the index wraps with a mask

const std::vector<Item>& Items()
{
    static const std::vector<Item> items = [] {
        std::mt19937_64 random(20240607);
        const auto unit = [&random] { return static_cast<double>(random() >> 11) * 0x1p-53; };
        std::vector<Item> made;
        made.reserve(kItemCount);
        while (made.size() < kItemCount) {
            const double time = unit() * 1e6;
            const double pitch = unit() * 180.0 - 90.0;
            made.push_back(Item{time, 1});
            made.push_back(Item{pitch, 2});
            made.push_back(Item{time, 2});
            made.push_back(Item{pitch, 1});
        }
        return made;
    }();
    return items;
}

void BM_FormatFixed(benchmark::State& state)
{
    const std::vector<Item>& items = Items();
    char text[64];
    std::size_t i = 0;
    for (auto _ : state) {
        const Item& item = items[i++ & (kItemCount - 1)];
        benchmark::DoNotOptimize(FormatFixed(text, sizeof text, item.value, item.decimals));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FormatFixed);

void BM_Snprintf(benchmark::State& state)
{
    const std::vector<Item>& items = Items();
    char text[64];
    std::size_t i = 0;
    for (auto _ : state) {
        const Item& item = items[i++ & (kItemCount - 1)];
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.*f", item.decimals, item.value));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Snprintf);

// A whole data line, "%0.1f=pitch(%0.2f, %0.2f, %0.1f)", through the
// module's formatter and through the C library's.
struct LineValues {
    double lastTime;
    double lastPitch;
    double pitch;
    double span;
};

const std::vector<LineValues>& Lines()
{
    static const std::vector<LineValues> lines = [] {
        const std::vector<Item>& items = Items();
        std::vector<LineValues> made;
        for (std::size_t i = 0; i + 4 < items.size(); i += 4) {
            made.push_back(LineValues{items[i].value, items[i + 1].value, items[i + 5].value, 10.0});
        }
        while (made.size() < kItemCount / 4) {
            made.push_back(made.front());
        }
        return made;
    }();
    return lines;
}

void BM_FormatTextLine(benchmark::State& state)
{
    const std::vector<LineValues>& lines = Lines();
    char text[256];
    std::size_t i = 0;
    for (auto _ : state) {
        const LineValues& l = lines[i++ & (kItemCount / 4 - 1)];
        benchmark::DoNotOptimize(FormatText(text, sizeof text, "%0.1f=pitch(%0.2f, %0.2f, %0.1f)", l.lastTime,
                                            l.lastPitch, l.pitch, l.span));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FormatTextLine);

void BM_SnprintfLine(benchmark::State& state)
{
    const std::vector<LineValues>& lines = Lines();
    char text[256];
    std::size_t i = 0;
    for (auto _ : state) {
        const LineValues& l = lines[i++ & (kItemCount / 4 - 1)];
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%0.1f=pitch(%0.2f, %0.2f, %0.1f)", l.lastTime,
                                               l.lastPitch, l.pitch, l.span));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SnprintfLine);

// A fresh folder for the data files, removed again when the run is over.
class TemporaryRoot {
public:
    TemporaryRoot()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("kestrel-bench: cannot create a temporary folder");
            std::exit(1);
        }
        path_ = pattern;
        std::filesystem::create_directory(path_ / "KestrelScribeData");
    }
    ~TemporaryRoot()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryRoot(const TemporaryRoot&) = delete;
    TemporaryRoot& operator=(const TemporaryRoot&) = delete;

    std::string String() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::printf("kestrel-bench: what a simulation step of the recorder costs, path by path, and what\n"
                        "FormatFixed costs next to the C library's snprintf on the same values.\n"
                        "Data files go to a temporary folder, removed at the end.\n"
                        "scripts/bench.sh builds it optimised and runs it with repetitions.\n\n");
            argv[i] = const_cast<char*>("--help");
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const TemporaryRoot root;
    bench_host::SetRoot(root.String().c_str());
    benchmark::AddCustomContext("kestrel_build_type", KESTREL_BENCH_BUILD_TYPE);
    benchmark::AddCustomContext("kestrel_compiler", __VERSION__);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
