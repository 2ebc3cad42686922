#pragma once
// The session every benchmark measures: 25 synthetic minutes around a 1920 x 1080 window,
// rendered at 3840 x 2160 (the canvas the application would use).
#include "app/render_pipeline.h"
#include "session/synthetic_session.h"

namespace murmura::bench {

inline constexpr int64_t kCanvasWidth = 3840, kCanvasHeight = 2160;

inline const CaptureResult& session25() {
    static const CaptureResult session = [] {
        SynthOptions o;
        o.minutes = 25;
        o.seed = 7;
        o.window = Rect{0, 0, 1920, 1080};
        return synthesizeSession(o);
    }();
    return session;
}

inline const MaterialEngineOutput& material25() {
    static const MaterialEngineOutput output = materialize(session25());
    return output;
}

}  // namespace murmura::bench
