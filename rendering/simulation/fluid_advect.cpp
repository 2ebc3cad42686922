// Semi-Lagrangian advection: backtrace along the velocity and read the source bilinearly.
#include "rendering/simulation/fluid_kernels.h"

#include <algorithm>
#include <array>
#include <bit>

#include "rendering/simulation/fluid_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace murmura::fluid {

using compute::Float4;
using compute::forEachRowChunk;
using compute::TapRow;
using compute::texelCentre;

// ---- k_advect ----

namespace reference {
void kAdvect(const Field& vel, const Field& src, Field& out, float dt, float dissipation, Workspace& ws) {
    const float tx = 1.0f / static_cast<float>(out.width()), ty = 1.0f / static_cast<float>(out.height());
    const float denominator = 1.0f + dissipation * dt;
    forEachTexel(out, ws, [&](float u, float v) {
        const Float4 velocity = vel.sample(u, v);
        const Float4 s = src.sample(u - dt * velocity.x * tx, v - dt * velocity.y * ty);
        return Float4{s.x / denominator, s.y / denominator, s.z / denominator, s.w / denominator};
    });
}
}  // namespace reference

namespace {

// Backtraced bilinear taps of one output row: indices of the four texels read in a ring of
// source rows (row & mask) * w + x, the two weights, and the range of source rows reached.
MURMURA_SIMD_CLONES void advectTaps(const float* __restrict vx, const float* __restrict vy,
                                    const float* __restrict centres, int32_t y, int32_t w, int32_t h, float dt,
                                    int32_t mask, int32_t* __restrict i00, int32_t* __restrict i10,
                                    int32_t* __restrict i01, int32_t* __restrict i11, float* __restrict fx,
                                    float* __restrict fy, int32_t* first, int32_t* last) {
    const float tx = 1.0f / static_cast<float>(w), ty = 1.0f / static_cast<float>(h);
    const float v = texelCentre(y, h);
    int32_t lo = *first, hi = *last;
    for (int32_t x = 0; x < w; ++x) {
        const gen::Tap cx = gen::bilinearTap(centres[x] - dt * vx[x] * tx, w);
        const gen::Tap cy = gen::bilinearTap(v - dt * vy[x] * ty, h);
        const int32_t top = (cy.i0 & mask) * w, bottom = (cy.i1 & mask) * w;
        i00[x] = top + cx.i0;
        i10[x] = top + cx.i1;
        i01[x] = bottom + cx.i0;
        i11[x] = bottom + cx.i1;
        fx[x] = cx.f;
        fy[x] = cy.f;
        lo = cy.i0 < lo ? cy.i0 : lo;
        hi = cy.i1 > hi ? cy.i1 : hi;
    }
    *first = lo;
    *last = hi;
}

// The band holds the four channels of a texel side by side: a bilinear read of all channels is
// then four loads (and one vector of arithmetic), where separate planes need four gathers per
// channel.
using Lanes = float[4];

// Bilinear reads from the ring of source rows.
MURMURA_SIMD_CLONES void advectGatherScalar(Lanes* __restrict out, const Lanes* __restrict ring,
                                      const int32_t* __restrict i00, const int32_t* __restrict i10,
                                      const int32_t* __restrict i01, const int32_t* __restrict i11,
                                      const float* __restrict fx, const float* __restrict fy, float denominator,
                                      int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        const float* a = ring[i00[x]];
        const float* b = ring[i10[x]];
        const float* c = ring[i01[x]];
        const float* d = ring[i11[x]];
        const float wx = fx[x], wy = fy[x];
        for (int k = 0; k < 4; ++k) out[x][k] = gen::bilinear(a[k], b[k], c[k], d[k], wx, wy) / denominator;
    }
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(MURMURA_NO_SIMD)
#define MURMURA_AVX_GATHER 1
__attribute__((target("avx"))) inline __m256 pair(const float* lo, const float* hi) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(lo)), _mm_loadu_ps(hi), 1);
}
__attribute__((target("avx"))) inline __m256 pairWeight(const float* w) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_broadcast_ss(w)), _mm_broadcast_ss(w + 1), 1);
}

// Two texels per vector, each lane with the arithmetic of the scalar form.
__attribute__((target("avx"))) void advectGatherAvx(Lanes* out, const Lanes* ring, const int32_t* i00,
                                                   const int32_t* i10, const int32_t* i01, const int32_t* i11,
                                                   const float* fx, const float* fy, float denominator, int32_t w) {
    const __m256 den = _mm256_set1_ps(denominator);
    int32_t x = 0;
    for (; x + 2 <= w; x += 2) {
        const __m256 a = pair(ring[i00[x]], ring[i00[x + 1]]), b = pair(ring[i10[x]], ring[i10[x + 1]]);
        const __m256 c = pair(ring[i01[x]], ring[i01[x + 1]]), d = pair(ring[i11[x]], ring[i11[x + 1]]);
        const __m256 wx = pairWeight(fx + x), wy = pairWeight(fy + x);
        const __m256 left = _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(c, a), wy));
        const __m256 right = _mm256_add_ps(b, _mm256_mul_ps(_mm256_sub_ps(d, b), wy));
        const __m256 v = _mm256_add_ps(left, _mm256_mul_ps(_mm256_sub_ps(right, left), wx));
        _mm256_storeu_ps(out[x], _mm256_div_ps(v, den));
    }
    advectGatherScalar(out + x, ring, i00 + x, i10 + x, i01 + x, i11 + x, fx + x, fy + x, denominator, w - x);
}
const bool kHasAvx = __builtin_cpu_supports("avx");
#endif

void advectGather(Lanes* out, const Lanes* ring, const int32_t* i00, const int32_t* i10, const int32_t* i01,
                  const int32_t* i11, const float* fx, const float* fy, float denominator, int32_t w) {
#ifdef MURMURA_AVX_GATHER
    if (kHasAvx) return advectGatherAvx(out, ring, i00, i10, i01, i11, fx, fy, denominator, w);
#endif
    advectGatherScalar(out, ring, i00, i10, i01, i11, fx, fy, denominator, w);
}

// Output rows are backtraced in blocks: first the taps of every row of a block, then the source
// rows they reach that are not yet decoded go into a ring of rows small enough to stay in cache
// (row y in slot y & mask), then the reads. Successive blocks reach mostly the same rows, so
// each source row is decoded about once per chunk. (A float copy of the whole source costs
// more memory traffic than the reads themselves.)
constexpr int32_t kAdvectBlockRows = 16;
constexpr int32_t kAdvectRingRows = 64;

int32_t ringRowsFor(int32_t span) {
    int32_t rows = kAdvectRingRows;
    while (rows < span) rows *= 2;
    return rows;
}

// The velocity read at the output's texel columns, when the velocity grid is another size.
struct VelocityColumns {
    const TapRow* cols = nullptr;
    bool exact = true;
    bool sameGrid = true;
};

VelocityColumns velocityColumns(const Field& vel, int32_t w, int32_t h, Workspace& ws) {
    VelocityColumns v;
    v.sameGrid = vel.width() == w && vel.height() == h;
    if (!v.sameGrid) {
        TapRow& cols = ws.taps(0);
        cols.fill(w, vel.width(), 0.0f);
        v.exact = allExact(cols);
        v.cols = &cols;
    }
    return v;
}

// The advection of one chunk's rows, in increasing order, with its ring of decoded source rows
// and its scratch (`extraFloats` more floats of per-thread scratch are kept for the caller).
class AdvectRows {
public:
    AdvectRows(const Field& vel, const Field& src, const VelocityColumns& velCols, float dt, float denominator,
               Workspace& ws, size_t extraFloats)
        : vel_(vel), src_(src), velCols_(velCols), dt_(dt), denominator_(denominator), ws_(ws), w_(src.width()),
          h_(src.height()) {
        const auto wide = static_cast<size_t>(w_);
        const size_t blockTexels = static_cast<size_t>(kAdvectBlockRows) * wide;
        const size_t velRow = static_cast<size_t>(vel.width());
        i00_ = ws.indexScratch(blockTexels * 4 + static_cast<size_t>(ringRowsFor(h_)));
        i10_ = i00_ + blockTexels;
        i01_ = i10_ + blockTexels;
        i11_ = i01_ + blockTexels;
        slotRow_ = i11_ + blockTexels;
        fx_ = ws.rowScratch(blockTexels * 2 + wide * 3 + velRow * 2 + extraFloats);
        fy_ = fx_ + blockTexels;
        centres_ = fy_ + blockTexels;
        vx_ = centres_ + wide;
        vy_ = vx_ + wide;
        rowA_ = vy_ + wide;
        rowB_ = rowA_ + velRow;
        extra_ = rowB_ + velRow;
        for (int32_t x = 0; x < w_; ++x) centres_[x] = texelCentre(x, w_);
        // A uniform channel is read from a row of its value.
        uniformRows_ = ws.halfScratch(wide * 4);
        for (int c = 0; c < 4; ++c)
            if (src.isUniform(c)) std::fill_n(uniformRows_ + c * wide, wide, compute::toHalf(src.uniformValue(c)));
        texels_ = ws.texelScratch(wide * (static_cast<size_t>(ringRows_) + 1));
        std::fill_n(slotRow_, ringRows_, -1);
    }

    float* extra() const { return extra_; }

    // Rows [y0, y0 + count), count at most kAdvectBlockRows: sink(y, texels) for each, with the
    // row's results as texels of four channels side by side.
    template <class Sink>
    void rows(int32_t y0, int32_t count, Sink&& sink) {
        const auto wide = static_cast<size_t>(w_);
        int32_t first = h_, last = 0;
        for (int32_t r = 0; r < count; ++r) {
            const int32_t y = y0 + r;
            if (velCols_.sameGrid) {
                vel_.readRow(0, y, vx_);
                vel_.readRow(1, y, vy_);
            } else {
                const float v = texelCentre(y, h_);
                sampleRow(vel_, 0, v, *velCols_.cols, velCols_.exact, vx_, rowA_, rowB_);
                sampleRow(vel_, 1, v, *velCols_.cols, velCols_.exact, vy_, rowA_, rowB_);
            }
            const size_t at = static_cast<size_t>(r) * wide;
            advectTaps(vx_, vy_, centres_, y, w_, h_, dt_, ringRows_ - 1, i00_ + at, i10_ + at, i01_ + at, i11_ + at,
                       fx_ + at, fy_ + at, &first, &last);
            if (last - first + 1 > ringRows_) {
                // A flow too fast for the ring: a larger ring, and this block's taps again.
                ringRows_ = ringRowsFor(last - first + 1);
                texels_ = ws_.texelScratch(wide * (static_cast<size_t>(ringRows_) + 1));
                std::fill_n(slotRow_, ringRows_, -1);
                first = h_;
                last = 0;
                r = -1;
            }
        }
        Lanes* ring = texels_ + wide;
        std::array<const compute::Half*, 4> in{};
        for (int32_t y = first; y <= last; ++y) {
            const int32_t slot = y & (ringRows_ - 1);
            if (slotRow_[slot] == y) continue;
            for (int c = 0; c < 4; ++c) in[c] = src_.isUniform(c) ? uniformRows_ + c * wide : src_.row(c, y);
            compute::decodeHalvesInterleaved(in[0], in[1], in[2], in[3], ring + static_cast<size_t>(slot) * wide, wide);
            slotRow_[slot] = y;
        }
        for (int32_t r = 0; r < count; ++r) {
            const size_t at = static_cast<size_t>(r) * wide;
            advectGather(texels_, ring, i00_ + at, i10_ + at, i01_ + at, i11_ + at, fx_ + at, fy_ + at, denominator_,
                         w_);
            sink(y0 + r, static_cast<const Lanes*>(texels_));
        }
    }

private:
    const Field& vel_;
    const Field& src_;
    const VelocityColumns& velCols_;
    float dt_, denominator_;
    Workspace& ws_;
    int32_t w_, h_;
    int32_t ringRows_ = kAdvectRingRows;
    int32_t *i00_, *i10_, *i01_, *i11_, *slotRow_;
    float *fx_, *fy_, *centres_, *vx_, *vy_, *rowA_, *rowB_, *extra_;
    compute::Half* uniformRows_;
    Lanes* texels_;
};

// The uniform channels of the output; true when some channel is plane-backed.
bool fillUniformChannels(const Field& src, Field& out, float denominator) {
    bool anyPlane = false;
    for (int c = 0; c < 4; ++c) {
        if (src.isUniform(c)) {
            out.fill(c, src.uniformValue(c) / denominator);  // a bilinear read of one value is that value
        } else {
            out.beginWrite(c);
            anyPlane = true;
        }
    }
    return anyPlane;
}

}  // namespace

void kAdvect(const Field& vel, const Field& src, Field& out, float dt, float dissipation, Workspace& ws) {
    if (!src.sameSize(out)) return reference::kAdvect(vel, src, out, dt, dissipation, ws);
    const int32_t w = out.width(), h = out.height();
    const float denominator = 1.0f + dissipation * dt;
    const VelocityColumns velCols = velocityColumns(vel, w, h, ws);
    if (!fillUniformChannels(src, out, denominator)) return;
    const auto wide = static_cast<size_t>(w);
    forEachRowChunk(h, w, [&](int32_t chunkBegin, int32_t chunkEnd) {
        AdvectRows advect(vel, src, velCols, dt, denominator, ws, 0);
        for (int32_t blockBegin = chunkBegin; blockBegin < chunkEnd; blockBegin += kAdvectBlockRows) {
            const int32_t count = std::min(kAdvectBlockRows, chunkEnd - blockBegin);
            advect.rows(blockBegin, count, [&](int32_t y, const Lanes* texels) {
                compute::Half* rows[4]{};
                for (int c = 0; c < 4; ++c)
                    if (!src.isUniform(c)) rows[c] = out.row(c, y);
                compute::encodeHalvesInterleaved(texels, rows, wide);
            });
        }
    }, kAdvectRingRows);  // chunks of a few blocks, so that the ring is reused
}

namespace {
// Output rows of the fused advection and diffusion are made in blocks of this many; every
// intermediate level keeps a ring of its latest rows, enough for one block and the rows the
// stencils of the levels above reach beyond it.
constexpr int32_t kFusedBlockRows = 1;
constexpr int64_t kMaxFusedDiffusion = 4;
}  // namespace

// The advection and the diffusion passes run row by row in one sweep: each level's rows are
// rounded to half precision as the fields between the passes would hold them, so the result has
// the bits of the separate passes, without writing and re-reading a dye field per pass. A chunk
// also computes the few rows beyond its ends that its stencils read.
void kAdvectDiffuse(const Field& vel, compute::FieldPair& dye, float dt, float dissipation, float k,
                    int64_t iterations, Workspace& ws) {
    const Field& src = dye.read;
    Field& out = dye.write;
    if (iterations <= 0 || iterations > kMaxFusedDiffusion || !src.sameSize(out)) {
        kAdvect(vel, dye.read, dye.write, dt, dissipation, ws);
        dye.exchange();
        for (int64_t i = 0; i < iterations; ++i) {
            kDiffuse(dye.read, dye.write, k, ws);
            dye.exchange();
        }
        return;
    }
    const int32_t w = out.width(), h = out.height();
    const auto levels = static_cast<int32_t>(iterations);
    const float denominator = 1.0f + dissipation * dt;
    const VelocityColumns velCols = velocityColumns(vel, w, h, ws);
    std::array<int, 4> planes{};
    int planeCount = 0;
    for (int c = 0; c < 4; ++c) {
        if (!src.isUniform(c)) {
            out.beginWrite(c);
            planes[planeCount++] = c;
            continue;
        }
        // The values the separate passes store, one after the other.
        float value = compute::fromHalf(compute::toHalf(src.uniformValue(c) / denominator));
        for (int32_t i = 0; i < levels; ++i)
            value = compute::fromHalf(compute::toHalf(diffuseOf(value, value, value, value, value, k)));
        out.fill(c, value);
    }
    if (planeCount > 0) {
        const auto wide = static_cast<size_t>(w);
        const size_t stride = wide + 2;
        const auto ringSpan = static_cast<uint32_t>(kFusedBlockRows + 2 * levels + 2);
        const auto ringRows = static_cast<int32_t>(std::bit_ceil(ringSpan));
        const size_t ringFloats = static_cast<size_t>(levels) * planeCount * ringRows * stride;
        forEachRowChunk(h, w, [&](int32_t chunkBegin, int32_t chunkEnd) {
            AdvectRows advect(vel, src, velCols, dt, denominator, ws, ringFloats + wide);
            float* rings = advect.extra();
            float* result = rings + ringFloats;
            // Row y of level `level` (0: advected), plane p, padded with its edge values.
            auto ring = [&](int32_t level, int p, int32_t y) {
                const size_t slot = (static_cast<size_t>(level) * planeCount + p) * ringRows + (y & (ringRows - 1));
                return rings + slot * stride;
            };
            std::array<int32_t, kMaxFusedDiffusion> next{};  // the next row each level computes
            for (int32_t level = 0; level < levels; ++level) next[level] = std::max(0, chunkBegin - (levels - level));
            for (int32_t blockBegin = chunkBegin; blockBegin < chunkEnd; blockBegin += kFusedBlockRows) {
                const int32_t blockEnd = std::min(chunkEnd, blockBegin + kFusedBlockRows);
                const int32_t advectEnd = std::min(h, blockEnd + levels);
                while (next[0] < advectEnd) {
                    const int32_t count = std::min(kAdvectBlockRows, advectEnd - next[0]);
                    advect.rows(next[0], count, [&](int32_t y, const Lanes* texels) {
                        float* rows[4]{};
                        for (int p = 0; p < planeCount; ++p) rows[planes[p]] = ring(0, p, y) + 1;
                        compute::roundToStorageInterleaved(texels, rows, wide);
                        for (int p = 0; p < planeCount; ++p) padRow(ring(0, p, y), w);
                    });
                    next[0] += count;
                }
                for (int32_t level = 1; level <= levels; ++level) {
                    const bool last = level == levels;
                    const int32_t begin = last ? blockBegin : next[level];
                    const int32_t end = last ? blockEnd : std::min(h, blockEnd + levels - level);
                    for (int32_t y = begin; y < end; ++y) {
                        for (int p = 0; p < planeCount; ++p) {
                            const float* below = ring(level - 1, p, std::max(y - 1, 0)) + 1;
                            const float* above = ring(level - 1, p, std::min(y + 1, h - 1)) + 1;
                            float* row = last ? result : ring(level, p, y) + 1;
                            diffuseRow(row, ring(level - 1, p, y), below, above, k, w);
                            if (last) {
                                out.writeRow(planes[p], y, result);
                            } else {
                                compute::roundToStorage(row, wide);
                                padRow(row - 1, w);
                            }
                        }
                    }
                    if (!last) next[level] = end;
                }
            }
        }, kAdvectRingRows);
    }
    dye.exchange();
}

}  // namespace murmura::fluid
