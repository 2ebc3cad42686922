// The gesture state machine, segments and silent spans.
#include <gtest/gtest.h>

#include "../test_events.h"
#include "gesture/gesture_state_machine.h"
#include "gesture/segment.h"
#include "support/random.h"

using namespace murmura;
using namespace murmura::test;
using G = GestureState;

namespace {
std::vector<G> states(const std::vector<RawEvent>& events) {
    GestureStateMachine m;
    std::vector<G> out;
    for (const RawEvent& e : events) out.push_back(m.process(e));
    return out;
}

std::vector<size_t> counts(const std::vector<Segment>& segments) {
    std::vector<size_t> c;
    for (const auto& s : segments) c.push_back(s.eventCount());
    return c;
}

Segment covering(double start, double end) {
    Segment s;
    s.startTime = start;
    s.endTime = end;
    return s;
}
}  // namespace

TEST(GestureStateMachine, TransitionsFollowVelocityAndGaps) {
    const RawEvent noPosition = event(EventType::mouseMove, 1.1, std::nullopt);
    const RawEvent app = event(EventType::appBecameActive, 50, std::nullopt);
    const std::pair<std::vector<RawEvent>, std::vector<G>> cases[] = {
        // The first motion has no velocity; 10 units in 0.1 s is 100 u/s.
        {{move(0.5, 100, 100), move(0.6, 106, 108)}, {G::idle, G::moving}},
        // 5 u/s is exactly the minimum velocity; the same time gives no velocity.
        {{move(1, 0, 0), move(2, 5, 0)}, {G::idle, G::moving}},
        {{move(1, 0, 0), move(2, 4.999, 0)}, {G::idle, G::idle}},
        {{move(1, 0, 0), move(1, 500, 0)}, {G::idle, G::idle}},
        {{move(1, 0, 0), noPosition, move(1.2, 500, 0)}, {G::idle, G::idle, G::idle}},
        // Slow after a gap: at 1 s exactly a pause, at 10 s a break that lasts until fast again.
        {{move(0, 0, 0), move(0.1, 10, 0), move(1.099, 10, 0)}, {G::idle, G::moving, G::moving}},
        {{move(0, 0, 0), move(0.5, 10, 0), move(1.5, 10, 0), move(11.5, 10, 0)}, {G::idle, G::moving, G::paused, G::break_}},
        {{move(0, 0, 0), move(0.5, 10, 0), move(1.5, 10, 0), move(11.499, 10, 0)},
         {G::idle, G::moving, G::paused, G::paused}},
        {{move(0, 0, 0), move(0.1, 10, 0), move(10.1, 10, 1), move(10.2, 10, 1), move(10.3, 40, 1)},
         {G::idle, G::moving, G::break_, G::break_, G::moving}},
        // Velocity comes before the gap rules: 200 units in 20 s is fast enough.
        {{move(0, 0, 0), move(0.1, 10, 0), move(20.1, 210, 0)}, {G::idle, G::moving, G::moving}},
        // Discrete events, and what follows them; app changes are ignored.
        {{move(0, 0, 0), move(0.1, 10, 0), down(0.2, 50, 50), move(0.3, 50, 50.1), keyDown(0.4), move(0.5, 100, 50)},
         {G::idle, G::moving, G::discrete, G::idle, G::discrete, G::moving}},
        {{move(0, 0, 0), move(0.1, 10, 0), app}, {G::idle, G::moving, G::moving}},
    };
    for (const auto& [events, expected] : cases) {
        SCOPED_TRACE(events.back().timestamp);
        EXPECT_EQ(states(events), expected);
    }
}

TEST(GestureStateMachine, ClicksMoveThePositionScrollsAndAppChangesDoNot) {
    GestureStateMachine m;
    m.process(move(0.0, 3, 4));
    m.process(move(0.1, 9, 12));
    EXPECT_NEAR(m.lastVelocity(), 100.0, 1e-9);
    m.process(event(EventType::appBecameActive, 50, std::nullopt));
    EXPECT_EQ(m.lastEventTime(), 0.1);
    RawEvent s = scroll(0.5);
    s.position = Point{900, 900};
    m.process(s);
    EXPECT_EQ(m.lastPosition(), (Point{9, 12}));
    EXPECT_EQ(m.lastEventTime(), 0.5);
    m.process(down(0.6, 50, 50));
    EXPECT_EQ(m.lastPosition(), (Point{50, 50}));
    EXPECT_NEAR(m.lastVelocity(), 100.0, 1e-9);  // left unchanged by the click
}

TEST(GestureStateMachine, UpdateAppliesTimeoutsOnly) {
    GestureStateMachine m(GestureThresholds::relaxed());
    m.process(move(0.0, 0, 0));
    m.process(move(0.1, 100, 0));
    const std::pair<double, G> steps[] = {{2.0, G::moving}, {2.1, G::paused}, {15.0, G::paused}, {15.1, G::break_}};
    for (auto [time, expected] : steps) {
        m.update(time);
        EXPECT_EQ(m.currentState(), expected) << time;
    }
    EXPECT_EQ(m.lastEventTime(), 0.1);
    m.reset();
    EXPECT_EQ(m.currentState(), G::idle);
    EXPECT_FALSE(m.lastPosition());
    EXPECT_EQ(m.lastVelocity(), 0);
    EXPECT_EQ(m.thresholds(), GestureThresholds::relaxed());

    GestureStateMachine d;
    d.process(down(2.0));
    d.update(2.49);
    EXPECT_EQ(d.currentState(), G::discrete);
    d.update(2.5);
    EXPECT_EQ(d.currentState(), G::idle);
    GestureStateMachine jump;
    jump.process(move(0.0, 0, 0));
    jump.process(move(0.1, 10, 0));
    jump.update(30);  // straight from moving to break
    EXPECT_EQ(jump.currentState(), G::break_);
}

TEST(SegmentBuilder, SplitsAtClicksDuringMovementAndAtBreaks) {
    SegmentBuilder b;
    RawEvent outsideClick = down(0.15, 0, 0);
    outsideClick.inScope = false;
    auto segments = b.build({move(0.0, 0, 0), move(0.1, 10, 0), outsideClick, move(0.2, 20, 0),  // moving
                             down(0.3, 20, 0), up(0.4, 20, 0), keyDown(0.5),                     // discrete run
                             move(0.6, 60, 0), move(0.7, 90, 0), move(20.0, 30, 0, false)});      // fast again
    EXPECT_EQ(counts(segments), (std::vector<size_t>{3, 3, 2}));
    EXPECT_EQ(segments[0].segmentType, SegmentType::moving);
    EXPECT_EQ(segments[1].segmentType, SegmentType::discrete);
    EXPECT_EQ(segments[1].startTime, 0.3);
    EXPECT_EQ(segments[1].endTime, 0.5);
    EXPECT_EQ(segments[2].segmentType, SegmentType::moving);
    EXPECT_EQ(segments[2].endTime, 0.7);  // the out-of-scope events neither split nor extend

    // A slow move after a click, a fast one from idle, and a click after a pause do not split.
    EXPECT_EQ(counts(b.build({down(1.0, 20, 0), move(1.1, 20, 0.1), move(1.2, 60, 0.1)})), (std::vector<size_t>{3}));
    EXPECT_EQ(counts(b.build({move(0.0, 0, 0), move(0.1, 10, 0), move(1.5, 10, 0), down(1.6, 10, 0), up(1.7, 10, 0)})),
              (std::vector<size_t>{5}));
    // Slow events in a break form one-event segments until a fast move continues the last one.
    EXPECT_EQ(counts(b.build({move(0.0, 0, 0), move(0.1, 10, 0), move(10.1, 10, 1), move(10.2, 10, 1.1),
                              move(10.3, 10, 1.2), move(10.4, 100, 1.2), move(10.5, 200, 1.2)})),
              (std::vector<size_t>{2, 1, 1, 3}));
    // A gap of exactly the break threshold does not split; just above it does.
    EXPECT_EQ(counts(b.build({down(1.0), up(11.0)})), (std::vector<size_t>{2}));
    auto above = b.build({down(1.0), up(11.000001)});
    EXPECT_EQ(counts(above), (std::vector<size_t>{1, 1}));
    EXPECT_EQ(above[1].startTime, 11.000001);
    EXPECT_EQ(b.build({down(2.0), up(1.0)})[0].endTime, 1.0);  // event order is kept, not sorted
}

TEST(SegmentBuilder, SegmentsPartitionTheInScopeEventsOfAnySession) {
    SplitMix64 g(2024);
    const EventType types[] = {EventType::mouseMove, EventType::mouseDragged, EventType::mouseDown,
                               EventType::mouseUp, EventType::keyDown, EventType::scrollWheel};
    for (int round = 0; round < 50; ++round) {
        std::vector<RawEvent> events, inScope;
        double t = 0;
        for (int i = 0; i < 200; ++i) {
            t += g.nextUnit() < 0.05 ? g.uniform(0.5, 15) : g.uniform(0, 0.2);
            events.push_back(event(types[g.below(6)], t, Point{g.uniform(0, 500), g.uniform(0, 500)}, g.below(5) != 0));
            if (events.back().inScope) inScope.push_back(events.back());
        }
        // Cut from a copy or from the list handed over (a temporary the segments must outlive).
        for (const bool handOver : {false, true}) {
            const auto segments = handOver ? SegmentBuilder().build(std::vector(events)) : SegmentBuilder().build(events);
            std::vector<RawEvent> joined;
            for (const Segment& s : segments) {
                ASSERT_FALSE(s.events.empty());
                EXPECT_EQ(s.startTime, s.events.front().timestamp);
                EXPECT_EQ(s.endTime, s.events.back().timestamp);
                EXPECT_EQ(s.eventList, segments[0].eventList);  // one list for all
                joined.insert(joined.end(), s.events.begin(), s.events.end());
            }
            ASSERT_EQ(joined, inScope) << "round " << round;
        }
    }
}

TEST(SilentSpanBuilder, GapsBetweenSortedNeighbours) {
    SilentSpanBuilder b;
    // Given out of order; 20-30 touches 30-40 (no span); 5-8 lies inside 2-10 but only
    // neighbours are compared.
    auto spans = b.build({covering(30, 40), covering(2, 10), covering(20, 30), covering(5, 8)}, 50);
    std::vector<std::pair<double, double>> got;
    for (const auto& s : spans) got.emplace_back(s.startTime, s.endTime);
    EXPECT_EQ(got, (std::vector<std::pair<double, double>>{{0, 2}, {8, 20}, {40, 50}}));
    EXPECT_DOUBLE_EQ(b.totalSilentDuration(spans), 24.0);
    EXPECT_DOUBLE_EQ(b.silentRatio(spans, 50), 0.48);

    auto empty = b.build({}, 300);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].endTime, 300);
    EXPECT_EQ(b.silentRatio(empty, 300), 1.0);
    EXPECT_EQ(b.silentRatio(empty, 0), 0.0);
    EXPECT_TRUE(b.build({covering(0, 60)}, 60).empty());
    EXPECT_TRUE(b.build({covering(0, 60)}, 30).empty());  // ends after the session
}

TEST(SegmentJson, RoundTripsAndErrorsNameTheKey) {
    const Segment segment = SegmentBuilder().build({down(1.0, 5, 6), up(1.1, 5, 6)})[0];
    Json j = encode(segment);
    EXPECT_EQ(j["segmentType"], "discrete");
    EXPECT_EQ(decodeSegment(Json::parse(j.dump())).value(), segment);
    const SilentSpan span = SilentSpan{Uuid::random(), 1, 2.5};
    EXPECT_EQ(decodeSilentSpan(Json::parse(encode(span).dump())).value(), span);

    j["events"][0]["keyCode"] = 70000;
    EXPECT_EQ(decodeSegment(j).error().key, "events[0].keyCode");
    j = encode(segment);
    j["segmentType"] = "dragging";
    EXPECT_EQ(decodeSegment(j).error().key, "segmentType");
}
