#include "rendering/ink_canvas_animator.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

#include "rendering/ink_colours.h"

namespace murmura {

namespace {
constexpr float kMaxStep = 1.0f / 24.0f;
constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;
}  // namespace

FluidSim::Config InkCanvasAnimator::fluidConfig(int64_t width, int64_t height) {
    // The dye grid has the canvas's own resolution.
    return FluidSim::Config{
        .pressureIterations = 22,
        .velocityDissipation = 0.16f,
        .dyeDissipation = 0.028f,
        .curl = 14,
        .simResolution = 192,
        .dyeResolution = std::max(width, height),
        .paper = colours::kInkPaper,
        .displayVariant = FluidSim::DisplayVariant::ink};
}

std::unique_ptr<InkCanvasAnimator> InkCanvasAnimator::create(int64_t width, int64_t height) {
    auto sim = FluidSim::create(width, height, fluidConfig(width, height));
    if (!sim) return nullptr;
    return std::unique_ptr<InkCanvasAnimator>(new InkCanvasAnimator(std::move(sim)));
}

std::array<FluidSim::Splat, 2> InkCanvasAnimator::drop(std::array<float, 2> p, float strength) {
    const float theta = u() * kTwoPi;
    const float push = u() * 70.0f + 60.0f;
    FluidSim::Splat ink{FluidSim::Splat::Kind::dye, p, {}, 0.0042f};
    for (int c = 0; c < 3; ++c) ink.color[c] = -std::log(colours::kSumi[c]) * (strength * 0.3f);
    const FluidSim::Splat swirl{FluidSim::Splat::Kind::velocity, p,
                                {std::cos(theta) * push, std::sin(theta) * push, 0.0f}, 0.005f};
    return {ink, swirl};
}

void InkCanvasAnimator::addDrop(std::optional<std::array<float, 2>> p, float strength) {
    if (!p) {
        const float x = u() * 0.6f + 0.2f;
        const float y = u() * 0.5f + 0.25f;
        p = std::array<float, 2>{x, y};
    }
    const auto splats = drop(*p, strength);
    try {
        sim_->step(splats, 0.0f);  // the drop appears without the fluid moving on
    } catch (const std::bad_alloc&) {  // no memory for scratch rows: the drop is lost
    }
}

std::optional<RgbaImage> InkCanvasAnimator::nextFrame(float dt) {
    if (!std::isfinite(dt) || dt < 0) dt = 0;
    time_ += dt;
    Frame& frame = lastFrame_;
    frame.splats.clear();
    auto append = [&frame](const std::array<FluidSim::Splat, 2>& splats) {
        frame.splats.insert(frame.splats.end(), splats.begin(), splats.end());
    };
    while (!opening_.empty() && opening_.front().t <= time_) {
        append(drop(opening_.front().p, opening_.front().st));
        opening_.pop_front();
    }
    nextDrop_ -= dt;
    if (nextDrop_ <= 0) {
        const float x = u() * 0.64f + 0.18f;
        const float y = u() * 0.56f + 0.22f;
        const float strength = u() * 0.6f + 0.8f;
        append(drop({x, y}, strength));
        nextDrop_ = 2.0f * u() + 2.4f;
    }
    nextStir_ -= dt;
    frame.stepDt = std::min(dt, kMaxStep);
    if (nextStir_ <= 0) {
        const float s = time_ * 0.14f;
        const std::array<float, 2> centre{std::sin(1.7f * s) * 0.3f + 0.5f, std::cos(1.1f * s) * 0.3f + 0.5f};
        const float a = 6.0f * s + u() * 1.5f;
        frame.splats.push_back(
            FluidSim::Splat{FluidSim::Splat::Kind::velocity, centre, {std::cos(a) * 90.0f, std::sin(a) * 90.0f, 0.0f}, 0.036f});
        nextStir_ = u() * 0.9f + 0.7f;
    }
    try {
        sim_->step(frame.splats, frame.stepDt);
        return sim_->makeImage();
    } catch (const std::bad_alloc&) {  // no memory for scratch rows: no image for this frame
        return std::nullopt;
    }
}

}  // namespace murmura
