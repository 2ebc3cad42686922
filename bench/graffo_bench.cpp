// The Graffo render of a 25-minute synthetic session (1920 x 1080 window) at 3840 x 2160, whole
// and by phase: extraction, paper background, stroking of the marks, conversion to RGBA.
#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include "app/render_pipeline.h"
#include "bench_sessions.h"
#include "rendering/styles/graffo.h"

using namespace murmura;

namespace {

constexpr int64_t kWidth = bench::kCanvasWidth, kHeight = bench::kCanvasHeight;

using bench::material25;

double scale() { return graffo::canvasScale(kWidth, kHeight); }

const graffo::Extraction& extraction25() {
    static const graffo::Extraction ex =
        graffo::extract(material25().segments, kWidth / scale(), kHeight / scale(), 1 / scale());
    return ex;
}

// What the marks amount to: elements, scrawl points and single stroke or fill calls.
void countMarks(benchmark::State& state) {
    const graffo::Extraction& ex = extraction25();
    const auto statuses = graffo::layerStatuses(ex.layers, ex.endTime, ex.deleteFade);
    double points = 0, strokes = 0;
    for (const graffo::Element& e : ex.elements) {
        if (const auto* s = std::get_if<graffo::Scrawl>(&e)) {
            const double segments = static_cast<double>(s->points.size() - 1);
            const bool halo = statuses.at(s->layer).kind == graffo::LayerStatus::Kind::archive;
            points += static_cast<double>(s->points.size());
            strokes += segments * (2 * graffo::scrawlPassCount(s->points, kWidth / scale(), kHeight / scale()) + halo);
        } else if (const auto* k = std::get_if<graffo::Knot>(&e)) {
            strokes += 2.0 * static_cast<double>(k->loops * 20 - 1);
        } else if (std::holds_alternative<graffo::Burst>(e)) {
            strokes += 8;  // 4 to 8 strokes, a blot, maybe a drip and a drop
        } else {
            strokes += 1;
        }
    }
    state.counters["elements"] = static_cast<double>(ex.elements.size());
    state.counters["scrawlPoints"] = points;
    state.counters["strokes"] = strokes;
}

Canvas paperCanvas() {
    auto canvas = Canvas::create(kWidth, kHeight);
    graffo::paintPaper(*canvas, material25().conditioning.silentRatio);
    return std::move(*canvas);
}

}  // namespace

static void BM_GraffoRender(benchmark::State& state) {
    const GraffoRenderer renderer;
    const MaterialEngineOutput& output = material25();
    for (auto _ : state) benchmark::DoNotOptimize(renderer.render(output, kWidth, kHeight));
    countMarks(state);
}
BENCHMARK(BM_GraffoRender)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

static void BM_GraffoExtraction(benchmark::State& state) {
    const MaterialEngineOutput& output = material25();
    for (auto _ : state)
        benchmark::DoNotOptimize(graffo::extract(output.segments, kWidth / scale(), kHeight / scale(), 1 / scale()));
}
BENCHMARK(BM_GraffoExtraction)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_GraffoPaper(benchmark::State& state) {
    auto canvas = Canvas::create(kWidth, kHeight);
    for (auto _ : state) graffo::paintPaper(*canvas, 0.3);
}
BENCHMARK(BM_GraffoPaper)->Unit(benchmark::kMillisecond)->UseRealTime();

// Stroking on the fixed bands, with all cores (range 0) or one (range 1); as one band, the whole
// canvas drawn by one thread; with the capsule rasteriser or Cairo (range 2).
static void BM_GraffoStrokes(benchmark::State& state) {
    const bool oneThread = state.range(0) == 1;
    const int64_t rows = state.range(1) ? kHeight : kCanvasBandRows;
    const auto rasteriser = state.range(2) ? graffo::Rasteriser::cairo : graffo::Rasteriser::capsule;
    std::optional<tbb::global_control> limit;
    if (oneThread) limit.emplace(tbb::global_control::max_allowed_parallelism, 1);
    for (auto _ : state) {
        state.PauseTiming();
        Canvas canvas = paperCanvas();
        state.ResumeTiming();
        benchmark::DoNotOptimize(graffo::drawMarks(canvas, extraction25(), scale(), {rows, true, rasteriser}));
    }
    countMarks(state);
}
BENCHMARK(BM_GraffoStrokes)
    ->ArgNames({"oneThread", "oneBand", "cairo"})
    ->Args({0, 0, 0})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Args({0, 0, 1})
    ->Args({1, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

static void BM_GraffoToImage(benchmark::State& state) {
    Canvas canvas = paperCanvas();
    for (auto _ : state) benchmark::DoNotOptimize(canvas.toImage());
}
BENCHMARK(BM_GraffoToImage)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
