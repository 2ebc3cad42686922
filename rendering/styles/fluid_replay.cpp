#include "rendering/styles/fluid_replay.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <numbers>

#include "rendering/generators.h"

namespace murmura {

namespace {

float clampTo(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }

Rgb scaled(const Rgb& a, float k1, float k2) {
    return {a[0] * k1 * k2, a[1] * k1 * k2, a[2] * k1 * k2};
}

FluidSim::Splat dyeSplat(std::array<float, 2> p, Rgb color, float radius) {
    return FluidSim::Splat{FluidSim::Splat::Kind::dye, p, color, radius};
}

FluidSim::Splat velocitySplat(std::array<float, 2> p, float vx, float vy, float radius) {
    return FluidSim::Splat{FluidSim::Splat::Kind::velocity, p, {vx, vy, 0.0f}, radius};
}

}  // namespace

Rgb absorbanceOf(const Rgb& colour) {
    Rgb a{};
    for (int c = 0; c < 3; ++c) a[c] = -std::log(std::max(colour[c], 0.012f));
    return a;
}

Rgb pigmentAt(std::span<const Rgb> pigments, std::array<float, 2> p) {
    const auto n = static_cast<int64_t>(pigments.size());
    if (n < 2) return n == 1 ? pigments[0] : Rgb{1.0f, 1.0f, 1.0f};
    const float h = gen::sineHash(std::floor(3.0f * p[0]), std::floor(2.0f * p[1]), 43758.547f);
    const float scaledIndex = h * static_cast<float>(n);
    // h is in [0, 1); a NaN (from a non-finite point) falls to the first pigment.
    const int64_t index = scaledIndex >= 0.0f ? std::min<int64_t>(n - 1, static_cast<int64_t>(scaledIndex)) : 0;
    return pigments[static_cast<size_t>(index)];
}

std::vector<FluidScheduled> FluidReplayRenderer::schedule(const std::vector<MaterializedSegment>& segments,
                                                          float width, float height) const {
    const FluidSplatRules& st = def_.splats;
    auto absorbance = [this](std::array<float, 2> p) { return absorbanceOf(pigmentAt(def_.pigments, p)); };
    std::vector<FluidScheduled> list;
    int64_t n = 0;
    double tmin = std::numeric_limits<double>::infinity(), tmax = -std::numeric_limits<double>::infinity();
    for (const MaterializedSegment& m : segments)
        for (const RawEvent& e : m.segment.events) {
            if (!e.position) continue;
            ++n;
            tmin = std::min(tmin, e.timestamp);
            tmax = std::max(tmax, e.timestamp);
        }
    if (n < 1 || !(tmin < tmax)) return list;
    const int64_t stride = n < st.maxSplats ? 1 : n / std::max<int64_t>(st.maxSplats, 1);
    const auto span = static_cast<float>(tmax - tmin);
    auto timeOf = [&](const RawEvent& e) { return static_cast<float>(e.timestamp - tmin) / span; };
    auto pointOf = [&](const RawEvent& e) {
        return std::array<float, 2>{static_cast<float>(e.position->x) / width, static_cast<float>(e.position->y) / height};
    };

    for (const MaterializedSegment& m : segments) {
        const float o = clampTo(static_cast<float>(m.properties.opacity()), 0.0f, 1.0f);
        const float s = clampTo(static_cast<float>(m.properties.strokeWidth()) / st.widthDivisor, st.minWidthScale,
                                st.maxWidthScale);
        const float radius = st.baseRadius * s;
        const std::span<const RawEvent> events = m.segment.events;
        if (m.segment.isDiscrete()) {
            auto first = std::find_if(events.begin(), events.end(), [](const RawEvent& e) { return e.position.has_value(); });
            if (first == events.end()) continue;
            const std::array<float, 2> p = pointOf(*first);
            // The push direction is a fixed pseudo-random function of the drop position.
            const float theta = (2.0f * gen::sineHash(p[0], p[1], 43758.547f) - 1.0f) * std::numbers::pi_v<float>;
            FluidScheduled entry{timeOf(*first), {}};
            entry.splats.reserve(2);
            entry.splats.push_back(dyeSplat(p, scaled(absorbance(p), o + 0.5f, st.dropStrength), radius));
            entry.splats.push_back(velocitySplat(p, std::cos(theta) * st.dropSwirl, std::sin(theta) * st.dropSwirl,
                                                 st.dropSwirlRadius));
            list.push_back(std::move(entry));
            continue;
        }
        int64_t i = 0;
        bool first = true;
        std::array<float, 2> prev{0.0f, 0.0f};
        for (const RawEvent& e : events) {
            if (!e.position) continue;
            if (i % stride != 0) {
                ++i;
                continue;
            }
            const std::array<float, 2> p = pointOf(e);
            FluidScheduled entry{timeOf(e), {}};
            entry.splats.reserve(2);
            if (!first) {
                const float dx = p[0] - prev[0], dy = p[1] - prev[1];
                entry.splats.push_back(velocitySplat(p, clampTo(dx * st.splatForce, -st.pushClamp, st.pushClamp),
                                                     clampTo(dy * st.splatForce, -st.pushClamp, st.pushClamp),
                                                     st.pushRadius));
            }
            const bool dragging = e.type == EventType::mouseDown || e.type == EventType::mouseDragged;
            entry.splats.push_back(
                dyeSplat(p, scaled(absorbance(p), o + 0.4f, dragging ? st.dragStrength : st.hoverStrength), radius));
            list.push_back(std::move(entry));
            ++i;
            first = false;
            prev = p;
        }
    }
    return list;
}

double dyeDeposit(const std::vector<FluidScheduled>& list, double aspect) {
    double sum = 0;
    for (const FluidScheduled& entry : list)
        for (const FluidSim::Splat& s : entry.splats) {
            const double mean = (double(s.color[0]) + double(s.color[1]) + double(s.color[2])) / 3.0;
            if (s.kind == FluidSim::Splat::Kind::dye && std::isfinite(mean) && s.radius > 0 && std::isfinite(s.radius))
                sum += mean * double(s.radius);
        }
    return sum * std::numbers::pi / aspect;
}

float dyeBudgetFactor(double deposit, double budget) {
    return budget > 0 && deposit > budget ? static_cast<float>(budget / deposit) : 1.0f;
}

std::vector<FluidScheduled> FluidReplayRenderer::budgetedSchedule(const std::vector<MaterializedSegment>& segments,
                                                                  int64_t width, int64_t height,
                                                                  DyeBudgetUse* use) const {
    std::vector<FluidScheduled> list = schedule(segments, static_cast<float>(width), static_cast<float>(height));
    const double deposit = dyeDeposit(list, double(width) / double(std::max<int64_t>(height, 1)));
    const float factor = dyeBudgetFactor(deposit, def_.dyeBudget);
    if (factor != 1.0f)
        for (FluidScheduled& entry : list)
            for (FluidSim::Splat& s : entry.splats)
                if (s.kind == FluidSim::Splat::Kind::dye)
                    for (float& c : s.color) c *= factor;
    if (use) *use = {deposit, factor};
    return list;
}

int64_t replayFrameIndex(float t, int64_t frames) {
    const float f = t * static_cast<float>(frames - 1);
    if (!(f >= 1.0f)) return 0;  // also NaN
    if (f >= static_cast<float>(frames - 1)) return std::max<int64_t>(frames - 1, 0);
    return static_cast<int64_t>(f);
}

std::optional<RgbaImage> FluidReplayRenderer::replay(const MaterialEngineOutput& output, int64_t width,
                                                     int64_t height, FluidSim::Profile* profile) const {
    const FluidReplayTiming& timing = def_.timing;
    if (width < 1 || height < 1 || timing.replayFrames < 1) return std::nullopt;
    std::unique_ptr<FluidSim> sim = FluidSim::create(width, height, def_.fluid);
    if (!sim) return std::nullopt;
    const std::vector<FluidScheduled> list = budgetedSchedule(output.segments, width, height);
    std::vector<std::vector<FluidSim::Splat>> frames(static_cast<size_t>(timing.replayFrames));
    for (const FluidScheduled& entry : list) {
        auto& frame = frames[static_cast<size_t>(replayFrameIndex(entry.t, timing.replayFrames))];
        frame.insert(frame.end(), entry.splats.begin(), entry.splats.end());
    }
    for (const auto& frame : frames) sim->step(frame, timing.dt);
    for (int64_t i = 0; i < timing.settleFrames; ++i) sim->step({}, timing.dt);
    auto image = sim->makeImage();
    if (profile) *profile = sim->profile();
    return image;
}

std::optional<RgbaImage> FluidReplayRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                     int64_t height) const {
    return render(output, width, height, nullptr);
}

std::optional<RgbaImage> FluidReplayRenderer::render(const MaterialEngineOutput& output, int64_t width,
                                                     int64_t height, FluidSim::Profile* profile) const {
    try {
        return replay(output, width, height, profile);
    } catch (const std::exception&) {  // out of memory: no image, as renderers promise
        return std::nullopt;
    }
}

}  // namespace murmura
