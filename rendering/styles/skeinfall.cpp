#include "rendering/styles/skeinfall.h"

#include <algorithm>
#include <cmath>

#include "rendering/generators.h"
#include "support/random.h"

namespace murmura {

namespace skeinfall {

namespace {

constexpr float kAnchorStep = 0.006f;
constexpr float kSkeinStep = 0.006f;
constexpr float kDepositStep = 0.0017f;
constexpr float kTurnMax = 0.13f;
constexpr float kTwoPi = 6.2831855f;
constexpr int64_t kMaxSkeins = 520;
constexpr int64_t kMaxSplashes = 220;
constexpr int64_t kMaxPools = 45;
constexpr uint64_t kSeed = 0x2F6B1A93;
// Positions further than this many canvas sizes from the origin are not pointer positions on
// this canvas; skipping them also bounds the interpolation between two points (at most about
// 3800 steps of 0.006).
constexpr float kMaxOffset = 8.0f;

float length(float dx, float dy) { return std::sqrt(dx * dx + dy * dy); }

// Calls visit(prev, p, n) for every usable position of every segment: n = 0 for the first of a
// segment (one point, p), else the n + 1 points prev + (p - prev) * j / n, j = 0 to n.
template <class Visit>
void walkPath(std::span<const MaterializedSegment> segments, float width, float height, Visit&& visit) {
    for (const MaterializedSegment& segment : segments) {
        bool first = true;
        Anchor prev;
        for (const RawEvent& event : segment.segment.events) {
            if (!event.position) continue;
            const Anchor p{static_cast<float>(event.position->x) / width, static_cast<float>(event.position->y) / height};
            if (!(std::fabs(p.x) <= kMaxOffset && std::fabs(p.y) <= kMaxOffset)) continue;  // NaN too
            const int64_t n = first ? 0 : std::max<int64_t>(static_cast<int64_t>(length(p.x - prev.x, p.y - prev.y) / kAnchorStep), 1);
            visit(prev, p, n);
            prev = p;
            first = false;
        }
    }
}

Anchor lerp(Anchor a, Anchor b, int64_t j, int64_t n) {
    const float t = static_cast<float>(j), d = static_cast<float>(n);
    return Anchor{a.x + (b.x - a.x) * t / d, a.y + (b.y - a.y) * t / d};
}

// Blob radius of a mark `size` pixels across on a 1080-pixel-high canvas: the weight falls to
// one half at size / 1080 canvas heights.
float blobRadius(float size) {
    const float s = size / 1080.0f;
    return s * s / 0.69f;
}

// One random state threaded through every phase, in order.
class Thrower {
public:
    Thrower(std::span<const Anchor> anchors, std::vector<Blob>& out)
        : anchors_(anchors), out_(out), rng_(kSeed + kSplitMixGamma) {}

    bool full() const { return static_cast<int64_t>(out_.size()) >= kMaxSplats; }
    Anchor anchor() { return anchors_[rng_.next() % anchors_.size()]; }
    uint8_t colour() { return static_cast<uint8_t>(rng_.next() % kPalette.size()); }
    float u() { return rng_.nextUnitFloat(); }

    void add(float x, float y, uint8_t colour, float size, float alpha) {
        if (!full()) out_.push_back(Blob{x, y, colour, blobRadius(size), alpha});
    }
    // Blobs every 0.0017 along a -> b (both ends included), at most 31.
    void line(Anchor a, Anchor b, uint8_t colour, float size, float alpha) {
        const int64_t m = std::clamp<int64_t>(static_cast<int64_t>(length(b.x - a.x, b.y - a.y) / kDepositStep), 1, 30);
        for (int64_t j = 0; j <= m; ++j) {
            const Anchor q = lerp(a, b, j, m);
            add(q.x, q.y, colour, size, alpha);
        }
    }

    void skein() {
        Anchor cur = anchor();
        const uint8_t c = colour();
        float heading = u() * kTwoPi;
        const float len = gen::pow32(u(), 1.7f) * 0.55f + 0.05f;
        const float w0 = u() * 2.8f + 1.8f;
        const int64_t steps = std::max<int64_t>(static_cast<int64_t>(len / kSkeinStep), 4);
        for (int64_t k = 0; k < steps; ++k) {
            heading = heading + u() * (2.0f * kTurnMax) - kTurnMax;
            const Anchor next{cur.x + std::cos(heading) * kSkeinStep, cur.y + std::sin(heading) * kSkeinStep};
            const float taper = 1.0f - 0.55f * static_cast<float>(k) / static_cast<float>(steps);
            line(cur, next, c, std::max(w0 * taper * (u() * 0.5f + 0.75f), 1.5f), 0.8f);
            if (full()) return;  // no ending
            cur = next;
        }
        if (u() < 0.5f)
            splash(cur, c);
        else
            add(cur.x, cur.y, c, u() * 3.0f + 2.0f, 0.85f);
    }

    void splash(Anchor p, uint8_t c) {
        const float a = u(), b = u();
        add(p.x, p.y, c, a * 6.0f + 3.0f, b * 0.13f + 0.82f);
        const uint64_t droplets = rng_.next() % 12 + 6;
        for (uint64_t i = 0; i < droplets; ++i) {
            const float phi = u() * kTwoPi;
            const float d = u() * 0.049f + 0.006f;
            const float size = u() * 2.6f + 0.8f;
            const float alpha = u() * 0.35f + 0.6f;
            const Anchor q{p.x + std::cos(phi) * d, p.y + std::sin(phi) * d};
            add(q.x, q.y, c, size, alpha);
            if (u() < 0.4f) {
                const float len = u() * 0.016f + 0.004f;
                const float tailSize = u() + 0.6f;
                line(q, Anchor{q.x + std::cos(phi) * len, q.y + std::sin(phi) * len}, c, tailSize, 0.72f);
            }
            if (full()) return;
        }
    }

    void spatter() {
        const Anchor a = anchor();
        const float phi = u() * kTwoPi;
        const float r = u();
        const float d = r * r * 0.14f;
        const uint8_t c = colour();
        const float size = u() * 2.5f + 0.7f;
        const float alpha = u() * 0.35f + 0.6f;
        add(a.x + std::cos(phi) * d, a.y + std::sin(phi) * d, c, size, alpha);
    }

    void pool() {
        const Anchor a = anchor();
        const uint8_t c = colour();
        add(a.x, a.y, c, u() * 9.0f + 6.0f, 0.9f);
    }

private:
    std::span<const Anchor> anchors_;
    std::vector<Blob>& out_;
    SplitMix64 rng_;
};

}  // namespace

std::vector<Anchor> anchors(std::span<const MaterializedSegment> segments, float width, float height) {
    int64_t total = 0;
    walkPath(segments, width, height, [&](Anchor, Anchor, int64_t n) { total += n + 1; });
    const int64_t stride = total > kMaxAnchors ? (total + kMaxAnchors - 1) / kMaxAnchors : 1;
    std::vector<Anchor> out;
    out.reserve(static_cast<size_t>(std::min(total, kMaxAnchors)));
    int64_t index = 0;  // of the next point on the whole path
    walkPath(segments, width, height, [&](Anchor prev, Anchor p, int64_t n) {
        for (int64_t j = (stride - index % stride) % stride; j <= n; j += stride)
            out.push_back(n == 0 ? p : lerp(prev, p, j, n));
        index += n + 1;
    });
    return out;
}

Blobs throwPaint(std::span<const Anchor> anchors) {
    Blobs result;
    if (anchors.empty()) return result;
    result.blobs.reserve(static_cast<size_t>(kMaxSplats));
    Thrower thrower(anchors, result.blobs);
    const auto count = static_cast<int64_t>(anchors.size());
    const int64_t skeins = std::min<int64_t>(std::max<int64_t>(3 * count, 300), kMaxSkeins);
    for (int64_t i = 0; i < skeins && !thrower.full(); ++i) thrower.skein();
    result.phaseEnds[0] = result.blobs.size();
    for (int64_t i = 0; i < 15 * skeins && !thrower.full(); ++i) thrower.spatter();
    result.phaseEnds[1] = result.blobs.size();
    for (int64_t i = 0; i < std::clamp<int64_t>(count, 50, kMaxSplashes) && !thrower.full(); ++i) {
        const Anchor a = thrower.anchor();
        thrower.splash(a, thrower.colour());
    }
    result.phaseEnds[2] = result.blobs.size();
    for (int64_t i = 0; i < std::min(count, kMaxPools) && !thrower.full(); ++i) thrower.pool();
    result.phaseEnds[3] = result.blobs.size();
    return result;
}

std::vector<PaintCanvas::Splat> toSplats(std::span<const Blob> blobs) {
    std::vector<PaintCanvas::Splat> splats;
    splats.reserve(blobs.size());
    for (const Blob& b : blobs) splats.push_back({{b.x, b.y}, kPalette[b.paletteIndex], b.radius, b.alpha});
    return splats;
}

}  // namespace skeinfall

std::optional<RgbaImage> SkeinfallRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                   int64_t height) const {
    if (width < 1 || height < 1) return std::nullopt;
    auto canvas = PaintCanvas::create(width, height, skeinfall::kGround);
    if (!canvas) return std::nullopt;
    const auto anchors =
        skeinfall::anchors(output.segments, static_cast<float>(width), static_cast<float>(height));
    const auto blobs = skeinfall::throwPaint(anchors);
    canvas->applySplats(skeinfall::toSplats(blobs.blobs));
    return canvas->makeImage();
}

}  // namespace murmura
