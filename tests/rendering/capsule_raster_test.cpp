#include "rendering/capsule_raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/random.h"

using namespace murmura;

namespace {
// Coverage summed over a canvas drawn in opaque white onto transparent black: its alpha bytes.
double inkOf(Canvas& canvas) {
    double sum = 0;
    for (int64_t y = 0; y < canvas.height(); ++y)
        for (int64_t x = 0; x < canvas.width(); ++x) sum += (canvas.pixelRow(y)[x] >> 24) / 255.0;
    return sum;
}
}  // namespace

TEST(CapsuleRaster, CompositesWithPixmanRounding) {
    // Half-transparent red: 16-bit premultiplied 0x8000, top byte 0x80.
    const uint32_t red = premultipliedColor({1, 0, 0, 0.5});
    EXPECT_EQ(red, 0x80800000u);
    // Opaque grey 0x80 under it: 0x80 x 127 / 255 rounds to 64, plus the source.
    EXPECT_EQ(compositeOver(0xFF808080u, red, 255), 0xFFC04040u);
    // Half coverage: the source scales to 0x40, the grey keeps 191 / 255 of itself (96).
    EXPECT_EQ(compositeOver(0xFF808080u, red, 128), 0xFFA06060u);
    EXPECT_EQ(compositeOver(0x12345678u, red, 0), 0x12345678u);
    EXPECT_EQ(premultipliedColor({2, -1, 0.5, 1}), 0xFFFF0080u);  // clamped; 0.5 x 65535 rounds to 0x8000
}

// Summed coverage equals the exact area of straight strokes (a rectangle, plus a disc for round
// caps) and of ellipses, for seeded random shapes, including dots of no length. Distances
// overestimate the coverage of sharply curved edges a little: small discs, thin ellipses' tips.
TEST(CapsuleRaster, CoverageSumsToTheShapesArea) {
    SplitMix64 g(19);
    for (int i = 0; i < 60; ++i) {
        auto canvas = Canvas::create(96, 96);
        const PixelRows rows = pixelRowsOf(*canvas);
        const Point a{g.uniform(30, 66), g.uniform(30, 66)};
        const double length = i % 10 == 0 ? 0 : g.uniform(0, 25), angle = g.uniform(0, 6.3);
        const Point d{length * std::cos(angle), length * std::sin(angle)};
        const double width = g.uniform(0.6, 14);
        const bool round = i % 2 == 0;
        strokeCubic(rows, {a, {a.x + d.x / 3, a.y + d.y / 3}, {a.x + 2 * d.x / 3, a.y + 2 * d.y / 3}, {a.x + d.x, a.y + d.y}},
                    width, round, 0xFFFFFFFFu);
        const double area = width * length + (round ? M_PI * width * width / 4 : 0);
        EXPECT_NEAR(inkOf(*canvas), area, 0.01 * area + 0.4) << i << " width " << width << " length " << length;

        auto oval = Canvas::create(96, 96);
        const double rx = g.uniform(0.5, 30), ry = g.uniform(0.5, 30);
        fillEllipse(pixelRowsOf(*oval), a, rx, ry, 0xFFFFFFFFu);
        EXPECT_NEAR(inkOf(*oval), M_PI * rx * ry, 0.01 * M_PI * rx * ry + 0.15 * (rx + ry)) << i << " " << rx << " x " << ry;
    }
    // Nothing for shapes that cannot be drawn.
    auto canvas = Canvas::create(16, 16);
    const PixelRows rows = pixelRowsOf(*canvas);
    strokeCubic(rows, {Point{NAN, 4}, {5, 5}, {6, 6}, {7, 7}}, 3, true, 0xFFFFFFFFu);
    strokeCubic(rows, {Point{4, 4}, {4, 4}, {4, 4}, {4, 4}}, 3, false, 0xFFFFFFFFu);
    strokeCubic(rows, {Point{4, 4}, {5, 5}, {6, 6}, {7, 7}}, NAN, true, 0xFFFFFFFFu);
    fillEllipse(rows, {8, 8}, 0, 5, 0xFFFFFFFFu);
    EXPECT_EQ(inkOf(*canvas), 0);
    // Shapes far larger than a band fill its rows, and only those, whatever sticks out.
    for (int shape = 0; shape < 2; ++shape) {
        auto band = canvas->band(5, 9);
        if (shape == 0) strokeCubic(pixelRowsOf(*band), {Point{-50, -40}, {0, 0}, {20, 30}, {70, 60}}, 90, false, 0xFFFFFFFFu);
        else fillEllipse(pixelRowsOf(*band), {8, 8}, 1e6, 3e5, 0xFFFFFFFFu);
        band.reset();
        EXPECT_EQ(inkOf(*canvas), 4 * 16) << shape;
        for (int64_t y = 5; y < 9; ++y) std::fill_n(canvas->pixelRow(y), 16, 0u);
    }
}
