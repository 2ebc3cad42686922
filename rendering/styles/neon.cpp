#include "rendering/styles/neon.h"

#include <algorithm>
#include <cmath>

namespace murmura {

namespace neon {

namespace {

constexpr float kBaseRadius = 0.0062f;
constexpr float kHoverHeat = 0.34f;
constexpr float kContactHeat = 0.62f;
constexpr float kDropHeat = 1.05f;

bool usable(const RawEvent& e) { return e.position && std::isfinite(e.position->x) && std::isfinite(e.position->y); }

}  // namespace

int64_t stride(std::span<const MaterializedSegment> segments) {
    int64_t total = 0;
    for (const MaterializedSegment& m : segments)
        total += std::count_if(m.segment.events.begin(), m.segment.events.end(), usable);
    return total < kMaxSplats ? 1 : total / kMaxSplats;
}

std::vector<Dot> dots(std::span<const MaterializedSegment> segments, float width, float height) {
    const int64_t step = stride(segments);
    std::vector<Dot> out;
    for (const MaterializedSegment& m : segments) {
        const auto o = static_cast<float>(std::clamp(m.properties.opacity(), 0.0, 1.0));
        const auto size = static_cast<float>(std::clamp(m.properties.strokeWidth() / 12.0, 0.7, 2.2));
        auto dot = [&](const RawEvent& e, float heat, float radius, Kind kind) {
            out.push_back(Dot{static_cast<float>(e.position->x) / width, static_cast<float>(e.position->y) / height,
                              heat, radius, kind});
        };
        if (m.segment.segmentType == SegmentType::discrete) {
            const auto first = std::find_if(m.segment.events.begin(), m.segment.events.end(), usable);
            if (first != m.segment.events.end())
                dot(*first, (o + 0.6f) * kDropHeat, kBaseRadius * 1.5f * size, Kind::drop);
            continue;
        }
        int64_t i = 0;
        for (const RawEvent& e : m.segment.events) {
            if (!usable(e)) continue;
            if (i++ % step != 0) continue;
            if (e.type == EventType::mouseDown || e.type == EventType::mouseDragged)
                dot(e, (o + 0.55f) * kContactHeat, kBaseRadius * 1.25f * size, Kind::contact);
            else
                dot(e, (o + 0.55f) * kHoverHeat, kBaseRadius * size, Kind::hover);
        }
    }
    return out;
}

EmissiveSim::Config simConfig() {
    return EmissiveSim::Config{
        .background = {0.02f, 0.02f, 0.032f},
        .coreGain = 0.64f,
        .bloomGain = 1.12f,
        .exposure = 2.1f,
        .blurPasses = 5,
        .blurSpread = 1.45f,
        .emissiveRes = 1280,
    };
}

std::vector<EmissiveSim::Splat> splats(std::span<const Dot> dots) {
    std::vector<EmissiveSim::Splat> out;
    out.reserve(dots.size());
    for (const Dot& d : dots) out.push_back({{d.x, d.y}, {d.heat, 0.0f, 0.0f}, d.radius * d.radius});
    return out;
}

}  // namespace neon

std::optional<RgbaImage> NeonRenderer::render(const MaterialEngineOutput& output, int64_t width, int64_t height) const {
    if (width < 1 || height < 1) return std::nullopt;
    auto sim = EmissiveSim::create(width, height, neon::simConfig());
    if (!sim) return std::nullopt;
    sim->applySplats(neon::splats(neon::dots(output.segments, static_cast<float>(width), static_cast<float>(height))));
    return sim->renderImage();
}

}  // namespace murmura
