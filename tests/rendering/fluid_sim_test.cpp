// The fluid simulation: grid sizes, creation, the order of passes in a step, the displays.
#include "rendering/simulation/fluid_sim.h"

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include "rendering/ink_colours.h"
#include "tests/rendering/field_test_util.h"

using namespace murmura;
using compute::Field;
using test::bits;

namespace {

FluidSim::Config smallConfig(FluidSim::DisplayVariant variant = FluidSim::DisplayVariant::watercolor) {
    return {.pressureIterations = 3, .velocityDissipation = 0.16f, .dyeDissipation = 0.07f, .curl = 14,
            .simResolution = 6, .dyeResolution = 12, .paper = colours::kInkPaper, .dyeDiffusion = 0.15f,
            .diffuseIterations = 2, .displayVariant = variant, .edgeDarken = 0.5f, .granulate = 0.35f,
            .absorbanceCap = 1.55f};
}

const std::vector<FluidSim::Splat> kSplats = {
    {FluidSim::Splat::Kind::dye, {0.3f, 0.4f}, {1.2f, 0.6f, 0.3f}, 0.02f},
    {FluidSim::Splat::Kind::velocity, {0.5f, 0.5f}, {200.0f, -150.0f, 0.0f}, 0.01f},
    {FluidSim::Splat::Kind::dye, {0.7f, 0.6f}, {0.2f, 0.9f, 1.4f}, 0.004f},
    {FluidSim::Splat::Kind::velocity, {0.2f, 0.8f}, {-90.0f, 40.0f, 0.0f}, 0.03f}};

// The passes of one step, written out with the per-texel kernels.
struct ReferenceSim {
    compute::FieldPair vel, dye, prs;
    Field curl, div;
    compute::Workspace ws;
    float aspect;

    static Field make(FluidSim::GridSize g) { return *Field::create(g.width, g.height); }
    ReferenceSim(FluidSim::Grids g, float aspect)
        : vel{make(g.sim), make(g.sim)}, dye{make(g.dye), make(g.dye)}, prs{make(g.sim), make(g.sim)},
          curl(make(g.sim)), div(make(g.sim)), aspect(aspect) {}

    void step(const std::vector<FluidSim::Splat>& splats, float dt, const FluidSim::Config& c) {
        for (const auto& s : splats) {
            const bool isDye = s.kind == FluidSim::Splat::Kind::dye;  // dye splats are separable
            const fluid::SplatPass pass{s.point[0], s.point[1], {s.color[0], s.color[1], s.color[2]}, s.radius, aspect, isDye};
            compute::FieldPair& pair = isDye ? dye : vel;
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
        fluid::reference::kAdvectDiffuse(vel.read, dye, dt, c.dyeDissipation, c.dyeDiffusion,
                                         c.dyeDiffusion > 0 ? c.diffuseIterations : 0, ws);
    }
};

}  // namespace

TEST(FluidSim, GridSizes) {
    struct Case {
        int64_t width, height, simResolution, dyeResolution;
        FluidSim::GridSize sim, dye;
    };
    const Case cases[] = {{1, 1, 256, 1280, {256, 256}, {1, 1}},         {800, 600, 256, 1280, {341, 256}, {800, 600}},
                          {600, 800, 256, 1280, {256, 341}, {600, 800}}, {3840, 2160, 256, 1280, {455, 256}, {1280, 720}},
                          {2880, 1800, 256, 1280, {410, 256}, {1280, 800}},
                          {5, 4, 2, 5, {3, 2}, {5, 4}} /* 2.5 rounds away from zero */,
                          {4, 5, 2, 5, {2, 3}, {4, 5}}, {5000, 1, 2, 5, {5, 1}, {5, 1}} /* at least one row */,
                          {10, 10, 0, 5, {1, 1}, {5, 5}},
                          // A thin strip: the velocity grid's longer side stops at the dye grid's.
                          {3840, 40, 256, 1280, {1280, 13}, {1280, 13}}, {40, 3840, 256, 1280, {13, 1280}, {13, 1280}},
                          {97, 3, 256, 1280, {256, 8}, {97, 3}}};
    for (const Case& c : cases) {
        FluidSim::Config config;
        config.simResolution = c.simResolution;
        config.dyeResolution = c.dyeResolution;
        const FluidSim::Grids g = FluidSim::gridSizes(c.width, c.height, config);
        EXPECT_EQ(g.sim, c.sim) << c.width << "x" << c.height;
        EXPECT_EQ(g.dye, c.dye) << c.width << "x" << c.height;
    }
}

TEST(FluidSim, CreationStartsAtZeroOrYieldsNothing) {
    auto sim = FluidSim::create(40, 30, smallConfig());
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->velocity().width(), 8);  // round(6 x 4/3)
    EXPECT_EQ(sim->dye().height(), 9);
    for (const Field* f : {&sim->velocity(), &sim->dye(), &sim->pressure()})
        EXPECT_EQ(bits(*f), std::vector<uint16_t>(bits(*f).size(), 0));
    EXPECT_FALSE(FluidSim::create(40, 30, smallConfig(), nullptr));
    EXPECT_FALSE(FluidSim::create(0, 30, smallConfig()));
    EXPECT_FALSE(FluidSim::create(40, -1, smallConfig()));
    EXPECT_FALSE(FluidSim::create(RgbaImage::kMaxSide + 1, 30, smallConfig()));
    FluidSim::Config c = smallConfig();
    c.simResolution = 256;
    EXPECT_EQ(FluidSim::create(16000, 1, c)->velocity().width(), 256);  // not millions of texels wide
    c.simResolution = int64_t(1) << 40;
    EXPECT_FALSE(FluidSim::create(10, 10, c));
}

// With and without dye diffusion; the second step has no splats, so the fluid moves on its own.
TEST(FluidSim, StepRunsThePassesInOrder) {
    for (float diffusion : {0.15f, 0.0f}) {
        FluidSim::Config c = smallConfig();
        c.dyeDiffusion = diffusion;
        auto sim = FluidSim::create(40, 30, c);
        ASSERT_TRUE(sim);
        ReferenceSim ref(FluidSim::gridSizes(40, 30, c), sim->aspect());
        for (int step = 0; step < 3; ++step) {
            const auto& list = step == 1 ? std::vector<FluidSim::Splat>{} : kSplats;
            sim->step(list, 1.0f / 60);
            ref.step(list, 1.0f / 60, c);
            ASSERT_EQ(bits(sim->velocity()), bits(ref.vel.read)) << "velocity after step " << step;
            ASSERT_EQ(bits(sim->pressure()), bits(ref.prs.read)) << "pressure after step " << step;
            ASSERT_EQ(bits(sim->dye()), bits(ref.dye.read)) << "dye after step " << step;
        }
        EXPECT_EQ(sim->profile().steps, 3);
        EXPECT_EQ(sim->profile().splats, 8);
    }
}

// Each variant shows the dye through its own display with the configured paper and parameters,
// and the image does not depend on the number of threads.
TEST(FluidSim, ImageShowsTheDyeThroughTheConfiguredDisplayOnAnyThreadCount) {
    for (auto variant : {FluidSim::DisplayVariant::ink, FluidSim::DisplayVariant::watercolor}) {
        const FluidSim::Config c = smallConfig(variant);
        auto run = [&] {
            auto sim = FluidSim::create(64, 300, c);
            for (int i = 0; i < 3; ++i) sim->step(kSplats, 1.0f / 60);
            return std::pair{sim->makeImage(), std::move(sim)};
        };
        auto [image, sim] = run();
        ASSERT_TRUE(image);
        auto expected = *compute::DisplayField::create(64, 300);
        compute::Workspace ws;
        if (variant == FluidSim::DisplayVariant::ink)
            fluid::reference::kDisplay(sim->dye(), expected, colours::kInkPaper, ws);
        else
            fluid::reference::kDisplayWc(sim->dye(), expected, {colours::kInkPaper, 0.5f, 0.35f, 1.55f}, ws);
        EXPECT_EQ(*image, *expected.readBack());
        tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
        EXPECT_EQ(*image, *run().first);
    }
}
