// The fluid simulation: grid sizes, creation, the order of passes in a step, the displays.
#include "rendering/simulation/fluid_sim.h"

#include <gtest/gtest.h>

#include "tests/rendering/field_test_util.h"

using namespace murmura;
using compute::Field;
using test::bits;

namespace {

FluidSim::Config smallConfig() {
    FluidSim::Config c;
    c.pressureIterations = 3;
    c.velocityDissipation = 0.16f;
    c.dyeDissipation = 0.07f;
    c.curl = 14;
    c.simResolution = 6;
    c.dyeResolution = 12;
    c.paper = {0.937f, 0.917f, 0.878f};
    c.dyeDiffusion = 0.15f;
    c.diffuseIterations = 2;
    c.displayVariant = FluidSim::DisplayVariant::watercolor;
    c.edgeDarken = 0.5f;
    c.granulate = 0.35f;
    c.absorbanceCap = 1.55f;
    return c;
}

std::vector<FluidSim::Splat> someSplats() {
    using Kind = FluidSim::Splat::Kind;
    return {{Kind::dye, {0.3f, 0.4f}, {1.2f, 0.6f, 0.3f}, 0.02f},
            {Kind::velocity, {0.5f, 0.5f}, {200.0f, -150.0f, 0.0f}, 0.01f},
            {Kind::dye, {0.7f, 0.6f}, {0.2f, 0.9f, 1.4f}, 0.004f},
            {Kind::velocity, {0.2f, 0.8f}, {-90.0f, 40.0f, 0.0f}, 0.03f}};
}

// The passes of one step, written out with the per-texel kernels.
struct ReferenceSim {
    compute::FieldPair vel, dye, prs;
    Field curl, div;
    compute::Workspace ws;
    float aspect;

    ReferenceSim(FluidSim::Grids g, float aspect)
        : vel{*Field::create(g.sim.width, g.sim.height), *Field::create(g.sim.width, g.sim.height)},
          dye{*Field::create(g.dye.width, g.dye.height), *Field::create(g.dye.width, g.dye.height)},
          prs{*Field::create(g.sim.width, g.sim.height), *Field::create(g.sim.width, g.sim.height)},
          curl(*Field::create(g.sim.width, g.sim.height)),
          div(*Field::create(g.sim.width, g.sim.height)),
          aspect(aspect) {}

    void step(const std::vector<FluidSim::Splat>& splats, float dt, const FluidSim::Config& c) {
        for (const auto& s : splats) {
            const fluid::SplatPass pass{s.point[0], s.point[1], {s.color[0], s.color[1], s.color[2]}, s.radius, aspect};
            compute::FieldPair& pair = s.kind == FluidSim::Splat::Kind::dye ? dye : vel;
            fluid::reference::kSplat(pair.read, pair.write, pass, ws);
            pair.exchange();
        }
        fluid::reference::kCurl(vel.read, curl, ws);
        fluid::reference::kVorticity(vel.read, curl, vel.write, c.curl, dt, ws);
        vel.exchange();
        fluid::reference::kDivergence(vel.read, div, ws);
        fluid::reference::kClear(prs.read, prs.write, 0.8f, ws);
        prs.exchange();
        for (int i = 0; i < c.pressureIterations; ++i) {
            fluid::reference::kPressure(prs.read, div, prs.write, ws);
            prs.exchange();
        }
        fluid::reference::kGradient(prs.read, vel.read, vel.write, ws);
        vel.exchange();
        fluid::reference::kAdvect(vel.read, vel.read, vel.write, dt, c.velocityDissipation, ws);
        vel.exchange();
        fluid::reference::kAdvect(vel.read, dye.read, dye.write, dt, c.dyeDissipation, ws);
        dye.exchange();
        for (int i = 0; c.dyeDiffusion > 0 && i < c.diffuseIterations; ++i) {
            fluid::reference::kDiffuse(dye.read, dye.write, c.dyeDiffusion, ws);
            dye.exchange();
        }
    }
};

}  // namespace

TEST(FluidSimGrids, SizesForTheDocumentedCases) {
    FluidSim::Config c;
    c.simResolution = 256;
    c.dyeResolution = 1280;
    auto g = FluidSim::gridSizes(1, 1, c);
    EXPECT_EQ(g.sim, (FluidSim::GridSize{256, 256}));
    EXPECT_EQ(g.dye, (FluidSim::GridSize{1, 1}));
    g = FluidSim::gridSizes(800, 600, c);
    EXPECT_EQ(g.sim, (FluidSim::GridSize{341, 256}));
    EXPECT_EQ(g.dye, (FluidSim::GridSize{800, 600}));
    g = FluidSim::gridSizes(600, 800, c);
    EXPECT_EQ(g.sim, (FluidSim::GridSize{256, 341}));
    EXPECT_EQ(g.dye, (FluidSim::GridSize{600, 800}));
    g = FluidSim::gridSizes(3840, 2160, c);
    EXPECT_EQ(g.sim, (FluidSim::GridSize{455, 256}));
    EXPECT_EQ(g.dye, (FluidSim::GridSize{1280, 720}));
    g = FluidSim::gridSizes(2880, 1800, c);
    EXPECT_EQ(g.sim, (FluidSim::GridSize{410, 256}));
    EXPECT_EQ(g.dye, (FluidSim::GridSize{1280, 800}));
}

TEST(FluidSimGrids, HalvesRoundAwayFromZeroAndSidesAreAtLeastOne) {
    FluidSim::Config c;
    c.simResolution = 2;
    c.dyeResolution = 5;
    // aspect 1.25: 1.25 x 2 = 2.5 -> 3; the dye grid 5 x 4.
    auto g = FluidSim::gridSizes(5, 4, c);
    EXPECT_EQ(g.sim, (FluidSim::GridSize{3, 2}));
    EXPECT_EQ(g.dye, (FluidSim::GridSize{5, 4}));
    // Portrait 0.8: 2 / 0.8 = 2.5 -> 3; 0.8 x 5 = 4.
    g = FluidSim::gridSizes(4, 5, c);
    EXPECT_EQ(g.sim, (FluidSim::GridSize{2, 3}));
    EXPECT_EQ(g.dye, (FluidSim::GridSize{4, 5}));
    // A very flat canvas still gets a dye grid of at least one row.
    g = FluidSim::gridSizes(5000, 1, c);
    EXPECT_EQ(g.dye, (FluidSim::GridSize{5, 1}));
    c.simResolution = 0;
    EXPECT_EQ(FluidSim::gridSizes(10, 10, c).sim, (FluidSim::GridSize{1, 1}));
}

TEST(FluidSimCreation, StartsAtZero) {
    auto sim = FluidSim::create(40, 30, smallConfig());
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->velocity().width(), 8);  // round(6 x 4/3)
    EXPECT_EQ(sim->velocity().height(), 6);
    EXPECT_EQ(sim->dye().width(), 12);
    EXPECT_EQ(sim->dye().height(), 9);
    EXPECT_FLOAT_EQ(sim->aspect(), 40.0f / 30.0f);
    for (const Field* f : {&sim->velocity(), &sim->dye(), &sim->pressure()})
        for (int c = 0; c < 4; ++c)
            for (float v : test::channel(*f, c)) EXPECT_EQ(v, 0.0f);
}

TEST(FluidSimCreation, YieldsNothingWhenItCannotBeMade) {
    EXPECT_FALSE(FluidSim::create(40, 30, smallConfig(), nullptr));
    EXPECT_FALSE(FluidSim::create(0, 30, smallConfig()));
    EXPECT_FALSE(FluidSim::create(40, -1, smallConfig()));
    EXPECT_FALSE(FluidSim::create(RgbaImage::kMaxSide + 1, 30, smallConfig()));
    // A flat canvas whose simulation grid would be millions of texels wide.
    FluidSim::Config c = smallConfig();
    c.simResolution = 256;
    EXPECT_FALSE(FluidSim::create(16000, 1, c));
    c.simResolution = int64_t(1) << 40;
    EXPECT_FALSE(FluidSim::create(10, 10, c));
}

TEST(FluidSimContext, HasTheTwelveKernels) {
    const FluidContext* ctx = FluidContext::shared();
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx, FluidContext::shared());
    for (auto name : FluidContext::kKernelNames) EXPECT_TRUE(ctx->hasKernel(name)) << name;
    EXPECT_FALSE(ctx->hasKernel("k_zero"));
    EXPECT_EQ(FluidContext::kKernelNames.front(), "zero");
    EXPECT_EQ(FluidContext::kKernelNames.back(), "display_wc");
}

TEST(FluidSimStep, RunsThePassesInOrder) {
    const FluidSim::Config c = smallConfig();
    auto sim = FluidSim::create(40, 30, c);
    ASSERT_TRUE(sim);
    ReferenceSim ref(FluidSim::gridSizes(40, 30, c), sim->aspect());
    const auto splats = someSplats();
    for (int step = 0; step < 3; ++step) {
        const auto& list = step == 1 ? std::vector<FluidSim::Splat>{} : splats;
        sim->step(list, 1.0f / 60);
        ref.step(list, 1.0f / 60, c);
        ASSERT_EQ(bits(sim->velocity()), bits(ref.vel.read)) << "velocity after step " << step;
        ASSERT_EQ(bits(sim->pressure()), bits(ref.prs.read)) << "pressure after step " << step;
        ASSERT_EQ(bits(sim->dye()), bits(ref.dye.read)) << "dye after step " << step;
    }
    EXPECT_EQ(sim->profile().steps, 3);
    EXPECT_EQ(sim->profile().splats, 8);
}

TEST(FluidSimStep, NoDiffusionPassWithoutDiffusionCoefficient) {
    FluidSim::Config off = smallConfig(), none = smallConfig(), on = smallConfig();
    off.dyeDiffusion = 0;
    off.diffuseIterations = 2;
    none.dyeDiffusion = 0;
    none.diffuseIterations = 0;
    auto a = FluidSim::create(40, 30, off), b = FluidSim::create(40, 30, none), d = FluidSim::create(40, 30, on);
    for (int i = 0; i < 3; ++i) {
        a->step(someSplats(), 1.0f / 60);
        b->step(someSplats(), 1.0f / 60);
        d->step(someSplats(), 1.0f / 60);
    }
    EXPECT_EQ(bits(a->dye()), bits(b->dye()));
    EXPECT_NE(bits(a->dye()), bits(d->dye()));
}

TEST(FluidSimStep, EmptyStepsStillMoveTheFluid) {
    auto sim = FluidSim::create(40, 30, smallConfig());
    sim->step(someSplats(), 1.0f / 60);
    const auto dye = bits(sim->dye()), vel = bits(sim->velocity());
    sim->step({}, 1.0f / 60);
    EXPECT_NE(bits(sim->dye()), dye);
    EXPECT_NE(bits(sim->velocity()), vel);
}

TEST(FluidSimImage, BlankInkPaperHasFibreAndVignette) {
    FluidSim::Config c = smallConfig();
    c.displayVariant = FluidSim::DisplayVariant::ink;
    auto sim = FluidSim::create(5, 3, c);
    auto image = sim->makeImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->colorSpace(), ColorSpace::sRGB);
    // Independently computed (float32 sine hash emulated).
    const std::vector<int> expected = {241, 236, 226, 255, 248, 242, 233, 255, 247, 242, 232, 255, 247, 242, 232, 255,
                                       244, 239, 229, 255, 241, 236, 226, 255, 244, 239, 229, 255, 249, 244, 234, 255,
                                       246, 241, 231, 255, 248, 243, 234, 255, 242, 237, 227, 255, 248, 243, 233, 255,
                                       249, 244, 234, 255, 245, 240, 230, 255, 242, 237, 227, 255};
    ASSERT_EQ(image->byteCount(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(int(image->data()[i]), expected[i], 1) << i;
}

TEST(FluidSimImage, BothVariantsAreDeterministic) {
    for (auto variant : {FluidSim::DisplayVariant::ink, FluidSim::DisplayVariant::watercolor}) {
        FluidSim::Config c = smallConfig();
        c.displayVariant = variant;
        auto a = FluidSim::create(64, 48, c), b = FluidSim::create(64, 48, c);
        for (int i = 0; i < 4; ++i) {
            a->step(someSplats(), 1.0f / 60);
            b->step(someSplats(), 1.0f / 60);
        }
        auto ia = a->makeImage(), ib = b->makeImage();
        ASSERT_TRUE(ia && ib);
        EXPECT_EQ(ia->width(), 64);
        EXPECT_EQ(ia->height(), 48);
        EXPECT_EQ(*ia, *ib);
        // Ink shows: the picture is no longer the blank paper.
        auto blank = FluidSim::create(64, 48, c)->makeImage();
        EXPECT_NE(*ia, *blank);
    }
}
