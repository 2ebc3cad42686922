#pragma once
// Seeded, realistic synthetic sessions for demos, tests and benchmarks: the same options give
// the same session, byte for byte.
#include <cstdint>

#include "session/capture_result.h"

namespace murmura {

struct SynthOptions {
    double minutes = 5;
    uint64_t seed = 1;
    Rect window{240, 90, 1440, 900};  // the chosen window, global points
    uint32_t windowID = 0x1A00007;    // an X11-style window number
};

CaptureResult synthesizeSession(const SynthOptions& options);

}  // namespace murmura
