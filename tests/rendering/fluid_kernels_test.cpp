// The fluid kernels: the per-texel forms on a tiny grid against values computed independently
// (double precision, with their own bilinear sampling), and every fast path against its
// per-texel form, bit for bit, over seeded random inputs and with any number of threads.
#include "rendering/simulation/fluid_kernels.h"

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <functional>

#include "rendering/ink_colours.h"
#include "rendering/simulation/fluid_sim.h"
#include "tests/rendering/field_test_util.h"

using namespace murmura;
using compute::Field;
using test::bits;
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
const std::vector<float> R = gridOf([](int x, int y) { return std::array{0.5f, 0.25f, 0.0f, 1.0f}[x] + 0.125f * y; });
const std::vector<float> G = gridOf([](int x, int y) { return std::array{-0.75f, 0.5f, 1.5f, 0.0f}[x] - 0.25f * y; });
const std::vector<float> B = gridOf([](int x, int y) { return 0.0625f * (x + 1) * (y + 1); });
const std::vector<float> VX =
    gridOf([](int x, int y) { return std::array{1.0f, -0.5f, 2.0f, 0.25f}[x] + std::array{0.0f, 0.5f, -1.0f}[y]; });
const std::vector<float> VY =
    gridOf([](int x, int y) { return std::array{0.5f, 0.0f, -1.5f, 1.0f}[x] * std::array{1.0f, 2.0f, -1.0f}[y]; });
const std::vector<float> CURL = gridOf([](int x, int y) { return R[y * W + x] - 0.5f; });

Field dyeField() { return fieldOf(W, H, {R, G, B, {}}, {0, 0, 0, 1}); }
Field velocityField() { return fieldOf(W, H, {VX, VY, {}, {}}, {0, 0, 0, 1}); }
Field scalar(const std::vector<float>& v) { return fieldOf(W, H, {v, {}, {}, {}}, {0, 0, 0, 1}); }

// One kernel run on the 4 x 3 grid and the expected values of its output channels (NaN: the
// channel is not checked; a single value: every texel holds it).
struct HandCase {
    const char* name;
    std::function<void(Field& out, compute::Workspace& ws)> run;
    std::vector<std::vector<float>> channels;
};

const HandCase kHandCases[] = {
    {"splat", [](Field& out, auto& ws) {
         fluid::kSplat(dyeField(), out, {0.3f, 0.6f, {1.0f, 0.5f, -2.0f}, 0.05f, 4.0f / 3.0f}, ws); },
     {{0.50787199f, 0.269148028f, 0.000546973f, 1.000000183f, 0.900576809f, 1.045320046f, 0.144148028f, 1.125006423f,
       0.863293013f, 0.775576809f, 0.25787199f, 1.250002641f},
      {-0.746064005f, 0.509574014f, 1.500273487f, 9.2e-08f, -0.862211595f, 0.585160023f, 1.259574014f, -0.249996788f,
       -1.193353493f, 0.137788405f, 1.003935995f, -0.49999868f},
      {0.046756021f, 0.086703944f, 0.186406054f, 0.249999633f, -0.426153619f, -1.090640092f, 0.336703944f,
       0.499987153f, -0.039086027f, -0.176153619f, 0.546756021f, 0.749994718f},
      {1.0f}}},
    {"advect", [](Field& out, auto& ws) { fluid::kAdvect(velocityField(), dyeField(), out, 0.5f, 0.2f, ws); },
     {{0.454545455f, 0.170454545f, 0.3125f, 0.795454545f, 0.511363636f, 0.340909091f, 0.511363636f, 0.568181818f,
       0.681818182f, 0.284090909f, 0.255681818f, 1.136363636f},
      {-0.681818182f, 0.681818182f, 0.284090909f, 0.170454545f, -0.795454545f, 0.227272727f, -0.284090909f,
       0.511363636f, -1.136363636f, 0.681818182f, 0.625f, -0.454545455f},
      {NAN},
      {1.0f / 1.1f}}},  // the fourth channel is advected too
    {"advect with a 2 x 2 velocity grid", [](Field& out, auto& ws) {
         const Field vel = fieldOf(2, 2, {{2.0f, -1.0f, 0.5f, 1.5f}, {-1.0f, 1.0f, 0.0f, 2.0f}, {}, {}});
         fluid::kAdvect(vel, dyeField(), out, 0.5f, 0.2f, ws); },
     {{0.511363636f, 0.397727273f, 0.113636364f, 0.909090909f, 0.596590909f, 0.454545455f, 0.113636364f, 0.823863636f,
       0.681818182f, 0.511363636f, 0.284090909f, 0.340909091f}}},
    {"curl", [](Field& out, auto& ws) { fluid::kCurl(velocityField(), out, ws); },
     {{-0.5f, -1.25f, 0.25f, 1.0f, 0.0f, -1.5f, 1.5f, 3.0f, 1.0f, 1.75f, 0.25f, -0.5f}, {0.0f}, {0.0f}, {1.0f}}},
    {"vorticity", [](Field& out, auto& ws) { fluid::kVorticity(velocityField(), scalar(CURL), out, 3.0f, 0.25f, ws); },
     {{1.0f, -0.454542211f, 2.167585184f, 0.624400958f, 1.59367506f, 0.066253782f, 2.62573384f, 1.08126891f,
       0.083792592f, -1.5f, 1.030816704f, -0.613626632f},
      {0.5f, 0.181831158f, -1.164829632f, 1.0f, 1.0f, 0.066253782f, -2.74853232f, 1.66873109f, -0.332414816f, 0.0f,
       1.684900225f, -1.545493474f},
      {0.0f},
      {1.0f}}},
    {"vorticity clamped to 1000", [](Field& out, auto& ws) {
         fluid::kVorticity(velocityField(), scalar(CURL), out, 1e5f, 1.0f, ws); },
     {{1, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, -1.5f, 1000, 1000},
      {0.5f, 1000, 1000, 1, 1, 1000, 1000, -1000, 1000, 0, 1000, -1000}}},
    {"divergence with reflective edges", [](Field& out, auto& ws) { fluid::kDivergence(velocityField(), out, ws); },
     {{1.0f, 0.5f, -1.875f, 0.375f, 0.25f, 0.5f, 1.875f, -2.625f, -1.0f, 0.5f, 1.125f, -0.625f}, {NAN}, {NAN}, {1.0f}}},
    {"clear", [](Field& out, auto& ws) { fluid::kClear(dyeField(), out, 0.8f, ws); },
     {gridOf([](int x, int y) { return 0.8f * R[y * W + x]; }), gridOf([](int x, int y) { return 0.8f * G[y * W + x]; }),
      {NAN}, {compute::fromHalf(compute::toHalf(0.8f))}}},
    {"pressure", [](Field& out, auto& ws) { fluid::kPressure(scalar(R), scalar(G), out, ws); },
     {{0.65625f, 0.15625f, -0.03125f, 0.78125f, 0.8125f, 0.3125f, 0.125f, 0.9375f, 0.96875f, 0.46875f, 0.28125f,
       1.09375f},
      {0.0f}, {NAN}, {1.0f}}},
    {"gradient", [](Field& out, auto& ws) { fluid::kGradient(scalar(R), velocityField(), out, ws); },
     {{1.25f, 0.0f, 1.25f, -0.75f, 1.75f, 0.5f, 1.75f, -0.25f, 0.25f, -1.0f, 0.25f, -1.75f},
      {0.375f, -0.125f, -1.625f, 0.875f, 0.75f, -0.25f, -3.25f, 1.75f, -0.625f, -0.125f, 1.375f, -1.125f}}},
    {"diffuse", [](Field& out, auto& ws) { fluid::kDiffuse(fieldOf(W, H, {{}, G, {}, {}}, {0, 0, 0, 1}), out, 0.15f, ws); },
     {{0.0f},
      {-0.6f, 0.425f, 1.0875f, 0.1875f, -0.8125f, 0.2125f, 0.875f, -0.025f, -1.025f, 0.0f, 0.6625f, -0.2375f},
      {NAN},
      {1.0f}}},  // 1 + k * (4 - 4)
};

}  // namespace

TEST(FluidKernels, PerTexelFormulasMatchIndependentValues) {
    compute::Workspace ws;
    for (const HandCase& k : kHandCases) {
        Field out = *Field::create(W, H);
        k.run(out, ws);
        for (size_t c = 0; c < k.channels.size(); ++c) {
            const std::vector<float>& want = k.channels[c];
            if (want.size() == 1 && std::isnan(want[0])) continue;
            test::expectChannel(out, static_cast<int>(c), want.size() == 1 ? std::vector<float>(W * H, want[0]) : want,
                                k.name);
        }
    }
}

// ---- Fast paths against the per-texel forms ----

namespace {

struct Dims {
    int32_t w, h;
};
// Single texels, single rows and columns, odd sizes, and a grid large enough to be split among
// threads, on which fast flows reach further than the source rows advection keeps in cache.
constexpr Dims kSizes[] = {{1, 1}, {1, 5}, {6, 1}, {2, 2}, {7, 5}, {16, 9}, {33, 20}, {160, 240}};

// A kernel's output as comparable values: the stored bits of a field, the bytes of an image.
using Output = std::vector<uint16_t>;
Output imageOf(const compute::DisplayField& d) {
    const auto image = d.readBack();
    return image ? Output(image->data(), image->data() + image->byteCount()) : Output{};
}

// Runs the fast (or per-texel) form on inputs drawn from `seed` for a grid of size s.
using Runner = std::function<Output(bool fast, Dims s, uint64_t seed, compute::Workspace& ws)>;
struct FastCase {
    const char* name;
    Runner run;
};

Field randomField(Dims s, uint64_t seed, float scale, bool allPlanes = true) {
    return test::randomField(s.w, s.h, seed, scale, allPlanes);
}
Field blankOf(Dims s) { return *Field::create(s.w, s.h); }

// A kernel of random inputs a (all channels) and b (fourth channel uniform) whose fast and
// per-texel forms share a call.
#define FAST_OR_REFERENCE(call, scaleA, scaleB)                                                      \
    [](bool fast, Dims s, uint64_t seed, compute::Workspace& ws) {                                   \
        const Field a = randomField(s, seed, scaleA), b = randomField(s, seed + 1, scaleB, false); \
        Field o = blankOf(s);                                                                        \
        fast ? fluid::call : fluid::reference::call;                                                 \
        return bits(o);                                                                              \
    }

const FastCase kFastCases[] = {
    {"curl", FAST_OR_REFERENCE(kCurl(a, o, ws), 40, 1)},
    {"vorticity", FAST_OR_REFERENCE(kVorticity(a, b, o, 14, 1.0f / 60, ws), 40, 3)},
    {"divergence", FAST_OR_REFERENCE(kDivergence(a, o, ws), 40, 1)},
    {"clear", FAST_OR_REFERENCE(kClear(b, o, 0.8f, ws), 1, 2)},
    {"pressure", FAST_OR_REFERENCE(kPressure(a, b, o, ws), 3, 2)},
    {"gradient", FAST_OR_REFERENCE(kGradient(b, a, o, ws), 40, 3)},
    {"diffuse", FAST_OR_REFERENCE(kDiffuse(b, o, 0.15f, ws), 1, 2)},
    // Velocity on the same grid or a coarser one; slow to very fast flows, backtraces past the edges.
    {"advect", [](bool fast, Dims s, uint64_t seed, compute::Workspace& ws) {
         const Dims v = seed % 2 ? s : Dims{std::max(1, s.w / 3), std::max(1, (s.h + 1) / 2)};
         const float scale = std::array{60.0f, 5000.0f, 60000.0f}[seed % 3];
         const float dt = std::array{0.0f, 1.0f / 60, 0.5f}[(seed / 3) % 3];
         const Field vel = randomField(v, seed, scale), src = randomField(s, seed + 1, 4.0f, false);
         Field out = blankOf(s);
         fast ? fluid::kAdvect(vel, src, out, dt, 0.07f, ws) : fluid::reference::kAdvect(vel, src, out, dt, 0.07f, ws);
         return bits(out);
     }},
    // A velocity carried by itself through its texel copy; a third channel that is not constant
    // takes the planar path.
    {"advect velocity", [](bool fast, Dims s, uint64_t seed, compute::Workspace& ws) {
         const float scale = std::array{60.0f, 5000.0f, 60000.0f}[seed % 3];
         Field vel = randomField(s, seed, scale);
         vel.fill(3, 1.0f);
         if (seed % 4 != 0) vel.fill(2, 0.0f);
         Field out = blankOf(s);
         auto texels = *compute::TexelField::create(s.w, s.h);
         fast ? fluid::kAdvectVelocity(vel, out, texels, 1.0f / 60, 0.16f, ws)
              : fluid::reference::kAdvect(vel, vel, out, 1.0f / 60, 0.16f, ws);
         return bits(out);
     }},
    // Advection and diffusion in one sweep against the texel-by-texel form, with 0 to 5 passes
    // (beyond the four of a sweep too), a uniform channel, values up to the half range and
    // diffusion rates at and beyond the convex limit 1/4 (past which values can leave the range).
    {"advect diffuse", [](bool fast, Dims s, uint64_t seed, compute::Workspace& ws) {
         const int64_t n = std::array{0, 1, 2, 5}[seed % 4];
         const float k = std::array{0.15f, 0.25f, 0.4f}[seed % 3];
         const float scale = seed % 5 < 2 ? 65504.0f : 4.0f;
         const float dissipation = seed % 7 < 3 ? -20.0f : 0.07f;  // a growing dye saturates
         const Field vel = randomField(Dims{std::max(1, s.w / 3), std::max(1, (s.h + 1) / 2)}, seed, 5000.0f);
         compute::FieldPair dye{randomField(s, seed + 1, scale, false), blankOf(s)};
         if (fast) {
             compute::TexelFieldPair texels{*compute::TexelField::fromField(dye.read), *compute::TexelField::create(s.w, s.h)};
             fluid::kAdvectDiffuse(vel, texels, 1.0f / 60, dissipation, k, n, ws);
             texels.read.copyTo(dye.read);
         } else {
             fluid::reference::kAdvectDiffuse(vel, dye, 1.0f / 60, dissipation, k, n, ws);
         }
         return bits(dye.read);
     }},
    // A batch bounded to the texels each splat can change against whole-grid passes in turn:
    // radii from tiny to wider than the grid, zero and huge colours, centres off the canvas,
    // separable and joint Gaussians mixed.
    {"splats", [](bool fast, Dims s, uint64_t seed, compute::Workspace& ws) {
         SplitMix64 rng(seed);
         std::vector<fluid::SplatPass> splats;
         for (int i = 0; i < 24; ++i) {
             const float radius = static_cast<float>(std::pow(10.0, -5 + 4 * rng.nextUnit()));
             const float k = i % 5 == 0 ? 0.0f : static_cast<float>(600 * rng.nextUnit() - 300);
             splats.push_back({static_cast<float>(1.6 * rng.nextUnit() - 0.3), static_cast<float>(1.6 * rng.nextUnit() - 0.3),
                               {k, static_cast<float>(rng.nextUnit() - 0.5), i % 3 == 0 ? 0.0f : 2.5f}, radius,
                               static_cast<float>(s.w) / static_cast<float>(s.h), i % 4 < 2});
         }
         Field f = randomField(s, seed, 2.0f, false), scratch = blankOf(s);
         if (fast && seed % 2) {  // the dye's layout, channels side by side
             auto texels = *compute::TexelField::fromField(f);
             fluid::applySplats(texels, splats, ws);
             texels.copyTo(f);
         } else if (fast) {
             fluid::applySplats(f, splats, ws);
         }
         for (const fluid::SplatPass& splat : fast ? std::span<const fluid::SplatPass>{} : splats) {
             fluid::reference::kSplat(f, scratch, splat, ws);
             std::swap(f, scratch);
         }
         return bits(f);
     }},
    // Batched Jacobi iterations against single passes: the last iterate and the one before it.
    {"pressure iterations", [](bool fast, Dims s, uint64_t seed, compute::Workspace& ws) {
         const int64_t n = std::array{0, 1, 2, 5}[seed % 4];
         const Field div = randomField(s, seed, 2.0f, false);
         compute::FieldPair prs{blankOf(s), blankOf(s)};
         fluid::kClear(randomField(s, seed + 1, 3.0f, false), prs.read, 0.8f, ws);
         if (fast) fluid::kPressureIterations(prs, div, n, ws);
         for (int64_t i = 0; !fast && i < n; ++i) {
             fluid::reference::kPressure(prs.read, div, prs.write, ws);
             prs.exchange();
         }
         Output out = bits(prs.read), before = bits(prs.write);
         if (n > 0) out.insert(out.end(), before.begin(), before.end());
         return out;
     }},
    // Both displays, onto outputs of the dye's size, three times it, and an unrelated size.
    {"displays", [](bool fast, Dims s, uint64_t seed, compute::Workspace& ws) {
         const Dims o = std::array{s, Dims{s.w * 3, s.h * 3}, Dims{7, 11}}[seed % 3];
         const Field dye = randomField(s, seed, 3.0f, false);
         const auto texels = *compute::TexelField::fromField(dye);  // where the simulation keeps the dye
         auto out = *compute::DisplayField::create(o.w, o.h);
         const FluidContext* ctx = FluidContext::shared();
         fast ? fluid::kDisplay(texels, out, colours::kInkPaper, ctx->inkNoise(), ws)
              : fluid::reference::kDisplay(dye, out, colours::kInkPaper, ws);
         Output all = imageOf(out);
         for (float cap : {1.55f, 0.0f}) {
             const fluid::WatercolorDisplayParams p{{0.957f, 0.937f, 0.902f}, 0.5f, 0.35f, cap};
             fast ? fluid::kDisplayWc(texels, out, p, ctx->watercolorNoise(), ws) : fluid::reference::kDisplayWc(dye, out, p, ws);
             const Output wc = imageOf(out);
             all.insert(all.end(), wc.begin(), wc.end());
         }
         return all;
     }},
};

void PrintTo(const FastCase& k, std::ostream* os) { *os << k.name; }

class FluidKernelsFastPath : public testing::TestWithParam<FastCase> {};

}  // namespace

TEST_P(FluidKernelsFastPath, MatchesPerTexelFormBitForBitWithAnyThreadCount) {
    const FastCase& k = GetParam();
    compute::Workspace ws;
    uint64_t seed = 1;
    for (Dims s : kSizes) {
        for (int draw = 0; draw < 3; ++draw, seed += 7) {
            const Output fast = k.run(true, s, seed, ws);
            ASSERT_EQ(fast, k.run(false, s, seed, ws)) << k.name << " " << s.w << "x" << s.h << " seed " << seed;
            tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
            ASSERT_EQ(fast, k.run(true, s, seed, ws)) << k.name << " on one thread, " << s.w << "x" << s.h;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, FluidKernelsFastPath, testing::ValuesIn(kFastCases),
                         [](const testing::TestParamInfo<FastCase>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

TEST(FluidKernels, InvalidSplatsAreSkipped) {
    compute::Workspace ws;
    Field f = test::randomField(8, 8, 3, 1.0f, false);
    const auto before = bits(f);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const fluid::SplatPass bad[] = {{0.5f, 0.5f, {1, 1, 1}, 0.0f, 1.0f},
                                    {0.5f, 0.5f, {1, 1, 1}, -1.0f, 1.0f},
                                    {nan, 0.5f, {1, 1, 1}, 0.01f, 1.0f},
                                    {0.5f, 0.5f, {inf, 0, 0}, 0.01f, 1.0f},
                                    {0.5f, 0.5f, {1, 1, 1}, 0.01f, nan}};
    fluid::applySplats(f, bad, ws);
    EXPECT_EQ(bits(f), before);
}

// ---- Displays against independent values (float32 sine hash emulated, exp and pow in double) ----

namespace {
void expectPixels(const compute::DisplayField& f, const std::vector<int>& expected, const char* what) {
    const auto image = f.readBack();
    ASSERT_TRUE(image);
    ASSERT_EQ(image->byteCount(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(int(image->data()[i]), expected[i], 1) << what << " byte " << i;
}
}  // namespace

TEST(FluidKernels, InkDisplayShowsAbsorbanceOnPaperWithFibreAndVignette) {
    compute::Workspace ws;
    const Field dye = fieldOf(2, 2, {{0.0f, 1.0f, 2.0f, 0.5f}, {0.25f, 0.0f, 1.0f, 3.0f}, {0.5f, 0.5f, 0.0f, 2.0f}, {}});
    auto out = *compute::DisplayField::create(4, 3);
    fluid::reference::kDisplay(dye, out, colours::kInkPaper, ws);
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
    const fluid::Rgb paper{0.957f, 0.937f, 0.902f};
    fluid::reference::kDisplayWc(dye, out, {paper, 0.5f, 0.35f, 1.55f}, ws);
    expectPixels(out, {174, 202, 194, 255, 83, 156, 206, 255, 62, 113, 155, 255, 178, 205, 123, 255, 169, 78, 149, 255,
                       150, 56, 111, 255},
                 "watercolour display");
    // Without the cap heavy pigment goes towards black; the cap keeps it a deep colour.
    fluid::reference::kDisplayWc(dye, out, {paper, 0.5f, 0.35f, 0.0f}, ws);
    expectPixels(out, {166, 197, 190, 255, 37, 112, 188, 255, 9, 32, 78, 255, 162, 195, 102, 255, 121, 31, 100, 255,
                       17, 5, 8, 255},
                 "watercolour display without cap");
    // Without rims the flat areas keep the paper colour.
    fluid::reference::kDisplayWc(dye, out, {paper, 0.0f, 0.35f, 1.55f}, ws);
    expectPixels(out, {244, 239, 230, 255, 162, 196, 233, 255, 78, 163, 191, 255, 205, 219, 161, 255, 248, 243, 230, 255,
                       172, 59, 114, 255},
                 "watercolour display without rims");
}
