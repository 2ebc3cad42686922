// murmura-cli inspect --style charcoal: the calculator's trace as JSON that reads back exactly.
#include <gtest/gtest.h>

#include <sstream>

#include "../test_events.h"
#include "../test_files.h"
#include "cli/commands/commands.h"
#include "cli/commands/inspect.h"
#include "rendering/artwork_renderer.h"

using namespace murmura;
using namespace murmura::cli;

namespace {

TEST(InspectCharcoal, TraceWindowReadsBackExactly) {
    test::ScratchDirectory dir{"murmura-inspect"};
    const std::string file = (dir / "s.json").string();
    std::vector<RawEvent> events = {test::move(1.0, 110, 60), test::down(1.2, 150, 90), test::drag(1.3, 190, 97),
                                    test::up(1.4, 190, 97)};
    events.push_back(test::keyDown(5.0));
    events.back().position.reset();
    const CaptureResult session{events, 60, 0, Rect{100, 50, 400, 300}};
    test::writeFile(file, encodeSessionFile(session));
    const Command& inspect =
        *std::find_if(commands().begin(), commands().end(), [](const Command& c) { return c.name == "inspect"; });
    const auto runWith = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {file, "--style", "charcoal"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::ostringstream out, err;
        Context ctx{out, err, {}};
        EXPECT_EQ(runInspect(parseArgs(inspect, "inspect", args), ctx, inspectors()), 0) << err.str();
        return Json::parse(out.str());
    };

    const Json all = runWith({});
    EXPECT_EQ(all["simScale"], 2);
    EXPECT_EQ(all["grid"], Json::parse("[400, 300]"));
    EXPECT_EQ(all["summary"]["events"], 5);
    ASSERT_EQ(all["events"].size(), 5u);
    // The same trace through the C++ interface, on the material the command rendered.
    const InkTrace t = ArtworkRenderer(800, 600, InkStyle::longSessionStable, false).trace(materialize(session, {800, 600}));
    for (size_t i = 0; i < 5; ++i) {
        const Json& e = all["events"][i];
        const InkTraceEvent& x = t.events[i];
        EXPECT_EQ(e["index"].get<size_t>(), x.index);
        EXPECT_EQ(e["timestamp"].get<double>(), x.timestamp);
        EXPECT_EQ(e["contact"].get<bool>(), x.contact);
        EXPECT_EQ(static_cast<float>(e["inkLevel"].get<double>()), x.parameters.newState.inkLevel);
        EXPECT_EQ(e["brushSize"].get<double>(), x.parameters.brushSize);
        EXPECT_EQ(static_cast<float>(e["erosionStrength"].get<double>()), x.parameters.erosionStrength);
        EXPECT_EQ(e["isSplatter"].get<bool>(), x.parameters.isSplatter);
        if (x.position) EXPECT_EQ(e["position"][0].get<double>(), x.position->x);
        else EXPECT_TRUE(e["position"].is_null());
    }
    EXPECT_TRUE(all["events"][2]["contact"].get<bool>());
    EXPECT_TRUE(all["events"][4]["triggerGlobalDrying"].get<bool>());

    const Json window = runWith({"--from", "1", "--count", "2"});
    ASSERT_EQ(window["events"].size(), 2u);
    EXPECT_EQ(window["events"][0], all["events"][1]);
    EXPECT_EQ(window["summary"], all["summary"]);
}

}  // namespace
