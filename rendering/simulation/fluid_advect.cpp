// Semi-Lagrangian advection: backtrace along the velocity and read the source bilinearly.
#include "rendering/simulation/fluid_kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>

#include <tbb/task_arena.h>

#include "rendering/simulation/fluid_rows.h"
#include "rendering/simulation/half_simd.h"

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

// The velocity read along the output's rows: directly on the same grid, otherwise bilinearly at
// the output's texel columns.
struct VelocityColumns {
    const Field* vel = nullptr;
    const TapRow* cols = nullptr;
    bool exact = true;
    bool sameGrid = true;
    // On another grid, the two velocity channels as floats: each velocity row is read by a few
    // output rows, and is decoded once.
    std::array<const float*, 2> planes{};

    // The velocity at the texels of output row y (of h rows); scratch holds a velocity row.
    void readRow(int32_t y, int32_t h, float* vx, float* vy, float* scratch) const {
        if (sameGrid) {
            vel->readRow(0, y, vx);
            vel->readRow(1, y, vy);
            return;
        }
        const float v = texelCentre(y, h);
        sampleRow(planes[0], vel->width(), vel->height(), v, *cols, exact, vx, scratch);
        sampleRow(planes[1], vel->width(), vel->height(), v, *cols, exact, vy, scratch);
    }
};

// Called outside parallel loops.
VelocityColumns velocityColumns(const Field& vel, int32_t w, int32_t h, Workspace& ws) {
    VelocityColumns v;
    v.vel = &vel;
    v.sameGrid = vel.width() == w && vel.height() == h;
    if (v.sameGrid) return v;
    TapRow& cols = ws.taps(0);
    cols.fill(w, vel.width(), 0.0f);
    v.exact = allExact(cols);
    v.cols = &cols;
    const auto vw = static_cast<size_t>(vel.width());
    float* vx = ws.plane(4, vel.texelCount());
    float* vy = ws.plane(5, vel.texelCount());
    forEachRowChunk(vel.height(), vel.width(), [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            vel.readRow(0, y, vx + y * vw);
            vel.readRow(1, y, vy + y * vw);
        }
    });
    v.planes = {vx, vy};
    return v;
}

// One output row's texel centres and the velocity there, in a thread's scratch: what the
// backtrace of a row starts from.
struct VelocityAlongRow {
    // Floats of scratch the row needs.
    static size_t floats(int32_t w, const VelocityColumns& cols) {
        return static_cast<size_t>(w) * 3 + static_cast<size_t>(cols.vel->width());
    }
    VelocityAlongRow(const VelocityColumns& cols, float* scratch, int32_t w)
        : cols(cols), centres(scratch), vx(centres + w), vy(vx + w), velRow(vy + w) {
        for (int32_t x = 0; x < w; ++x) centres[x] = texelCentre(x, w);
    }
    // The velocity at the texels of row y of h.
    void read(int32_t y, int32_t h) const { cols.readRow(y, h, vx, vy, velRow); }

    const VelocityColumns& cols;
    float *centres, *vx, *vy;
    float* velRow;  // scratch for one velocity row
};

// The advection of one chunk's rows, in increasing order, with its ring of decoded source rows
// and its scratch.
class AdvectRows {
public:
    AdvectRows(const Field& src, const VelocityColumns& velCols, float dt, float denominator, Workspace& ws)
        : src_(src), dt_(dt), denominator_(denominator), ws_(ws), w_(src.width()),
          h_(src.height()) {
        const auto wide = static_cast<size_t>(w_);
        const size_t blockTexels = static_cast<size_t>(kAdvectBlockRows) * wide;
        i00_ = ws.indexScratch(blockTexels * 4 + static_cast<size_t>(ringRowsFor(h_)));
        i10_ = i00_ + blockTexels;
        i01_ = i10_ + blockTexels;
        i11_ = i01_ + blockTexels;
        slotRow_ = i11_ + blockTexels;
        fx_ = ws.rowScratch(blockTexels * 2 + VelocityAlongRow::floats(w_, velCols));
        fy_ = fx_ + blockTexels;
        vel_.emplace(velCols, fy_ + blockTexels, w_);
        // A uniform channel is read from a row of its value.
        uniformRows_ = ws.halfScratch(wide * 4);
        for (int c = 0; c < 4; ++c)
            if (src.isUniform(c)) std::fill_n(uniformRows_ + c * wide, wide, compute::toHalf(src.uniformValue(c)));
        texels_ = ws.texelScratch(wide * (static_cast<size_t>(ringRows_) + 1));
        std::fill_n(slotRow_, ringRows_, -1);
    }

    // Rows [y0, y0 + count), count at most kAdvectBlockRows: sink(y, texels) for each, with the
    // row's results as texels of four channels side by side.
    template <class Sink>
    void rows(int32_t y0, int32_t count, Sink&& sink) {
        const auto wide = static_cast<size_t>(w_);
        int32_t first = h_, last = 0;
        for (int32_t r = 0; r < count; ++r) {
            const int32_t y = y0 + r;
            vel_->read(y, h_);
            const size_t at = static_cast<size_t>(r) * wide;
            advectTaps(vel_->vx, vel_->vy, vel_->centres, y, w_, h_, dt_, ringRows_ - 1, i00_ + at, i10_ + at, i01_ + at, i11_ + at,
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
    const Field& src_;
    float dt_, denominator_;
    Workspace& ws_;
    int32_t w_, h_;
    int32_t ringRows_ = kAdvectRingRows;
    int32_t *i00_, *i10_, *i01_, *i11_, *slotRow_;
    float *fx_, *fy_;
    std::optional<VelocityAlongRow> vel_;
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
        AdvectRows advect(src, velCols, dt, denominator, ws);
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

// ---- The dye: advection and diffusion on texel fields ----

namespace {

// Backtraced pair reads of one output row: for each texel, the offsets (in halves, from the
// start of the field) of the texel pair (x0, x0 + 1) in the upper and the lower source row, and
// the two weights. x0 runs from -1 to width - 1; the edge copies make a pair at a clamped edge
// read the edge texel twice, which is what the clamped taps read.
MURMURA_SIMD_CLONES void pairTaps(const float* __restrict vx, const float* __restrict vy,
                                  const float* __restrict centres, float v, int32_t w, int32_t h, float dt,
                                  int32_t stride, int32_t* __restrict upper, int32_t* __restrict lower,
                                  float* __restrict fx, float* __restrict fy) {
    const float tx = 1.0f / static_cast<float>(w), ty = 1.0f / static_cast<float>(h);
    for (int32_t x = 0; x < w; ++x) {
        const int32_t qx = gen::tapPosition(centres[x] - dt * vx[x] * tx, w);
        const int32_t qy = gen::tapPosition(v - dt * vy[x] * ty, h);
        const int32_t ix = qx >> 8, iy = qy >> 8;
        const int32_t column = ((ix < w - 1 ? ix : w - 1) + 1) * 4;
        int32_t y0 = iy < 0 ? 0 : iy;
        y0 = y0 > h - 1 ? h - 1 : y0;
        upper[x] = y0 * stride + column;
        // The lower row is the next one, except where clamping makes both the edge row.
        lower[x] = upper[x] + (static_cast<uint32_t>(iy) < static_cast<uint32_t>(h - 1) ? stride : 0);
        fx[x] = static_cast<float>(qx & 255) * (1.0f / 256.0f);
        fy[x] = static_cast<float>(qy & 255) * (1.0f / 256.0f);
    }
}

// How a gather applies the dissipation. The velocity divides by the denominator 1 + dissipation
// * dt, as the kernel is written. The dye multiplies by its reciprocal instead: the same up to one
// rounding, which nothing else feeds on (the dye is passive), and a division costs the gather as
// much as several multiplications.
enum class Decay { divide, multiply };

template <Decay D>
inline float decay(float v, float factor) {
    return D == Decay::divide ? v / factor : v * factor;
}

// The gathers and the diffusion store their rows by the storage rule: as the halves of the
// output field, or as the floats those halves hold, for the next pass of a fused sweep.
// Inline, so that in the vector functions' tails its conversions are F16C instructions rather
// than library calls. `factor` is the denominator, or its reciprocal (Decay).
template <Decay D, class T>
inline void pairGatherScalar(T* out, const compute::Half* base, const int32_t* upper, const int32_t* lower,
                      const float* fx, const float* fy, float factor, int32_t w) {
    using compute::fromHalf;
    for (int32_t x = 0; x < w; ++x) {
        const compute::Half* a = base + upper[x];
        const compute::Half* c = base + lower[x];
        for (int k = 0; k < 4; ++k)
            compute::store1(out + x * 4 + k, decay<D>(gen::bilinear(fromHalf(a[k]), fromHalf(a[4 + k]), fromHalf(c[k]),
                                                                    fromHalf(c[4 + k]), fx[x], fy[x]),
                                                      factor));
    }
}

// k_diffuse at the n channel values of a row of texels (channels side by side) from the row
// padded with its edge texels and the rows below and above, as a fused sweep keeps them (floats
// at full precision); the results are stored halves, or full floats for the sweep's next pass.
template <class T>
inline void diffuseTexelsScalar(T* out, const float* padded, const float* below, const float* above, float k,
                                int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        compute::store1(out + i, diffuseOf(padded[i + 4], padded[i], padded[i + 8], below[i], above[i], k));
}

#ifdef MURMURA_AVX_GATHER
__attribute__((target("avx,f16c"))) inline __m256 loadPair(const compute::Half* base, int32_t at) {
    return _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at)));
}

// Two output texels per vector: each pair load brings a texel and its right neighbour, blended
// with the pair below first, then the two halves of the result blended across.
template <Decay D, class T>
__attribute__((target("avx,f16c"))) void pairGatherF16c(T* out, const compute::Half* base, const int32_t* upper,
                                                        const int32_t* lower, const float* fx, const float* fy,
                                                        float factor, int32_t w) {
    const __m256 f = _mm256_set1_ps(factor);
    int32_t x = 0;
    for (; x + 2 <= w; x += 2) {
        const __m256 a0 = loadPair(base, upper[x]), c0 = loadPair(base, lower[x]);
        const __m256 a1 = loadPair(base, upper[x + 1]), c1 = loadPair(base, lower[x + 1]);
        const __m256 v0 = _mm256_add_ps(a0, _mm256_mul_ps(_mm256_sub_ps(c0, a0), _mm256_broadcast_ss(fy + x)));
        const __m256 v1 = _mm256_add_ps(a1, _mm256_mul_ps(_mm256_sub_ps(c1, a1), _mm256_broadcast_ss(fy + x + 1)));
        const __m256 left = _mm256_permute2f128_ps(v0, v1, 0x20), right = _mm256_permute2f128_ps(v0, v1, 0x31);
        const __m256 v = _mm256_add_ps(left, _mm256_mul_ps(_mm256_sub_ps(right, left), pairWeight(fx + x)));
        compute::store8(out + x * 4, D == Decay::divide ? _mm256_div_ps(v, f) : _mm256_mul_ps(v, f));
    }
    pairGatherScalar<D>(out + x * 4, base, upper + x, lower + x, fx + x, fy + x, factor, w - x);
}

// Eight channel values at a time (the scalar tail is inlined, as for the gather).
template <class T>
__attribute__((target("avx,f16c"))) void diffuseTexelsF16c(T* out, const float* padded, const float* below,
                                                           const float* above, float k, int32_t n) {
    const __m256 kv = _mm256_set1_ps(k), four = _mm256_set1_ps(4.0f);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 c = _mm256_loadu_ps(padded + i + 4);
        const __m256 sum = _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(padded + i), _mm256_loadu_ps(padded + i + 8)),
                                                       _mm256_loadu_ps(below + i)),
                                         _mm256_loadu_ps(above + i));
        compute::store8(out + i, _mm256_add_ps(c, _mm256_mul_ps(kv, _mm256_sub_ps(sum, _mm256_mul_ps(four, c)))));
    }
    diffuseTexelsScalar(out + i, padded + i, below + i, above + i, k, n - i);
}
const bool kHasF16c = __builtin_cpu_supports("avx") && __builtin_cpu_supports("f16c");

// Four output texels per step on AVX-512: the pairs of two texels widened together, the vertical
// blends of two texels in one vector, then the left and right halves of four texels gathered
// into two vectors for the horizontal blend. The same operations on every value as above.
MURMURA_AVX512 inline __m512 loadPairs(const compute::Half* base, int32_t first, int32_t second) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + first));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + second));
    return compute::widen16(_mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1));
}

template <Decay D, bool Saturate, class T>
MURMURA_AVX512 void pairGather512(T* out, const compute::Half* base, const int32_t* upper, const int32_t* lower,
                                  const float* fx, const float* fy, float factor, int32_t w) {
    constexpr __mmask16 all = 0xffff;
    const __m512 f = _mm512_set1_ps(factor), zero = _mm512_setzero_ps();
    const __m512i firstTwo = _mm512_setr_epi32(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1);
    const __m512i lastTwo = _mm512_setr_epi32(2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m512i eachFour = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
    int32_t x = 0;
    for (; x + 4 <= w; x += 4) {
        const __m512 a01 = loadPairs(base, upper[x], upper[x + 1]), c01 = loadPairs(base, lower[x], lower[x + 1]);
        const __m512 a23 = loadPairs(base, upper[x + 2], upper[x + 3]), c23 = loadPairs(base, lower[x + 2], lower[x + 3]);
        const __m512 wy = _mm512_castps128_ps512(_mm_loadu_ps(fy + x));
        const __m512 wx = _mm512_castps128_ps512(_mm_loadu_ps(fx + x));
        const __m512 v01 = a01 + (c01 - a01) * _mm512_mask_permutexvar_ps(zero, all, firstTwo, wy);
        const __m512 v23 = a23 + (c23 - a23) * _mm512_mask_permutexvar_ps(zero, all, lastTwo, wy);
        const __m512 left = _mm512_mask_shuffle_f32x4(zero, all, v01, v23, _MM_SHUFFLE(2, 0, 2, 0));
        const __m512 right = _mm512_mask_shuffle_f32x4(zero, all, v01, v23, _MM_SHUFFLE(3, 1, 3, 1));
        const __m512 v = left + (right - left) * _mm512_mask_permutexvar_ps(zero, all, eachFour, wx);
        compute::store16<Saturate>(out + x * 4, D == Decay::divide ? v / f : v * f);
    }
    pairGatherF16c<D>(out + x * 4, base, upper + x, lower + x, fx + x, fy + x, factor, w - x);
}

// Sixteen channel values at a time.
template <bool Saturate, class T>
MURMURA_AVX512 void diffuseTexels512(T* out, const float* padded, const float* below, const float* above, float k,
                                     int32_t n) {
    const __m512 kv = _mm512_set1_ps(k), four = _mm512_set1_ps(4.0f);
    int32_t i = 0;
    if (n >= 16) {
        // The left and right neighbours are the centre vectors shifted by one texel: line-aligned
        // loads of the centre row only (the row may be read 16 floats past its right edge copy).
        __m512 prev = _mm512_maskz_loadu_ps(0xf000, padded - 12);  // lanes 12 to 15: the left edge copy
        __m512 c = _mm512_loadu_ps(padded + 4);
        for (; i + 16 <= n; i += 16) {
            const __m512 next = _mm512_loadu_ps(padded + i + 20);
            const __m512i ci = _mm512_castps_si512(c);
            const __m512 left = _mm512_castsi512_ps(_mm512_mask_alignr_epi32(ci, 0xffff, ci, _mm512_castps_si512(prev), 12));
            const __m512 right = _mm512_castsi512_ps(_mm512_mask_alignr_epi32(ci, 0xffff, _mm512_castps_si512(next), ci, 4));
            const __m512 sum = left + right + _mm512_loadu_ps(below + i) + _mm512_loadu_ps(above + i);
            compute::store16<Saturate>(out + i, c + kv * (sum - four * c));
            prev = c;
            c = next;
        }
    }
    diffuseTexelsF16c(out + i, padded + i, below + i, above + i, k, n - i);
}
#endif

template <Decay D, class T>
void pairGather(T* out, const compute::Half* base, const int32_t* upper, const int32_t* lower, const float* fx,
                const float* fy, float factor, int32_t w) {
#ifdef MURMURA_AVX_GATHER
    // A bilinear blend of stored halves stays within their range, and dividing by a denominator
    // of at least 1 (multiplying by a reciprocal of at most 1) keeps it there: no clamp is needed.
    const bool shrinks = D == Decay::divide ? factor >= 1.0f : factor >= 0.0f && factor <= 1.0f;
    if (compute::kHasAvx512 && shrinks) return pairGather512<D, false>(out, base, upper, lower, fx, fy, factor, w);
    if (compute::kHasAvx512) return pairGather512<D, true>(out, base, upper, lower, fx, fy, factor, w);
    if (kHasF16c) return pairGatherF16c<D>(out, base, upper, lower, fx, fy, factor, w);
#endif
    pairGatherScalar<D>(out, base, upper, lower, fx, fy, factor, w);
}

// k_diffuse along a row of texels (channels side by side) padded with its edge texels; below and
// above are the neighbouring rows from their texel 0. `inRange` says the inputs lie within the
// half range and the result then does too, so the stores need no clamp.
template <class T>
void diffuseTexels(T* out, const float* padded, const float* below, const float* above, float k, int32_t w,
                   [[maybe_unused]] bool inRange) {
#ifdef MURMURA_AVX_GATHER
    if (compute::kHasAvx512 && inRange) return diffuseTexels512<false>(out, padded, below, above, k, w * 4);
    if (compute::kHasAvx512) return diffuseTexels512<true>(out, padded, below, above, k, w * 4);
    if (kHasF16c) return diffuseTexelsF16c(out, padded, below, above, k, w * 4);
#endif
    diffuseTexelsScalar(out, padded, below, above, k, w * 4);
}

// A row of texels, channels side by side, with the edge texels copied on both sides.
template <class T>
void padTexels(T* row, int32_t w) {
    std::copy_n(row + 4, 4, row);
    std::copy_n(row + static_cast<size_t>(w) * 4, 4, row + static_cast<size_t>(w + 1) * 4);
}

// The advection of one chunk's rows of a texel field (the dye, or the velocity's copy), with its
// scratch (`extraFloats` more floats of per-thread scratch are kept for the caller).
class DyeAdvectRows {
public:
    DyeAdvectRows(const compute::TexelField& src, const VelocityColumns& velCols, float dt, float denominator,
                  Decay decay, Workspace& ws, size_t extraFloats)
        : src_(src), dt_(dt), decay_(decay),
          factor_(decay == Decay::divide ? denominator : 1.0f / denominator), w_(src.width()), h_(src.height()) {
        const auto wide = static_cast<size_t>(w_);
        upper_ = ws.indexScratch(wide * 2);
        lower_ = upper_ + wide;
        const size_t velFloats = VelocityAlongRow::floats(w_, velCols);
        fx_ = ws.rowScratch(wide * 2 + velFloats + extraFloats);
        fy_ = fx_ + wide;
        vel_.emplace(velCols, fy_ + wide, w_);
        extra_ = fy_ + wide + velFloats;
    }

    float* extra() const { return extra_; }

    // Row y of the advected dye into out, width texels with their channels side by side, stored
    // by the storage rule.
    template <class T>
    void row(int32_t y, T* out) {
        const float v = texelCentre(y, h_);
        vel_->read(y, h_);
        const auto stride = static_cast<int32_t>(src_.rowStride());
        pairTaps(vel_->vx, vel_->vy, vel_->centres, v, w_, h_, dt_, stride, upper_, lower_, fx_, fy_);
        if (decay_ == Decay::divide)
            pairGather<Decay::divide>(out, src_.row(0) - 4, upper_, lower_, fx_, fy_, factor_, w_);
        else
            pairGather<Decay::multiply>(out, src_.row(0) - 4, upper_, lower_, fx_, fy_, factor_, w_);
    }

private:
    const compute::TexelField& src_;
    float dt_;
    Decay decay_;
    float factor_;
    int32_t w_, h_;
    int32_t *upper_, *lower_;
    float *fx_, *fy_, *extra_;
    std::optional<VelocityAlongRow> vel_;
};

// A chunk of a fused sweep also makes the rows its stencils reach beyond its ends; four chunks
// per thread keep that small and still share the work evenly.
int32_t fusedChunkRows(int32_t h) {
    const int32_t threads = std::max(1, tbb::this_task_arena::max_concurrency());
    return std::max(kAdvectRingRows, h / (4 * threads));
}

// Diffusion levels fused into one sweep; more passes than this run as further sweeps.
constexpr int32_t kMaxFusedLevels = 4;

// One sweep over the dye: level 0 is the advected source (or the source itself), then `levels`
// diffusion passes. Each level keeps a ring of its latest rows in floats at full precision, as
// fields of floats between the passes would hold them: only the sweep's result is stored by the
// storage rule. A chunk also computes the few rows beyond its ends that the stencils above it
// read.
void dyeSweep(bool advected, const VelocityColumns& velCols, const compute::TexelField& src,
              compute::TexelField& out, float dt, float denominator, float k, int32_t levels, Workspace& ws) {
    const int32_t w = src.width(), h = src.height();
    // Ring rows start 12 floats before a 64-byte boundary, so that texel 0 (after the edge copy)
    // and the vector loads and stores of each row's body lie on cache lines, not across them.
    const size_t rowFloats = ((static_cast<size_t>(w) + 2) * 4 + 12 + 15) / 16 * 16;
    const auto ringRows = static_cast<int32_t>(std::bit_ceil(static_cast<uint32_t>(2 * levels + 3)));
    // Blends of values in the half range with weights summing to one stay in it: a bilinear read
    // divided by a denominator of at least 1, and a diffusion step with 0 <= k <= 1/4.
    const bool inRange = (!advected || denominator >= 1.0f) && k >= 0.0f && k <= 0.25f;
    forEachRowChunk(h, w, [&](int32_t chunkBegin, int32_t chunkEnd) {
        std::optional<DyeAdvectRows> advect;
        if (advected) advect.emplace(src, velCols, dt, denominator, Decay::multiply, ws, 0);
        if (levels == 0) {
            for (int32_t y = chunkBegin; y < chunkEnd; ++y) {
                advect->row(y, out.row(y));
                out.padRow(y);
            }
            return;
        }
        float* scratch = ws.texelScratch(static_cast<size_t>(levels) * ringRows * rowFloats / 4 + 8)[0];
        float* rings = lineAligned(scratch) + 12;
        auto ring = [&](int32_t level, int32_t y) {  // a padded row
            return rings + (static_cast<size_t>(level) * ringRows + static_cast<size_t>(y & (ringRows - 1))) * rowFloats;
        };
        // Level 0 is the advected source, or the source itself.
        auto level0 = [&](int32_t y, float* row) {
            if (advect) {
                advect->row(y, reinterpret_cast<compute::Wide*>(row + 4));
            } else {
                compute::decodeHalves(src.row(y), row + 4, static_cast<size_t>(w) * 4);
            }
            padTexels(row, w);
        };
        std::array<int32_t, kMaxFusedLevels> next{};  // the next row each level computes
        for (int32_t level = 0; level < levels; ++level) next[level] = std::max(0, chunkBegin - (levels - level));
        for (int32_t y = chunkBegin; y < chunkEnd; ++y) {
            for (const int32_t end = std::min(h, y + 1 + levels); next[0] < end; ++next[0])
                level0(next[0], ring(0, next[0]));
            for (int32_t level = 1; level <= levels; ++level) {
                const bool last = level == levels;
                const int32_t begin = last ? y : next[level];
                const int32_t end = last ? y + 1 : std::min(h, y + 1 + levels - level);
                for (int32_t r = begin; r < end; ++r) {
                    const float* below = ring(level - 1, std::max(r - 1, 0)) + 4;
                    const float* above = ring(level - 1, std::min(r + 1, h - 1)) + 4;
                    if (last) {
                        diffuseTexels(out.row(r), ring(level - 1, r), below, above, k, w, inRange);
                        out.padRow(r);
                    } else {
                        float* row = ring(level, r);
                        diffuseTexels(reinterpret_cast<compute::Wide*>(row + 4), ring(level - 1, r), below, above, k,
                                      w, inRange);
                        padTexels(row, w);
                    }
                }
                if (!last) next[level] = end;
            }
        }
    }, levels > 0 ? fusedChunkRows(h) : kAdvectRingRows);
}

// The velocity's two components side by side (third channel `z`, fourth 0): the source of the
// velocity's own advection as a texel field.
void interleaveVelocity(compute::Half* __restrict texels, const compute::Half* __restrict vx,
                        const compute::Half* __restrict vy, compute::Half z, int32_t w) {
    int32_t x = 0;
#if defined(__SSE2__)
    const __m128i zw = _mm_set1_epi32(z);  // (z, 0) in every pair of halves
    for (; x + 8 <= w; x += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(vx + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(vy + x));
        const __m128i lo = _mm_unpacklo_epi16(a, b), hi = _mm_unpackhi_epi16(a, b);
        __m128i* out = reinterpret_cast<__m128i*>(texels + 4 * x);
        _mm_storeu_si128(out, _mm_unpacklo_epi32(lo, zw));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(lo, zw));
        _mm_storeu_si128(out + 2, _mm_unpacklo_epi32(hi, zw));
        _mm_storeu_si128(out + 3, _mm_unpackhi_epi32(hi, zw));
    }
#endif
    for (; x < w; ++x) {
        texels[4 * x] = vx[x];
        texels[4 * x + 1] = vy[x];
        texels[4 * x + 2] = z;
        texels[4 * x + 3] = 0;
    }
}

// The first two channels of a row of texels into two planes.
MURMURA_SIMD_CLONES void splitTwoChannels(const compute::Half* __restrict texels, compute::Half* __restrict first,
                                          compute::Half* __restrict second, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
        first[x] = texels[4 * x];
        second[x] = texels[4 * x + 1];
    }
}

// The uniform fourth channel through the same passes: as a sweep of `levels` passes keeps it
// (full floats between the passes), stored by the storage rule at the end.
float sweptAlpha(float value, float k, int32_t levels) {
    for (int32_t i = 0; i < levels; ++i) value = diffuseOf(value, value, value, value, value, k);
    return compute::fromHalf(compute::toHalf(value));
}

}  // namespace

namespace reference {
void kAdvectDiffuse(const Field& vel, compute::FieldPair& dye, float dt, float dissipation, float k, int64_t iterations,
                    Workspace&) {
    const int32_t w = dye.read.width(), h = dye.read.height();
    const float tx = 1.0f / static_cast<float>(w), ty = 1.0f / static_cast<float>(h);
    const float decay = 1.0f / (1.0f + dissipation * dt);
    std::vector<Float4> values(static_cast<size_t>(w) * h), next(values.size());
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const float u = texelCentre(x, w), v = texelCentre(y, h);
            const Float4 velocity = vel.sample(u, v);
            const Float4 s = dye.read.sample(u - dt * velocity.x * tx, v - dt * velocity.y * ty);
            values[static_cast<size_t>(y) * w + x] = {s.x * decay, s.y * decay, s.z * decay, s.w * decay};
        }
    }
    auto at = [&](int32_t x, int32_t y) -> const Float4& {
        return values[static_cast<size_t>(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)];
    };
    auto store = [](Float4& t) {
        for (float* v : {&t.x, &t.y, &t.z, &t.w}) *v = compute::fromHalf(compute::toHalf(*v));
    };
    for (int64_t pass = 1; pass <= iterations; ++pass) {
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                const Float4 &c = at(x, y), &L = at(x - 1, y), &R = at(x + 1, y), &B = at(x, y - 1), &T = at(x, y + 1);
                next[static_cast<size_t>(y) * w + x] = {diffuseOf(c.x, L.x, R.x, B.x, T.x, k),
                                                        diffuseOf(c.y, L.y, R.y, B.y, T.y, k),
                                                        diffuseOf(c.z, L.z, R.z, B.z, T.z, k),
                                                        diffuseOf(c.w, L.w, R.w, B.w, T.w, k)};
            }
        }
        values.swap(next);
        if (pass % kMaxFusedLevels == 0)
            for (Float4& t : values) store(t);
    }
    std::vector<float> row(static_cast<size_t>(w));
    for (int c = 0; c < 4; ++c) {
        dye.write.beginWrite(c);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) row[x] = values[static_cast<size_t>(y) * w + x][c];
            dye.write.writeRow(c, y, row.data());
        }
    }
    dye.exchange();
}
}  // namespace reference

void kAdvectDiffuse(const Field& vel, compute::TexelFieldPair& dye, float dt, float dissipation, float k,
                    int64_t iterations, Workspace& ws) {
    const float denominator = 1.0f + dissipation * dt;
    const VelocityColumns velCols = velocityColumns(vel, dye.read.width(), dye.read.height(), ws);
    iterations = std::max<int64_t>(iterations, 0);
    auto levels = static_cast<int32_t>(std::min<int64_t>(iterations, kMaxFusedLevels));
    dyeSweep(true, velCols, dye.read, dye.write, dt, denominator, k, levels, ws);
    dye.write.setAlpha(sweptAlpha(dye.read.alpha() * (1.0f / denominator), k, levels));
    dye.exchange();
    for (int64_t done = levels; done < iterations; done += levels) {
        levels = static_cast<int32_t>(std::min<int64_t>(iterations - done, kMaxFusedLevels));
        dyeSweep(false, velCols, dye.read, dye.write, dt, denominator, k, levels, ws);
        dye.write.setAlpha(sweptAlpha(dye.read.alpha(), k, levels));
        dye.exchange();
    }
}

// The velocity's reads are the dye's pair reads on a texel copy of the velocity; the results go
// straight back into planes. The copy costs less than the planar advection's ring and gathers.
void kAdvectVelocity(const Field& vel, Field& out, compute::TexelField& texels, float dt, float dissipation,
                     Workspace& ws) {
    const int32_t w = vel.width(), h = vel.height();
    if (!vel.sameSize(out) || texels.width() != w || texels.height() != h || vel.isUniform(0) || vel.isUniform(1) ||
        !vel.isUniform(2) || !vel.isUniform(3))
        return kAdvect(vel, vel, out, dt, dissipation, ws);
    const float denominator = 1.0f + dissipation * dt;
    const compute::Half z = compute::toHalf(vel.uniformValue(2));
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
            interleaveVelocity(texels.row(y), vel.row(0, y), vel.row(1, y), z, w);
            texels.padRow(y);
        }
    });
    texels.setAlpha(vel.uniformValue(3));
    fillUniformChannels(vel, out, denominator);  // the constant third and fourth channels
    const VelocityColumns velCols = velocityColumns(vel, w, h, ws);
    forEachRowChunk(h, w, [&](int32_t y0, int32_t y1) {
        // The gather stores halves, which only need splitting into the two planes.
        DyeAdvectRows advect(texels, velCols, dt, denominator, Decay::divide, ws, static_cast<size_t>(w) * 2);
        auto* texelRow = reinterpret_cast<compute::Half*>(advect.extra());
        for (int32_t y = y0; y < y1; ++y) {
            advect.row(y, texelRow);
            splitTwoChannels(texelRow, out.row(0, y), out.row(1, y), w);
        }
    }, kAdvectRingRows);
}

}  // namespace murmura::fluid
