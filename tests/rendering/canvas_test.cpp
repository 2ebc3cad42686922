#include "rendering/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "image_difference.h"
#include "support/random.h"

using namespace murmura;
using namespace murmura::test;

namespace {
Canvas aliased(int64_t w, int64_t h) {
    auto c = Canvas::create(w, h);
    c->setAntialias(false);
    return std::move(*c);
}

// A busy scene of random curves, lines and fills crossing band edges, some off the canvas.
void scene(Canvas& c, uint64_t seed) {
    SplitMix64 g(seed);
    c.scale(1.5, 1.5);
    auto near = [&](Point a, double r) { return Point{a.x + g.uniform(-r, r), a.y + g.uniform(-r, r)}; };
    for (int i = 0; i < 300; ++i) {
        const Point a{g.uniform(-20, 150), g.uniform(-20, 120)};
        c.setLineCap(static_cast<LineCap>(g.below(3)));
        c.setLineJoin(static_cast<LineJoin>(g.below(3)));
        c.setLineWidth(g.uniform(0.3, 9));
        const Rgba color{g.nextUnit(), g.nextUnit(), g.nextUnit(), g.uniform(0.05, 1)};
        c.setColor(color);
        c.moveTo(a);
        switch (g.below(4)) {
            case 0: c.curveTo(near(a, 30), near(a, 30), near(a, 30)); break;
            case 1: c.lineTo(near(a, 20)), c.lineTo(near(a, 20)); break;
            case 2: c.quadTo(near(a, 60), near(a, 15)); break;
            default: c.fillEllipse(Rect{a.x, a.y, g.uniform(0.5, 20), g.uniform(0.5, 20)}, color); continue;
        }
        c.stroke();
    }
}
}  // namespace

TEST(Canvas, BitmapIsPremultipliedRgbaWithRowZeroAtTop) {
    for (auto [w, h] : {std::pair<int64_t, int64_t>{0, 10}, {10, 0}, {-3, 10}, {RgbaImage::kMaxSide + 1, 1}})
        EXPECT_FALSE(Canvas::create(w, h)) << w << "x" << h;
    Canvas c = aliased(6, 4);
    c.fillRect(Rect{0, 0, 6, 1}, Rgba{0.2, 0.4, 0.6, 1});
    c.fillRect(Rect{0, 3, 6, 1}, Rgba{1, 0.5, 0, 0.5});
    auto image = c.toImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->colorSpace(), ColorSpace::deviceRGB);
    EXPECT_EQ(c.toImage(ColorSpace::sRGB)->colorSpace(), ColorSpace::sRGB);
    for (int64_t x = 0; x < 6; ++x) {
        EXPECT_EQ(pixelAt(*image, x, 0), (Pixel{51, 102, 153, 255}));
        EXPECT_EQ(pixelAt(*image, x, 1), (Pixel{0, 0, 0, 0}));
        const Pixel half = pixelAt(*image, x, 3);  // premultiplied: red equals alpha, green half of it
        EXPECT_NEAR(half[3], 128, 1);
        EXPECT_EQ(half[0], half[3]);
        EXPECT_NEAR(half[1], half[3] / 2.0, 1);
        EXPECT_EQ(half[2], 0);
    }
}

TEST(Canvas, ShapesCoverWhatTheyShould) {
    for (bool aa : {false, true}) {
        auto c = Canvas::create(40, 40);
        c->setAntialias(aa);
        c->fillCircle({20.3, 19.7}, 13.1, Rgba{0, 0, 0, 1});
        auto image = c->toImage();
        std::set<int> alphas;
        for (int64_t y = 0; y < 40; ++y)
            for (int64_t x = 0; x < 40; ++x) alphas.insert(pixelAt(*image, x, y)[3]);
        EXPECT_EQ(alphas.size() > 2, aa);
        EXPECT_EQ(pixelAt(*image, 20, 20)[3], 255);
        EXPECT_EQ(pixelAt(*image, 1, 1)[3], 0);
    }
    Canvas e = aliased(40, 20);
    e.fillEllipse(Rect{4, 6, 30, 8}, Rgba{0, 0, 1, 1});
    auto ellipse = e.toImage();
    // Centre and near the end of the long axis inside; outside the box, above the short axis
    // and the box corner outside.
    for (auto [x, y, alpha] : {std::tuple{19, 10, 255}, {5, 10, 255}, {2, 10, 0}, {19, 4, 0}, {5, 7, 0}})
        EXPECT_EQ(pixelAt(*ellipse, x, y)[3], alpha) << x << "," << y;
    // A line 4 wide from x 10 to 30 at y 10: butt caps end at the end points, round and square
    // ones reach 2 further, and only square caps fill the corner.
    for (LineCap cap : {LineCap::butt, LineCap::round, LineCap::square}) {
        Canvas c = aliased(40, 20);
        c.setLineCap(cap);
        c.setLineWidth(4);
        c.setColor(Rgba{1, 0, 0, 1});
        c.moveTo({10, 10});
        c.lineTo({30, 10});
        c.stroke();
        auto image = c.toImage();
        const int capped = cap == LineCap::butt ? 0 : 255;
        for (auto [x, y, alpha] : {std::tuple{20, 8, 255}, {20, 11, 255}, {20, 13, 0}, {8, 10, capped},
                                   {31, 10, capped}, {8, 8, cap == LineCap::square ? 255 : 0}})
            EXPECT_EQ(pixelAt(*image, x, y)[3], alpha) << int(cap) << " at " << x << "," << y;
    }
}

TEST(Canvas, QuadraticEqualsItsCubicAndPixelWritesReachTheImage) {
    auto a = Canvas::create(50, 50), b = Canvas::create(50, 50);
    for (Canvas* c : {&*a, &*b}) {
        c->setLineWidth(3);
        c->setColor(Rgba{0.3, 0.2, 0.9, 0.7});
        c->moveTo({5, 40});
    }
    a->quadTo({25, -10}, {45, 40});
    // Cubic controls two thirds of the way from each end to the quadratic control.
    b->curveTo({5 + 2.0 / 3 * 20, 40 - 2.0 / 3 * 50}, {45 - 2.0 / 3 * 20, 40 - 2.0 / 3 * 50}, {45, 40});
    a->stroke();
    b->stroke();
    EXPECT_EQ(*a->toImage(), *b->toImage());

    Canvas c = aliased(5, 4);
    c.beginPixelAccess();
    c.pixelRow(3)[2] = Canvas::packPixel(10, 20, 30, 255);
    c.pixelRow(0)[4] = Canvas::packPixel(1, 2, 3, 4);
    c.endPixelAccess();
    auto image = c.toImage();
    EXPECT_EQ(pixelAt(*image, 2, 3), (Pixel{10, 20, 30, 255}));
    EXPECT_EQ(pixelAt(*image, 4, 0), (Pixel{1, 2, 3, 4}));
    c.fillRect(Rect{0, 3, 5, 1}, Rgba{0, 0, 0, 0.5});  // drawing composites over what was written
    EXPECT_NEAR(pixelAt(*c.toImage(), 2, 3)[0], 5, 1);
}

TEST(Canvas, BandsSeeOnlyTheirRows) {
    auto c = Canvas::create(10, 10);
    {
        auto band = c->band(4, 6);
        ASSERT_TRUE(band);
        EXPECT_FALSE(band->toImage());  // only the owner converts
        band->setAntialias(false);
        band->fillRect(Rect{0, 0, 10, 10}, Rgba{1, 1, 1, 1});
        EXPECT_TRUE(band->touches(Rect{0, 5, 1, 1}));
        EXPECT_FALSE(band->touches(Rect{0, 20, 1, 1}));
    }
    c->endPixelAccess();
    EXPECT_FALSE(c->band(6, 4) || c->band(-1, 4) || c->band(0, 11));
    EXPECT_FALSE(drawInBands(*c, [](Canvas&) {}, 0));
    auto image = c->toImage();
    for (int64_t y = 0; y < 10; ++y) EXPECT_EQ(pixelAt(*image, 3, y)[3], (y >= 4 && y < 6) ? 255 : 0) << y;
}

namespace {
// Seeded random piecewise paths of lines and curves, every cap and join, widths from hairline to
// very wide, translucent colours, under a rotating, scaling transform.
struct RandomStrokes {
    struct Stroke {
        PiecewisePath path;
        double width;
        LineCap cap;
        LineJoin join;
        Rgba color;
    };
    std::vector<Stroke> strokes;
    double angle;

    explicit RandomStrokes(uint64_t seed) {
        SplitMix64 g(seed);
        angle = g.uniform(-0.3, 0.3);
        for (int i = 0; i < 40; ++i) {
            Stroke s{{}, g.uniform(0.3, 60), static_cast<LineCap>(g.below(3)), static_cast<LineJoin>(g.below(3)),
                     Rgba{g.nextUnit(), g.nextUnit(), g.nextUnit(), g.uniform(0.1, 1)}};
            for (uint64_t sub = 1 + g.below(2); sub > 0; --sub) {
                Point p{g.uniform(-30, 180), g.uniform(-30, 150)};
                s.path.moveTo(p);
                for (uint64_t n = g.below(40); n > 0; --n) {
                    auto step = [&] { return Point{p.x + g.uniform(-25, 25), p.y + g.uniform(-25, 25)}; };
                    if (g.chance(0.3)) {
                        p = step();
                        s.path.lineTo(p);
                    } else {
                        const Point c1 = step(), c2 = step();
                        p = step();
                        s.path.curveTo(c1, c2, p);
                    }
                }
            }
            strokes.push_back(std::move(s));
        }
    }
    void draw(Canvas& c) const {
        c.scale(1.3, 1.3);
        c.rotate(angle);
        for (const Stroke& s : strokes) {
            c.setLineWidth(s.width);
            c.setLineCap(s.cap);
            c.setLineJoin(s.join);
            c.setColor(s.color);
            c.strokeRuns(s.path);
        }
    }
};
}  // namespace

// Strokes whole and cut into the runs that reach a band, curves and fills, on random scenes.
// Culling changes no byte whatever the band height, and one band is the unbanded drawing itself.
// Cairo clips geometry at each band's edges, which can move an edge pixel's coverage a little;
// never a whole stroke.
TEST(Canvas, BandedDrawingMatchesTheWholeCanvasAndCullingChangesNothing) {
    for (uint64_t seed : {1, 2, 3}) {
        const RandomStrokes strokes(seed);
        auto draw = [&](Canvas& c) {
            c.save();
            strokes.draw(c);
            c.restore();
            scene(c, seed);
        };
        auto unbanded = Canvas::create(211, 157);
        draw(*unbanded);
        const RgbaImage expected = *unbanded->toImage();
        for (int64_t rows : {2, 7, 32, 157}) {
            auto culled = Canvas::create(211, 157), full = Canvas::create(211, 157);
            ASSERT_TRUE(drawInBands(*culled, draw, rows));
            ASSERT_TRUE(drawInBands(*full, [&](Canvas& band) { band.setCulling(false); draw(band); }, rows));
            const RgbaImage a = *culled->toImage(), b = *full->toImage();
            EXPECT_TRUE(a == b) << "seed " << seed << ", band rows " << rows << ": " << difference(a, b);
            const size_t count = byteDifference(a, expected).count;
            EXPECT_TRUE(rows != 157 || count == 0) << count;
            EXPECT_LT(count, a.byteCount() / 1000) << rows << ": " << difference(a, expected);
        }
    }
}

TEST(Canvas, PiecewisePathBoundsAndPathsOffTheCanvas) {
    PiecewisePath path;
    EXPECT_EQ(path.bounds(), Rect{});
    path.moveTo({10, 20});
    path.curveTo({0, 40}, {30, -5}, {12, 22});
    path.lineTo({15, 21});
    EXPECT_EQ(path.bounds(), (Rect{0, -5, 30, 45}));  // control points included
    auto c = Canvas::create(40, 40);
    c->setLineWidth(4);
    c->translate(0, 100);  // the whole path lies below the canvas
    c->strokeRuns(path);
    const RgbaImage image = *c->toImage();
    EXPECT_TRUE(std::all_of(image.data(), image.data() + image.byteCount(), [](uint8_t v) { return v == 0; }));
}
