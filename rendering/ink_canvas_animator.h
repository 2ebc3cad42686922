#pragma once
// The onboarding backdrop: sumi ink drops falling onto water at a scripted opening and then at
// random intervals, with a slowly wandering stir keeping the water moving. Independent of
// recorded events; the onboarding screen asks it for one image per frame.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "rendering/rgba_image.h"
#include "rendering/simulation/fluid_sim.h"
#include "support/random.h"

namespace murmura {

class InkCanvasAnimator {
public:
    struct OpeningDrop {
        float t;                  // seconds of animation time
        std::array<float, 2> p;   // canvas-normalised
        float st;                 // strength
    };
    // What one frame applied: its splats and the time step the fluid advanced by.
    struct Frame {
        std::vector<FluidSim::Splat> splats;
        float stepDt = 0;
    };

    static constexpr uint64_t kInitialSeed = 0x5EED1A2B;

    // An animator for a width x height canvas, or nothing when the simulation cannot be made.
    static std::unique_ptr<InkCanvasAnimator> create(int64_t width, int64_t height);
    static FluidSim::Config fluidConfig(int64_t width, int64_t height);

    // Advances the animation by dt seconds and returns the current image, or nothing. A negative
    // or non-finite dt counts as 0.
    std::optional<RgbaImage> nextFrame(float dt);
    // Drops ink at p (a random place when absent) and applies it at once, without advancing the fluid.
    void addDrop(std::optional<std::array<float, 2>> p, float strength);
    // The two splats of one ink drop: dye, then a push in a random direction.
    std::array<FluidSim::Splat, 2> drop(std::array<float, 2> p, float strength);

    float time() const { return time_; }
    float nextDrop() const { return nextDrop_; }
    float nextStir() const { return nextStir_; }
    uint64_t seed() const { return seed_.state(); }
    const std::deque<OpeningDrop>& opening() const { return opening_; }
    const Frame& lastFrame() const { return lastFrame_; }
    const FluidSim& sim() const { return *sim_; }

private:
    explicit InkCanvasAnimator(std::unique_ptr<FluidSim> sim) : sim_(std::move(sim)) {}
    float u() { return seed_.nextUnitFloat(); }

    std::unique_ptr<FluidSim> sim_;
    float nextDrop_ = 2.8f;  // seconds until the first random drop
    float nextStir_ = 1.2f;  // seconds until the first stir
    float time_ = 0;
    SplitMix64 seed_{kInitialSeed};
    std::deque<OpeningDrop> opening_{{0.1f, {0.38f, 0.56f}, 1.35f}, {0.65f, {0.62f, 0.40f}, 1.05f},
                                     {1.4f, {0.5f, 0.64f}, 0.85f}};
    Frame lastFrame_;
};

}  // namespace murmura
