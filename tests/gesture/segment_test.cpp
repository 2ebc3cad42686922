#include "gesture/segment.h"

#include <gtest/gtest.h>

#include "../test_events.h"

using namespace murmura;
using namespace murmura::test;

namespace {
std::vector<size_t> counts(const std::vector<Segment>& segments) {
    std::vector<size_t> c;
    for (const auto& s : segments) c.push_back(s.eventCount());
    return c;
}
}  // namespace

TEST(SegmentBuilder, NoInScopeEventsGiveNoSegments) {
    SegmentBuilder b;
    EXPECT_TRUE(b.build({}).empty());
    EXPECT_TRUE(b.build({move(1, 0, 0, false), move(2, 100, 0, false)}).empty());
}

TEST(SegmentBuilder, OutOfScopeEventsNeitherSplitNorExtend) {
    SegmentBuilder b;
    RawEvent outsideClick = down(0.15, 0, 0);
    outsideClick.inScope = false;
    auto segments = b.build({move(0.0, 0, 0), move(0.1, 10, 0), outsideClick, move(0.2, 20, 0),
                             move(20.0, 30, 0, false)});
    // The out-of-scope click and the late move never reach the machine.
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].eventCount(), 3u);
    EXPECT_EQ(segments[0].endTime, 0.2);
}

TEST(SegmentBuilder, ClickDuringMovementStartsDiscreteSegment) {
    SegmentBuilder b;
    auto segments = b.build({
        move(0.0, 0, 0), move(0.1, 10, 0), move(0.2, 20, 0),                   // moving
        down(0.3, 20, 0), up(0.4, 20, 0), event(EventType::keyDown, 0.5, Point{20, 0}),  // discrete run
        move(0.6, 60, 0),                                                      // fast: discrete -> moving
        move(0.7, 90, 0),
    });
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(counts(segments), (std::vector<size_t>{3, 3, 2}));
    EXPECT_EQ(segments[0].segmentType, SegmentType::moving);
    EXPECT_EQ(segments[0].endTime, 0.2);
    EXPECT_EQ(segments[1].segmentType, SegmentType::discrete);
    EXPECT_EQ(segments[1].startTime, 0.3);
    EXPECT_EQ(segments[1].endTime, 0.5);
    EXPECT_EQ(segments[2].segmentType, SegmentType::moving);
    EXPECT_EQ(segments[2].startTime, 0.6);
}

TEST(SegmentBuilder, SlowMotionAfterClickStaysInDiscreteSegment) {
    SegmentBuilder b;
    // The slow move sends the machine to idle; from idle a fast move does not split either.
    auto segments = b.build({down(1.0, 20, 0), move(1.1, 20, 0.1), move(1.2, 60, 0.1)});
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].segmentType, SegmentType::discrete);
    EXPECT_EQ(segments[0].eventCount(), 3u);
}

TEST(SegmentBuilder, ClickAfterPauseDoesNotSplit) {
    SegmentBuilder b;
    auto segments = b.build({move(0.0, 0, 0), move(0.1, 10, 0), move(1.5, 10, 0),  // paused
                             down(1.6, 10, 0), up(1.7, 10, 0)});
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].eventCount(), 5u);
    EXPECT_EQ(segments[0].segmentType, SegmentType::moving);
}

TEST(SegmentBuilder, GapExactlyAtBreakThresholdDoesNotSplit) {
    SegmentBuilder b;
    // Clicks keep the machine discrete so only the gap rule can split.
    auto exact = b.build({down(1.0), up(11.0)});
    EXPECT_EQ(exact.size(), 1u);
    auto above = b.build({down(1.0), up(11.000001)});
    ASSERT_EQ(above.size(), 2u);
    EXPECT_EQ(above[0].startTime, 1.0);
    EXPECT_EQ(above[0].endTime, 1.0);  // one-event segment
    EXPECT_EQ(above[1].startTime, 11.000001);
}

TEST(SegmentBuilder, SlowEventsInBreakFormOneEventSegments) {
    SegmentBuilder b;
    auto segments = b.build({
        move(0.0, 0, 0), move(0.1, 10, 0),  // moving
        move(10.1, 10, 1),                   // break: closes [0, 0.1], starts new
        move(10.2, 10, 1.1),                 // still break: closes again
        move(10.3, 10, 1.2),                 // again
        move(10.4, 100, 1.2),                // fast: moving, continues the last one-event segment
        move(10.5, 200, 1.2),
    });
    EXPECT_EQ(counts(segments), (std::vector<size_t>{2, 1, 1, 3}));
    for (const auto& s : segments) EXPECT_EQ(s.segmentType, SegmentType::moving);
}

TEST(SegmentBuilder, EventOrderIsKeptNotSorted) {
    SegmentBuilder b;
    auto segments = b.build({down(2.0), up(1.0)});
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].startTime, 2.0);
    EXPECT_EQ(segments[0].endTime, 1.0);
}

TEST(SilentSpanBuilder, EmptySessionIsOneSpan) {
    SilentSpanBuilder b;
    auto spans = b.build({}, 300);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].startTime, 0);
    EXPECT_EQ(spans[0].endTime, 300);
    EXPECT_EQ(b.silentRatio(spans, 300), 1.0);
    EXPECT_EQ(b.silentRatio(spans, 0), 0.0);
    EXPECT_EQ(b.totalSilentDuration({}), 0.0);
}

TEST(SilentSpanBuilder, GapsBetweenSortedNeighbours) {
    auto seg = [](double s, double e) {
        Segment x;
        x.startTime = s;
        x.endTime = e;
        return x;
    };
    SilentSpanBuilder b;
    // Given out of order; 20-30 touches 30-40 (no span); 5-8 is inside 2-10 but only
    // neighbours are compared.
    auto spans = b.build({seg(30, 40), seg(2, 10), seg(20, 30), seg(5, 8)}, 50);
    std::vector<std::pair<double, double>> got;
    for (const auto& s : spans) got.emplace_back(s.startTime, s.endTime);
    EXPECT_EQ(got, (std::vector<std::pair<double, double>>{{0, 2}, {8, 20}, {40, 50}}));
    EXPECT_DOUBLE_EQ(b.totalSilentDuration(spans), 24.0);
    EXPECT_DOUBLE_EQ(b.silentRatio(spans, 50), 0.48);
}

TEST(SilentSpanBuilder, SegmentsCoveringTheWholeSessionLeaveNoSpan) {
    Segment s;
    s.startTime = 0;
    s.endTime = 60;
    SilentSpanBuilder b;
    EXPECT_TRUE(b.build({s}, 60).empty());
    EXPECT_TRUE(b.build({s}, 30).empty());  // ends after the session
}

TEST(SegmentJson, RoundTripsWithEvents) {
    SegmentBuilder b;
    auto segments = b.build({down(1.0, 5, 6), up(1.1, 5, 6)});
    ASSERT_EQ(segments.size(), 1u);
    Json j = encode(segments[0]);
    EXPECT_EQ(j["segmentType"], "discrete");
    auto back = decodeSegment(Json::parse(j.dump()));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, segments[0]);

    SilentSpan span;
    span.startTime = 1;
    span.endTime = 2.5;
    auto spanBack = decodeSilentSpan(Json::parse(encode(span).dump()));
    ASSERT_TRUE(spanBack);
    EXPECT_EQ(*spanBack, span);
}

TEST(SegmentJson, ErrorsNameTheKey) {
    SegmentBuilder b;
    Json j = encode(b.build({down(1.0)})[0]);
    j["segmentType"] = "dragging";
    auto bad = decodeSegment(j);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().key, "segmentType");
    j = encode(b.build({down(1.0)})[0]);
    j["events"][0]["keyCode"] = 70000;
    bad = decodeSegment(j);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().key, "events[0].keyCode");
}
