#include "session/synthetic_session.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "support/random.h"

namespace murmura {
namespace {

// Virtual key codes used while typing (ANSI positions).
constexpr uint16_t kLetterKeys[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17,
                                    31, 32, 34, 35, 37, 38, 40, 45, 46};
constexpr uint16_t kSpace = 49, kReturn = 36, kBackspace = 51;
constexpr uint16_t kArrows[] = {123, 124, 125, 126};

class Generator {
public:
    Generator(const SynthOptions& o)
        : options_(o), rng_(o.seed * 0x9E3779B97F4A7C15ULL + 0x5EED), ids_(o.seed ^ 0xC0FFEE1234567ULL) {
        duration_ = std::max(0.0, o.minutes * 60.0);
        // The display holds the window with some room around it, at least a 1920 x 1080 screen.
        display_ = Rect{0, 0, std::max(1920.0, o.window.maxX() + 80), std::max(1080.0, o.window.maxY() + 80)};
        display_.x = std::min(0.0, o.window.x - 80);
        display_.y = std::min(0.0, o.window.y - 80);
        // Most mice report at 125 Hz; some trackpads and older devices nearer 60 Hz.
        const double u = rng_.nextUnit();
        rateHz_ = 125.0 - 65.0 * u * u;
        pointer_ = Point{o.window.x + o.window.width * rng_.uniform(0.3, 0.7),
                         o.window.y + o.window.height * rng_.uniform(0.3, 0.7)};
        t_ = rng_.uniform(0.05, 0.6);
    }

    CaptureResult run() {
        while (t_ < duration_) step();
        std::stable_sort(events_.begin(), events_.end(),
                         [](const RawEvent& a, const RawEvent& b) { return a.timestamp < b.timestamp; });
        std::erase_if(events_, [&](const RawEvent& e) { return e.timestamp > duration_; });
        CaptureResult result;
        result.events = std::move(events_);
        result.duration = duration_;
        result.windowID = options_.windowID;
        result.windowFrame = options_.window;
        return result;
    }

private:
    void step() {
        const double r = rng_.nextUnit();
        if (r < 0.30) {
            moveTo(pickTarget(), false);
            click();
        } else if (r < 0.34) {
            moveTo(pickTarget(), false);
            hover(rng_.uniform(0.3, 2.5));
        } else if (r < 0.56) {
            wander(rng_.uniform(2.0, 12.0));
        } else if (r < 0.62) {
            drag();
        } else if (r < 0.72) {
            moveTo(pickTarget(), false);
            scrollBurst();
            if (rng_.chance(0.5)) wander(rng_.uniform(0.5, 4.0));  // reading while scrolling
        } else if (r < 0.84) {
            if (rng_.chance(0.6)) {
                moveTo(pickTarget(), false);
                click();
            }
            typingBurst();
        } else if (r < 0.90) {
            pause();
        } else {
            excursion();
        }
        t_ += rng_.uniform(0.05, 0.4);  // reaction time between actions
    }

    Point pickTarget() {
        const Rect& w = options_.window;
        // Interfaces cluster targets near edges (toolbars, sidebars) and in the content.
        double fx = rng_.chance(0.2) ? rng_.uniform(0.02, 0.15) : rng_.uniform(0.05, 0.95);
        double fy = rng_.chance(0.25) ? rng_.uniform(0.02, 0.08) : rng_.uniform(0.05, 0.95);
        return Point{w.x + w.width * fx, w.y + w.height * fy};
    }

    // Minimum-jerk reach with a Fitts' law duration, slight curvature, an optional overshoot with
    // a corrective sub-movement, and hand tremor.
    void moveTo(Point target, bool dragging) {
        const double d = distance(pointer_, target);
        if (d < 1.0) return;
        const double targetWidth = rng_.uniform(16, 120);
        double mt = (0.09 + 0.13 * std::log2(d / targetWidth + 1.0)) * rng_.uniform(0.85, 1.2);
        if (rng_.chance(0.3)) {
            const double over = rng_.uniform(0.03, 0.09);
            Point beyond{target.x + (target.x - pointer_.x) * over, target.y + (target.y - pointer_.y) * over};
            reach(beyond, mt, dragging);
            t_ += rng_.uniform(0.03, 0.12);
            reach(target, rng_.uniform(0.12, 0.25), dragging);
        } else {
            reach(target, mt, dragging);
        }
    }

    void reach(Point target, double duration, bool dragging) {
        target = clampToDisplay(target);
        const Point start = pointer_;
        const double dx = target.x - start.x, dy = target.y - start.y;
        const double len = std::hypot(dx, dy);
        const double bow = rng_.uniform(-0.08, 0.08) * len;  // perpendicular curvature
        const double nx = len > 0 ? -dy / len : 0, ny = len > 0 ? dx / len : 0;
        const double t0 = t_;
        double elapsed = 0;
        for (;;) {
            elapsed += samplePeriod();
            const double tau = std::min(elapsed / duration, 1.0);
            const double s = tau * tau * tau * (10 - 15 * tau + 6 * tau * tau);
            const double arc = std::sin(std::numbers::pi * tau) * bow;
            Point p{start.x + dx * s + nx * arc + rng_.nextGaussian() * 0.35,
                    start.y + dy * s + ny * arc + rng_.nextGaussian() * 0.35};
            t_ = t0 + elapsed;
            emitPointer(tau >= 1.0 ? target : p, dragging);
            if (tau >= 1.0 || t_ >= duration_) break;
        }
    }

    double samplePeriod() { return (1.0 / rateHz_) * rng_.uniform(0.9, 1.1); }

    void emitPointer(Point p, bool dragging) {
        p = clampToDisplay(p);
        const Point rounded{std::round(p.x), std::round(p.y)};
        const Point last{std::round(pointer_.x), std::round(pointer_.y)};
        pointer_ = p;
        if (rounded == last) return;  // the pointer device reports only real changes
        RawEvent e = makeEvent(dragging ? EventType::mouseDragged : EventType::mouseMove);
        if (dragging) e.mouseButton = 0;
        events_.push_back(std::move(e));
    }

    void hover(double seconds) {
        const double end = t_ + seconds;
        while (t_ < end && t_ < duration_) {
            t_ += samplePeriod();
            if (rng_.chance(0.35))
                emitPointer(Point{pointer_.x + rng_.nextGaussian() * 0.8, pointer_.y + rng_.nextGaussian() * 0.8},
                            false);
        }
    }

    // Slow, meandering pointer motion while reading or thinking: a smooth random walk of the
    // velocity, continuously reported.
    void wander(double seconds) {
        const double end = t_ + seconds;
        double vx = rng_.nextGaussian() * 150, vy = rng_.nextGaussian() * 150;
        const Rect& w = options_.window;
        while (t_ < end && t_ < duration_) {
            const double dt = samplePeriod();
            t_ += dt;
            vx = 0.97 * vx + rng_.nextGaussian() * 30;
            vy = 0.97 * vy + rng_.nextGaussian() * 30;
            // Drift back towards the window's content when near its edges.
            const Point c{w.x + w.width / 2, w.y + w.height / 2};
            vx += (c.x - pointer_.x) * 0.004;
            vy += (c.y - pointer_.y) * 0.004;
            emitPointer(Point{pointer_.x + vx * dt, pointer_.y + vy * dt}, false);
        }
    }

    void press(int64_t button) {
        RawEvent down = makeEvent(EventType::mouseDown);
        down.mouseButton = button;
        events_.push_back(std::move(down));
        t_ += rng_.uniform(0.06, 0.14);
        RawEvent up = makeEvent(EventType::mouseUp);
        up.mouseButton = button;
        events_.push_back(std::move(up));
    }

    void click() {
        const int64_t button = rng_.chance(0.06) ? 1 : 0;
        press(button);
        if (button == 0 && rng_.chance(0.15)) {
            t_ += rng_.uniform(0.07, 0.16);
            press(0);
        }
    }

    void drag() {
        moveTo(pickTarget(), false);
        RawEvent down = makeEvent(EventType::mouseDown);
        down.mouseButton = 0;
        events_.push_back(std::move(down));
        t_ += rng_.uniform(0.08, 0.2);
        const int legs = rng_.chance(0.3) ? 2 + static_cast<int>(rng_.below(3)) : 1;
        for (int i = 0; i < legs; ++i) {
            moveTo(pickTarget(), true);
            if (i + 1 < legs) t_ += rng_.uniform(0.05, 0.4);
        }
        t_ += rng_.uniform(0.05, 0.15);
        RawEvent up = makeEvent(EventType::mouseUp);
        up.mouseButton = 0;
        events_.push_back(std::move(up));
    }

    void scrollBurst() {
        const int notches = 3 + static_cast<int>(rng_.below(23));
        const double sign = rng_.chance(0.7) ? -1.0 : 1.0;  // mostly scrolling down the page
        const bool horizontal = rng_.chance(0.08);
        for (int i = 0; i < notches && t_ < duration_; ++i) {
            RawEvent e = makeEvent(EventType::scrollWheel);
            e.delta = horizontal ? Vector{sign * 10.0, 0} : Vector{0, sign * 10.0};
            events_.push_back(std::move(e));
            t_ += rng_.chance(0.1) ? rng_.uniform(0.2, 0.6) : rng_.uniform(0.015, 0.08);
        }
    }

    void key(uint16_t code) {
        RawEvent down = makeEvent(EventType::keyDown);
        down.keyCode = code;
        RawEvent up = down;
        up.id = Uuid::random(ids_);
        up.type = EventType::keyUp;
        up.timestamp = roundTime(t_ + rng_.uniform(0.06, 0.13));  // overlaps the next key when typing fast
        events_.push_back(std::move(down));
        events_.push_back(std::move(up));
        // Inter-key intervals are log-normal around 160 ms.
        t_ += std::clamp(0.16 * std::exp(0.45 * rng_.nextGaussian()), 0.04, 1.5);
    }

    void typingBurst() {
        const int keys = 5 + static_cast<int>(rng_.below(56));
        int word = 3 + static_cast<int>(rng_.below(6));
        for (int i = 0; i < keys && t_ < duration_; ++i) {
            const double r = rng_.nextUnit();
            if (r < 0.05) {
                const int n = 1 + static_cast<int>(rng_.below(5));
                for (int k = 0; k < n; ++k) key(kBackspace);
            } else if (r < 0.07) {
                key(kArrows[rng_.below(4)]);
            } else if (r < 0.10) {
                key(kReturn);
                t_ += rng_.uniform(0.2, 1.5);
            } else if (--word <= 0) {
                key(kSpace);
                word = 2 + static_cast<int>(rng_.below(8));
            } else {
                key(kLetterKeys[rng_.below(std::size(kLetterKeys))]);
            }
            if (rng_.chance(0.02)) t_ += rng_.uniform(0.5, 3.0);  // thinking mid-sentence
        }
    }

    void pause() {
        // Mostly short, sometimes long: log-normal around 1.5 s, capped at 45 s.
        t_ += std::clamp(1.5 * std::exp(1.1 * rng_.nextGaussian()), 0.2, 45.0);
    }

    void excursion() {
        const Rect& w = options_.window;
        Point outside;
        for (int tries = 0; tries < 8; ++tries) {
            outside = Point{rng_.uniform(display_.x, display_.maxX() - 1), rng_.uniform(display_.y, display_.maxY() - 1)};
            if (!w.contains(outside)) break;
        }
        moveTo(outside, false);
        if (rng_.chance(0.6)) click();
        if (rng_.chance(0.3)) scrollBurst();
        hover(rng_.uniform(0.5, 4.0));
        moveTo(pickTarget(), false);
    }

    RawEvent makeEvent(EventType type) {
        RawEvent e;
        e.id = Uuid::random(ids_);
        e.timestamp = roundTime(t_);
        e.type = type;
        e.position = Point{std::round(pointer_.x), std::round(pointer_.y)};
        e.inScope = options_.window.contains(*e.position);
        e.windowID = options_.windowID;
        return e;
    }

    static double roundTime(double t) { return std::round(t * 1e6) / 1e6; }

    Point clampToDisplay(Point p) const {
        return Point{std::clamp(p.x, display_.x, display_.maxX() - 1), std::clamp(p.y, display_.y, display_.maxY() - 1)};
    }

    SynthOptions options_;
    SplitMix64 rng_;
    SplitMix64 ids_;  // identifiers come from their own stream so they never perturb behaviour
    double duration_ = 0;
    Rect display_;
    double rateHz_ = 100;
    Point pointer_;
    double t_ = 0;
    std::vector<RawEvent> events_;
};

}  // namespace

CaptureResult synthesizeSession(const SynthOptions& options) { return Generator(options).run(); }

}  // namespace murmura
