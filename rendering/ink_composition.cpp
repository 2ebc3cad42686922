// Composition of the ink field: tone per cell, sharpening, charcoal streaks along the stroke
// direction, then every canvas pixel from smoothed cell samples over the paper.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "rendering/artwork_renderer.h"
#include "rendering/generators.h"
#include "support/diagnostics.h"
#include "support/parallel.h"
#include "support/text.h"

namespace murmura {

namespace {

using gen::clamp01;
using gen::fract;
using gen::sinFract;
using gen::smooth;

constexpr int64_t kRowGrain = 16;

inline float ss(float v) { return smooth(clamp01(v)); }

// Separable box blur of radius r (window 2r + 1, edges clamped) of a w x h buffer, in place.
void boxBlur(CellArray& v, CellArray& scratch, int32_t w, int32_t h, int32_t r) {
    const float inv = 1.0f / static_cast<float>(2 * r + 1);
    scratch.resize(v.size());
    parallelFor(0, h, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y) {
            const float* src = v.data() + y * w;
            float* dst = scratch.data() + y * w;
            float sum = 0;
            for (int32_t k = -r; k <= r; ++k) sum += src[std::clamp(k, 0, w - 1)];
            for (int32_t x = 0; x < w; ++x) {
                dst[x] = sum * inv;
                sum += src[std::min(x + r + 1, w - 1)] - src[std::max(x - r, 0)];
            }
        }
    });
    parallelFor(0, w, 64, [&](int64_t x0, int64_t x1) {
        for (int64_t x = x0; x < x1; ++x) {
            const auto at = [&](int32_t y) { return scratch[static_cast<size_t>(std::clamp(y, 0, h - 1)) * w + x]; };
            float sum = 0;
            for (int32_t k = -r; k <= r; ++k) sum += at(k);
            for (int32_t y = 0; y < h; ++y) {
                v[static_cast<size_t>(y) * w + x] = sum * inv;
                sum += at(y + r + 1) - at(y - r);
            }
        }
    });
}

// Pale streaks along the stroke direction where the ink is dense: the paper's tooth showing
// through charcoal.
float streaked(float v, float X, float Y, float perm, int32_t c, int32_t r) {
    const float theta = std::round(0.5f * std::atan2(Y, X) / 0.45f) * 0.45f;
    const float ct = std::cos(theta), st = std::sin(theta);
    const float fc = static_cast<float>(c), fr = static_cast<float>(r);
    const float u = ct * fc + st * fr, w = 0.065f * (ct * fr - st * fc);
    const float k = std::floor(w), h = sinFract(3.731f * k);
    const float w2 = w + 0.013f * u * (h - 0.5f) + (0.45f * h + 0.22f) * std::sin(1.93f * k + u * (0.01f * h + 0.009f));
    const float w3 = w2 + (0.3f * (1 - h) + 0.26f) * std::sin(4.71f * k + u * (0.038f * h + 0.031f));
    const float m = std::floor(w3), o = w3 - m;
    if (sinFract(9.317f * std::floor(m / 3)) < 0.42f) return v;
    const float r2 = sinFract(12.989f * m);
    if (r2 < 0.25f) return v;
    const float a = 0.5f * std::sin(0.021f * u + 2.3f * m) + 0.5f;
    const float b = sinFract(5.27f * m + 1.7f);
    const float pq = 1 - ss((perm - 0.2f) / 0.75f);
    const float lw = ((0.6f * a + 0.4f * b) * 0.28f + 0.09f) * (0.75f * pq + 0.55f);
    if (o < lw && sinFract(7.13f * m + 3.71f * std::floor(0.01f * u + r2)) >= 0.3f * (1 - pq) + 0.1f) {
        const float e = std::abs(o / lw - 0.5f);
        v *= 1 - 0.97f * ss((v - 0.45f) / 0.3f) * ss((1 - 2 * e) / 0.35f);
    }
    return v;
}

struct AxisTap {
    int32_t i0, i1;
    float f;  // smoothed fraction
};

std::vector<AxisTap> axisTaps(int64_t pixels, int64_t scale, int32_t cells) {
    std::vector<AxisTap> taps(static_cast<size_t>(pixels));
    for (int64_t p = 0; p < pixels; ++p) {
        const float u = static_cast<float>(p) / static_cast<float>(scale);
        const int32_t i = std::min(static_cast<int32_t>(u), cells - 1);
        taps[static_cast<size_t>(p)] = {i, std::min(i + 1, cells - 1), smooth(clamp01(u - static_cast<float>(i)))};
    }
    return taps;
}

}  // namespace

std::optional<RgbaImage> composeInkImage(const InkField& field, int64_t width, int64_t height, int64_t simScale,
                                         const ToneParameters& tone, double silentRatio, double latestTime) {
    // Every pixel is written below (fresh memory is then first touched by the parallel pass).
    auto image = RgbaImage::createForOverwrite(width, height, ColorSpace::deviceRGB);
    if (!image || field.cellCount() == 0) return std::nullopt;
    const int32_t gw = field.width, gh = field.height;
    const size_t n = field.cellCount();

    const float e = static_cast<float>(std::min(latestTime / 1500.0, 1.0));
    // Never negative, whatever the stroke phase hands over.
    const float archiveWeight = std::max(std::max(0.65f - tone.archiveLowering, 1 - 0.35f * e - tone.archiveLowering), 0.0f);
    // The buffers are made without values and each is written whole before it is read, by the
    // parallel passes (which then share the first touch of their pages).
    CellArray value(n), fresh(n), blurred(n), scratch;
    parallelFor(0, gh, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (size_t i = static_cast<size_t>(y0) * gw; i < static_cast<size_t>(y1) * gw; ++i) {
            const float v = std::min(1.05f * field.activeInk[i] + 0.95f * field.recentInk[i] + archiveWeight * field.archiveInk[i], 1.0f);
            value[i] = v;
            blurred[i] = v;
            const float born = field.birthTime[i];
            if (born < 0 || v <= 0.01f) fresh[i] = 0;
            else {
                const float age = field.currentTime - born;
                fresh[i] = age > 0 ? std::exp(-age * field.dryingRate) : 1.0f;
            }
        }
    });

    // Sharpen where the tone changes.
    boxBlur(blurred, scratch, gw, gh, 1);
    parallelFor(1, std::max(gh - 1, 1), kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (int32_t x = 1; x + 1 < gw; ++x) {
                const size_t i = static_cast<size_t>(y) * gw + x;
                const float dx = value[i + 1] - value[i - 1], dy = value[i + gw] - value[i - gw];
                const float edge = ss((std::sqrt(dx * dx + dy * dy) - 0.05f) / 0.2f);
                if (edge >= 0.01f) scratch[i] = clamp01(value[i] + 0.5f * edge * (value[i] - blurred[i]));
                else scratch[i] = value[i];
            }
    });
    parallelFor(1, std::max(gh - 1, 1), kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (int32_t x = 1; x + 1 < gw; ++x) value[static_cast<size_t>(y) * gw + x] = scratch[static_cast<size_t>(y) * gw + x];
    });

    // The stroke direction, blurred as a doubled angle so opposite directions agree.
    CellArray ox(n), oy(n);
    parallelFor(0, gh, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (size_t i = static_cast<size_t>(y0) * gw; i < static_cast<size_t>(y1) * gw; ++i) {
            const bool marked = field.strokeDir[i] <= 100;
            ox[i] = marked ? std::cos(2 * field.strokeDir[i]) : 0.0f;
            oy[i] = marked ? std::sin(2 * field.strokeDir[i]) : 0.0f;
        }
    });
    boxBlur(ox, scratch, gw, gh, 7);
    boxBlur(oy, scratch, gw, gh, 7);
    parallelFor(0, gh, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (int32_t x = 0; x < gw; ++x) {
                const size_t i = static_cast<size_t>(y) * gw + x;
                if (value[i] >= 0.5f && ox[i] * ox[i] + oy[i] * oy[i] >= 0.01f)
                    value[i] = streaked(value[i], ox[i], oy[i], field.perm[i], x, static_cast<int32_t>(y));
            }
    });

    diagnostic("Rendering " + std::to_string(width) + " x " + std::to_string(height) +
               " pixels with wetness decay (time=" + shortestDecimal(field.currentTime) + "s)...");
    const std::vector<AxisTap> cols = axisTaps(width, simScale, gw), rows = axisTaps(height, simScale, gh);
    const float G = 1 + 0.012f * tone.grainWidth;
    const float N = std::min(0.35f * static_cast<float>(silentRatio) + tone.paperNoise, 0.5f);
    parallelFor(0, height, 8, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y) {
            const AxisTap ry = rows[static_cast<size_t>(y)];
            const float* v0 = value.data() + static_cast<size_t>(ry.i0) * gw;
            const float* v1 = value.data() + static_cast<size_t>(ry.i1) * gw;
            const float* f0 = fresh.data() + static_cast<size_t>(ry.i0) * gw;
            const float* f1 = fresh.data() + static_cast<size_t>(ry.i1) * gw;
            const float* paperRow = field.paper.data() + static_cast<size_t>(ry.i0) * gw;
            const float yTerm = static_cast<float>(y) * 0.13f * G * 78.233f;
            uint8_t* out = image->row(y);
            for (int64_t x = 0; x < width; ++x) {
                const AxisTap cx = cols[static_cast<size_t>(x)];
                const float v = gen::mix(gen::mix(v0[cx.i0], v0[cx.i1], cx.f), gen::mix(v1[cx.i0], v1[cx.i1], cx.f), ry.f);
                const float t = gen::mix(gen::mix(f0[cx.i0], f0[cx.i1], cx.f), gen::mix(f1[cx.i0], f1[cx.i1], cx.f), ry.f);
                const float paper = paperRow[cx.i0];
                const float c = std::min(std::max(0.78f * ss((v - 0.025f) / 0.425f) + 0.3f * ss((v - 0.42f) / 0.38f),
                                                  0.42f * ss((v - 0.008f) / 0.252f)), 1.0f) * (0.96f + 0.04f * paper);
                const float g = 255 * (1 - (0.47f * ss((v - 0.2f) / 0.35f) + 0.5f + 0.03f * t));
                const float grain = sinFract(yTerm + G * static_cast<float>(x) * 0.13f * 12.9898f);
                const float p = 1 - N * ((grain > 0.93f ? (grain - 0.93f) * 4 * 0.12f : 0.0f) + 0.1f * paper + 0.05f);
                const float bare = 1 - c;
                out[4 * x + 0] = static_cast<uint8_t>(std::clamp(bare * 255 * p + c * g, 0.0f, 255.0f));
                out[4 * x + 1] = static_cast<uint8_t>(std::clamp(bare * 254 * 0.999f * p + c * g, 0.0f, 255.0f));
                out[4 * x + 2] = static_cast<uint8_t>(std::clamp(bare * 251 * 0.995f * p + c * g, 0.0f, 255.0f));
                out[4 * x + 3] = 255;
            }
        }
    });
    return image;
}

}  // namespace murmura
