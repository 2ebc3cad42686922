#pragma once
// The compute layer the simulations share: 2-D fields of RGBA half-float texels, the sampling
// rule, row-parallel dispatch of per-texel kernels and the 8-bit display field that is read
// back as an image. Kernels are plain C++ over rows of float values, run on the processor
// cores; each pass reads whole fields and writes one, so a GPU backend can run the same passes.
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <vector>

#include <tbb/enumerable_thread_specific.h>

#include "rendering/generators.h"
#include "rendering/rgba_image.h"
#include "support/large_buffer.h"
#include "support/parallel.h"

// Marks a row function to be compiled twice, for x86-64-v3 (AVX2, FMA, F16C) and for the
// baseline; the loader picks the version the processor can run. The kernel sources are built
// without floating-point contraction, so both versions give the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(MURMURA_NO_SIMD)
#define MURMURA_SIMD_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define MURMURA_SIMD_CLONES
#endif

namespace murmura::compute {

// A stored texel channel: the bits of an IEEE binary16 (_Float16) value. Plain 16-bit integers
// keep the planes free of aliasing questions and let gathers and conversions vectorise.
using Half = uint16_t;
using HalfArray = std::unique_ptr<Half[], LargeBufferDeleter>;

inline constexpr float kHalfMax = 65504.0f;
// Half the smallest positive half float. Adding a value of smaller magnitude to a stored half
// rounds back to the stored value, and a value this small is stored as zero.
inline constexpr float kHalfRoundingLimit = 0x1p-25f;

// The storage rule of every field write: values beyond the half-float range saturate instead of
// becoming infinite (an infinity would turn into NaN in the next difference and spread over the
// whole field), and values that round to a zero are stored as +0, so no field holds -0 and a
// bilinear read with a zero weight returns the texel itself.
inline float storable(float v) {
    v = v > -kHalfMax ? v : -kHalfMax;  // NaN saturates low; kernels never produce one
    v = v < kHalfMax ? v : kHalfMax;
    return std::fabs(v) <= kHalfRoundingLimit ? 0.0f : v;
}
inline Half toHalf(float v) { return std::bit_cast<Half>(static_cast<_Float16>(storable(v))); }
inline float fromHalf(Half h) { return static_cast<float>(std::bit_cast<_Float16>(h)); }

// fromHalf in plain integer and float arithmetic, for loops the compiler vectorises: the
// exponent and mantissa bits placed in a float scale the value by 2^-112 (half subnormals become
// float subnormals), which a multiplication by 2^112 undoes exactly. Valid for every finite
// half; fields hold no others.
inline float widenHalf(uint32_t h) {
    const float magnitude = std::bit_cast<float>((h & 0x7fffu) << 13) * 0x1p112f;
    return std::bit_cast<float>(std::bit_cast<uint32_t>(magnitude) | ((h & 0x8000u) << 16));
}

// Row conversions between stored halves and floats (F16C where the processor has it; the same
// bits either way). encodeHalves applies the storage rule.
void decodeHalves(const Half* src, float* dst, size_t count);
void encodeHalves(const float* src, Half* dst, size_t count);
// Four rows of stored halves as texels with their four channels side by side.
void decodeHalvesInterleaved(const Half* c0, const Half* c1, const Half* c2, const Half* c3, float (*out)[4],
                             size_t count);
// Texels with their four channels side by side into rows of halves, one per channel, by the
// storage rule; a channel whose row is null is skipped.
void encodeHalvesInterleaved(const float (*in)[4], Half* const (&out)[4], size_t count);
// row[i] = toHalf(fromHalf(row[i]) + e[i] * k): a weighted deposit into stored halves.
void addScaledToHalves(Half* row, const float* e, float k, size_t count);
// The same on texels with their channels side by side: channel c of texel i gains e[i] * color[c]
// (the fourth channel is left alone).
void addScaledToTexels(Half* texels, const float* e, const std::array<float, 3>& color, size_t count);
// values[i] = fromHalf(toHalf(values[i])): the value a field would hold after storing it.
void roundToStorage(float* values, size_t count);

struct Float4 {
    float x = 0, y = 0, z = 0, w = 0;
    float operator[](int c) const { return c == 0 ? x : (c == 1 ? y : (c == 2 ? z : w)); }
    friend bool operator==(const Float4&, const Float4&) = default;
};

// A width x height field of RGBA texels in half-float storage, one plane per channel. A channel
// whose texels all hold one value may be kept as that value alone ("uniform"): kernels that
// write constants (0 and 1 in unused channels) then cost nothing, and every read sees the same
// values as if the plane were filled.
class Field {
public:
    static constexpr int64_t kMaxSide = 16384;
    static constexpr int64_t kMaxTexels = int64_t(1) << 26;
    // True when a field of this size may exist: positive sides within the limits above.
    static bool fits(int64_t width, int64_t height) {
        return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxTexels;
    }

    // A field with every texel (0, 0, 0, 0), or nothing when the size is not positive, too large
    // or the memory cannot be had.
    static std::optional<Field> create(int64_t width, int64_t height);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    size_t texelCount() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }
    bool sameSize(const Field& other) const { return width_ == other.width_ && height_ == other.height_; }

    bool isUniform(int c) const { return uniform_[c]; }
    float uniformValue(int c) const { return fromHalf(value_[c]); }
    // Every texel of channel c becomes v (stored by the storage rule).
    void fill(int c, float v);
    // Sets all four channels to 0.
    void clear();
    // Makes channel c plane-backed, writing its uniform value into the plane if needed.
    void materialize(int c);
    // Declares that the caller is about to write every row of channel c.
    void beginWrite(int c) { uniform_[c] = false; }

    // Plane access for plane-backed channels; rows are width halves, row 0 first.
    const Half* row(int c, int32_t y) const { return plane(c) + static_cast<size_t>(y) * width_; }
    Half* row(int c, int32_t y) { return plane(c) + static_cast<size_t>(y) * width_; }
    const Half* plane(int c) const { return planes_.get() + static_cast<size_t>(c) * texelCount(); }
    Half* plane(int c) { return planes_.get() + static_cast<size_t>(c) * texelCount(); }

    // Row y (clamped to the field) of channel c as floats: width values.
    void readRow(int c, int32_t y, float* out) const;
    // The same with the edge texels repeated on both sides: out[0] is texel 0, out[1 + x] is
    // texel x, out[width + 1] is texel width - 1 (the clamped neighbours of a row).
    void readRowPadded(int c, int32_t y, float* out) const;
    // Stores width floats into row y of a channel that is being written (beginWrite).
    void writeRow(int c, int32_t y, const float* in) { encodeHalves(in, row(c, y), static_cast<size_t>(width_)); }

    // The texel at (x, y), coordinates clamped to the field.
    Float4 texel(int32_t x, int32_t y) const;
    // The sampling rule: bilinear read at normalised (u, v), clamp to edge.
    Float4 sample(float u, float v) const;

private:
    Field(int32_t width, int32_t height, HalfArray planes)
        : width_(width), height_(height), planes_(std::move(planes)) {}

    int32_t width_ = 0;
    int32_t height_ = 0;
    HalfArray planes_;
    std::array<bool, 4> uniform_{true, true, true, true};
    std::array<Half, 4> value_{};
};

// A width x height field of RGBA half-float texels with the four channels of a texel side by
// side, for the dye: a bilinear read of a texel and its right neighbour is then one 16-byte load
// and one conversion. Each row carries a copy of its edge texel on both sides, so that the pair
// at a clamped edge reads the edge texel twice, as clamp-to-edge addressing does. The fourth
// channel is the same everywhere (the kernels write constants there) and is kept as one value;
// its lane in the texels holds 0.
class TexelField {
public:
    // A field with every texel (0, 0, 0, 0), or nothing as Field::create.
    static std::optional<TexelField> create(int64_t width, int64_t height);
    // The texels of a plane-backed field, or nothing when the memory cannot be had.
    static std::optional<TexelField> fromField(const Field& field);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    bool sameSize(const TexelField& other) const { return width_ == other.width_ && height_ == other.height_; }
    // Halves from one row to the next.
    size_t rowStride() const { return (static_cast<size_t>(width_) + 2) * 4; }
    // Texel 0 of row y; texels -1 and width are the row's edge copies.
    const Half* row(int32_t y) const { return texels_.get() + static_cast<size_t>(y) * rowStride() + 4; }
    Half* row(int32_t y) { return texels_.get() + static_cast<size_t>(y) * rowStride() + 4; }
    // Renews the edge copies of row y after its texels were written.
    void padRow(int32_t y);

    float alpha() const { return fromHalf(alpha_); }
    // The fourth channel of every texel becomes v (stored by the storage rule).
    void setAlpha(float v) { alpha_ = toHalf(v); }

    // The texel at (x, y), coordinates clamped to the field.
    Float4 texel(int32_t x, int32_t y) const;
    // The same texels in a plane-backed field of this size.
    void copyTo(Field& out) const;

private:
    TexelField(int32_t width, int32_t height, HalfArray texels)
        : width_(width), height_(height), texels_(std::move(texels)) {}

    int32_t width_ = 0;
    int32_t height_ = 0;
    HalfArray texels_;
    Half alpha_ = 0;
};

struct TexelFieldPair {
    TexelField read;
    TexelField write;
    void exchange() { std::swap(read, write); }
};

// A read/write pair: a pass reads `read`, writes `write`, and the two are exchanged.
struct FieldPair {
    Field read;
    Field write;
    void exchange() { std::swap(read, write); }
};

// The 8-bit RGBA display field a simulation renders into and the caller reads back. Its pixels
// are unspecified until a display kernel has written them (every kernel writes every pixel).
class DisplayField {
public:
    static std::optional<DisplayField> create(int64_t width, int64_t height);
    int32_t width() const { return static_cast<int32_t>(image_.width()); }
    int32_t height() const { return static_cast<int32_t>(image_.height()); }
    uint8_t* row(int32_t y) { return image_.row(y); }
    const uint8_t* row(int32_t y) const { return image_.row(y); }
    // The field as an opaque image tagged sRGB, or nothing when the image cannot be made.
    std::optional<RgbaImage> readBack() const { return image_; }
    // The same without a copy, for a field used once.
    RgbaImage takeImage() && { return std::move(image_); }

private:
    explicit DisplayField(RgbaImage image) : image_(std::move(image)) {}
    RgbaImage image_;
};

// A normalised value as an 8-bit channel: clamped to [0, 1], scaled by 255, rounded to nearest
// (halves to even).
inline uint8_t toUnorm8(float v) {
    v = v > 0.0f ? v : 0.0f;
    v = v < 1.0f ? v : 1.0f;
    return static_cast<uint8_t>(static_cast<int32_t>((v * 255.0f + 12582912.0f) - 12582912.0f));
}

// The normalised coordinate of texel i's centre on an axis of `size` texels.
inline float texelCentre(int32_t i, int32_t size) {
    return (static_cast<float>(i) + 0.5f) / static_cast<float>(size);
}

// The taps of a separable read: for each output texel i on one axis, the bilinear tap at
// texelCentre(i, outSize) + offset on a source axis of srcSize texels.
struct TapRow {
    std::vector<int32_t> i0, i1;
    std::vector<float> f;
    // Per block of eight outputs (whole blocks only): the first of the eight consecutive source
    // texels the block reads, or -1 where it reaches further; k0 and k1 are i0 and i1 counted
    // from there. An upsampling read then loads eight texels and permutes them (the blocks are
    // the same for every row, so this is worked out once).
    std::vector<int32_t> blockBase, k0, k1;
    // The same for blocks of sixteen outputs, loading sixteen texels (AVX-512).
    std::vector<int32_t> wideBase, wideK0, wideK1;
    void fill(int32_t outSize, int32_t srcSize, float offset);
};

// Scratch memory of one simulation: per-thread row buffers and shared tap rows, grown on first
// use and then reused, so passes do not allocate.
class Workspace {
public:
    // A buffer of at least `floats` floats for the calling thread.
    float* rowScratch(size_t floats);
    // Shared float plane `slot` (0 to 5) of at least `floats` floats (called outside parallel loops).
    float* plane(int slot, size_t floats);
    // Per-thread index buffer of at least `count` entries.
    int32_t* indexScratch(size_t count);
    // Per-thread buffer of at least `count` stored halves.
    Half* halfScratch(size_t count);
    // Per-thread buffer of at least `count` texels with their four channels side by side.
    float (*texelScratch(size_t count))[4];
    // Shared tap rows (called outside parallel loops).
    TapRow& taps(int slot);
    // A shared array of `count` default-initialised objects of a trivially copyable type (called outside
    // parallel loops); its memory is kept for the next call.
    template <class T>
    T* objects(size_t count) {
        static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T> &&
                      alignof(T) <= alignof(std::max_align_t));
        const size_t units = (count * sizeof(T) + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
        if (objects_.size() < units) objects_.resize(units);
        T* first = reinterpret_cast<T*>(objects_.data());
        std::uninitialized_default_construct_n(first, count);
        return std::launder(first);
    }

private:
    tbb::enumerable_thread_specific<std::vector<float>> rows_;
    std::array<std::vector<float, LargeBufferAllocator<float>>, 6> planes_;
    tbb::enumerable_thread_specific<std::vector<int32_t>> indices_;
    tbb::enumerable_thread_specific<std::vector<Half>> halves_;
    tbb::enumerable_thread_specific<std::vector<std::array<float, 4>>> texels_;
    std::array<TapRow, 6> taps_;
    std::vector<std::max_align_t> objects_;
};

// Runs body(rowBegin, rowEnd) over disjoint chunks of [0, rows) in parallel, with at least
// minRows rows (and about 16K texels) per chunk where the range allows. Each chunk writes only
// its own rows, so the result does not depend on the split.
template <class Body>
void forEachRowChunk(int32_t rows, int32_t width, Body&& body, int32_t minRows = 1) {
    const int64_t grain = std::max<int64_t>({1, minRows, width > 0 ? 16384 / width : 1});
    parallelFor(0, rows, grain, [&body](int64_t b, int64_t e) { body(static_cast<int32_t>(b), static_cast<int32_t>(e)); });
}

}  // namespace murmura::compute
