// The ink field's implementer-chosen deposits and its whole-grid operations (flow, drying,
// ageing, edges, advection, blooms, limits).
#include <algorithm>
#include <cmath>
#include <cstdio>
#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "rendering/generators.h"
#include "rendering/ink_field.h"
#include "support/diagnostics.h"
#include "support/parallel.h"

namespace murmura {

using gen::clamp01;
using gen::smooth;

namespace {

constexpr int64_t kRowGrain = 16;

template <class Body>
void forEachCell(const InkField& f, Body&& body) {
    parallelFor(0, f.height, kRowGrain, [&](int64_t y0, int64_t y1) {
        const size_t end = static_cast<size_t>(y1) * static_cast<size_t>(f.width);
        for (size_t i = static_cast<size_t>(y0) * static_cast<size_t>(f.width); i < end; ++i) body(i);
    });
}

// Bilinear read of an n x n texture at continuous texel coordinates; 0 outside.
float sampleTexture(const float* t, int32_t n, float u, float v) {
    if (!(u >= 0 && v >= 0 && u <= static_cast<float>(n - 1) && v <= static_cast<float>(n - 1))) return 0;
    const int32_t i = std::min(static_cast<int32_t>(u), n - 2), j = std::min(static_cast<int32_t>(v), n - 2);
    const float fu = u - static_cast<float>(i), fv = v - static_cast<float>(j);
    const float* r0 = t + static_cast<size_t>(j) * n + i;
    const float* r1 = r0 + n;
    return (r0[0] * (1 - fu) + r0[1] * fu) * (1 - fv) + (r1[0] * (1 - fu) + r1[1] * fu) * fv;
}

}  // namespace

void InkField::stampTexture(const float* texture, int32_t n, double x, double y, float ink, float radius, float angle,
                            float taper, float wet) {
    if (n < 3 || !(radius > 0.3f) || !(ink > 0) || !usablePosition(x, y)) return;
    radius = std::min(radius, kMaxDepositRadius);
    const int32_t R = static_cast<int32_t>(std::ceil(radius));
    const int32_t ix = static_cast<int32_t>(std::floor(x)), iy = static_cast<int32_t>(std::floor(y));
    const int32_t xa = std::max(ix - R, 0), xb = std::min(ix + R + 1, width - 1);
    const int32_t ya = std::max(iy - R, 0), yb = std::min(iy + R + 1, height - 1);
    if (xa > xb || ya > yb) return;
    const float ca = std::cos(angle), sa = std::sin(angle);
    const float c = 0.5f * static_cast<float>(n), texR = c - 1;
    const float across = texR / (radius * std::clamp(taper, 0.2f, 1.0f)), along = texR / radius;
    const float fx0 = static_cast<float>(x), fy0 = static_cast<float>(y);
    for (int32_t cy = ya; cy <= yb; ++cy)
        for (int32_t cx = xa; cx <= xb; ++cx) {
            const float dx = static_cast<float>(cx) - fx0, dy = static_cast<float>(cy) - fy0;
            // The texture's vertical axis runs along the stroke, its tip trailing.
            const float a = dx * ca + dy * sa, b = -dx * sa + dy * ca;
            const float cov = sampleTexture(texture, n, b * across + c, -a * along + c);
            if (cov <= 0.001f) continue;
            const size_t i = index(cx, cy);
            const float d = cov * ink;
            strokeBuffer[i] = std::min(strokeBuffer[i] + d, 1.0f);
            lastActivityTime[i] = currentTime;
            if (d > 0.02f) birthTime[i] = currentTime, strokeDir[i] = angle;
            if (wet > 0) wetness[i] = std::min(wetness[i] + wet * cov * perm[i], 2.5f);
        }
    markStroke(xa, ya, xb, yb);
    if (wet > 0) {
        fluidIdle = false;
        markWet(xa, ya, xb, yb);
    }
}

void InkField::depositGrain(double x, double y, float ink, float radius, float angle) {
    if (!(radius > 0) || !(ink > 0) || !usablePosition(x, y)) return;
    radius = std::min(radius, kMaxDepositRadius);
    const int32_t R = static_cast<int32_t>(std::ceil(1.2f * radius));
    const int32_t ix = static_cast<int32_t>(std::floor(x)), iy = static_cast<int32_t>(std::floor(y));
    const int32_t xa = std::max(ix - R, 0), xb = std::min(ix + R + 1, width - 1);
    const int32_t ya = std::max(iy - R, 0), yb = std::min(iy + R + 1, height - 1);
    if (xa > xb || ya > yb) return;
    const float inv = 1.0f / (0.55f * radius * radius);
    const float fx0 = static_cast<float>(x), fy0 = static_cast<float>(y);
    for (int32_t cy = ya; cy <= yb; ++cy)
        for (int32_t cx = xa; cx <= xb; ++cx) {
            const float dx = static_cast<float>(cx) - fx0, dy = static_cast<float>(cy) - fy0;
            const float g = std::exp(-(dx * dx + dy * dy) * inv);
            if (g < 0.02f) continue;
            const size_t i = index(cx, cy);
            const float tooth = 0.3f + 0.7f * smooth(clamp01((paper[i] - 0.42f) / 0.3f));
            const float grit = 0.75f + 0.5f * gen::hash2(0.71f * static_cast<float>(cy), 0.71f * static_cast<float>(cx));
            const float d = ink * g * tooth * grit;
            strokeBuffer[i] = std::min(strokeBuffer[i] + d, 1.0f);
            lastActivityTime[i] = currentTime;
            if (d > 0.02f) birthTime[i] = currentTime, strokeDir[i] = angle;
        }
    markStroke(xa, ya, xb, yb);
}

void InkField::depositSplash(double x, double y, float amount, float radius, float spread, float water) {
    if (!(radius > 0) || !usablePosition(x, y)) return;
    const float rs = std::min(radius * (1 + 0.25f * std::max(spread, 0.0f)), kMaxDepositRadius), reach = 1.3f * rs;
    const int32_t R = std::max(static_cast<int32_t>(std::ceil(reach)), 1);
    const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
    const int32_t xa = std::max(ix - R, 0), xb = std::min(ix + R, width - 1);
    const int32_t ya = std::max(iy - R, 0), yb = std::min(iy + R, height - 1);
    for (int32_t cy = ya; cy <= yb; ++cy)
        for (int32_t cx = xa; cx <= xb; ++cx) {
            const float d = std::hypot(static_cast<float>(cx - ix), static_cast<float>(cy - iy));
            if (d > reach) continue;
            const size_t i = index(cx, cy);
            const float core = std::exp(-(d * d) / (0.5f * rs * rs));
            // A paler ring just beyond the soft body: ink pushed out to the rim.
            const float rim = std::exp(-((d - rs) * (d - rs)) / (0.08f * rs * rs + 0.5f));
            const float g = core + 0.35f * rim;
            if (g < 0.02f) continue;
            lastActivityTime[i] = currentTime;
            activeInk[i] = std::min(activeInk[i] + amount * core, 1.0f);
            recentInk[i] = std::min(recentInk[i] + 0.35f * amount * rim, 1.0f);
            wetness[i] = std::min(wetness[i] + water * g * perm[i], 2.5f);
            backrun[i] = std::min(backrun[i] + water * core, 1.0f);
            if (amount * g > 0.02f) birthTime[i] = currentTime;
        }
    fluidIdle = false;
    if (xa <= xb) markWet(xa, ya, xb, yb);
}

void InkField::depositSplatter(uint64_t seed, double x, double y, Vector direction, float amount, float radius,
                               int count) {
    if (!usablePosition(x, y)) return;
    const double len = std::hypot(direction.dx, direction.dy);
    const double ux = len > 1e-9 ? direction.dx / len : 1.0, uy = len > 1e-9 ? direction.dy / len : 0.0;
    SplitMix64 rng(seed);
    for (int k = 0; k < std::clamp(count, 0, 64); ++k) {
        // Thrown forward within a cone, farther for the smaller drops.
        const double size = 0.3 + 0.7 * rng.nextUnit();
        const double spreadAngle = (rng.nextUnit() - 0.5) * 1.2;
        const double dist = radius * (1.5 + 4.0 * rng.nextUnit()) * (1.3 - 0.5 * size);
        const double c = std::cos(spreadAngle), s = std::sin(spreadAngle);
        const double px = x + dist * (ux * c - uy * s), py = y + dist * (ux * s + uy * c);
        if (!containsPoint(px, py)) continue;
        const float r = std::max(static_cast<float>(0.35 * radius * size), 0.5f);
        const int32_t ix = static_cast<int32_t>(px), iy = static_cast<int32_t>(py);
        const int32_t R = static_cast<int32_t>(std::ceil(std::min(2 * r, kMaxDepositRadius)));
        for (int32_t cy = std::max(iy - R, 0); cy <= std::min(iy + R, height - 1); ++cy)
            for (int32_t cx = std::max(ix - R, 0); cx <= std::min(ix + R, width - 1); ++cx) {
                const float d2 = static_cast<float>((cx - ix) * (cx - ix) + (cy - iy) * (cy - iy));
                const float g = std::exp(-d2 / (r * r));
                if (g < 0.02f) continue;
                const size_t i = index(cx, cy);
                recentInk[i] = std::min(recentInk[i] + amount * g, 1.0f);
                dropletMask[i] = std::min(dropletMask[i] + g, 1.0f);
                lastActivityTime[i] = currentTime;
                if (amount * g > 0.02f) birthTime[i] = currentTime;
            }
    }
}

void InkField::fade(float d) {
    const float a = 1 - d, r = 1 - 0.5f * d;
    forEachCell(*this, [&](size_t i) {
        activeInk[i] *= a;
        recentInk[i] *= r;
    });
}

void InkField::dry(float d) {
    forEachCell(*this, [&](size_t i) {
        const float wet = wetness[i];
        if (wet > 0.05f && activeInk[i] > 0.01f) {
            const float m = wet * 0.15f * d * activeInk[i];
            activeInk[i] -= m;
            recentInk[i] = std::min(recentInk[i] + m, 1.0f);
        }
        wetness[i] = std::max(wet - 0.1f * d, 0.0f);
    });
}

namespace {

// One cell of a flow pass (water W >= threshold): water and suspended pigment move to the
// four neighbours in the order up, right, down, left; received(k) reports the neighbour k
// that got water. Shared by the wet-span and the full passes so they cannot drift apart.
template <class Received>
inline void flowCell(float* wet, float* active, float* recent, const float* perm, size_t i, ptrdiff_t w,
                     Received&& received) {
    float W = wet[i];
    const float cap = 0.28f * W;
    const ptrdiff_t offsets[4] = {-w, 1, w, -1};
    for (int k = 0; k < 4; ++k) {
        const size_t n = static_cast<size_t>(static_cast<ptrdiff_t>(i) + offsets[k]);
        const float flow = perm[n] * (W * 0.11f + (W - wet[n]) * 0.18f);
        if (!(flow > 0)) continue;
        const float resist = std::max(1 - 1.3f * (active[n] + recent[n]), 0.0f);
        const float f = std::min(cap, flow) * resist;
        wet[n] += f;
        const float carried = active[i] * (f / W) * 0.7f;
        active[i] -= carried;
        active[n] += carried;
        W -= f;
        if (f > 0) received(k);
    }
    if (active[i] > 0) {
        const float share = active[i] * (W < 0.08f ? 0.025f : 0.002f);
        active[i] -= share;
        recent[i] += share;
    }
    wet[i] = std::max(W * 0.999f - 0.00005f, 0.0f);
}

}  // namespace

bool InkField::flowPass(bool sparse) {
    fluidFlip = !fluidFlip;
    if (width < 3 || height < 3) return false;
    const bool up = fluidFlip;
    bool met = false;
    float* wet = wetness.data();
    float* act = activeInk.data();
    float* rec = recentInk.data();
    const float* pm = perm.data();
    const ptrdiff_t w = width;
    const int32_t lo = 1, hi = width - 2;  // interior columns
    const auto extend = [&](int32_t y, int32_t x) {
        if (x < lo || x > hi) return;
        Span& s = wetSpans_[static_cast<size_t>(y)];
        if (s.begin >= s.end) s = {x, x + 1};
        else s.begin = std::min(s.begin, x), s.end = std::max(s.end, x + 1);
    };
    for (int32_t step = 0; step < height - 2; ++step) {
        const int32_t y = up ? 1 + step : height - 2 - step;
        int32_t b = lo, e = hi + 1;
        if (sparse) {
            const Span s = wetSpans_[static_cast<size_t>(y)];
            b = std::max(s.begin, lo), e = std::min(s.end, hi + 1);
            if (b >= e) continue;
            // Rebuilt below from what is still wet after this row's visit.
            wetSpans_[static_cast<size_t>(y)] = Span{};
        }
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(w);
        // Columns in sweep order; a neighbour ahead in this row that gets water widens the
        // range still to visit, one behind is remembered for the next pass.
        const int32_t dir = up ? 1 : -1;
        for (int32_t x = up ? b : e - 1; up ? x < e : x >= b; x += dir) {
            const size_t i = row + static_cast<size_t>(x);
            if (wet[i] < kWetThreshold) continue;
            met = true;
            flowCell(wet, act, rec, pm, i, w, [&](int k) {
                if (!sparse) return;
                if (k == 0 || k == 2) return extend(k == 0 ? y - 1 : y + 1, x);
                const int32_t nx = k == 1 ? x + 1 : x - 1;
                if (nx - x != dir) return extend(y, nx);
                if (up && nx >= e && nx <= hi) e = nx + 1;
                if (!up && nx < b && nx >= lo) b = nx;
            });
            if (sparse && wet[i] >= kWetThreshold) extend(y, x);
        }
    }
    return met;
}

namespace {

// Pigment carried by water thins out pass after pass into subnormal floats, which the
// processor handles a hundred times slower. The passes run on this thread alone, so they
// flush such values to zero here (the same way in every pass, wet-span or full).
class FlushSubnormals {
public:
#if defined(__SSE2__)
    FlushSubnormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040u); }  // FTZ | DAZ
    ~FlushSubnormals() { _mm_setcsr(saved_); }

private:
    unsigned saved_;
#endif
};

}  // namespace

void InkField::flow(int steps) {
    const FlushSubnormals guard;
    for (int s = 0; s < steps && !fluidIdle; ++s)
        if (!flowPass(true)) fluidIdle = true;
}

void InkField::flowFullSweep(int steps) {
    const FlushSubnormals guard;
    for (int s = 0; s < steps && !fluidIdle; ++s)
        if (!flowPass(false)) fluidIdle = true;
    rescanWetSpans();
}

void InkField::darkenEdges(float k) {
    if (width < 3 || height < 3) return;
    const size_t w = static_cast<size_t>(width);
    parallelFor(1, height - 1, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (size_t x = 1; x + 1 < w; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                const float dx = activeInk[i + 1] - activeInk[i - 1], dy = activeInk[i + w] - activeInk[i - w];
                edgeMask[i] = std::min(3 * std::sqrt(dx * dx + dy * dy), 1.0f);
            }
    });
    parallelFor(1, height - 1, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (size_t x = 1; x + 1 < w; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                if (activeInk[i] < 0.05f) continue;
                const uint32_t h = static_cast<uint32_t>(y) * 65537u + static_cast<uint32_t>(x) * 12289u;
                const float n = static_cast<float>(h % 65536u) / 65535.0f;
                activeInk[i] = std::min(
                    activeInk[i] + k * wetness[i] * (0.3f + 0.7f * n) * edgeMask[i] * (0.5f + 0.5f * paper[i]) * 0.5f, 1.0f);
            }
    });
}

void InkField::evaporate(float amount) {
    forEachCell(*this, [&](size_t i) { wetness[i] = std::max(wetness[i] - amount, 0.0f); });
}

void InkField::advect(float k) {
    if (cellCount() == 0) return;
    tempBuffer = activeInk;
    const size_t w = static_cast<size_t>(width);
    const float maxX = static_cast<float>(width - 1), maxY = static_cast<float>(height - 1);
    parallelFor(1, std::max(height - 1, 1), kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (size_t x = 1; x + 1 < w; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                // The source point is clamped to the grid first, so the fractions stay in
                // [0, 1] and nothing is extrapolated.
                const float sx = std::clamp(static_cast<float>(x) - k * velocity[2 * i], 0.0f, maxX);
                const float sy = std::clamp(static_cast<float>(y) - k * velocity[2 * i + 1], 0.0f, maxY);
                const size_t x0 = static_cast<size_t>(sx), y0i = static_cast<size_t>(sy);
                const size_t x1 = std::min(x0 + 1, w - 1), y1i = std::min(y0i + 1, static_cast<size_t>(height - 1));
                const float fx = sx - static_cast<float>(x0), fy = sy - static_cast<float>(y0i);
                const float* t = tempBuffer.data();
                activeInk[i] = (t[y0i * w + x0] * (1 - fx) + t[y0i * w + x1] * fx) * (1 - fy) +
                               (t[y1i * w + x0] * (1 - fx) + t[y1i * w + x1] * fx) * fy;
            }
    });
    for (float& v : velocity) v *= 0.95f;
}

void InkField::applyBackruns(float k) {
    if (width < 5 || height < 5) return;
    tempBuffer = activeInk;
    const size_t w = static_cast<size_t>(width);
    parallelFor(2, height - 2, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (size_t x = 2; x + 2 < w; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                const float b = backrun[i];
                if (!(b > 0.15f)) continue;
                const float p = std::min(perm[i], 1.4f);
                const float dx = backrun[i + 1] - backrun[i - 1], dy = backrun[i + w] - backrun[i - w];
                const float g = std::sqrt(dx * dx + dy * dy);
                const float a = std::max(tempBuffer[i] * (1 - 0.15f * k * b * p), 0.0f);
                activeInk[i] = std::min(a + p * k * g * 0.5f, 1.0f);
            }
    });
}

void InkField::ageLayers() {
    const float aw = activeWindowSeconds, rw = recentWindowSeconds, now = currentTime;
    forEachCell(*this, [&](size_t i) {
        const float age = now - lastActivityTime[i];
        if (age > aw && activeInk[i] > 0.0005f) {
            const float m = std::min((age - aw) / 10, 1.0f) * 0.5f * activeInk[i];
            activeInk[i] -= m;
            recentInk[i] += m;
        }
        if (age > aw + rw && recentInk[i] > 0.0005f) {
            const float m = std::min((age - aw - rw) / 60, 1.0f) * 0.5f * recentInk[i];
            recentInk[i] -= m;
            archiveInk[i] += m;
        }
    });
}

void InkField::enforceBlobLimit(float fraction) {
    // A target of no cells would divide by zero below; one cell is the least.
    const int64_t target = std::max<int64_t>(static_cast<int64_t>(fraction * static_cast<float>(width) * static_cast<float>(height)), 1);
    int64_t count = 0;
    for (size_t i = 0; i < cellCount(); ++i) count += activeInk[i] + recentInk[i] + archiveInk[i] > 0.15f;
    if (count <= target) return;
    const float limit = 0.15f * static_cast<float>(count) / static_cast<float>(target);
    forEachCell(*this, [&](size_t i) {
        const float young = activeInk[i] + recentInk[i];
        if (young > 0 && young < limit) activeInk[i] *= 0.3f, recentInk[i] *= 0.3f;
    });
    diagnostic("Ink blob enforcement: trimmed from " + std::to_string(count) + " to target " + std::to_string(target) +
               " pixels");
}

void InkField::applyGlobalInkBudget(float fraction) {
    const float budget = fraction * static_cast<float>(width) * static_cast<float>(height);
    int64_t count = 0;
    for (size_t i = 0; i < cellCount(); ++i) count += activeInk[i] + recentInk[i] + archiveInk[i] > 0.1f;
    if (!(static_cast<float>(count) > budget)) return;
    const float factor = std::max(budget, 0.0f) / static_cast<float>(count);
    forEachCell(*this, [&](size_t i) {
        activeInk[i] *= factor;
        recentInk[i] *= factor;
    });
    char line[64];
    std::snprintf(line, sizeof line, "Global ink budget: scaled by %.2f", static_cast<double>(factor));
    diagnostic(line);
}

}  // namespace murmura
