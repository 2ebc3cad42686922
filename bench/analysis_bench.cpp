// Gesture and material analysis of a 25-minute synthetic session (1920 x 1080 window).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bench_sessions.h"

using namespace murmura;
using bench::session25;

static void BM_Rebase(benchmark::State& state) {
    const auto& s = session25();
    for (auto _ : state) benchmark::DoNotOptimize(rebaseEvents(s.events, s.windowFrame));
    state.counters["events"] = static_cast<double>(s.events.size());
}
BENCHMARK(BM_Rebase)->Unit(benchmark::kMillisecond);

static void BM_Segments(benchmark::State& state) {
    const auto& s = session25();
    const auto rebased = rebaseEvents(s.events, s.windowFrame);
    const SegmentBuilder builder(GestureThresholds::defaultPreset());
    for (auto _ : state) benchmark::DoNotOptimize(builder.build(rebased));
}
BENCHMARK(BM_Segments)->Unit(benchmark::kMillisecond);

static void BM_GestureAndMaterial(benchmark::State& state) {
    const auto& s = session25();
    size_t segments = 0;
    for (auto _ : state) {
        MaterialEngineOutput out = materialize(s);
        segments = out.segments.size();
        benchmark::DoNotOptimize(out);
    }
    state.counters["events"] = static_cast<double>(s.events.size());
    state.counters["segments"] = static_cast<double>(segments);
}
BENCHMARK(BM_GestureAndMaterial)->Unit(benchmark::kMillisecond);

static void BM_Synthesize25Minutes(benchmark::State& state) {
    SynthOptions o;
    o.minutes = 25;
    o.seed = 2026;
    for (auto _ : state) benchmark::DoNotOptimize(synthesizeSession(o));
}
BENCHMARK(BM_Synthesize25Minutes)->Unit(benchmark::kMillisecond)->Iterations(2);

// The session file as murmura-cli synth writes it (about 14 MB), read back.
static void BM_ReadSessionFile(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / ("murmura-bench-" + std::to_string(::getpid()) + ".json");
    std::ofstream(path) << encodeSessionFile(session25());
    for (auto _ : state) {
        auto read = readSessionFile(path.string());
        if (!read) state.SkipWithError(read.error().c_str());
        benchmark::DoNotOptimize(read);
    }
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadSessionFile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
