#pragma once
// The CPU ink simulation grid: three age layers of pigment, water, paper grain and
// permeability, a velocity field, bloom strength and working buffers. Deposits write into it
// event by event; a fixed schedule of operations moves water and ink; composition reads the
// layers. Deterministic: paper and permeability depend on the grid size alone.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/geometry.h"
#include "support/large_buffer.h"

namespace murmura {

// A grid's worth of floats: made without values (the field gives each its first value in a
// parallel pass, so that both threads share the first touch of the fresh pages).
using CellArray = std::vector<float, LargeBufferAllocator<float>>;

class InkField {
public:
    static constexpr int32_t kNoiseLUTSize = 256;
    static constexpr float kNoDirection = 1000.0f;
    static constexpr float kWetThreshold = 0.002f;  // drier cells take no part in flow
    static constexpr float kMaxDepositRadius = 256.0f;  // footprints are capped at this many cells

    // Sides below one cell give an empty grid.
    InkField(int32_t width, int32_t height);

    int32_t width = 0, height = 0;
    CellArray activeInk, recentInk, archiveInk;
    CellArray lastActivityTime, birthTime;
    float currentTime = 0;
    float dryingRate = 0.08f;
    float activeWindowSeconds = 10;
    float recentWindowSeconds = 90;
    CellArray wetness, paper, perm;
    bool fluidFlip = false;
    bool fluidIdle = true;
    CellArray velocity;  // x, y interleaved
    CellArray backrun, edgeMask, strokeDir, dropletMask, strokeBuffer, tempBuffer, blurBuffer;
    std::vector<float> noiseLUT;
    int32_t noiseLUTSize = kNoiseLUTSize;

    size_t index(int32_t x, int32_t y) const { return static_cast<size_t>(y) * static_cast<size_t>(width) + x; }
    size_t cellCount() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
    // Whether the cell containing (x, y) lies on the grid; tested in double before any
    // conversion to integer.
    bool containsPoint(double x, double y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    // Deposits refuse centres this far out before converting them to integers.
    static bool usablePosition(double x, double y) { return std::abs(x) < 1e6 && std::abs(y) < 1e6; }

    void flushStrokeBuffer();
    void depositStamp(std::optional<Vector> direction, double x, double y, float amount, float radius, float dryness);
    void depositDot(uint64_t seed, double x, double y, float amount, float radius, float dryness);
    void depositPool(double x, double y, float amount, float radius, float water, float core);
    // The texture (side n, coverage row-major) scaled to radius, rotated by angle so that its
    // vertical axis follows the stroke, times ink, added into the stroke buffer (capped at 1).
    // Marks the stroke direction where it covers. taper scales the footprint's width.
    void stampTexture(const float* texture, int32_t n, double x, double y, float ink, float radius, float angle,
                      float taper, float wet);
    // A dry charcoal touch into the stroke buffer: a soft round footprint that catches on the
    // paper's tooth (high grain takes more, hollows less), with a fine grit; no water.
    void depositGrain(double x, double y, float ink, float radius, float angle);
    // A wide soft splash with a paler halo: radius x (1 + 0.25 spread), halo reach 1.3 x that.
    void depositSplash(double x, double y, float amount, float radius, float spread, float water);
    // Droplets thrown along a direction from (x, y), seeded per event.
    void depositSplatter(uint64_t seed, double x, double y, Vector direction, float amount, float radius, int count);

    void fade(float amount);
    void dry(float intensity);
    void flow(int steps);
    // The same passes over every interior cell: the reference the wet-span passes match byte
    // for byte (tests and benchmarks compare the two).
    void flowFullSweep(int steps);
    void darkenEdges(float strength);
    void evaporate(float amount);
    void advect(float strength);
    void applyBackruns(float strength);
    void ageLayers();
    void enforceBlobLimit(float fraction);
    void applyGlobalInkBudget(float fraction);

    // Rebuilds the per-row wet spans from the wetness; for code that writes `wetness` directly.
    void rescanWetSpans();
    // Cells (per row) that flow may visit: every cell at or above the wet threshold lies inside.
    struct Span {
        int32_t begin = 0, end = 0;  // half-open; empty when begin >= end
    };
    const std::vector<Span>& wetSpans() const { return wetSpans_; }

private:
    void buildNoiseLUT();
    void buildPaper();
    void buildPermeability();
    // Widens the spans of rows y0 .. y1 (inclusive) to cover columns x0 .. x1 (inclusive).
    void markWet(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    void markStroke(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    bool flowPass(bool sparse);

    std::vector<Span> wetSpans_;
    // The part of the stroke buffer written since the last flush (inclusive bounds).
    int32_t strokeX0_ = 0, strokeY0_ = 0, strokeX1_ = -1, strokeY1_ = -1;
};

}  // namespace murmura
