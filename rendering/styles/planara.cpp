#include "rendering/styles/planara.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "support/parallel.h"

namespace murmura {

namespace planara {

namespace {

constexpr int64_t kBandRows = 64;
constexpr int64_t kRefinementBudget = 2;

int64_t px(double v) { return static_cast<int64_t>(std::round(v)); }

Fill fillOf(int64_t x, int64_t y, int64_t w, int64_t h, const RGB& c) {
    return {x, y, w, h, {componentByte(c.r), componentByte(c.g), componentByte(c.b)}};
}

Stage snapshot(std::string_view name, const Subdivision& grid) {
    Stage s{name, grid.entities(), {}};
    for (const auto& [key, leaf] : grid.leaves()) s.leaves.push_back(leaf);
    return s;
}

int64_t saltOf(const ExtractionResult& e) {
    const int64_t v = px(e.sweepTravel * 40) * 131 + e.charKeyCount * 31 +
                      static_cast<int64_t>(e.tensionPoints.size()) * 17 +
                      static_cast<int64_t>(e.candidates.size()) * 7 + e.rounds * 3;
    return ((v % 997) + 997) % 997;
}

// Replays the extracted ops; returns the largest round of any op.
int64_t replay(Subdivision& grid, const std::vector<Op>& ops) {
    int64_t maxRound = 0;
    for (const Op& op : ops) {
        if (const auto* split = std::get_if<SplitProposal>(&op)) {
            maxRound = std::max(maxRound, split->round);
            grid.apply(*split);
        } else {
            const int64_t round = std::get<MergeStep>(op).round;
            maxRound = std::max(maxRound, round);
            grid.mergeStep(round);
        }
    }
    return maxRound;
}

}  // namespace

std::string_view rawValue(ColouringSource source) {
    switch (source) {
        case ColouringSource::assignment: return "assignment";
        case ColouringSource::tension: return "tension";
        case ColouringSource::fallback: return "fallback";
        case ColouringSource::none: break;
    }
    return "none";
}

uint8_t componentByte(double v) { return static_cast<uint8_t>(std::round(std::clamp(v, 0.0, 1.0) * 255)); }

std::optional<Composition> compose(const MaterialEngineOutput& output, int64_t W, int64_t H, bool recordStages) {
    if (W < 1 || H < 1) return std::nullopt;
    Composition out;
    out.extraction = extract(output.segments, W, H);
    const ExtractionResult& E = out.extraction;
    const int64_t shorter = std::min(W, H);
    const int64_t T = std::max<int64_t>(px(static_cast<double>(shorter) * 0.012), 3);
    out.lineThickness = T;
    const double gap = 0.06 * static_cast<double>(shorter) + 2.0 * static_cast<double>(T);
    const double w = static_cast<double>(W), h = static_cast<double>(H);
    const int64_t salt = saltOf(E);
    Subdivision grid(salt, gap / w, gap / h);
    auto record = [&](std::string_view name) {
        if (recordStages) out.stages.push_back(snapshot(name, grid));
    };

    const int64_t R = std::max(replay(grid, E.ops), E.rounds);
    record("replay");
    const double s = std::clamp(output.conditioning.silentRatio, 0.0, 1.0);
    const double A = w / h;
    grid.topUp(E, R, s);
    record("topUp");
    grid.symmetryPass(R);
    record("symmetry");
    grid.rhythmPass();
    record("rhythm");
    int64_t budget = kRefinementBudget;
    grid.refine(E.candidates, R, A, budget);
    record("refinement");

    AssignmentInputs in{E.candidates, &E.whiteBiasRounds, E.balanceBias, s, A, salt, 0.18};
    Colouring colours = assignColours(grid, in);
    if (!colours.empty()) out.source = ColouringSource::assignment;
    if (colours.empty() && !E.tensionPoints.empty()) {
        const std::vector<ColorCandidate> tension = tensionCandidates(E.tensionPoints, R);
        grid.refine(tension, R, A, budget);
        in.candidates = tension;
        in.areaLimit = 0.1;
        colours = assignColours(grid, in);
        if (!colours.empty()) out.source = ColouringSource::tension;
    }
    if (colours.empty() && (E.sweepTravel >= 0.12 || E.charKeyCount >= 4 || !E.candidates.empty())) {
        colours = fallbackColouring(grid, A, salt);
        if (!colours.empty()) out.source = ColouringSource::fallback;
    }

    out.fills.push_back(fillOf(0, 0, W, H, {1, 1, 1}));
    for (const auto& [key, colour] : colours) {
        const Rect& r = grid.leaves().at(key);
        out.cells.push_back({r, colour});
        const int64_t x0 = px(r.minX() * w), y0 = px(r.minY() * h), x1 = px(r.maxX() * w), y1 = px(r.maxY() * h);
        out.fills.push_back(fillOf(x0, y0, x1 - x0, y1 - y0, colour));
    }
    for (const LineSegment& seg : grid.segments()) {
        const Rect& p = seg.parent;
        if (seg.axis == Axis::vertical) {
            const int64_t y0 = px(p.minY() * h);
            out.fills.push_back(fillOf(px(seg.coord * w) - T / 2, y0, T, px(p.maxY() * h) - y0, kBlack));
        } else {
            const int64_t x0 = px(p.minX() * w);
            out.fills.push_back(fillOf(x0, px(seg.coord * h) - T / 2, px(p.maxX() * w) - x0, T, kBlack));
        }
    }
    out.fills.push_back(fillOf(0, 0, W, T, kBlack));
    out.fills.push_back(fillOf(0, H - T, W, T, kBlack));
    out.fills.push_back(fillOf(0, 0, T, H, kBlack));
    out.fills.push_back(fillOf(W - T, 0, T, H, kBlack));
    return out;
}

void drawFills(RgbaImage& image, std::span<const Fill> fills) {
    const int64_t W = image.width(), H = image.height();
    // Fixed bands: each writes only its own rows, so the bytes never depend on the thread count.
    const int64_t bands = (H + kBandRows - 1) / kBandRows;
    parallelFor(0, bands, [&](int64_t first, int64_t last) {
        for (int64_t band = first; band < last; ++band) {
            const int64_t r0 = band * kBandRows, r1 = std::min(r0 + kBandRows, H);
            for (const Fill& f : fills) {
                const int64_t x0 = std::max<int64_t>(f.x, 0), x1 = std::min(f.x + f.width, W);
                const int64_t y0 = std::max(f.y, r0), y1 = std::min(f.y + f.height, r1);
                if (x0 >= x1 || y0 >= y1) continue;
                const uint8_t pixel[4] = {f.rgb[0], f.rgb[1], f.rgb[2], 255};
                const size_t bytes = static_cast<size_t>(x1 - x0) * 4;
                for (int64_t y = y0; y < y1; ++y) {
                    uint8_t* span = image.pixel(x0, y);
                    std::memcpy(span, pixel, 4);
                    // Doubling copies: a span of n pixels in log2(n) block copies.
                    for (size_t done = 4; done < bytes;) {
                        const size_t n = std::min(done, bytes - done);
                        std::memcpy(span + done, span, n);
                        done += n;
                    }
                }
            }
        }
    });
}

}  // namespace planara

PlanaraRenderer::PlanaraRenderer() : descriptor_{"planara", "Planara", StyleSeries::artist} {}

std::optional<RgbaImage> PlanaraRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                 int64_t height) const {
    const std::optional<planara::Composition> composition = planara::compose(output, width, height);
    if (!composition) return std::nullopt;
    std::optional<RgbaImage> image = RgbaImage::create(width, height, ColorSpace::deviceRGB);
    if (!image) return std::nullopt;
    planara::drawFills(*image, composition->fills);
    return image;
}

}  // namespace murmura
