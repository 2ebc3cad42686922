// murmura-cli inspect --style planara, run in-process: its fills are exactly the rendered image.
#include <gtest/gtest.h>

#include <sstream>

#include "../test_events.h"
#include "../test_files.h"
#include "cli/commands/commands.h"
#include "rendering/png_io.h"
#include "rendering/styles/planara.h"

using namespace murmura;

TEST(InspectPlanara, FillsRedrawTheRenderedImage) {
    test::ScratchDirectory dir("murmura-inspect");
    // A pressed sweep and a one-second rest in the window (100, 50, 400, 300), drawn 1:1.
    std::vector<RawEvent> ev{test::down(0, 140, 200)};
    for (int k = 1; k <= 20; ++k) ev.push_back(test::drag(0.05 * k, 140 + 12 * k, 200));
    for (int k = 1; k <= 10; ++k) ev.push_back(test::drag(1 + 0.1 * k, 380, 200));
    ev.push_back(test::up(2.1, 380, 200));
    test::writeFile(dir / "s.json", encodeSessionFile(CaptureResult{ev, 60, 0, Rect{100, 50, 400, 300}}));
    const std::string session = (dir / "s.json").string(), png = (dir / "o.png").string();
    auto run = [](const std::vector<std::string>& args) {
        std::ostringstream out, err;
        cli::Context ctx{out, err, {}};
        EXPECT_EQ(cli::runCommandLine(cli::commands(), args, ctx), 0) << err.str();
        return out.str();
    };
    const Json j = *parseJson(run({"inspect", session, "--style", "planara", "--width", "400", "--height", "300"}));
    run({"render", session, "--style", "planara", "--width", "400", "--height", "300", "--out", png});

    const Json& split = j["extraction"]["ops"][0]["split"];
    EXPECT_EQ(split["axis"], "horizontal");
    EXPECT_EQ(split["coord"].get<double>(), 0.5);
    EXPECT_EQ(j["extraction"]["candidates"][0]["isDwell"], true);
    EXPECT_EQ(j["lineThickness"], 4);
    std::vector<std::string> stages;
    for (const auto& [name, stage] : j["stages"].items()) stages.push_back(name);
    EXPECT_EQ(stages, (std::vector<std::string>{"replay", "topUp", "symmetry", "rhythm", "refinement"}));
    std::vector<planara::Fill> fills;
    for (const Json& f : j["fills"]) {
        const auto r = f["rect"].get<std::array<int64_t, 4>>();
        fills.push_back({r[0], r[1], r[2], r[3], f["rgb"].get<std::array<uint8_t, 3>>()});
    }
    ASSERT_GE(fills.size(), 6u);  // background, lines, frame
    RgbaImage redrawn = *RgbaImage::create(400, 300, ColorSpace::deviceRGB);
    planara::drawFills(redrawn, fills);
    const auto rendered = readPngFile(png);
    ASSERT_TRUE(rendered);
    EXPECT_TRUE(std::equal(redrawn.data(), redrawn.data() + redrawn.byteCount(), rendered->data()));
}
