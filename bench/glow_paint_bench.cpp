// Neon and Skeinfall on a 25-minute synthetic session (1920 x 1080 window) at 3840 x 2160, whole
// and by phase: Neon's splats, bloom with the peak, and composite; Skeinfall's blob generation
// and painting.
#include <benchmark/benchmark.h>

#include "bench_sessions.h"
#include "rendering/styles/neon.h"
#include "rendering/styles/skeinfall.h"

using namespace murmura;

namespace {
constexpr int64_t kW = bench::kCanvasWidth, kH = bench::kCanvasHeight;

const std::vector<EmissiveSim::Splat>& neonSplats() {
    static const auto splats = neon::splats(neon::dots(bench::material25().segments, float(kW), float(kH)));
    return splats;
}

std::unique_ptr<EmissiveSim> splattedSim() {
    auto sim = EmissiveSim::create(kW, kH, neon::simConfig());
    sim->applySplats(neonSplats());
    return sim;
}

const std::vector<PaintCanvas::Splat>& skeinSplats() {
    static const auto splats = [] {
        const auto anchors = skeinfall::anchors(bench::material25().segments, float(kW), float(kH));
        return skeinfall::toSplats(skeinfall::throwPaint(anchors).blobs);
    }();
    return splats;
}
}  // namespace

static void BM_NeonRender(benchmark::State& state) {
    bench::material25();  // the session is made once, outside the timing
    for (auto _ : state) benchmark::DoNotOptimize(NeonRenderer().render(bench::material25(), kW, kH));
    state.counters["splats"] = double(neonSplats().size());
}
BENCHMARK(BM_NeonRender)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

static void BM_NeonSplats(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(splattedSim());
}
BENCHMARK(BM_NeonSplats)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

static void BM_NeonBloomAndPeak(benchmark::State& state) {
    const auto sim = splattedSim();
    for (auto _ : state) benchmark::DoNotOptimize(sim->peak());
}
BENCHMARK(BM_NeonBloomAndPeak)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The whole image minus the bloom and peak above is the composite.
static void BM_NeonBloomPeakAndComposite(benchmark::State& state) {
    const auto sim = splattedSim();
    for (auto _ : state) benchmark::DoNotOptimize(sim->renderImage());
}
BENCHMARK(BM_NeonBloomPeakAndComposite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

static void BM_SkeinfallRender(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(SkeinfallRenderer().render(bench::material25(), kW, kH));
    state.counters["blobs"] = double(skeinSplats().size());
}
BENCHMARK(BM_SkeinfallRender)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

static void BM_SkeinfallBlobs(benchmark::State& state) {
    for (auto _ : state) {
        const auto anchors = skeinfall::anchors(bench::material25().segments, float(kW), float(kH));
        benchmark::DoNotOptimize(skeinfall::toSplats(skeinfall::throwPaint(anchors).blobs));
    }
}
BENCHMARK(BM_SkeinfallBlobs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

static void BM_SkeinfallPaint(benchmark::State& state) {
    skeinSplats();
    for (auto _ : state) {
        state.PauseTiming();
        auto canvas = PaintCanvas::create(kW, kH, skeinfall::kGround);
        state.ResumeTiming();
        canvas->applySplats(skeinSplats());
        benchmark::DoNotOptimize(canvas->image().data());
    }
}
BENCHMARK(BM_SkeinfallPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

BENCHMARK_MAIN();
