// The charcoal render of a 25-minute synthetic session (1920 x 1080 window) at 3840 x 2160, whole
// and by phase: the stroke phase, the simulation schedule, composition; and the flow passes on
// the wet spans against the same passes over every cell.
#include <benchmark/benchmark.h>

#include "bench_sessions.h"
#include "rendering/artwork_renderer.h"
#include "rendering/styles/charcoal.h"
#include "support/diagnostics.h"

using namespace murmura;

namespace {

constexpr int64_t kWidth = bench::kCanvasWidth, kHeight = bench::kCanvasHeight;
constexpr InkStyle kStyle = InkStyle::longSessionStable;

const ArtworkRenderer& renderer() {
    static const ArtworkRenderer r(kWidth, kHeight, kStyle, false);
    return r;
}

InkField emptyField() { return InkField(renderer().gridWidth(), renderer().gridHeight()); }

struct Stroked {
    InkField field;
    StrokePhaseResult result;
};

const Stroked& stroked() {
    static const Stroked s = [] {
        InkField f = emptyField();
        const StrokePhaseResult r = runStrokePhase(f, bench::material25(), kStyle, false, renderer().simScale());
        return Stroked{std::move(f), r};
    }();
    return s;
}

double latestTime() {
    double t = 0;
    for (const auto& m : bench::material25().segments) t = std::max(t, m.segment.endTime);
    return t;
}

}  // namespace

static void BM_CharcoalRender(benchmark::State& state) {
    setDiagnosticStream(stderr);
    const CharcoalRenderer r;
    for (auto _ : state) benchmark::DoNotOptimize(r.render(bench::material25(), kWidth, kHeight));
}
BENCHMARK(BM_CharcoalRender)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

static void BM_CharcoalStrokePhase(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        InkField f = emptyField();
        state.ResumeTiming();
        benchmark::DoNotOptimize(runStrokePhase(f, bench::material25(), kStyle, false, renderer().simScale()));
    }
    state.counters["strokes"] = static_cast<double>(stroked().result.summary.strokes);
}
BENCHMARK(BM_CharcoalStrokePhase)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

static void BM_CharcoalSchedule(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        InkField f = stroked().field;
        state.ResumeTiming();
        runInkSchedule(f, kStyle);
    }
}
BENCHMARK(BM_CharcoalSchedule)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

static void BM_CharcoalComposition(benchmark::State& state) {
    const Stroked& s = stroked();
    for (auto _ : state)
        benchmark::DoNotOptimize(composeInkImage(s.field, kWidth, kHeight, renderer().simScale(), s.result.tone,
                                                 bench::material25().conditioning.silentRatio, latestTime()));
}
BENCHMARK(BM_CharcoalComposition)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// 150 flow passes over wet pools on the field the stroke phase leaves, on the wet spans (0) or
// over every cell (1).
static void BM_CharcoalFlow(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        InkField f = stroked().field;
        // Wet pools along the diagonal, as a burst of heavy strokes leaves them.
        for (int k = 0; k < 40; ++k)
            f.depositPool(f.width * (k + 0.5) / 40.0, f.height * (k + 0.5) / 40.0, 0.2f, 8, 0.3f, 0);
        state.ResumeTiming();
        if (state.range(0)) f.flowFullSweep(150);
        else f.flow(150);
    }
}
BENCHMARK(BM_CharcoalFlow)->ArgNames({"full"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

BENCHMARK_MAIN();
