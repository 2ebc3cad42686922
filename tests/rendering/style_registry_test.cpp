#include "rendering/style_registry.h"

#include <gtest/gtest.h>

using namespace murmura;

namespace {
class FakeRenderer final : public StyleRenderer {
public:
    FakeRenderer(std::string id, std::string name, StyleSeries series, int tag = 0)
        : descriptor_{std::move(id), std::move(name), series}, tag_(tag) {}
    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput&, int64_t, int64_t) const override {
        return std::nullopt;
    }
    int tag() const { return tag_; }

private:
    StyleDescriptor descriptor_;
    int tag_;
};

std::shared_ptr<const StyleRenderer> fake(std::string id, std::string name, StyleSeries s, int tag = 0) {
    return std::make_shared<FakeRenderer>(std::move(id), std::move(name), s, tag);
}

std::vector<std::string> names(const StyleRegistry& r) {
    std::vector<std::string> out;
    for (const auto& d : r.descriptors()) out.push_back(d.name);
    return out;
}
}  // namespace

TEST(StyleSeries, RawValuesAreExact) {
    EXPECT_EQ(rawValue(StyleSeries::traditional), "Traditional Media");
    EXPECT_EQ(styleSeriesFromRaw("Artist"), StyleSeries::artist);
    EXPECT_FALSE(styleSeriesFromRaw("artist"));
    EXPECT_FALSE(styleSeriesFromRaw("Visual Medium"));
}

TEST(StyleDescriptor, JsonRoundTripAndErrors) {
    StyleDescriptor d{"ink-water", "Ink Water (墨流し)", StyleSeries::traditional};
    Json j = encode(d);
    EXPECT_EQ(j.dump(), R"x({"id":"ink-water","name":"Ink Water (墨流し)","series":"Traditional Media"})x");
    auto back = decodeStyleDescriptor(Json::parse(j.dump()));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, d);
    auto bad = decodeStyleDescriptor(Json::parse(R"({"id": "x", "name": "X", "series": "Visual Medium"})"));
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().key, "series");
    auto missing = decodeStyleDescriptor(Json::parse(R"({"id": "x", "series": "Artist"})"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().key, "name");
}

TEST(StyleRegistry, EmptyListGivesEmptyRegistry) {
    StyleRegistry r(std::vector<std::shared_ptr<const StyleRenderer>>{});
    EXPECT_TRUE(r.descriptors().empty());
    EXPECT_EQ(r.renderer("ink-water"), nullptr);
}

TEST(StyleRegistry, SortsBySeriesThenNameStably) {
    // The application's table, in registration order.
    StyleRegistry r({fake("ink-water", "Ink Water (墨流し)", StyleSeries::traditional),
                     fake("charcoal", "Charcoal (炭筆)", StyleSeries::traditional),
                     fake("watercolor", "Watercolor (水彩)", StyleSeries::traditional),
                     fake("planara", "Planara", StyleSeries::artist), fake("skeinfall", "Skeinfall", StyleSeries::artist),
                     fake("graffo", "Graffo", StyleSeries::artist), fake("neon", "Neon (霓虹)", StyleSeries::traditional)});
    EXPECT_EQ(names(r), (std::vector<std::string>{"Graffo", "Planara", "Skeinfall", "Charcoal (炭筆)",
                                                  "Ink Water (墨流し)", "Neon (霓虹)", "Watercolor (水彩)"}));
}

TEST(StyleRegistry, LaterDuplicateWinsLookupButBothAreListed) {
    StyleRegistry r({fake("x", "Same", StyleSeries::artist, 1), fake("x", "Same", StyleSeries::artist, 2)});
    auto found = std::dynamic_pointer_cast<const FakeRenderer>(r.renderer("x"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->tag(), 2);
    ASSERT_EQ(r.descriptors().size(), 2u);
}

TEST(StyleRegistry, LookupIsCaseSensitive) {
    StyleRegistry r({fake("ink-water", "Ink Water (墨流し)", StyleSeries::traditional)});
    EXPECT_NE(r.renderer("ink-water"), nullptr);
    EXPECT_EQ(r.renderer("Ink-water"), nullptr);
}

TEST(StyleRegistry, DefaultRegistryLeavesPoplineOut) {
    EXPECT_EQ(makeDefaultRegistry().renderer("popline"), nullptr);
    // Everything offered is also in the full registry.
    const StyleRegistry full = makeFullRegistry();
    const StyleRegistry offered = makeDefaultRegistry();
    for (const auto& d : offered.descriptors()) EXPECT_NE(full.renderer(d.id), nullptr) << d.id;
}
