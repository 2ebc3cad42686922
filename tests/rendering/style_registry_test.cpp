#include "rendering/style_registry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <chrono>

#include "../test_diagnostics.h"
#include "../test_events.h"
#include "style_test_util.h"

using namespace murmura;

namespace {
class FakeRenderer final : public StyleRenderer {
public:
    FakeRenderer(std::string id, std::string name, StyleSeries series, int tag)
        : descriptor_{std::move(id), std::move(name), series}, tag(tag) {}
    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput&, int64_t, int64_t) const override { return {}; }
    StyleDescriptor descriptor_;
    int tag;
};

std::shared_ptr<const StyleRenderer> fake(std::string id, std::string name, StyleSeries s, int tag = 0) {
    return std::make_shared<FakeRenderer>(std::move(id), std::move(name), s, tag);
}
}  // namespace

TEST(StyleDescriptor, JsonRoundTripAndErrorsNameTheKey) {
    const StyleDescriptor d{"ink-water", "Ink Water (墨流し)", StyleSeries::traditional};
    const Json j = encode(d);
    EXPECT_EQ(j.dump(), R"x({"id":"ink-water","name":"Ink Water (墨流し)","series":"Traditional Media"})x");
    EXPECT_EQ(decodeStyleDescriptor(Json::parse(j.dump())).value(), d);
    EXPECT_EQ(decodeStyleDescriptor(Json::parse(R"({"id": "x", "name": "X", "series": "artist"})")).error().key,
              "series");
    EXPECT_EQ(decodeStyleDescriptor(Json::parse(R"({"id": "x", "series": "Artist"})")).error().key, "name");
}

TEST(StyleRegistry, SortsBySeriesThenNameAndTheLaterDuplicateWinsLookup) {
    EXPECT_TRUE(StyleRegistry(std::vector<std::shared_ptr<const StyleRenderer>>{}).descriptors().empty());
    const StyleRegistry r({fake("ink-water", "Ink Water (墨流し)", StyleSeries::traditional),
                           fake("charcoal", "Charcoal (炭筆)", StyleSeries::traditional),
                           fake("planara", "Planara", StyleSeries::artist), fake("x", "Same", StyleSeries::artist, 1),
                           fake("graffo", "Graffo", StyleSeries::artist), fake("x", "Same", StyleSeries::artist, 2)});
    std::vector<std::string> names;
    for (const auto& d : r.descriptors()) names.push_back(d.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Graffo", "Planara", "Same", "Same", "Charcoal (炭筆)",
                                               "Ink Water (墨流し)"}));
    EXPECT_EQ(std::dynamic_pointer_cast<const FakeRenderer>(r.renderer("x"))->tag, 2);
    EXPECT_NE(r.renderer("ink-water"), nullptr);
    EXPECT_EQ(r.renderer("Ink-water"), nullptr);  // case-sensitive
}

// Every style: impossible canvases refused, tiny ones filled exactly, the same bytes on any thread count.
TEST(StyleRegistry, EveryStyleRefusesImpossibleCanvasesAndRendersTheRestDeterministically) {
    using namespace test;
    const Diagnostics quiet;
    std::vector<RawEvent> events{down(0, 5, 5)};
    for (int i = 1; i <= 60; ++i) events.push_back(drag(0.05 * i, 5 + 2 * i, 5 + 60 * std::sin(i / 9.0) * std::sin(i / 9.0)));
    events.insert(events.end(), {up(3.1, 125, 30), move(3.3, 100, 70), move(3.4, 50, 72), keyDown(4), scroll(5)});
    const MaterialEngineOutput session = sessionOf({events, {move(6, 110, 10), down(6.5, 110, 10)}}, 0.3);
    const StyleRegistry full = makeFullRegistry();
    for (const auto& d : full.descriptors()) {
        SCOPED_TRACE(d.id);
        const StyleRenderer& r = *full.renderer(d.id);
        for (auto [w, h] : {std::pair<int64_t, int64_t>{0, 10}, {10, 0}, {-3, 10}, {10, -1}, {RgbaImage::kMaxSide + 1, 10}})
            EXPECT_FALSE(r.render(session, w, h)) << w << "x" << h;
        for (auto [w, h] : {std::pair<int64_t, int64_t>{1, 1}, {5, 3}}) {
            const auto image = r.render(session, w, h);
            EXPECT_TRUE(image && image->width() == w && image->height() == h) << w << "x" << h;
        }
        const RgbaImage drawn = expectSameBytesOnAnyThreadCount(r, session, 128, 80);
        EXPECT_FALSE(drawn == *r.render(MaterialEngineOutput{}, 128, 80));  // the session left marks
    }
}
