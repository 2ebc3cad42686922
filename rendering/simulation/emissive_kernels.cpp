// The bloom, heat and composite kernels of the emissive field: fast row forms and the per-texel
// forms they equal bit for bit.
#include <algorithm>

#include "rendering/simulation/compute_rows.h"
#include "rendering/simulation/emissive_sim.h"

namespace murmura::emissive {

using compute::Float4;
using compute::TapRow;
using compute::texelCentre;

namespace {

constexpr float kBlurWeights[5] = {0.227027f, 0.194595f, 0.121622f, 0.054054f, 0.016216f};
constexpr float kNoiseScale = 2.3f;

// w0 * centre + the sum over k of wk * (plus_k + minus_k), summed in that order.
inline float blurSum(float centre, const float* plus, const float* minus) {
    float r = kBlurWeights[0] * centre;
    for (int k = 1; k <= 4; ++k) r = r + kBlurWeights[k] * (plus[k - 1] + minus[k - 1]);
    return r;
}

// taps: nine rows of n values, the centre first, then plus and minus for k = 1 to 4.
MURMURA_SIMD_CLONES void blurRow(float* __restrict out, const float* __restrict taps, int32_t n) {
    for (int32_t x = 0; x < n; ++x) {
        float r = kBlurWeights[0] * taps[x];
        for (int k = 1; k <= 4; ++k)
            r = r + kBlurWeights[k] * (taps[(2 * k - 1) * n + x] + taps[2 * k * n + x]);
        out[x] = r;
    }
}

[[gnu::always_inline]] inline void fireRamp(float h, float& r, float& g, float& b) {
    float t = gen::smoothstep(0.0f, 0.22f, h);
    r = gen::mix(0.0f, 0.55f, t), g = gen::mix(0.0f, 0.02f, t), b = gen::mix(0.0f, 0.0f, t);
    t = gen::smoothstep(0.22f, 0.48f, h);
    r = gen::mix(r, 1.0f, t), g = gen::mix(g, 0.32f, t), b = gen::mix(b, 0.0f, t);
    t = gen::smoothstep(0.48f, 0.76f, h);
    r = gen::mix(r, 1.0f, t), g = gen::mix(g, 0.85f, t), b = gen::mix(b, 0.28f, t);
    t = gen::smoothstep(0.76f, 1.0f, h);
    r = gen::mix(r, 1.0f, t), g = gen::mix(g, 1.0f, t), b = gen::mix(b, 1.0f, t);
}

[[gnu::always_inline]] inline void coolRamp(float h, float& r, float& g, float& b) {
    float t = gen::smoothstep(0.0f, 0.28f, h);
    r = gen::mix(0.0f, 0.0f, t), g = gen::mix(0.0f, 0.22f, t), b = gen::mix(0.0f, 0.34f, t);
    t = gen::smoothstep(0.28f, 0.62f, h);
    r = gen::mix(r, 0.10f, t), g = gen::mix(g, 0.68f, t), b = gen::mix(b, 0.86f, t);
    t = gen::smoothstep(0.62f, 1.0f, h);
    r = gen::mix(r, 0.72f, t), g = gen::mix(g, 1.0f, t), b = gen::mix(b, 1.0f, t);
}

// One display pixel from the sampled core and halo heat, the noise at uv * 2.3 and uv.
[[gnu::always_inline]] inline void compositePixel(float core, float halo, float noise, float u, float v, const CompositeParams& p,
                           uint8_t* out) {
    float heat = core * p.coreGain + halo * p.bloomGain;
    heat = 1.0f - gen::exp32(-heat * p.heatScale * p.exposure);
    const float cool = gen::smoothstep(0.45f, 0.9f, noise);
    const float t = cool * gen::smoothstep(0.1f, 0.6f, heat);
    float fr, fg, fb, cr, cg, cb;
    fireRamp(heat, fr, fg, fb);
    coolRamp(heat, cr, cg, cb);
    const float a = u * (1.0f - v), b = v * (1.0f - u);
    const float vignette = 0.82f + 0.18f * gen::pow32(a * b * 15.0f, 0.22f);
    out[0] = compute::toUnorm8((p.background[0] + gen::mix(fr, cr, t)) * vignette);
    out[1] = compute::toUnorm8((p.background[1] + gen::mix(fg, cg, t)) * vignette);
    out[2] = compute::toUnorm8((p.background[2] + gen::mix(fb, cb, t)) * vignette);
    out[3] = 255;
}

MURMURA_SIMD_CLONES void compositeRow(uint8_t* __restrict out, const float* __restrict core,
                                      const float* __restrict halo, const float* __restrict noise, int32_t width,
                                      float v, const CompositeParams& p) {
    for (int32_t x = 0; x < width; ++x)
        compositePixel(core[x], halo[x], noise[x], texelCentre(x, width), v, p, out + 4 * static_cast<size_t>(x));
}

const gen::ValueNoiseLattice& noiseLattice() {
    static const gen::ValueNoiseLattice lattice(3);  // uv * 2.3 stays in [0, 3)
    return lattice;
}

}  // namespace

float peakOf(std::span<const float> heat) {
    std::vector<float> positive;
    for (float h : heat)
        if (h > 0.0f) positive.push_back(h);
    if (positive.empty()) return 1.0f;
    const size_t n = positive.size();
    const size_t k = std::min(n - 1, static_cast<size_t>(static_cast<float>(n) * 0.985f));
    std::nth_element(positive.begin(), positive.begin() + static_cast<ptrdiff_t>(k), positive.end());
    return std::max(positive[k], 0.0001f);
}

void nCopy(const Field& src, Field& out, Workspace& ws) {
    TapRow& cols = ws.taps(0);
    cols.fill(out.width(), src.width(), 0.0f);
    const bool exact = compute::allExact(cols);
    for (int c = 0; c < 4; ++c) {
        if (src.isUniform(c)) {
            out.fill(c, src.uniformValue(c));  // a bilinear blend of equal values is that value
            continue;
        }
        out.beginWrite(c);
        compute::forEachRowChunk(out.height(), out.width(), [&](int32_t y0, int32_t y1) {
            float* row = ws.rowScratch(static_cast<size_t>(out.width()) + 2 * static_cast<size_t>(src.width()));
            float* rowA = row + out.width();
            for (int32_t y = y0; y < y1; ++y) {
                compute::sampleRow(src, c, texelCentre(y, out.height()), cols, exact, row, rowA, rowA + src.width());
                out.writeRow(c, y, row);
            }
        });
    }
}

void nBlur(const Field& src, Field& out, float dirX, float dirY, Workspace& ws) {
    // Tap j: 0 the centre, 2k - 1 the offset +k * dir, 2k the offset -k * dir.
    std::array<TapRow, 9> cols;
    std::array<float, 9> dy{};
    std::array<bool, 9> exact{};
    for (int j = 0; j < 9; ++j) {
        const int k = (j + 1) / 2;
        const float sign = j == 0 || j % 2 == 1 ? 1.0f : -1.0f;
        const float ox = static_cast<float>(k) * dirX, oy = static_cast<float>(k) * dirY;
        cols[j].fill(out.width(), src.width(), j == 0 ? 0.0f : sign * ox);
        dy[j] = j == 0 ? 0.0f : sign * oy;
        exact[j] = compute::allExact(cols[j]);
    }
    const int32_t w = out.width();
    for (int c = 0; c < 4; ++c) {
        if (src.isUniform(c)) {
            const float v = src.uniformValue(c);
            const float same[4] = {v, v, v, v};
            out.fill(c, blurSum(v, same, same));
            continue;
        }
        out.beginWrite(c);
        compute::forEachRowChunk(out.height(), w, [&](int32_t y0, int32_t y1) {
            float* taps = ws.rowScratch(10 * static_cast<size_t>(w) + 2 * static_cast<size_t>(src.width()));
            float* row = taps + 9 * w;
            float* rowA = row + w;
            for (int32_t y = y0; y < y1; ++y) {
                const float v = texelCentre(y, out.height());
                for (int j = 0; j < 9; ++j)
                    compute::sampleRow(src, c, v + dy[j], cols[j], exact[j], taps + j * w, rowA, rowA + src.width());
                blurRow(row, taps, w);
                out.writeRow(c, y, row);
            }
        });
    }
}

void nHeat(const Field& core, const Field& halo, StatsPlane& out, float coreGain, float bloomGain, Workspace& ws) {
    const int32_t w = out.size.width, h = out.size.height;
    out.heat.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    TapRow& coreCols = ws.taps(0);
    TapRow& haloCols = ws.taps(1);
    coreCols.fill(w, core.width(), 0.0f);
    haloCols.fill(w, halo.width(), 0.0f);
    const bool coreExact = compute::allExact(coreCols), haloExact = compute::allExact(haloCols);
    float* rows = ws.rowScratch(2 * static_cast<size_t>(w) + 2 * static_cast<size_t>(core.width()));
    float* a = rows + 2 * w;
    for (int32_t y = 0; y < h; ++y) {
        const float v = texelCentre(y, h);
        compute::sampleRow(core, 0, v, coreCols, coreExact, rows, a, a + core.width());
        compute::sampleRow(halo, 0, v, haloCols, haloExact, rows + w, a, a + core.width());
        for (int32_t x = 0; x < w; ++x) out.heat[static_cast<size_t>(y) * w + x] = rows[x] * coreGain + rows[w + x] * bloomGain;
    }
}

void nComposite(const Field& core, const Field& halo, DisplayField& out, const CompositeParams& p, Workspace& ws) {
    const int32_t w = out.width(), h = out.height();
    TapRow& coreCols = ws.taps(0);
    TapRow& haloCols = ws.taps(1);
    coreCols.fill(w, core.width(), 0.0f);
    haloCols.fill(w, halo.width(), 0.0f);
    const bool coreExact = compute::allExact(coreCols), haloExact = compute::allExact(haloCols);
    const gen::ValueNoiseLattice& noise = noiseLattice();
    compute::forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        float* rows = ws.rowScratch(3 * static_cast<size_t>(w) + 2 * static_cast<size_t>(core.width()));
        float* a = rows + 3 * w;
        for (int32_t y = y0; y < y1; ++y) {
            const float v = texelCentre(y, h);
            compute::sampleRow(core, 0, v, coreCols, coreExact, rows, a, a + core.width());
            compute::sampleRow(halo, 0, v, haloCols, haloExact, rows + w, a, a + core.width());
            for (int32_t x = 0; x < w; ++x) rows[2 * w + x] = noise.at(texelCentre(x, w) * kNoiseScale, v * kNoiseScale);
            compositeRow(out.row(y), rows, rows + w, rows + 2 * w, w, v, p);
        }
    });
}

namespace reference {

void nCopy(const Field& src, Field& out, Workspace& ws) {
    compute::forEachTexel(out, ws, [&](float u, float v) { return src.sample(u, v); });
}

void nBlur(const Field& src, Field& out, float dirX, float dirY, Workspace& ws) {
    compute::forEachTexel(out, ws, [&](float u, float v) {
        float plus[4][4], minus[4][4];
        for (int k = 1; k <= 4; ++k) {
            const float ox = static_cast<float>(k) * dirX, oy = static_cast<float>(k) * dirY;
            const Float4 a = src.sample(u + ox, v + oy), b = src.sample(u - ox, v - oy);
            for (int c = 0; c < 4; ++c) plus[c][k - 1] = a[c], minus[c][k - 1] = b[c];
        }
        const Float4 s = src.sample(u, v);
        return Float4{blurSum(s.x, plus[0], minus[0]), blurSum(s.y, plus[1], minus[1]),
                      blurSum(s.z, plus[2], minus[2]), blurSum(s.w, plus[3], minus[3])};
    });
}

void nHeat(const Field& core, const Field& halo, StatsPlane& out, float coreGain, float bloomGain) {
    const int32_t w = out.size.width, h = out.size.height;
    out.heat.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const float u = texelCentre(x, w), v = texelCentre(y, h);
            out.heat[static_cast<size_t>(y) * w + x] = core.sample(u, v).x * coreGain + halo.sample(u, v).x * bloomGain;
        }
}

void nComposite(const Field& core, const Field& halo, DisplayField& out, const CompositeParams& p) {
    for (int32_t y = 0; y < out.height(); ++y)
        for (int32_t x = 0; x < out.width(); ++x) {
            const float u = texelCentre(x, out.width()), v = texelCentre(y, out.height());
            const float noise = gen::valueNoise(u * kNoiseScale, v * kNoiseScale);
            compositePixel(core.sample(u, v).x, halo.sample(u, v).x, noise, u, v, p, out.row(y) + 4 * static_cast<size_t>(x));
        }
}

}  // namespace reference

}  // namespace murmura::emissive
