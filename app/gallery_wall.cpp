#include "app/gallery_wall.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "support/random.h"

namespace murmura::wall {

double clampedAspect(std::optional<double> aspect) {
    if (!aspect || !std::isfinite(*aspect) || *aspect <= 0) return kFallbackAspect;
    return std::clamp(*aspect, kMinAspect, kMaxAspect);
}

std::optional<double> aspectOf(double width, double height) {
    if (!(width > 0) || !(height > 0)) return std::nullopt;
    return width / height;
}

Size focusedPictureSize(Size wall, double aspect) {
    double width = std::clamp(0.4 * wall.width, 220.0, 440.0);
    double height = width / aspect;
    const double maxHeight = 0.36 * std::max(0.0, wall.height);
    if (height > maxHeight) {
        width *= maxHeight / height;
        height = maxHeight;
    }
    return {width, height};
}

double pitch(Size wall) {
    // The focused picture's widest frame plus a side picture's, at their centres, and a gap.
    return 1.1 * std::clamp(0.4 * wall.width, 220.0, 440.0);
}

Rect pictureRect(Size wall, double position, int index, double aspect) {
    const double offset = index - position;
    const double scale = 1 - (1 - kSideScale) * std::min(std::abs(offset), 1.0);
    const Size focused = focusedPictureSize(wall, aspect);
    const double w = focused.width * scale, h = focused.height * scale;
    const double cx = 0.5 * wall.width + offset * pitch(wall);
    const double cy = kCentreLine * wall.height;
    return {cx - 0.5 * w, cy - 0.5 * h, w, h};
}

int clampFocus(int focus, int count) { return count <= 0 ? 0 : std::clamp(focus, 0, count - 1); }

int focusAfterDrag(int focus, double translation, double pitch, int count) {
    if (count <= 0) return 0;
    const double steps = translation / pitch;
    if (!std::isfinite(steps)) return clampFocus(focus, count);
    const double target = std::clamp(focus - std::round(steps), 0.0, double(count - 1));
    return static_cast<int>(target);
}

double dragPosition(double start, double translation, double pitch, int count) {
    const double last = std::max(0, count - 1);
    const double steps = translation / pitch;
    if (!std::isfinite(steps)) return start;
    const double p = start - steps;
    if (p < 0) return p / 3;
    if (p > last) return last + (p - last) / 3;
    return p;
}

std::array<Point, 4> LightCone::path(const Rect& r) {
    const double midX = r.x + 0.5 * r.width;
    const double top = r.y - 0.04 * r.height, bottom = r.y + 0.66 * r.height;
    return {Point{midX - 0.035 * r.width, top}, Point{midX + 0.035 * r.width, top},
            Point{midX + 0.19 * r.width, bottom}, Point{midX - 0.19 * r.width, bottom}};
}

double springValue(double t, double response, double damping) {
    if (!(t > 0)) return 0;
    const double omega = 2 * std::numbers::pi / response;
    if (damping >= 1) return 1 - std::exp(-omega * t) * (1 + omega * t);
    const double decay = damping * omega;
    const double omegaD = omega * std::sqrt(1 - damping * damping);
    return 1 - std::exp(-decay * t) * (std::cos(omegaD * t) + decay / omegaD * std::sin(omegaD * t));
}

double springSettleTime(double response, double damping) {
    const double omega = 2 * std::numbers::pi / response;
    // Critically damped: e^-x (1 + x) = 0.001 at x = 9.2335.
    if (damping >= 1) return 9.2335 / omega;
    // Underdamped: the deviation stays under its envelope e^(-damping omega t) / sqrt(1 - damping^2).
    return std::log(1000.0 / std::sqrt(1 - damping * damping)) / (damping * omega);
}

std::string durationText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds > kLongestShownDuration) return "—";
    const auto whole = static_cast<long long>(std::llround(seconds));
    return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " sec";
}

std::vector<uint8_t> grainTexture() {
    Lcg64 lcg;
    std::vector<uint8_t> pixels(size_t(kGrainSize) * kGrainSize);
    for (auto& p : pixels) p = static_cast<uint8_t>(96 + 64 * lcg.nextUnit());
    return pixels;
}

std::vector<uint8_t> woodTexture() {
    Lcg64 lcg;
    std::array<double, kWoodHeight> rowOffset{};
    for (double& o : rowOffset) o = (lcg.nextUnit() - 0.5) * 0.18;
    std::vector<uint8_t> pixels(size_t(kWoodWidth) * kWoodHeight * 3);
    uint8_t* p = pixels.data();
    for (int y = 0; y < kWoodHeight; ++y) {
        const double base = 0.55 + 0.25 * std::sin(std::numbers::pi * y / kWoodHeight) + rowOffset[size_t(y)];
        for (int x = 0; x < kWoodWidth; ++x, p += 3) {
            const double v = std::clamp(base + (lcg.nextUnit() - 0.5) * 0.04, 0.2, 1.05);
            p[0] = static_cast<uint8_t>(std::min(255.0, 255 * v));
            p[1] = static_cast<uint8_t>(std::min(255.0, 0.86 * 255 * v));
            p[2] = static_cast<uint8_t>(std::min(255.0, 0.55 * 255 * v));
        }
    }
    return pixels;
}

}  // namespace murmura::wall
