// Writing a 3840 x 2160 artwork's PNG: the encoder the application uses against libpng as it
// was used before (level 1 + SUB filter) and at its defaults. Three kinds of artwork:
//   ink     tinted paper with grain, a soft wash and a few thousand translucent ink dabs
//   flat    flat coloured rectangles with dark borders on paper (graphic styles)
//   smooth  smooth colour fields without grain (simulation styles)
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <filesystem>
#include <vector>

#include <unistd.h>

#include "gallery/artwork_store.h"
#include "rendering/generators.h"
#include "rendering/png_io.h"
#include "support/parallel.h"

using namespace murmura;

namespace {

constexpr int64_t kWidth = 3840;
constexpr int64_t kHeight = 2160;

void storeRgb(uint8_t* p, float r, float g, float b) {
    const float v[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::lround(gen::clamp01(v[c]) * 255.0f));
    p[3] = 255;
}

RgbaImage inkArtwork() {
    struct Dab {
        double x, y, radius, alpha;
        float r, g, b;
    };
    std::vector<Dab> dabs;
    SplitMix64 rng(2026);
    for (int stroke = 0; stroke < 220; ++stroke) {
        double x = rng.uniform(0, kWidth), y = rng.uniform(0, kHeight), heading = rng.uniform(0, 6.283);
        const double radius = rng.uniform(6, 60);
        const float r = static_cast<float>(rng.uniform(0.05, 0.6)), g = static_cast<float>(rng.uniform(0.05, 0.5)),
                    b = static_cast<float>(rng.uniform(0.1, 0.7));
        const int count = 20 + static_cast<int>(rng.below(120));
        for (int i = 0; i < count; ++i) {
            heading += rng.uniform(-0.4, 0.4);
            x += std::cos(heading) * radius * 0.5;
            y += std::sin(heading) * radius * 0.5;
            dabs.push_back({x, y, radius * rng.uniform(0.7, 1.3), rng.uniform(0.05, 0.25), r, g, b});
        }
    }
    constexpr int64_t kBand = 16;
    std::vector<std::vector<size_t>> byBand(static_cast<size_t>((kHeight + kBand - 1) / kBand));
    for (size_t i = 0; i < dabs.size(); ++i) {
        const double reach = dabs[i].radius * 3;
        const int64_t b0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor((dabs[i].y - reach) / kBand)));
        const int64_t b1 = std::min<int64_t>(static_cast<int64_t>(byBand.size()) - 1,
                                             static_cast<int64_t>(std::floor((dabs[i].y + reach) / kBand)));
        for (int64_t b = b0; b <= b1; ++b) byBand[static_cast<size_t>(b)].push_back(i);
    }
    auto image = *RgbaImage::create(kWidth, kHeight, ColorSpace::deviceRGB);
    parallelFor(0, kHeight, 8, [&](int64_t y0, int64_t y1) {
        std::vector<float> rgb(static_cast<size_t>(kWidth) * 3);
        for (int64_t y = y0; y < y1; ++y) {
            for (int64_t x = 0; x < kWidth; ++x) {
                const double u = double(x) / kWidth, v = double(y) / kHeight;
                const float wash = static_cast<float>(0.5 + 0.5 * std::sin(u * 5.1 + std::sin(v * 3.7) * 1.3) *
                                                                std::cos(v * 4.3 - u * 1.1));
                float* p = &rgb[static_cast<size_t>(x) * 3];
                p[0] = 0.95f - 0.04f * wash;
                p[1] = 0.93f - 0.03f * wash;
                p[2] = 0.88f - 0.02f * wash;
            }
            for (size_t i : byBand[static_cast<size_t>(y / kBand)]) {
                const Dab& d = dabs[i];
                const double reach = d.radius * 3, dy = double(y) - d.y;
                if (std::fabs(dy) > reach) continue;
                const int64_t x0 = std::max<int64_t>(0, static_cast<int64_t>(d.x - reach));
                const int64_t x1 = std::min<int64_t>(kWidth - 1, static_cast<int64_t>(d.x + reach));
                for (int64_t x = x0; x <= x1; ++x) {
                    const double dx = double(x) - d.x, q = (dx * dx + dy * dy) / (d.radius * d.radius);
                    if (q > 9) continue;
                    const float a = static_cast<float>(d.alpha * std::exp(-q));
                    float* p = &rgb[static_cast<size_t>(x) * 3];
                    p[0] += (d.r - p[0]) * a;
                    p[1] += (d.g - p[1]) * a;
                    p[2] += (d.b - p[2]) * a;
                }
            }
            for (int64_t x = 0; x < kWidth; ++x) {
                // Paper grain of +-1.5 levels.
                const float grain =
                    (gen::unit24(gen::rawDraw(77, static_cast<uint64_t>(y * kWidth + x))) - 0.5f) * (3.0f / 255.0f);
                const float* p = &rgb[static_cast<size_t>(x) * 3];
                storeRgb(image.pixel(x, y), p[0] + grain, p[1] + grain, p[2] + grain);
            }
        }
    });
    return image;
}

RgbaImage flatArtwork() {
    auto image = *RgbaImage::create(kWidth, kHeight, ColorSpace::deviceRGB);
    for (int64_t y = 0; y < kHeight; ++y)
        for (int64_t x = 0; x < kWidth; ++x) storeRgb(image.pixel(x, y), 0.94f, 0.925f, 0.894f);
    SplitMix64 rng(5);
    for (int k = 0; k < 60; ++k) {
        const int64_t x0 = static_cast<int64_t>(rng.below(kWidth)), y0 = static_cast<int64_t>(rng.below(kHeight));
        const int64_t w = 50 + static_cast<int64_t>(rng.below(800)), h = 50 + static_cast<int64_t>(rng.below(600));
        const float r = static_cast<float>(rng.nextUnit()), g = static_cast<float>(rng.nextUnit()),
                    b = static_cast<float>(rng.nextUnit());
        for (int64_t y = y0; y < std::min(kHeight, y0 + h); ++y)
            for (int64_t x = x0; x < std::min(kWidth, x0 + w); ++x) {
                const bool border = y < y0 + 8 || x < x0 + 8;
                storeRgb(image.pixel(x, y), border ? 0.08f : r, border ? 0.08f : g, border ? 0.08f : b);
            }
    }
    return image;
}

RgbaImage smoothArtwork() {
    auto image = *RgbaImage::create(kWidth, kHeight, ColorSpace::sRGB);
    parallelFor(0, kHeight, 8, [&](int64_t y0, int64_t y1) {
        for (int64_t y = y0; y < y1; ++y)
            for (int64_t x = 0; x < kWidth; ++x) {
                const double u = double(x) / kWidth, v = double(y) / kHeight;
                const double a = 0.5 + 0.5 * std::sin(u * 13 + std::sin(v * 7) * 2);
                const double b = 0.5 + 0.5 * std::cos(v * 11 - u * 5);
                const double c = 0.5 + 0.5 * std::sin((u + v) * 9);
                storeRgb(image.pixel(x, y), static_cast<float>(0.08 + 0.78 * a * b),
                         static_cast<float>(0.04 + 0.47 * b * c), static_cast<float>(0.16 + 0.7 * c * a));
            }
    });
    return image;
}

const RgbaImage& artwork(int64_t kind) {
    static const RgbaImage images[3] = {inkArtwork(), flatArtwork(), smoothArtwork()};
    return images[kind];
}

const char* kKindNames[3] = {"ink", "flat", "smooth"};

// The previous encoder: libpng, one row at a time, at the given zlib level and filter set.
struct Sink {
    std::vector<uint8_t> bytes;
};

void onWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    sink->bytes.insert(sink->bytes.end(), data, data + length);
}

bool libpngRows(png_structp png, png_infop info, const RgbaImage& image, int level, int filters) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, level);
    if (filters >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_write_info(png, info);
    for (int64_t y = 0; y < image.height(); ++y) png_write_row(png, const_cast<png_bytep>(image.row(y)));
    png_write_end(png, nullptr);
    return true;
}

size_t libpngEncode(const RgbaImage& image, int level, int filters) {
    Sink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &sink, onWrite, nullptr);
    const bool ok = libpngRows(png, info, image, level, filters);
    png_destroy_write_struct(&png, &info);
    return ok ? sink.bytes.size() : 0;
}

void report(benchmark::State& state, size_t bytes) {
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.SetLabel(kKindNames[state.range(0)]);
}

}  // namespace

static void BM_EncodePng(benchmark::State& state) {
    const RgbaImage& image = artwork(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) bytes = encodePng(image)->size();
    report(state, bytes);
}
BENCHMARK(BM_EncodePng)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_LibpngLevel1Sub(benchmark::State& state) {
    const RgbaImage& image = artwork(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) bytes = libpngEncode(image, 1, PNG_FILTER_SUB);
    report(state, bytes);
}
BENCHMARK(BM_LibpngLevel1Sub)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_LibpngDefault(benchmark::State& state) {
    const RgbaImage& image = artwork(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) bytes = libpngEncode(image, 6, -1);
    report(state, bytes);
}
BENCHMARK(BM_LibpngDefault)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// What the end of a session pays: encoding plus the durable write of the artwork's file
// (temporary file, fsync, rename) into a store in the system's temporary directory.
static void BM_StoreWriteImage(benchmark::State& state) {
    const RgbaImage& image = artwork(state.range(0));
    const auto base = std::filesystem::temp_directory_path() / ("murmura-png-bench-" + std::to_string(::getpid()));
    auto store = ArtworkStore::open(base);
    if (!store) {
        state.SkipWithError("cannot open a store");
        return;
    }
    const auto file = store->artworksDirectory() / "artwork.png";
    for (auto _ : state)
        if (!store->writeImage(image, file)) state.SkipWithError("write failed");
    report(state, std::filesystem::file_size(file));
    std::filesystem::remove_all(base);
}
BENCHMARK(BM_StoreWriteImage)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
