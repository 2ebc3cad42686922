#pragma once
// Session builders and the determinism check shared by the style tests.
#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <vector>

#include "material/material_engine.h"
#include "rendering/style_renderer.h"

namespace murmura::test {

// A segment of `events`, spanning its first to last timestamp.
inline MaterializedSegment segmentOf(std::vector<RawEvent> events, double opacity = 1, double width = 1,
                                     SegmentType type = SegmentType::moving) {
    Segment s;
    s.segmentType = type;
    if (!events.empty()) s.startTime = events.front().timestamp, s.endTime = events.back().timestamp;
    s.setEvents(std::move(events));
    return MaterializedSegment{s, MaterialProperties(opacity, width, 0, 0), 0};
}

// One segment per event list.
inline MaterialEngineOutput sessionOf(std::vector<std::vector<RawEvent>> segments, double silentRatio = 0,
                                      double opacity = 1, double width = 1) {
    MaterialEngineOutput out;
    out.conditioning = SilentConditioning(silentRatio);
    for (auto& events : segments) out.segments.push_back(segmentOf(std::move(events), opacity, width));
    return out;
}

// Rendering again, and with a single thread, gives the same bytes; returns the first render.
inline RgbaImage expectSameBytesOnAnyThreadCount(const StyleRenderer& r, const MaterialEngineOutput& out, int64_t w,
                                                 int64_t h) {
    const RgbaImage first = *r.render(out, w, h);
    EXPECT_TRUE(*r.render(out, w, h) == first);
    tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    EXPECT_TRUE(*r.render(out, w, h) == first);
    return first;
}

}  // namespace murmura::test
