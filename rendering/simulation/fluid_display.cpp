// The displays: dye absorbance shown on paper, plain ink or watercolour with rims, granulation
// and a saturation cap; fibre noise and a vignette on both.
#include "rendering/simulation/fluid_kernels.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

#include "rendering/simulation/fluid_rows.h"

namespace murmura::fluid {

using compute::Float4;
using compute::forEachRowChunk;
using compute::TapRow;
using compute::texelCentre;

namespace {

inline float inkFibre(float fine, float medium, float coarse) {
    return fine * 0.028f + medium * 0.022f + coarse * 0.018f;
}

inline float watercolorFibre(float fine, float medium) { return fine * 0.020f + medium * 0.016f; }

// a * b * 15 with a = u (1 - v), b = v (1 - u): 1 in the middle, falling to 0 at the edges.
inline float vignetteBase(float u, float v) {
    const float a = u * (1.0f - v), b = v * (1.0f - u);
    return a * b * 15.0f;
}

inline float inkVignette(float u, float v) { return 0.92f + 0.08f * gen::pow32(vignetteBase(u, v), 0.18f); }
inline float watercolorVignette(float u, float v) { return 0.94f + 0.06f * gen::pow32(vignetteBase(u, v), 0.15f); }

inline float paperColour(float paper, float absorbance, float fibre, float vignette) {
    return (paper * gen::exp32(-absorbance) + fibre) * vignette;
}

// Step 2 of the watercolour display, one channel: the centre plus the rim term from the
// one-texel differences around it.
inline float rimmed(float C, float R, float L, float T, float B, float edgeDarken) {
    return C + edgeDarken * (std::fabs(R - L) + std::fabs(T - B));
}

struct Absorbance {
    float r, g, b;
};

// Steps 3 and 4 of the watercolour display: granulation and the hue-preserving cap.
inline Absorbance granulatedCapped(Absorbance A, float grain, float granulate, float absorbCap) {
    const float amount = gen::smoothstep(0.03f, 0.5f, std::max(std::max(A.r, A.g), A.b));
    const float k = 1.0f + granulate * (grain - 0.5f) * 2.0f * amount;
    float r = A.r * k, g = A.g * k, b = A.b * k;
    r = r > 0.0f ? r : 0.0f;
    g = g > 0.0f ? g : 0.0f;
    b = b > 0.0f ? b : 0.0f;
    const float m = std::max(std::max(r, g), b);
    const float capped = absorbCap * (1.0f - gen::exp32(-m / absorbCap));
    const bool cap = absorbCap > 0.0f && m > 1e-5f;
    r = cap ? r * capped / m : r;
    g = cap ? g * capped / m : g;
    b = cap ? b * capped / m : b;
    return Absorbance{r, g, b};
}

}  // namespace

// ---- k_display and k_display_wc ----

namespace {

// Writes every pixel of `out` from fn(u, v) -> {r, g, b} (before clamping), alpha 1.
template <class PixelFn>
void forEachPixel(DisplayField& out, PixelFn&& fn) {
    const int32_t w = out.width(), h = out.height();
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            uint8_t* row = out.row(y);
            for (int32_t x = 0; x < w; ++x) {
                const Rgb c = fn(texelCentre(x, w), texelCentre(y, h));
                row[4 * x] = compute::toUnorm8(c[0]);
                row[4 * x + 1] = compute::toUnorm8(c[1]);
                row[4 * x + 2] = compute::toUnorm8(c[2]);
                row[4 * x + 3] = 255;
            }
        }
    });
}

// Column part of value noise at scale `cells` for an output of `width` texels: lattice index
// in i0 and smoothed fraction in f.
void fillNoiseColumns(TapRow& taps, const gen::ValueNoiseLattice& lattice, int32_t width) {
    taps.i0.resize(static_cast<size_t>(width));
    taps.i1.clear();
    taps.f.resize(static_cast<size_t>(width));
    const auto scale = static_cast<float>(lattice.cells());
    for (int32_t x = 0; x < width; ++x) {
        const float p = texelCentre(x, width) * scale;
        taps.i0[x] = lattice.index(p);
        taps.f[x] = gen::smooth(p - std::floor(p));
    }
}

// A lattice row blended along x at the output's columns.
MURMURA_SIMD_CLONES void noiseAlongX(float* __restrict out, const float* __restrict r, const int32_t* __restrict ix,
                                     const float* __restrict fx, int32_t n) {
    for (int32_t i = 0; i < n; ++i) out[i] = gen::mix(r[ix[i]], r[ix[i] + 1], fx[i]);
}

// Value noise along the output's rows, one row after another: the two lattice rows around a
// row, blended along x, serve every output row between them (several at these scales), and
// only the blend along y is made per row. The same operations as the noise at one point.
class NoiseRows {
public:
    // `scratch` holds two rows of the output's width.
    NoiseRows(const gen::ValueNoiseLattice& lattice, const TapRow& columns, float* scratch)
        : lattice_(lattice), columns_(columns), n_(static_cast<int32_t>(columns.i0.size())), below_(scratch),
          above_(scratch + n_) {}

    void row(float* out, float v) {
        const float p = v * static_cast<float>(lattice_.cells());
        const int32_t iy = lattice_.index(p);
        if (iy != cached_) {
            if (iy == cached_ + 1) {
                std::swap(below_, above_);  // the row above the last one is this one's row below
            } else {
                noiseAlongX(below_, lattice_.row(iy), columns_.i0.data(), columns_.f.data(), n_);
            }
            noiseAlongX(above_, lattice_.row(iy + 1), columns_.i0.data(), columns_.f.data(), n_);
            cached_ = iy;
        }
        compute::mixRows(out, below_, above_, gen::smooth(p - std::floor(p)), n_);
    }

private:
    const gen::ValueNoiseLattice& lattice_;
    const TapRow& columns_;
    int32_t n_;
    float* below_;
    float* above_;
    int32_t cached_ = -2;  // no lattice row yet
};

// The first three channels of a row of texels into three rows.
MURMURA_SIMD_CLONES void splitThreeChannels(const float* __restrict texels, float* __restrict r, float* __restrict g,
                                            float* __restrict b, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        r[x] = texels[4 * x];
        g[x] = texels[4 * x + 1];
        b[x] = texels[4 * x + 2];
    }
}

// The dye's rows as floats, one row per channel, for a chunk of output rows: those read each dye
// row several times, in increasing order, so a few decoded rows serve them all (the dye is read
// where the simulation keeps it, without a planar copy). The reads are those of a plane-backed
// field: rowAtHeight and sampleRow give the same values.
class DyeRows {
public:
    static size_t floats(int32_t w) { return (kSlots * 3 + 4) * static_cast<size_t>(w); }
    DyeRows(const compute::TexelField& dye, float* scratch)
        : dye_(dye), w_(dye.width()), rows_(scratch), texels_(scratch + kSlots * 3 * static_cast<size_t>(w_)) {
        tags_.fill(-1);
    }

    // Channel c of row y.
    const float* row(int c, int32_t y) {
        const auto slot = static_cast<size_t>(y & (kSlots - 1));
        float* base = rows_ + slot * 3 * static_cast<size_t>(w_);
        if (tags_[slot] != y) {
            compute::decodeHalves(dye_.row(y), texels_, static_cast<size_t>(w_) * 4);
            splitThreeChannels(texels_, base, base + w_, base + 2 * static_cast<size_t>(w_), w_);
            tags_[slot] = y;
        }
        return base + c * static_cast<size_t>(w_);
    }
    // Channel c at normalised height v: the blend of the two rows there (in `blend`, of the dye's
    // width), or the row itself.
    const float* atHeight(int c, float v, float* blend) {
        const gen::Tap ty = gen::bilinearTap(v, dye_.height());
        const float* lower = row(c, ty.i0);
        if (ty.f == 0.0f) return lower;
        compute::mixRows(blend, lower, row(c, ty.i1), ty.f, w_);
        return blend;
    }

private:
    static constexpr int32_t kSlots = 8;  // rows a chunk's reads at one output row span, and more
    const compute::TexelField& dye_;
    int32_t w_;
    float* rows_;
    float* texels_;
    std::array<int32_t, kSlots> tags_{};
};

MURMURA_SIMD_CLONES void inkDisplayRow(uint8_t* __restrict out, const float* __restrict ar, const float* __restrict ag,
                                       const float* __restrict ab, const float* __restrict fine,
                                       const float* __restrict medium, const float* __restrict coarse, float pr,
                                       float pg, float pb, float v, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        const float u = texelCentre(x, w);
        const float fibre = inkFibre(fine[x], medium[x], coarse[x]);
        const float vignette = inkVignette(u, v);
        out[4 * x] = compute::toUnorm8(paperColour(pr, ar[x], fibre, vignette));
        out[4 * x + 1] = compute::toUnorm8(paperColour(pg, ag[x], fibre, vignette));
        out[4 * x + 2] = compute::toUnorm8(paperColour(pb, ab[x], fibre, vignette));
        out[4 * x + 3] = 255;
    }
}

MURMURA_SIMD_CLONES void rimRow(float* __restrict out, const float* __restrict C, const float* __restrict R,
                                const float* __restrict L, const float* __restrict T, const float* __restrict B,
                                float edgeDarken, int32_t w) {
    for (int32_t x = 0; x < w; ++x) out[x] = rimmed(C[x], R[x], L[x], T[x], B[x], edgeDarken);
}

MURMURA_SIMD_CLONES void watercolorDisplayRow(uint8_t* __restrict out, const float* __restrict ar,
                                              const float* __restrict ag, const float* __restrict ab,
                                              const float* __restrict grain, const float* __restrict fine,
                                              const float* __restrict medium, float pr, float pg, float pb,
                                              float granulate, float absorbCap, float v, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        const float u = texelCentre(x, w);
        const Absorbance a = granulatedCapped(Absorbance{ar[x], ag[x], ab[x]}, grain[x], granulate, absorbCap);
        const float fibre = watercolorFibre(fine[x], medium[x]);
        const float vignette = watercolorVignette(u, v);
        out[4 * x] = compute::toUnorm8(paperColour(pr, a.r, fibre, vignette));
        out[4 * x + 1] = compute::toUnorm8(paperColour(pg, a.g, fibre, vignette));
        out[4 * x + 2] = compute::toUnorm8(paperColour(pb, a.b, fibre, vignette));
        out[4 * x + 3] = 255;
    }
}

}  // namespace

namespace reference {
void kDisplay(const Field& dye, DisplayField& out, const Rgb& paper, Workspace&) {
    forEachPixel(out, [&](float u, float v) {
        const Float4 A = dye.sample(u, v);
        const float fibre = inkFibre(gen::valueNoise(u * 420.0f, v * 420.0f), gen::valueNoise(u * 180.0f, v * 180.0f),
                                     gen::valueNoise(u * 60.0f, v * 60.0f));
        const float vignette = inkVignette(u, v);
        return Rgb{paperColour(paper[0], A.x, fibre, vignette), paperColour(paper[1], A.y, fibre, vignette),
                   paperColour(paper[2], A.z, fibre, vignette)};
    });
}

void kDisplayWc(const Field& dye, DisplayField& out, const WatercolorDisplayParams& p, Workspace&) {
    const float sx = 1.0f / static_cast<float>(dye.width()), sy = 1.0f / static_cast<float>(dye.height());
    forEachPixel(out, [&](float u, float v) {
        const Float4 C = dye.sample(u, v), R = dye.sample(u + sx, v), L = dye.sample(u - sx, v);
        const Float4 T = dye.sample(u, v + sy), B = dye.sample(u, v - sy);
        Absorbance A{rimmed(C.x, R.x, L.x, T.x, B.x, p.edgeDarken), rimmed(C.y, R.y, L.y, T.y, B.y, p.edgeDarken),
                     rimmed(C.z, R.z, L.z, T.z, B.z, p.edgeDarken)};
        A = granulatedCapped(A, gen::valueNoise(u * 150.0f, v * 150.0f), p.granulate, p.absorbCap);
        const float fibre = watercolorFibre(gen::valueNoise(u * 430.0f, v * 430.0f), gen::valueNoise(u * 170.0f, v * 170.0f));
        const float vignette = watercolorVignette(u, v);
        return Rgb{paperColour(p.paper[0], A.r, fibre, vignette), paperColour(p.paper[1], A.g, fibre, vignette),
                   paperColour(p.paper[2], A.b, fibre, vignette)};
    });
}
}  // namespace reference

void kDisplay(const compute::TexelField& dye, DisplayField& out, const Rgb& paper, const InkDisplayNoise& noise,
              Workspace& ws) {
    const int32_t w = out.width(), h = out.height();
    TapRow& cols = ws.taps(0);
    cols.fill(w, dye.width(), 0.0f);
    const bool colsExact = allExact(cols);
    fillNoiseColumns(ws.taps(1), noise.fine, w);
    fillNoiseColumns(ws.taps(2), noise.medium, w);
    fillNoiseColumns(ws.taps(3), noise.coarse, w);
    const size_t dw = static_cast<size_t>(dye.width());
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        float* a = ws.rowScratch(static_cast<size_t>(w) * 12 + dw + DyeRows::floats(dye.width()));
        float* fine = a + 3 * static_cast<size_t>(w);
        float* medium = fine + w;
        float* coarse = medium + w;
        float* blend = coarse + w;
        float* noiseScratch = blend + dw;
        DyeRows dyeRows(dye, noiseScratch + 6 * static_cast<size_t>(w));
        NoiseRows fineRows(noise.fine, ws.taps(1), noiseScratch), mediumRows(noise.medium, ws.taps(2), noiseScratch + 2 * w),
            coarseRows(noise.coarse, ws.taps(3), noiseScratch + 4 * w);
        for (int32_t y = y0; y < y1; ++y) {
            const float v = texelCentre(y, h);
            for (int c = 0; c < 3; ++c) compute::gatherRow(a + c * w, dyeRows.atHeight(c, v, blend), cols, colsExact);
            fineRows.row(fine, v);
            mediumRows.row(medium, v);
            coarseRows.row(coarse, v);
            inkDisplayRow(out.row(y), a, a + w, a + 2 * w, fine, medium, coarse, paper[0], paper[1], paper[2], v, w);
        }
    });
}

void kDisplayWc(const compute::TexelField& dye, DisplayField& out, const WatercolorDisplayParams& p,
                const WatercolorDisplayNoise& noise, Workspace& ws) {
    const int32_t w = out.width(), h = out.height();
    const float sx = 1.0f / static_cast<float>(dye.width()), sy = 1.0f / static_cast<float>(dye.height());
    TapRow& centre = ws.taps(0);
    TapRow& right = ws.taps(1);
    TapRow& left = ws.taps(2);
    centre.fill(w, dye.width(), 0.0f);
    right.fill(w, dye.width(), sx);
    left.fill(w, dye.width(), -sx);
    const bool centreExact = allExact(centre), rightExact = allExact(right), leftExact = allExact(left);
    fillNoiseColumns(ws.taps(3), noise.granulation, w);
    fillNoiseColumns(ws.taps(4), noise.fine, w);
    fillNoiseColumns(ws.taps(5), noise.medium, w);
    const size_t dw = static_cast<size_t>(dye.width());
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        float* a = ws.rowScratch(static_cast<size_t>(w) * 17 + dw + DyeRows::floats(dye.width()));
        float* C = a + 3 * static_cast<size_t>(w);
        float* R = C + w;
        float* L = R + w;
        float* T = L + w;
        float* B = T + w;
        float* grain = B + w;
        float* fine = grain + w;
        float* medium = fine + w;
        float* blend = medium + w;
        float* noiseScratch = blend + dw;
        DyeRows dyeRows(dye, noiseScratch + 6 * static_cast<size_t>(w));
        NoiseRows grainRows(noise.granulation, ws.taps(3), noiseScratch),
            fineRows(noise.fine, ws.taps(4), noiseScratch + 2 * w), mediumRows(noise.medium, ws.taps(5), noiseScratch + 4 * w);
        for (int32_t y = y0; y < y1; ++y) {
            const float v = texelCentre(y, h);
            for (int c = 0; c < 3; ++c) {
                // The centre, right and left reads share their row.
                const float* row = dyeRows.atHeight(c, v, blend);
                compute::gatherRow(C, row, centre, centreExact);
                compute::gatherRow(R, row, right, rightExact);
                compute::gatherRow(L, row, left, leftExact);
                compute::gatherRow(T, dyeRows.atHeight(c, v + sy, blend), centre, centreExact);
                compute::gatherRow(B, dyeRows.atHeight(c, v - sy, blend), centre, centreExact);
                rimRow(a + c * w, C, R, L, T, B, p.edgeDarken, w);
            }
            grainRows.row(grain, v);
            fineRows.row(fine, v);
            mediumRows.row(medium, v);
            watercolorDisplayRow(out.row(y), a, a + w, a + 2 * w, grain, fine, medium, p.paper[0], p.paper[1],
                                 p.paper[2], p.granulate, p.absorbCap, v, w);
        }
    });
}

}  // namespace murmura::fluid
