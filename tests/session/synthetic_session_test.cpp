#include "session/synthetic_session.h"

#include <gtest/gtest.h>

#include <map>

using namespace murmura;

namespace {
SynthOptions options(double minutes, uint64_t seed) {
    SynthOptions o;
    o.minutes = minutes;
    o.seed = seed;
    o.window = Rect{200, 100, 1440, 900};
    return o;
}
}  // namespace

TEST(SyntheticSession, SameOptionsSameBytes) {
    EXPECT_EQ(encodeSessionFile(synthesizeSession(options(1, 7))), encodeSessionFile(synthesizeSession(options(1, 7))));
    EXPECT_NE(encodeSessionFile(synthesizeSession(options(1, 7))), encodeSessionFile(synthesizeSession(options(1, 8))));
}

TEST(SyntheticSession, WellFormedAndRealistic) {
    const CaptureResult s = synthesizeSession(options(5, 3));
    EXPECT_EQ(s.duration, 300);
    EXPECT_EQ(s.windowFrame, (Rect{200, 100, 1440, 900}));
    ASSERT_GT(s.events.size(), 10000u);
    EXPECT_LT(s.events.front().timestamp, 1.0);
    std::map<EventType, size_t> byType;
    size_t outside = 0;
    double previous = 0;
    for (const RawEvent& e : s.events) {
        ASSERT_GE(e.timestamp, previous);
        ASSERT_LE(e.timestamp, 300.0);
        previous = e.timestamp;
        ASSERT_TRUE(e.position);
        ASSERT_EQ(e.inScope, s.windowFrame.contains(*e.position));
        ++byType[e.type];
        if (!e.inScope) ++outside;
        if (e.type == EventType::keyDown || e.type == EventType::keyUp) {
            ASSERT_TRUE(e.keyCode);
        }
        if (e.type == EventType::scrollWheel) {
            ASSERT_TRUE(e.delta);
        }
        if (e.type == EventType::mouseDown || e.type == EventType::mouseDragged) {
            ASSERT_TRUE(e.mouseButton);
        }
    }
    for (EventType t : {EventType::mouseMove, EventType::mouseDown, EventType::mouseUp, EventType::mouseDragged,
                        EventType::scrollWheel, EventType::keyDown, EventType::keyUp})
        EXPECT_GT(byType[t], 0u) << rawValue(t);
    EXPECT_EQ(byType[EventType::appBecameActive], 0u);
    EXPECT_GT(outside, 0u);
    EXPECT_LT(outside, s.events.size() / 2);
}

TEST(SyntheticSession, PointerRateStaysWithinDeviceRange) {
    const CaptureResult s = synthesizeSession(options(2, 11));
    // Consecutive pointer samples within a movement are 8-18 ms apart (60-125 Hz with jitter).
    size_t fastGaps = 0;
    for (size_t i = 1; i < s.events.size(); ++i) {
        const auto& a = s.events[i - 1];
        const auto& b = s.events[i];
        if (a.type == EventType::mouseMove && b.type == EventType::mouseMove) {
            const double dt = b.timestamp - a.timestamp;
            if (dt < 0.0072) ++fastGaps;
        }
    }
    EXPECT_EQ(fastGaps, 0u);
}
