#pragma once
// Skeinfall: the drip painting. The pointer path becomes anchor points; a seeded generator
// throws looping skeins of paint that taper as they run and end in a pool or a splash, scatters
// spatter around the anchors, and adds splashes and a few large pools, in seven colours on a
// warm ground. Every mark is a soft round blob on the paint canvas.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "rendering/simulation/paint_canvas.h"
#include "rendering/style_renderer.h"

namespace murmura {

namespace skeinfall {

inline constexpr int64_t kMaxAnchors = 4000;
// The final bound on blobs. Room for the skeins of a long session (520 of about 200 blobs)
// and the spatter, splashes and pools after them.
inline constexpr int64_t kMaxSplats = 140000;
inline constexpr PaintCanvas::Rgb kGround{0.8f, 0.73f, 0.57f};
inline constexpr std::array<PaintCanvas::Rgb, 7> kPalette{{
    {0.86f, 0.12f, 0.10f},  // red
    {0.10f, 0.28f, 0.75f},  // blue
    {0.98f, 0.82f, 0.12f},  // yellow
    {0.95f, 0.94f, 0.90f},  // white
    {0.10f, 0.60f, 0.58f},  // teal
    {0.06f, 0.06f, 0.07f},  // black
    {0.95f, 0.45f, 0.10f},  // orange
}};

struct Anchor {
    float x = 0;
    float y = 0;
    friend bool operator==(const Anchor&, const Anchor&) = default;
};

// The session's pointer path in canvas-normalised coordinates, interpolated every 0.006 between
// consecutive positions of a segment (not across segments). Non-finite positions and those far
// outside the canvas are skipped. When the whole path holds more than 4000 points, only points
// 0, k, 2k, ... are kept, k the smallest stride that leaves at most 4000, so the anchors span
// the whole session.
std::vector<Anchor> anchors(std::span<const MaterializedSegment> segments, float width, float height);

struct Blob {
    float x = 0;
    float y = 0;
    uint8_t paletteIndex = 0;
    float radius = 0;
    float alpha = 0;
};

struct Blobs {
    std::vector<Blob> blobs;
    // Blob counts after the skeins, the spatter, the splashes and the pools.
    std::array<size_t, 4> phaseEnds{};
};

// The blobs thrown from the anchors, at most kMaxSplats; none without anchors.
Blobs throwPaint(std::span<const Anchor> anchors);

std::vector<PaintCanvas::Splat> toSplats(std::span<const Blob> blobs);

}  // namespace skeinfall

class SkeinfallRenderer final : public StyleRenderer {
public:
    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width, int64_t height) const override;

private:
    StyleDescriptor descriptor_{"skeinfall", "Skeinfall", StyleSeries::artist};
};

}  // namespace murmura
