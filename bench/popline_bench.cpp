// The Popline render of a 25-minute synthetic session (1920 x 1080 window) at 3840 x 2160, whole
// and by phase: extraction, the tubes (both passes), the other marks, conversion to RGBA. The
// CPU column is the whole process's, all threads together: on a loaded machine it is the steadier
// figure.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_sessions.h"
#include "rendering/styles/popline.h"

using namespace murmura;

namespace {

constexpr int64_t kWidth = bench::kCanvasWidth, kHeight = bench::kCanvasHeight;

LogicalCanvas logical() { return logicalCanvas(kWidth, kHeight); }

const std::vector<popline::Element>& elements25() {
    static const std::vector<popline::Element> elements =
        popline::extract(bench::material25().segments, logical().width, logical().height, 1 / logical().k);
    return elements;
}

// The tubes, or everything else, of the 25-minute extraction.
std::vector<popline::Element> part(bool tubes) {
    std::vector<popline::Element> out;
    for (const popline::Element& e : elements25())
        if (std::holds_alternative<popline::Tube>(e) == tubes) out.push_back(e);
    return out;
}

void countElements(benchmark::State& state) {
    double tubes = 0, points = 0;
    for (const popline::Element& e : elements25())
        if (const auto* t = std::get_if<popline::Tube>(&e)) {
            ++tubes;
            points += static_cast<double>(t->points.size());
        }
    state.counters["elements"] = static_cast<double>(elements25().size());
    state.counters["tubes"] = tubes;
    state.counters["tubePoints"] = points;
}

void drawPart(benchmark::State& state, bool tubes) {
    const std::vector<popline::Element> elements = part(tubes);
    for (auto _ : state) {
        state.PauseTiming();
        auto canvas = Canvas::create(kWidth, kHeight);
        state.ResumeTiming();
        benchmark::DoNotOptimize(popline::drawElements(*canvas, elements, logical().k));
    }
}

}  // namespace

static void BM_PoplineRender(benchmark::State& state) {
    const PoplineRenderer renderer;
    for (auto _ : state) benchmark::DoNotOptimize(renderer.render(bench::material25(), kWidth, kHeight));
    countElements(state);
}
BENCHMARK(BM_PoplineRender)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(3);

static void BM_PoplineExtraction(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            popline::extract(bench::material25().segments, logical().width, logical().height, 1 / logical().k));
}
BENCHMARK(BM_PoplineExtraction)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

static void BM_PoplineTubes(benchmark::State& state) { drawPart(state, true); }
BENCHMARK(BM_PoplineTubes)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(3);

static void BM_PoplineOtherMarks(benchmark::State& state) { drawPart(state, false); }
BENCHMARK(BM_PoplineOtherMarks)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(3);

static void BM_PoplineToImage(benchmark::State& state) {
    auto canvas = Canvas::create(kWidth, kHeight);
    for (auto _ : state) benchmark::DoNotOptimize(canvas->toImage());
}
BENCHMARK(BM_PoplineToImage)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

BENCHMARK_MAIN();
