// The fluid simulation: each kernel on the grids of a 3840 x 2160 Ink Water render (simulation
// grid 455 x 256, dye grid 1280 x 720), and whole renders of a 25-minute synthetic session.
#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <optional>

#include "app/render_pipeline.h"
#include "bench_sessions.h"
#include "rendering/ink_colours.h"
#include "rendering/styles/fluid_styles.h"

using namespace murmura;
using compute::Field;

namespace {

constexpr int64_t kWidth = bench::kCanvasWidth, kHeight = bench::kCanvasHeight;

const MaterialEngineOutput& session25() { return bench::material25(); }

// A field with smooth non-trivial content in every channel.
Field texturedField(FluidSim::GridSize size, float scale) {
    Field f = *Field::create(size.width, size.height);
    for (int c = 0; c < 4; ++c) {
        f.beginWrite(c);
        std::vector<float> row(static_cast<size_t>(f.width()));
        for (int32_t y = 0; y < f.height(); ++y) {
            for (int32_t x = 0; x < f.width(); ++x)
                row[x] = scale * std::sin(0.05f * x + 0.07f * y + c) * std::cos(0.03f * y - 0.02f * x);
            f.writeRow(c, y, row.data());
        }
    }
    return f;
}

FluidSim::Grids inkGrids() { return FluidSim::gridSizes(kWidth, kHeight, inkWaterStyle().fluid); }

void setTexels(benchmark::State& state, FluidSim::GridSize size) {
    state.counters["texels"] = static_cast<double>(size.width * size.height);
    state.SetItemsProcessed(state.iterations() * size.width * size.height);
}

}  // namespace

static void BM_KernelCurl(benchmark::State& state) {
    const auto g = inkGrids().sim;
    Field vel = texturedField(g, 50), out = *Field::create(g.width, g.height);
    compute::Workspace ws;
    for (auto _ : state) fluid::kCurl(vel, out, ws);
    setTexels(state, g);
}
BENCHMARK(BM_KernelCurl)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_KernelVorticity(benchmark::State& state) {
    const auto g = inkGrids().sim;
    Field vel = texturedField(g, 50), curl = texturedField(g, 5), out = *Field::create(g.width, g.height);
    compute::Workspace ws;
    for (auto _ : state) fluid::kVorticity(vel, curl, out, 14, 1.0f / 60, ws);
    setTexels(state, g);
}
BENCHMARK(BM_KernelVorticity)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_KernelDivergence(benchmark::State& state) {
    const auto g = inkGrids().sim;
    Field vel = texturedField(g, 50), out = *Field::create(g.width, g.height);
    compute::Workspace ws;
    for (auto _ : state) fluid::kDivergence(vel, out, ws);
    setTexels(state, g);
}
BENCHMARK(BM_KernelDivergence)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_KernelClear(benchmark::State& state) {
    const auto g = inkGrids().sim;
    Field prs = texturedField(g, 3), out = *Field::create(g.width, g.height);
    fluid::kPressure(prs, prs, out, *std::make_unique<compute::Workspace>());  // x plane, constants elsewhere
    compute::Workspace ws;
    for (auto _ : state) fluid::kClear(out, prs, 0.8f, ws);
    setTexels(state, g);
}
BENCHMARK(BM_KernelClear)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_KernelPressure(benchmark::State& state) {
    const auto g = inkGrids().sim;
    Field prs = texturedField(g, 3), div = texturedField(g, 1), out = *Field::create(g.width, g.height);
    compute::Workspace ws;
    for (auto _ : state) fluid::kPressure(prs, div, out, ws);
    setTexels(state, g);
}
BENCHMARK(BM_KernelPressure)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_KernelGradient(benchmark::State& state) {
    const auto g = inkGrids().sim;
    Field prs = texturedField(g, 3), vel = texturedField(g, 50), out = *Field::create(g.width, g.height);
    compute::Workspace ws;
    for (auto _ : state) fluid::kGradient(prs, vel, out, ws);
    setTexels(state, g);
}
BENCHMARK(BM_KernelGradient)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_KernelAdvectVelocity(benchmark::State& state) {
    const auto g = inkGrids().sim;
    Field vel = texturedField(g, 50), out = *Field::create(g.width, g.height);
    fluid::kGradient(vel, vel, out, *std::make_unique<compute::Workspace>());  // velocity layout: x, y planes
    compute::Workspace ws;
    auto texels = *compute::TexelField::create(g.width, g.height);
    for (auto _ : state) fluid::kAdvectVelocity(out, vel, texels, 1.0f / 60, 0.16f, ws);
    setTexels(state, g);
}
BENCHMARK(BM_KernelAdvectVelocity)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The dye update of one step on the Ink Water grids: advection, then `passes` diffusion passes
// in the same sweep.
static void dyeUpdate(benchmark::State& state, float dissipation, float k, int64_t passes) {
    const auto grids = inkGrids();
    Field velSrc = texturedField(grids.sim, 50), vel = *Field::create(grids.sim.width, grids.sim.height);
    fluid::kGradient(velSrc, velSrc, vel, *std::make_unique<compute::Workspace>());
    compute::TexelFieldPair dye{*compute::TexelField::fromField(texturedField(grids.dye, 1)),
                                *compute::TexelField::create(grids.dye.width, grids.dye.height)};
    compute::Workspace ws;
    for (auto _ : state) {
        dye.read.setAlpha(1.0f);
        fluid::kAdvectDiffuse(vel, dye, 1.0f / 60, dissipation, k, passes, ws);
    }
    setTexels(state, grids.dye);
}

static void BM_KernelAdvectDye(benchmark::State& state) { dyeUpdate(state, 0.07f, 0.0f, 0); }
BENCHMARK(BM_KernelAdvectDye)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The Watercolor dye update: advection and two diffusion passes in one sweep.
static void BM_KernelAdvectDiffuseDye(benchmark::State& state) { dyeUpdate(state, 0.06f, 0.15f, 2); }
BENCHMARK(BM_KernelAdvectDiffuseDye)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_KernelDiffuse(benchmark::State& state) {
    const auto g = inkGrids().dye;
    Field dye = texturedField(g, 1), out = *Field::create(g.width, g.height);
    dye.fill(3, 1.0f);
    compute::Workspace ws;
    for (auto _ : state) fluid::kDiffuse(dye, out, 0.15f, ws);
    setTexels(state, g);
}
BENCHMARK(BM_KernelDiffuse)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// One frame's worth of dye splats of typical size (radius 0.0026 x 1.2, drag ink) at scattered
// places, bounded to the texels they can change.
static void BM_KernelSplatBatch(benchmark::State& state) {
    const auto g = inkGrids().dye;
    auto dye = *compute::TexelField::fromField(texturedField(g, 1));
    std::vector<fluid::SplatPass> splats;
    for (int i = 0; i < 12; ++i)
        splats.push_back({0.1f + 0.07f * i, 0.2f + 0.05f * (i % 7), {0.5f, 0.5f, 0.46f}, 0.0026f * 1.2f, 16.0f / 9});
    compute::Workspace ws;
    for (auto _ : state) fluid::applySplats(dye, splats, ws);
    state.counters["splats"] = static_cast<double>(splats.size());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(splats.size()));
}
BENCHMARK(BM_KernelSplatBatch)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The same twelve splats over the whole grid: the vectorised pass, given radii wide enough that
// no texel can be skipped (the work of an unbounded pass), and the per-texel reference pass.
static void BM_KernelSplatBatchWholeGrid(benchmark::State& state) {
    const auto g = inkGrids().dye;
    auto dye = *compute::TexelField::fromField(texturedField(g, 1));
    std::vector<fluid::SplatPass> splats;
    for (int i = 0; i < 12; ++i)
        splats.push_back({0.1f + 0.07f * i, 0.2f + 0.05f * (i % 7), {0.5f, 0.5f, 0.46f}, 100.0f, 16.0f / 9});
    compute::Workspace ws;
    for (auto _ : state) fluid::applySplats(dye, splats, ws);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(splats.size()));
}
BENCHMARK(BM_KernelSplatBatchWholeGrid)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_ReferenceSplatBatch(benchmark::State& state) {
    const auto g = inkGrids().dye;
    Field dye = texturedField(g, 1), out = *Field::create(g.width, g.height);
    compute::Workspace ws;
    for (auto _ : state)
        for (int i = 0; i < 12; ++i) {
            const fluid::SplatPass splat{0.1f + 0.07f * i, 0.2f + 0.05f * (i % 7), {0.5f, 0.5f, 0.46f}, 0.0026f * 1.2f,
                                         16.0f / 9};
            fluid::reference::kSplat(dye, out, splat, ws);
            std::swap(dye, out);
        }
    state.SetItemsProcessed(state.iterations() * 12);
}
BENCHMARK(BM_ReferenceSplatBatch)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The per-texel reference forms, which read every input through the generic bilinear sample.
static void BM_ReferencePressure(benchmark::State& state) {
    const auto g = inkGrids().sim;
    Field prs = texturedField(g, 3), div = texturedField(g, 1), out = *Field::create(g.width, g.height);
    compute::Workspace ws;
    for (auto _ : state) fluid::reference::kPressure(prs, div, out, ws);
    setTexels(state, g);
}
BENCHMARK(BM_ReferencePressure)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_ReferenceAdvectDye(benchmark::State& state) {
    const auto grids = inkGrids();
    Field velSrc = texturedField(grids.sim, 50), vel = *Field::create(grids.sim.width, grids.sim.height);
    fluid::kGradient(velSrc, velSrc, vel, *std::make_unique<compute::Workspace>());
    Field dye = texturedField(grids.dye, 1), out = *Field::create(grids.dye.width, grids.dye.height);
    dye.fill(3, 1.0f);
    compute::Workspace ws;
    for (auto _ : state) fluid::reference::kAdvect(vel, dye, out, 1.0f / 60, 0.07f, ws);
    setTexels(state, grids.dye);
}
BENCHMARK(BM_ReferenceAdvectDye)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

static void BM_ReferenceDisplay(benchmark::State& state) {
    const auto g = inkGrids().dye;
    Field dye = texturedField(g, 1);
    auto out = *compute::DisplayField::create(kWidth, kHeight);
    compute::Workspace ws;
    for (auto _ : state) fluid::reference::kDisplay(dye, out, colours::kInkPaper, ws);
    setTexels(state, {kWidth, kHeight});
}
BENCHMARK(BM_ReferenceDisplay)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();

// Eight pressure passes one by one, and as one batch of iterations.
static void BM_PressurePasses8(benchmark::State& state) {
    const auto g = inkGrids().sim;
    compute::FieldPair prs{texturedField(g, 3), *Field::create(g.width, g.height)};
    Field div = texturedField(g, 1);
    compute::Workspace ws;
    for (auto _ : state)
        for (int i = 0; i < 8; ++i) {
            fluid::kPressure(prs.read, div, prs.write, ws);
            prs.exchange();
        }
    setTexels(state, g);
}
BENCHMARK(BM_PressurePasses8)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_PressureIterations8(benchmark::State& state) {
    const auto g = inkGrids().sim;
    compute::FieldPair prs{texturedField(g, 3), *Field::create(g.width, g.height)};
    Field div = texturedField(g, 1);
    compute::Workspace ws;
    for (auto _ : state) fluid::kPressureIterations(prs, div, 8, ws);
    setTexels(state, g);
}
BENCHMARK(BM_PressureIterations8)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

static void BM_KernelDisplay(benchmark::State& state) {
    const auto g = inkGrids().dye;
    const auto dye = *compute::TexelField::fromField(texturedField(g, 1));
    auto out = *compute::DisplayField::create(kWidth, kHeight);
    compute::Workspace ws;
    const auto* ctx = FluidContext::shared();
    for (auto _ : state) fluid::kDisplay(dye, out, colours::kInkPaper, ctx->inkNoise(), ws);
    setTexels(state, {kWidth, kHeight});
}
BENCHMARK(BM_KernelDisplay)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

static void BM_KernelDisplayWatercolor(benchmark::State& state) {
    const auto g = inkGrids().dye;
    const auto dye = *compute::TexelField::fromField(texturedField(g, 1));
    auto out = *compute::DisplayField::create(kWidth, kHeight);
    compute::Workspace ws;
    const auto* ctx = FluidContext::shared();
    const FluidSim::Config c = watercolorStyle().fluid;
    const fluid::WatercolorDisplayParams params{c.paper, c.edgeDarken, c.granulate, c.absorbanceCap};
    for (auto _ : state) fluid::kDisplayWc(dye, out, params, ctx->watercolorNoise(), ws);
    setTexels(state, {kWidth, kHeight});
}
BENCHMARK(BM_KernelDisplayWatercolor)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// One settle step (no splats) of the Ink Water simulation at 3840 x 2160.
static void BM_FluidStep(benchmark::State& state) {
    auto sim = FluidSim::create(kWidth, kHeight, inkWaterStyle().fluid);
    const FluidSim::Splat push{FluidSim::Splat::Kind::velocity, {0.5f, 0.5f}, {300, -200, 0}, 0.004f};
    sim->step({&push, 1}, 1.0f / 60);
    for (auto _ : state) sim->step({}, 1.0f / 60);
}
BENCHMARK(BM_FluidStep)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// Allocations of steady-state steps: every operator new of the process is counted, and a step
// with splats of both kinds (and the dye diffusion of Watercolor) should make none once the
// workspace has grown.
std::atomic<int64_t> allocations{0};

static void BM_FluidStepAllocations(benchmark::State& state) {
    const int64_t atStart = allocations.load();
    auto sim = FluidSim::create(kWidth, kHeight, watercolorStyle().fluid);
    state.counters["allocations_at_create"] = static_cast<double>(allocations.load() - atStart);  // the counter works
    std::vector<FluidSim::Splat> splats;
    for (int i = 0; i < 16; ++i) {
        const std::array<float, 2> p{0.1f + 0.05f * i, 0.3f + 0.02f * i};
        splats.push_back({FluidSim::Splat::Kind::dye, p, {0.4f, 0.2f, 0.1f}, 0.005f});
        splats.push_back({FluidSim::Splat::Kind::velocity, p, {200, -100, 0}, 0.007f});
    }
    for (int i = 0; i < 3; ++i) sim->step(splats, 1.0f / 60);  // the workspace grows here
    int64_t counted = 0, steps = 0;
    for (auto _ : state) {
        const int64_t before = allocations.load();
        sim->step(splats, 1.0f / 60);
        counted += allocations.load() - before;
        ++steps;
    }
    state.counters["allocations_per_step"] =
        static_cast<double>(counted) / static_cast<double>(std::max<int64_t>(steps, 1));
}
BENCHMARK(BM_FluidStepAllocations)->Unit(benchmark::kMillisecond)->Iterations(20)->MeasureProcessCPUTime();

void renderSession25(benchmark::State& state, const FluidStyleDefinition& style) {
    const MaterialEngineOutput& output = session25();
    const FluidReplayRenderer renderer(style);
    FluidSim::Profile profile;
    for (auto _ : state) {
        auto image = renderer.render(output, kWidth, kHeight, &profile);
        benchmark::DoNotOptimize(image);
    }
    state.counters["splats"] = static_cast<double>(profile.splats);
    state.counters["steps"] = static_cast<double>(profile.steps);
    state.counters["splat_s"] = profile.splatSeconds;
    state.counters["update_s"] = profile.updateSeconds;
    state.counters["step_ms"] = 1e3 * (profile.splatSeconds + profile.updateSeconds) / static_cast<double>(profile.steps);
    state.counters["update_ms"] = 1e3 * profile.updateSeconds / static_cast<double>(profile.steps);
    state.counters["display_s"] = profile.displaySeconds;
    state.counters["cpu_ms_per_step"] = 1e3 * profile.updateCpuSeconds / static_cast<double>(profile.steps);
    state.counters["cpu_us_per_splat"] = 1e6 * profile.splatCpuSeconds / static_cast<double>(profile.splats);
}

// Rendering only: the session is synthesised and materialised once, outside the timing.
static void BM_InkWaterRender25Min(benchmark::State& state) { renderSession25(state, inkWaterStyle()); }
BENCHMARK(BM_InkWaterRender25Min)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();

static void BM_WatercolorRender25Min(benchmark::State& state) { renderSession25(state, watercolorStyle()); }
BENCHMARK(BM_WatercolorRender25Min)->Unit(benchmark::kMillisecond)->Iterations(2)->MeasureProcessCPUTime();

// The counting replacement of operator new; the compiler cannot see that the two pair up.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

// MURMURA_THREADS=n limits the worker threads (1 gives per-kernel work without sharing effects).
int main(int argc, char** argv) {
    std::optional<tbb::global_control> threads;
    if (const char* n = std::getenv("MURMURA_THREADS"))
        threads.emplace(tbb::global_control::max_allowed_parallelism, static_cast<size_t>(std::max(1, std::atoi(n))));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
