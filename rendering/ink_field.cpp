#include "rendering/ink_field.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "rendering/generators.h"
#include "support/diagnostics.h"
#include "support/parallel.h"

namespace murmura {

using gen::clamp01;
using gen::hash2;
using gen::sinFract;
using gen::smooth;

namespace {

constexpr int64_t kRowGrain = 16;

}  // namespace

InkField::InkField(int32_t w, int32_t h) : width(std::max(w, 0)), height(std::max(h, 0)) {
    if (width == 0 || height == 0) width = height = 0;
    const size_t n = cellCount();
    const std::pair<CellArray*, float> initial[] = {
        {&activeInk, 0},  {&recentInk, 0},  {&archiveInk, 0},   {&lastActivityTime, -1000},
        {&birthTime, -1000}, {&wetness, 0}, {&paper, 0},        {&perm, 1},
        {&backrun, 0},    {&edgeMask, 0},   {&strokeDir, kNoDirection}, {&dropletMask, 0},
        {&strokeBuffer, 0}, {&tempBuffer, 0}, {&blurBuffer, 0}};
    for (const auto& [cells, value] : initial) cells->resize(n);
    velocity.resize(2 * n);
    parallelFor(0, height, kRowGrain, [&](int64_t y0, int64_t y1) {
        const size_t begin = static_cast<size_t>(y0) * width, end = static_cast<size_t>(y1) * width;
        for (const auto& [cells, value] : initial) std::fill(cells->begin() + begin, cells->begin() + end, value);
        std::fill(velocity.begin() + 2 * begin, velocity.begin() + 2 * end, 0.0f);
    });
    wetSpans_.assign(static_cast<size_t>(height), Span{});
    buildNoiseLUT();
    buildPaper();
    buildPermeability();
}

void InkField::buildNoiseLUT() {
    noiseLUT.resize(static_cast<size_t>(kNoiseLUTSize) * kNoiseLUTSize);
    for (int32_t y = 0; y < kNoiseLUTSize; ++y)
        for (int32_t x = 0; x < kNoiseLUTSize; ++x)
            noiseLUT[static_cast<size_t>(y) * kNoiseLUTSize + x] = gen::latticeValueNoise(
                static_cast<float>(x) / 256.0f * 8.0f, static_cast<float>(y) / 256.0f * 8.0f);
}

void InkField::buildPaper() {
    const uint64_t v = static_cast<uint64_t>(width) * 0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(height) * 0xBF58476D1CE4E5B9ULL;
    const auto k = static_cast<uint32_t>((v ^ (v >> 31)) * 0x94D049BB133111EBULL);
    const float ox = static_cast<float>(k & 0xFFFFu) / 65.535f, oy = static_cast<float>(k >> 16) / 65.535f;
    parallelFor(0, height, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y) {
            const float fy = static_cast<float>(y);
            for (int32_t x = 0; x < width; ++x) {
                const float fx = static_cast<float>(x);
                const float cx = ox + fx * 0.008f, fxx = oy + fx * 0.02f;
                const float coarse = 0.67f * hash2(fy * 0.008f, cx) + 0.33f * hash2(2.0f * fy * 0.008f, 2.0f * cx);
                const float fine = 0.67f * hash2(fy * 0.03f, fxx) + 0.33f * hash2(2.0f * fy * 0.03f, 2.0f * fxx);
                const float grain = hash2(fy * 0.1f, fx * 0.1f);
                paper[index(x, static_cast<int32_t>(y))] =
                    clamp01(0.35f + 0.6f * (0.35f * coarse + 0.25f * fine + 0.1f * grain));
            }
        }
    });
}

void InkField::buildPermeability() {
    if (cellCount() == 0) return;
    // One SplitMix64 stream: lattice A, lattice B, then two draws per cell. The k-th draw is a
    // pure function of the seed, so rows are filled in parallel at their own offsets.
    const uint64_t seed = static_cast<uint64_t>(width) * 0x9E3779B9ULL + static_cast<uint64_t>(height) * 0x85EBCA77ULL;
    const int64_t w = width, h = height;
    struct Lattice {
        int64_t cols, rows;
        std::vector<float> v;
    };
    uint64_t drawn = 0;
    const auto lattice = [&](int64_t cols, int64_t rows) {
        Lattice l{cols, rows, {}};
        l.v.resize(static_cast<size_t>((cols + 1) * (rows + 1)));
        for (float& x : l.v) x = gen::unit24(gen::rawDraw(seed, ++drawn));
        return l;
    };
    const Lattice a = lattice(w * 36 > 999 ? w * 36 / 250 : 4, h * 50 < 1392 ? 4 : h * 50 / 348);
    const Lattice b = lattice(w * 100 > 1999 ? w * 100 / 250 : 8, h * 139 > 2783 ? h * 139 / 348 : 8);
    const auto sample = [&](const Lattice& l, int32_t x, int32_t y) {
        const float gx = static_cast<float>(x) / static_cast<float>(w) * static_cast<float>(l.cols);
        const float gy = static_cast<float>(y) / static_cast<float>(h) * static_cast<float>(l.rows);
        const int64_t i = std::min<int64_t>(l.cols - 1, static_cast<int64_t>(gx));
        const int64_t j = std::min<int64_t>(l.rows - 1, static_cast<int64_t>(gy));
        const float fx = gx - static_cast<float>(i), fy = gy - static_cast<float>(j);
        const float* r0 = l.v.data() + j * (l.cols + 1) + i;
        const float* r1 = r0 + (l.cols + 1);
        return (r0[0] * (1 - fx) + r0[1] * fx) * (1 - fy) + (r1[0] * (1 - fx) + r1[1] * fx) * fy;
    };
    parallelFor(0, height, kRowGrain, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const size_t i = index(x, static_cast<int32_t>(y));
                const float r1 = gen::unit24(gen::rawDraw(seed, drawn + 2 * i + 1));
                const float r2 = gen::unit24(gen::rawDraw(seed, drawn + 2 * i + 2));
                const float base = (0.5f * sample(a, x, static_cast<int32_t>(y)) + 0.5f * sample(b, x, static_cast<int32_t>(y))) * 0.94f + 0.06f;
                const float p = (r1 * 1.6f + 0.2f) * base;
                float q = p * p * 1.4f;
                if (r2 < 0.16f) q *= 0.05f;
                perm[i] = std::clamp(q, 0.015f, 2.4f);
            }
    });
}

// ---- Bookkeeping of the wet spans and of the written part of the stroke buffer ----

void InkField::markWet(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, width - 1), y1 = std::min(y1, height - 1);
    if (x0 > x1) return;
    for (int32_t y = y0; y <= y1; ++y) {
        Span& s = wetSpans_[static_cast<size_t>(y)];
        if (s.begin >= s.end) s = {x0, x1 + 1};
        else s = {std::min(s.begin, x0), std::max(s.end, x1 + 1)};
    }
}

void InkField::markStroke(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (strokeX1_ < strokeX0_) {
        strokeX0_ = x0, strokeY0_ = y0, strokeX1_ = x1, strokeY1_ = y1;
        return;
    }
    strokeX0_ = std::min(strokeX0_, x0), strokeY0_ = std::min(strokeY0_, y0);
    strokeX1_ = std::max(strokeX1_, x1), strokeY1_ = std::max(strokeY1_, y1);
}

void InkField::rescanWetSpans() {
    for (int32_t y = 0; y < height; ++y) {
        Span s;
        for (int32_t x = 0; x < width; ++x)
            if (wetness[index(x, y)] >= kWetThreshold) {
                if (s.begin >= s.end) s.begin = x;
                s.end = x + 1;
            }
        wetSpans_[static_cast<size_t>(y)] = s;
    }
}

// ---- Deposits ----

void InkField::flushStrokeBuffer() {
    const int32_t x0 = std::max(strokeX0_, 0), y0 = std::max(strokeY0_, 0);
    const int32_t x1 = std::min(strokeX1_, width - 1), y1 = std::min(strokeY1_, height - 1);
    for (int32_t y = y0; y <= y1; ++y)
        for (int32_t x = x0; x <= x1; ++x) {
            const size_t i = index(x, y);
            const float s = strokeBuffer[i];
            if (s < 0.002f) continue;
            strokeBuffer[i] = 0;
            const float total = activeInk[i] + recentInk[i] + archiveInk[i];
            const float cap = paper[i] * (std::min(total, 1.0f) * 0.08f + 0.14f) + 0.7f;
            const float t = clamp01((total - 0.6f * cap) / (0.4f * cap));
            activeInk[i] = std::min(activeInk[i] + s * (1 - smooth(t)), 1.0f);
        }
    // Values below the threshold stay; they can only change again under a later deposit.
    strokeX0_ = strokeY0_ = 0, strokeX1_ = strokeY1_ = -1;
}

void InkField::depositStamp(std::optional<Vector> direction, double x, double y, float amount, float radius,
                            float dryness) {
    if (!(radius > 0) || !usablePosition(x, y)) return;
    const int32_t R = static_cast<int32_t>(std::ceil(std::min(1.2f * radius, kMaxDepositRadius)));
    if (R < 1) return;
    const float V = 2 * (0.35f * radius) * (0.35f * radius);
    float ux = 0, uy = 1;
    if (direction) {
        const double len = std::hypot(direction->dx, direction->dy);
        if (len > 0.1) ux = static_cast<float>(direction->dx / len), uy = static_cast<float>(direction->dy / len);
    }
    const float G = 0.35f * (1 - dryness) + 0.18f, Wa = 0.08f * (1 - dryness);
    const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
    const int32_t xa = std::max(ix - R, 0), xb = std::min(ix + R, width - 1);
    const int32_t ya = std::max(iy - R, 0), yb = std::min(iy + R, height - 1);
    if (xa > xb || ya > yb) return;
    for (int32_t cy = ya; cy <= yb; ++cy)
        for (int32_t cx = xa; cx <= xb; ++cx) {
            const float dx = static_cast<float>(cx - ix), dy = static_cast<float>(cy - iy);
            const float d2 = dx * dx + dy * dy;
            float g = std::exp(-d2 / V);
            const float rho = std::sqrt(d2) / radius;
            if (rho > 0.6f) g *= 1 - smooth(clamp01(2 * (rho - 0.6f)));
            if (g < 0.002f) continue;
            const size_t i = index(cx, cy);
            const float fcx = static_cast<float>(cx), fcy = static_cast<float>(cy);
            const float along = uy * fcy + ux * fcx, across = ux * fcy - uy * fcx;
            const float q = 0.15f * across, k = std::floor(q);
            const float h = sinFract(3.731f * k);
            const float streak = hash2(q + (0.45f * h + 0.22f) * std::sin(1.93f * k + along * (0.01f * h + 0.009f)), 0.03f * along);
            if (G < streak * (0.4f * paper[i] + 0.6f)) {
                const float t = smooth(clamp01((perm[i] - 0.2f) / 0.75f));
                const float r = sinFract(7.13f * k + std::floor(0.01f * along) * 3.71f);
                if (!(r < 0.3f * t + 0.1f)) g *= 0.02f;
            }
            lastActivityTime[i] = currentTime;
            if (recentInk[i] > 0.01f) activeInk[i] += recentInk[i], recentInk[i] = 0;
            const float n = hash2(0.06f * fcy, 0.06f * fcx);
            g *= std::max(1 - 0.25f * dryness * n, 0.4f);
            const float base = std::min(amount * g, 1.0f);
            const float c = std::min(0.95f * smooth(clamp01((base - 0.14f) / 0.28f)) + 0.45f * gen::pow32(base, 0.82f), 1.0f);
            if (strokeBuffer[i] < c) strokeBuffer[i] += 0.3f * (c - strokeBuffer[i]);
            wetness[i] = std::min(wetness[i] + Wa * g * perm[i], 2.5f);
            if (direction) {
                velocity[2 * i] += g * 0.05f * static_cast<float>(direction->dx);
                velocity[2 * i + 1] += g * 0.05f * static_cast<float>(direction->dy);
            }
        }
    fluidIdle = false;
    markStroke(xa, ya, xb, yb);
    if (Wa > 0) markWet(xa, ya, xb, yb);
}

void InkField::depositDot(uint64_t seed, double x, double y, float amount, float radius, float dryness) {
    if (!(radius > 0) || !usablePosition(x, y)) return;
    const int32_t R = std::max(static_cast<int32_t>(std::ceil(std::min(radius * 1.2f, kMaxDepositRadius))), 1);
    const float sigma = 0.45f * radius;
    const float s = static_cast<float>(seed % 977);
    const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
    const int32_t xa = std::max(ix - R, 0), xb = std::min(ix + R, width - 1);
    const int32_t ya = std::max(iy - R, 0), yb = std::min(iy + R, height - 1);
    for (int32_t cy = ya; cy <= yb; ++cy)
        for (int32_t cx = xa; cx <= xb; ++cx) {
            const float dx = static_cast<float>(cx - ix), dy = static_cast<float>(cy - iy);
            const float g = std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            if (g < 0.01f) continue;
            const size_t i = index(cx, cy);
            const float n = hash2(static_cast<float>(cy) * 0.3f - s, static_cast<float>(cx) * 0.3f + s) * (0.5f * dryness + 0.5f);
            const float dep = amount * (n > 0.62f ? 0.08f * g : g);
            const float d = dep * (0.5f * paper[i] + 0.7f);
            const float t = clamp01((activeInk[i] + recentInk[i] + archiveInk[i] - 0.5f) / 0.4f);
            recentInk[i] = std::min(recentInk[i] + d * (1 - smooth(t)), 1.0f);
            lastActivityTime[i] = currentTime;
            wetness[i] = std::min(wetness[i] + (1 - dryness) * 0.08f * dep * perm[i], 2.5f);
            if (d > 0.02f) birthTime[i] = currentTime;
        }
    fluidIdle = false;
    if (dryness < 1 && xa <= xb) markWet(xa, ya, xb, yb);
}

void InkField::depositPool(double x, double y, float amount, float radius, float water, float core) {
    if (!(radius > 0) || !usablePosition(x, y)) return;
    const int32_t R = std::max(static_cast<int32_t>(std::ceil(std::min(radius, kMaxDepositRadius))), 1);
    const float V = std::max(0.45f * radius * radius, 1.0f), C = std::max(0.06f * radius * radius, 0.5f);
    const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
    const int32_t xa = std::max(ix - R, 0), xb = std::min(ix + R, width - 1);
    const int32_t ya = std::max(iy - R, 0), yb = std::min(iy + R, height - 1);
    for (int32_t cy = ya; cy <= yb; ++cy)
        for (int32_t cx = xa; cx <= xb; ++cx) {
            const float d2 = static_cast<float>((cx - ix) * (cx - ix) + (cy - iy) * (cy - iy));
            const float g = std::exp(-d2 / V);
            if (g < 0.02f) continue;
            const size_t i = index(cx, cy);
            lastActivityTime[i] = currentTime;
            if (recentInk[i] > 0.01f) activeInk[i] += recentInk[i], recentInk[i] = 0;
            activeInk[i] = std::min(activeInk[i] + amount * g, 1.0f);
            wetness[i] = std::min(wetness[i] + water * g * perm[i], 2.5f);
            const float c = std::exp(-d2 / C);
            if (core > 0 && c > 0.04f) {
                recentInk[i] = std::min(recentInk[i] + core * c, 1.0f);
                birthTime[i] = currentTime;
            } else if (amount * g > 0.02f) {
                birthTime[i] = currentTime;
            }
        }
    fluidIdle = false;
    if (xa <= xb) markWet(xa, ya, xb, yb);
}

}  // namespace murmura
