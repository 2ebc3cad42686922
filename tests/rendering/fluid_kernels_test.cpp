// The fluid kernels on tiny grids against values computed independently (double precision, with
// their own bilinear sampling), and the fast paths against the per-texel reference forms.
#include "rendering/simulation/fluid_kernels.h"

#include <gtest/gtest.h>

#include "rendering/simulation/fluid_sim.h"
#include "tests/rendering/field_test_util.h"

using namespace murmura;
using compute::Field;
using test::bits;
using test::expectChannel;
using test::fieldOf;

namespace {

constexpr int32_t W = 4, H = 3;

template <class Fn>
std::vector<float> gridOf(Fn fn) {
    std::vector<float> v;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) v.push_back(fn(x, y));
    return v;
}

std::vector<float> R() {
    return gridOf([](int x, int y) { return std::array{0.5f, 0.25f, 0.0f, 1.0f}[x] + 0.125f * y; });
}
std::vector<float> G() {
    return gridOf([](int x, int y) { return std::array{-0.75f, 0.5f, 1.5f, 0.0f}[x] - 0.25f * y; });
}
std::vector<float> B() {
    return gridOf([](int x, int y) { return 0.0625f * (x + 1) * (y + 1); });
}
std::vector<float> VX() {
    return gridOf([](int x, int y) { return std::array{1.0f, -0.5f, 2.0f, 0.25f}[x] + std::array{0.0f, 0.5f, -1.0f}[y]; });
}
std::vector<float> VY() {
    return gridOf([](int x, int y) { return std::array{0.5f, 0.0f, -1.5f, 1.0f}[x] * std::array{1.0f, 2.0f, -1.0f}[y]; });
}

Field dyeField() { return fieldOf(W, H, {R(), G(), B(), {}}, {0, 0, 0, 1}); }
Field velocityField() { return fieldOf(W, H, {VX(), VY(), {}, {}}, {0, 0, 0, 1}); }
Field scalarField(const std::vector<float>& v) { return fieldOf(W, H, {v, {}, {}, {}}, {0, 0, 0, 1}); }
Field blank() { return *Field::create(W, H); }

void expectConstant(const Field& f, int c, float value) {
    for (float v : test::channel(f, c)) EXPECT_EQ(v, value) << "channel " << c;
}

}  // namespace

TEST(FluidKernels, ZeroClearsEveryChannel) {
    Field f = dyeField();
    fluid::kZero(f);
    for (int c = 0; c < 4; ++c) expectConstant(f, c, 0.0f);
}

TEST(FluidKernels, SplatAddsAspectScaledGaussianAndSetsAlpha) {
    const fluid::SplatPass splat{0.3f, 0.6f, {1.0f, 0.5f, -2.0f}, 0.05f, 4.0f / 3.0f};
    const std::vector<std::vector<float>> expected = {
        {0.50787199f, 0.269148028f, 0.000546973f, 1.000000183f, 0.900576809f, 1.045320046f, 0.144148028f,
         1.125006423f, 0.863293013f, 0.775576809f, 0.25787199f, 1.250002641f},
        {-0.746064005f, 0.509574014f, 1.500273487f, 9.2e-08f, -0.862211595f, 0.585160023f, 1.259574014f,
         -0.249996788f, -1.193353493f, 0.137788405f, 1.003935995f, -0.49999868f},
        {0.046756021f, 0.086703944f, 0.186406054f, 0.249999633f, -0.426153619f, -1.090640092f, 0.336703944f,
         0.499987153f, -0.039086027f, -0.176153619f, 0.546756021f, 0.749994718f}};
    compute::Workspace ws;
    Field full = blank();
    fluid::kSplat(dyeField(), full, splat, ws);
    Field bounded = dyeField();
    fluid::applySplats(bounded, {&splat, 1}, ws);
    for (const Field* f : {&full, &bounded}) {
        for (int c = 0; c < 3; ++c) expectChannel(*f, c, expected[c], "splat");
        expectConstant(*f, 3, 1.0f);
    }
    EXPECT_EQ(bits(full), bits(bounded));
}

TEST(FluidKernels, AdvectBacktracesInOutputTexelsWithDissipation) {
    compute::Workspace ws;
    Field out = blank();
    fluid::kAdvect(velocityField(), dyeField(), out, 0.5f, 0.2f, ws);
    expectChannel(out, 0, {0.454545455f, 0.170454545f, 0.3125f, 0.795454545f, 0.511363636f, 0.340909091f, 0.511363636f,
                           0.568181818f, 0.681818182f, 0.284090909f, 0.255681818f, 1.136363636f},
                  "advect");
    expectChannel(out, 1, {-0.681818182f, 0.681818182f, 0.284090909f, 0.170454545f, -0.795454545f, 0.227272727f,
                           -0.284090909f, 0.511363636f, -1.136363636f, 0.681818182f, 0.625f, -0.454545455f},
                  "advect");
    // The fourth channel is advected too: 1 / (1 + 0.2 * 0.5).
    for (float v : test::channel(out, 3)) EXPECT_NEAR(v, 1.0f / 1.1f, test::halfTolerance(1.0f / 1.1f));
}

TEST(FluidKernels, AdvectReadsVelocityOfAnotherSizeBilinearly) {
    compute::Workspace ws;
    const Field vel = fieldOf(2, 2, {{2.0f, -1.0f, 0.5f, 1.5f}, {-1.0f, 1.0f, 0.0f, 2.0f}, {}, {}});
    Field out = blank();
    fluid::kAdvect(vel, dyeField(), out, 0.5f, 0.2f, ws);
    expectChannel(out, 0, {0.511363636f, 0.397727273f, 0.113636364f, 0.909090909f, 0.596590909f, 0.454545455f,
                           0.113636364f, 0.823863636f, 0.681818182f, 0.511363636f, 0.284090909f, 0.340909091f},
                  "advect, small velocity grid");
}

TEST(FluidKernels, Curl) {
    compute::Workspace ws;
    Field out = blank();
    fluid::kCurl(velocityField(), out, ws);
    expectChannel(out, 0, {-0.5f, -1.25f, 0.25f, 1.0f, 0.0f, -1.5f, 1.5f, 3.0f, 1.0f, 1.75f, 0.25f, -0.5f}, "curl");
    expectConstant(out, 1, 0.0f);
    expectConstant(out, 3, 1.0f);
}

TEST(FluidKernels, VorticityNegatesSecondComponent) {
    compute::Workspace ws;
    std::vector<float> curl = R();
    for (float& v : curl) v -= 0.5f;
    Field out = blank();
    fluid::kVorticity(velocityField(), scalarField(curl), out, 3.0f, 0.25f, ws);
    expectChannel(out, 0, {1.0f, -0.454542211f, 2.167585184f, 0.624400958f, 1.59367506f, 0.066253782f, 2.62573384f,
                           1.08126891f, 0.083792592f, -1.5f, 1.030816704f, -0.613626632f},
                  "vorticity x");
    expectChannel(out, 1, {0.5f, 0.181831158f, -1.164829632f, 1.0f, 1.0f, 0.066253782f, -2.74853232f, 1.66873109f,
                           -0.332414816f, 0.0f, 1.684900225f, -1.545493474f},
                  "vorticity y");
    expectConstant(out, 2, 0.0f);
    expectConstant(out, 3, 1.0f);
}

TEST(FluidKernels, VorticityClampsToThousand) {
    compute::Workspace ws;
    std::vector<float> curl = R();
    for (float& v : curl) v -= 0.5f;
    Field out = blank();
    fluid::kVorticity(velocityField(), scalarField(curl), out, 1e5f, 1.0f, ws);
    expectChannel(out, 0, {1, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, -1.5f, 1000, 1000}, "clamped x");
    expectChannel(out, 1, {0.5f, 1000, 1000, 1, 1, 1000, 1000, -1000, 1000, 0, 1000, -1000}, "clamped y");
}

TEST(FluidKernels, DivergenceWithReflectiveBoundary) {
    compute::Workspace ws;
    Field out = blank();
    fluid::kDivergence(velocityField(), out, ws);
    expectChannel(out, 0, {1.0f, 0.5f, -1.875f, 0.375f, 0.25f, 0.5f, 1.875f, -2.625f, -1.0f, 0.5f, 1.125f, -0.625f},
                  "divergence");
    expectConstant(out, 3, 1.0f);
}

TEST(FluidKernels, ClearScalesAllChannels) {
    compute::Workspace ws;
    Field out = blank();
    fluid::kClear(dyeField(), out, 0.8f, ws);
    std::vector<float> r = R(), g = G();
    for (float& v : r) v *= 0.8f;
    for (float& v : g) v *= 0.8f;
    expectChannel(out, 0, r, "clear");
    expectChannel(out, 1, g, "clear");
    expectConstant(out, 3, compute::fromHalf(compute::toHalf(0.8f)));
}

TEST(FluidKernels, PressureJacobiIteration) {
    compute::Workspace ws;
    Field out = blank();
    fluid::kPressure(scalarField(R()), scalarField(G()), out, ws);
    expectChannel(out, 0, {0.65625f, 0.15625f, -0.03125f, 0.78125f, 0.8125f, 0.3125f, 0.125f, 0.9375f, 0.96875f,
                           0.46875f, 0.28125f, 1.09375f},
                  "pressure");
    expectConstant(out, 1, 0.0f);
    expectConstant(out, 3, 1.0f);
}

TEST(FluidKernels, GradientSubtractsFullDifferences) {
    compute::Workspace ws;
    Field out = blank();
    fluid::kGradient(scalarField(R()), velocityField(), out, ws);
    expectChannel(out, 0, {1.25f, 0.0f, 1.25f, -0.75f, 1.75f, 0.5f, 1.75f, -0.25f, 0.25f, -1.0f, 0.25f, -1.75f},
                  "gradient x");
    expectChannel(out, 1, {0.375f, -0.125f, -1.625f, 0.875f, 0.75f, -0.25f, -3.25f, 1.75f, -0.625f, -0.125f, 1.375f,
                           -1.125f},
                  "gradient y");
}

TEST(FluidKernels, DiffuseAddsLaplacian) {
    compute::Workspace ws;
    Field out = blank();
    fluid::kDiffuse(fieldOf(W, H, {{}, G(), {}, {}}, {0, 0, 0, 1}), out, 0.15f, ws);
    expectChannel(out, 1, {-0.6f, 0.425f, 1.0875f, 0.1875f, -0.8125f, 0.2125f, 0.875f, -0.025f, -1.025f, 0.0f,
                           0.6625f, -0.2375f},
                  "diffuse");
    expectConstant(out, 0, 0.0f);
    expectConstant(out, 3, 1.0f);  // 1 + k * (4 - 4)
}

// ---- Fast paths against the per-texel forms ----

namespace {
struct GridSize {
    int32_t w, h;
};
constexpr GridSize kSizes[] = {{1, 1}, {1, 5}, {6, 1}, {2, 2}, {7, 5}, {16, 9}, {33, 20}};
}  // namespace

TEST(FluidKernelsFastPaths, StencilKernelsMatchReferenceBitForBit) {
    compute::Workspace ws;
    uint64_t seed = 1;
    for (GridSize s : kSizes) {
        const Field vel = test::randomField(s.w, s.h, seed++, 40.0f);
        const Field a = test::randomField(s.w, s.h, seed++, 3.0f);
        const Field b = test::randomField(s.w, s.h, seed++, 2.0f, false);
        Field fast = *Field::create(s.w, s.h), ref = *Field::create(s.w, s.h);
        auto same = [&](const char* what) { EXPECT_EQ(bits(fast), bits(ref)) << what << " " << s.w << "x" << s.h; };
        fluid::kCurl(vel, fast, ws);
        fluid::reference::kCurl(vel, ref, ws);
        same("curl");
        fluid::kVorticity(vel, a, fast, 14.0f, 1.0f / 60, ws);
        fluid::reference::kVorticity(vel, a, ref, 14.0f, 1.0f / 60, ws);
        same("vorticity");
        fluid::kDivergence(vel, fast, ws);
        fluid::reference::kDivergence(vel, ref, ws);
        same("divergence");
        fluid::kClear(b, fast, 0.8f, ws);
        fluid::reference::kClear(b, ref, 0.8f, ws);
        same("clear");
        fluid::kPressure(a, b, fast, ws);
        fluid::reference::kPressure(a, b, ref, ws);
        same("pressure");
        fluid::kGradient(a, vel, fast, ws);
        fluid::reference::kGradient(a, vel, ref, ws);
        same("gradient");
        fluid::kDiffuse(b, fast, 0.15f, ws);
        fluid::reference::kDiffuse(b, ref, 0.15f, ws);
        same("diffuse");
    }
}

TEST(FluidKernelsFastPaths, AdvectMatchesReferenceForBothVelocityGrids) {
    compute::Workspace ws;
    uint64_t seed = 100;
    for (GridSize s : kSizes) {
        for (GridSize v : {s, GridSize{std::max(1, s.w / 3), std::max(1, (s.h + 1) / 2)}}) {
            for (float dt : {0.0f, 1.0f / 60, 0.5f}) {
                const Field vel = test::randomField(v.w, v.h, seed++, 60.0f);
                const Field src = test::randomField(s.w, s.h, seed++, 4.0f, false);
                Field fast = *Field::create(s.w, s.h), ref = *Field::create(s.w, s.h);
                fluid::kAdvect(vel, src, fast, dt, 0.07f, ws);
                fluid::reference::kAdvect(vel, src, ref, dt, 0.07f, ws);
                EXPECT_EQ(bits(fast), bits(ref)) << s.w << "x" << s.h << " vel " << v.w << "x" << v.h << " dt " << dt;
            }
        }
    }
}

TEST(FluidKernelsFastPaths, AdvectHandlesFarBacktraces) {
    compute::Workspace ws;
    // Backtraces far beyond the rows kept in cache, up to the whole height and past the edges.
    for (GridSize s : {GridSize{20, 30}, GridSize{24, 300}}) {
        for (float scale : {500.0f, 5000.0f, 60000.0f}) {
            const Field vel = test::randomField(s.w, s.h, 7, scale);
            const Field src = test::randomField(s.w, s.h, 8, 1.0f, false);
            Field fast = *Field::create(s.w, s.h), ref = *Field::create(s.w, s.h);
            fluid::kAdvect(vel, src, fast, 0.1f, 0.0f, ws);
            fluid::reference::kAdvect(vel, src, ref, 0.1f, 0.0f, ws);
            EXPECT_EQ(bits(fast), bits(ref)) << s.w << "x" << s.h << " " << scale;
        }
    }
}

TEST(FluidKernelsFastPaths, BoundedSplatsMatchFullGridPasses) {
    compute::Workspace ws;
    SplitMix64 rng(42);
    for (GridSize s : {GridSize{1, 1}, GridSize{9, 4}, GridSize{64, 36}, GridSize{120, 200}}) {
        Field bounded = test::randomField(s.w, s.h, rng.next(), 2.0f, false);
        Field full = *Field::create(s.w, s.h), scratch = *Field::create(s.w, s.h);
        fluid::kClear(bounded, full, 1.0f, ws);  // same content
        std::vector<fluid::SplatPass> splats;
        for (int i = 0; i < 24; ++i) {
            const float radius = static_cast<float>(std::pow(10.0, -5 + 4 * rng.nextUnit()));
            const float k = i % 5 == 0 ? 0.0f : static_cast<float>(600 * rng.nextUnit() - 300);
            splats.push_back(fluid::SplatPass{static_cast<float>(1.6 * rng.nextUnit() - 0.3),
                                              static_cast<float>(1.6 * rng.nextUnit() - 0.3),
                                              {k, static_cast<float>(rng.nextUnit() - 0.5), i % 3 == 0 ? 0.0f : 2.5f},
                                              radius,
                                              static_cast<float>(s.w) / static_cast<float>(s.h)});
        }
        fluid::applySplats(bounded, splats, ws);
        for (const fluid::SplatPass& splat : splats) {
            fluid::kSplat(full, scratch, splat, ws);
            std::swap(full, scratch);
        }
        EXPECT_EQ(bits(bounded), bits(full)) << s.w << "x" << s.h;
    }
}

TEST(FluidKernelsFastPaths, InvalidSplatsAreSkipped) {
    compute::Workspace ws;
    Field f = test::randomField(8, 8, 3, 1.0f, false);
    const auto before = test::channel(f, 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const fluid::SplatPass bad[] = {{0.5f, 0.5f, {1, 1, 1}, 0.0f, 1.0f},
                                    {0.5f, 0.5f, {1, 1, 1}, -1.0f, 1.0f},
                                    {nan, 0.5f, {1, 1, 1}, 0.01f, 1.0f},
                                    {0.5f, 0.5f, {std::numeric_limits<float>::infinity(), 0, 0}, 0.01f, 1.0f}};
    fluid::applySplats(f, bad, ws);
    EXPECT_EQ(test::channel(f, 0), before);
    EXPECT_FALSE(fluid::isValid(bad[0]));
    EXPECT_TRUE(fluid::isValid({0.5f, 0.5f, {1, 1, 1}, 0.01f, 1.0f}));
}

TEST(FluidKernelsFastPaths, DisplaysMatchReference) {
    compute::Workspace ws;
    const FluidContext* ctx = FluidContext::shared();
    ASSERT_NE(ctx, nullptr);
    const fluid::WatercolorDisplayParams wc{{0.957f, 0.937f, 0.902f}, 0.5f, 0.35f, 1.55f};
    const fluid::WatercolorDisplayParams wcNoCap{{0.957f, 0.937f, 0.902f}, 0.5f, 0.35f, 0.0f};
    uint64_t seed = 500;
    for (GridSize dye : {GridSize{1, 1}, GridSize{5, 3}, GridSize{24, 18}}) {
        for (GridSize out : {dye, GridSize{dye.w * 3, dye.h * 3}, GridSize{7, 11}}) {
            Field f = test::randomField(dye.w, dye.h, seed++, 3.0f, false);
            auto fast = *compute::DisplayField::create(out.w, out.h), ref = *compute::DisplayField::create(out.w, out.h);
            fluid::kDisplay(f, fast, {0.937f, 0.917f, 0.878f}, ctx->inkNoise(), ws);
            fluid::reference::kDisplay(f, ref, {0.937f, 0.917f, 0.878f}, ws);
            EXPECT_EQ(fast.readBack(), ref.readBack()) << "ink " << out.w << "x" << out.h;
            for (const auto& params : {wc, wcNoCap}) {
                fluid::kDisplayWc(f, fast, params, ctx->watercolorNoise(), ws);
                fluid::reference::kDisplayWc(f, ref, params, ws);
                EXPECT_EQ(fast.readBack(), ref.readBack()) << "watercolour " << out.w << "x" << out.h;
            }
        }
    }
}

// ---- Displays against independent values (float32 sine hash emulated, exp and pow in double) ----

namespace {
void expectPixels(const compute::DisplayField& f, const std::vector<int>& expected, const char* what) {
    const auto image = f.readBack();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->colorSpace(), ColorSpace::sRGB);
    ASSERT_EQ(image->byteCount(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(int(image->data()[i]), expected[i], 1) << what << " byte " << i;
}
}  // namespace

TEST(FluidKernels, InkDisplayShowsAbsorbanceOnPaperWithFibreAndVignette) {
    compute::Workspace ws;
    const Field dye = fieldOf(2, 2, {{0.0f, 1.0f, 2.0f, 0.5f}, {0.25f, 0.0f, 1.0f, 3.0f}, {0.5f, 0.5f, 0.0f, 2.0f}, {}});
    auto out = *compute::DisplayField::create(4, 3);
    fluid::kDisplay(dye, out, {0.937f, 0.917f, 0.878f}, FluidContext::shared()->inkNoise(), ws);
    expectPixels(out, {244, 188, 143, 255, 192, 200, 142, 255, 125, 231, 148, 255, 96,  239, 143, 255,
                       98,  135, 183, 255, 104, 111, 146, 255, 115, 74,  91,  255, 121, 61,  73,  255,
                       42,  95,  230, 255, 52,  57,  140, 255, 106, 26,  57,  255, 152, 21,  40,  255},
                 "ink display");
}

TEST(FluidKernels, WatercolorDisplayRimsGranulationAndCap) {
    compute::Workspace ws;
    const Field dye = fieldOf(3, 2, {{0.0f, 0.6f, 3.0f, 0.2f, 0.0f, 1.0f}, {0.0f, 0.3f, 1.0f, 0.1f, 0.0f, 4.0f},
                                     {0.0f, 0.0f, 0.5f, 0.4f, 0.02f, 2.0f}, {}});
    auto out = *compute::DisplayField::create(3, 2);
    const auto noise = FluidContext::shared()->watercolorNoise();
    fluid::kDisplayWc(dye, out, {{0.957f, 0.937f, 0.902f}, 0.5f, 0.35f, 1.55f}, noise, ws);
    expectPixels(out, {174, 202, 194, 255, 83, 156, 206, 255, 62, 113, 155, 255, 178, 205, 123, 255, 169, 78, 149, 255,
                       150, 56, 111, 255},
                 "watercolour display");
    // Without the cap heavy pigment goes towards black; the cap keeps it a deep colour.
    fluid::kDisplayWc(dye, out, {{0.957f, 0.937f, 0.902f}, 0.5f, 0.35f, 0.0f}, noise, ws);
    expectPixels(out, {166, 197, 190, 255, 37, 112, 188, 255, 9, 32, 78, 255, 162, 195, 102, 255, 121, 31, 100, 255,
                       17, 5, 8, 255},
                 "watercolour display without cap");
    // Without rims the flat areas keep the paper colour.
    fluid::kDisplayWc(dye, out, {{0.957f, 0.937f, 0.902f}, 0.0f, 0.35f, 1.55f}, noise, ws);
    expectPixels(out, {244, 239, 230, 255, 162, 196, 233, 255, 78, 163, 191, 255, 205, 219, 161, 255, 248, 243, 230, 255,
                       172, 59, 114, 255},
                 "watercolour display without rims");
}

TEST(FluidKernelsFastPaths, PressureIterationsMatchRepeatedPasses) {
    compute::Workspace ws;
    uint64_t seed = 900;
    for (GridSize s : kSizes) {
        for (int64_t n : {0, 1, 2, 5}) {
            const Field div = test::randomField(s.w, s.h, seed++, 2.0f, false);
            const Field start = test::randomField(s.w, s.h, seed++, 3.0f, false);
            compute::FieldPair batch{*Field::create(s.w, s.h), *Field::create(s.w, s.h)};
            compute::FieldPair loop{*Field::create(s.w, s.h), *Field::create(s.w, s.h)};
            for (compute::FieldPair* p : {&batch, &loop}) fluid::kClear(start, p->read, 0.8f, ws);
            fluid::kPressureIterations(batch, div, n, ws);
            for (int64_t i = 0; i < n; ++i) {
                fluid::reference::kPressure(loop.read, div, loop.write, ws);
                loop.exchange();
            }
            EXPECT_EQ(bits(batch.read), bits(loop.read)) << s.w << "x" << s.h << " n " << n;
            if (n > 0) {
                EXPECT_EQ(bits(batch.write), bits(loop.write)) << s.w << "x" << s.h << " n " << n;
            }
        }
    }
}
