#include "rendering/styles/popline_extraction.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "rendering/generators.h"
#include "rendering/styles/logical_canvas.h"

namespace murmura::popline {

namespace {

constexpr uint64_t kGamma = kSplitMixGamma;
constexpr double kPi = 3.141592653589793;

// Position-hash tags.
constexpr uint64_t kTagWidth = 29051;
constexpr uint64_t kTagDotSeed = 3335;
constexpr uint64_t kTagDwell = 48881;
constexpr uint64_t kTagTurn = 48874;  // flicks use 48874 + their extra ray count
constexpr uint64_t kTagFlick = 24301;
constexpr uint64_t kTagClick = 49436;
constexpr uint64_t kTagTick = 1820;  // plus the tick counter

constexpr double kCellSize = 130;
constexpr double kMaxJump = 420;      // longer pointer jumps start a new tube
constexpr double kMaxPause = 1.2;     // so do longer pauses (seconds)
constexpr double kMinStep = 5;        // shorter steps add no point
constexpr double kDwellTime = 0.32;   // seconds near one place before a radiate
constexpr double kTurnStep = 16;      // both steps of a sharp turn are longer
constexpr double kTurnCosine = -0.2;  // and turn back by more than this
constexpr double kFlickSpeed = 900;   // units per second
constexpr double kFlickGap = 0.18;    // seconds between flick radiates
constexpr double kHotCell = 19435;    // cell heat above which clicks thin out
constexpr size_t kMaxTubePoints = 600;

Vector operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }

class Extractor {
public:
    Extractor(double lw, double lh, double pointScale)
        : lw_(lw), lh_(lh), map_{lw, lh, pointScale}, heat_(lw, lh, kCellSize), cursor_{0.3 * lw, 0.35 * lh} {}

    void event(const RawEvent& e) {
        switch (e.type) {
            case EventType::mouseMove:
            case EventType::mouseDragged:
                if (e.position) motion(logical(*e.position), e.timestamp);
                break;
            case EventType::mouseDown:
                if (e.mouseButton && *e.mouseButton == 1)
                    emit();
                else if (e.position)
                    click(logical(*e.position), e.timestamp);
                break;
            case EventType::appBecameActive:
            case EventType::appResignedActive: emit(); break;
            case EventType::keyDown:
                if (e.keyCode && !isFunctionalKeyCode(*e.keyCode)) tick();
                break;
            case EventType::mouseUp:
            case EventType::scrollWheel:
            case EventType::keyUp: break;
        }
    }

    std::vector<Element> finish() {
        emit();
        return std::move(out_);
    }

private:
    struct Stroke {
        std::vector<Point> points;
        double width = 0;
    };

    Point logical(Point p) const { return map_(p); }
    double& cellHeat(Point p) { return heat_[p]; }

    // A new stroke at p, which becomes the last point: the event that starts a stroke is
    // complete with that, so no dwell runs from an older time and p is not appended twice.
    void start(Point p, double t) {
        stroke_ = Stroke{{p}, 20 * gen::draw(gen::positionHash(kTagWidth, p) ^ kGamma, 1) + 26};
        prevStep_.reset();
        velocity_ = {};
        anchor_ = p;
        dwellStart_.reset();
        fired_ = false;
        last_ = p;
        lastTime_ = t;
    }

    void emit() {
        if (!stroke_) return;
        if (stroke_->points.size() >= 2) {
            out_.emplace_back(Tube{std::move(stroke_->points), stroke_->width, 0});
        } else if (stroke_->points.size() == 1) {
            const Point p = stroke_->points.front();
            out_.emplace_back(ClickDot{p, stroke_->width / 2, 1, 0, gen::positionHash(kTagDotSeed, p)});
        }
        stroke_.reset();
    }

    void radiate(Point c, int64_t count, double inner, double lenLo, double lenHi, double angle, uint64_t seed,
                 double heat) {
        out_.emplace_back(Radiate{c, count, inner, lenLo, lenHi, 5.5, angle, seed});
        cellHeat(c) += heat;
    }

    void motion(Point p, double t) {
        pointer_ = p;
        if (!stroke_) return start(p, t);
        const Vector step = p - last_;
        const double d = std::hypot(step.dx, step.dy), dt = t - lastTime_;
        if (d > kMaxJump || dt > kMaxPause) {
            emit();
            return start(p, t);
        }
        const double w = stroke_->width;
        if (distance(p, anchor_) < kMinStep) {
            if (!dwellStart_) dwellStart_ = lastTime_;
            if (t - *dwellStart_ > kDwellTime && !fired_) {
                radiate(anchor_, 12, 0.62 * w + 14, 16, 34, 0, gen::positionHash(kTagDwell, anchor_), 825);
                fired_ = true;
            }
        } else {
            anchor_ = p;
            dwellStart_.reset();
            fired_ = false;
        }
        if (d < kMinStep || !(dt > 0)) return;
        if (prevStep_ && prevLength_ > kTurnStep && d > kTurnStep &&
            (prevStep_->dx * step.dx + prevStep_->dy * step.dy) / (prevLength_ * d) < kTurnCosine)
            radiate(last_, 5, 0.55 * w + 6, 12.8, 27.2, std::atan2(step.dy, step.dx), gen::positionHash(kTagTurn, last_),
                    275);
        velocity_ = {0.55 * velocity_.dx + 0.45 * step.dx / dt, 0.55 * velocity_.dy + 0.45 * step.dy / dt};
        if (std::hypot(velocity_.dx, velocity_.dy) > kFlickSpeed && t - lastFlick_ >= kFlickGap) {
            const uint64_t c = gen::rawDraw(gen::positionHash(kTagFlick, p) ^ kGamma, 1) % 5;
            const auto rays = static_cast<int64_t>(5 + c);
            radiate(p, rays, 0.55 * w + 14, 16, 34, std::atan2(velocity_.dy, velocity_.dx),
                    gen::positionHash(kTagTurn + c, p), static_cast<double>(rays) * 68.75);
            lastFlick_ = t;
        }
        stroke_->points.push_back(p);
        cellHeat(p) += d * w * 0.35;
        prevStep_ = step;
        prevLength_ = d;
        last_ = p;
        lastTime_ = t;
        if (stroke_->points.size() >= kMaxTubePoints) {
            // Long strokes are cut; the next one carries on from the same point.
            emit();
            stroke_ = Stroke{{p}, w};
        }
    }

    void click(Point p, double t) {
        pointer_ = p;
        const double heat = cellHeat(p);
        if (!(heat > kHotCell && std::sqrt(kHotCell / heat) <= 0.6)) {
            const uint64_t b = gen::positionHash(kTagClick, p) ^ kGamma;
            const auto kind = static_cast<int64_t>(gen::rawDraw(b, 1) % 3);
            out_.emplace_back(ClickDot{p, (0.4 * gen::draw(b, 2) + 0.85) * 17, kind, 0, gen::positionHash(kTagDotSeed, p)});
            cellHeat(p) += 722.5;
        }
        anchor_ = p;
        dwellStart_ = t;
        fired_ = false;
    }

    // Typing marks gather around the pointer; before it has been seen, around a cursor that
    // wanders over the central 80 % of the canvas.
    void tick() {
        if (!pointer_) {
            heading_ += (2 * gen::draw(typing_, 1) - 1) * 0.8;
            typing_ += 2 * kGamma;
            const double step = 84 * gen::draw(typing_, 0) + 36;
            cursor_.x += step * std::cos(heading_);
            cursor_.y += step * std::sin(heading_);
            if (cursor_.x < 0.1 * lw_ || cursor_.x > 0.9 * lw_) {
                heading_ = kPi - heading_;
                cursor_.x = std::clamp(cursor_.x, 0.1 * lw_, 0.9 * lw_);
            }
            if (cursor_.y < 0.1 * lh_ || cursor_.y > 0.9 * lh_) {
                heading_ = -heading_;
                cursor_.y = std::clamp(cursor_.y, 0.1 * lh_, 0.9 * lh_);
            }
        }
        const Point base = pointer_ ? *pointer_ : cursor_;
        const uint64_t b = gen::positionHash(kTagTick + ticks_, base) ^ kGamma;
        const double distance = 38 * gen::draw(b, 1) + 8, direction = 2 * kPi * gen::draw(b, 2);
        const Point p = map_.clamp({base.x + distance * std::cos(direction), base.y + distance * std::sin(direction)});
        out_.emplace_back(Tick{p, (0.5 * gen::draw(b, 5) + 0.8) * 16, 5, kPi * gen::draw(b, 4), gen::draw(b, 3) < 0.5});
        ++ticks_;
        cellHeat(p) += 80;
    }

    const double lw_, lh_;
    const LogicalMapping map_;
    HeatGrid heat_;
    std::vector<Element> out_;

    std::optional<Stroke> stroke_;
    Point last_;
    double lastTime_ = 0;
    std::optional<Vector> prevStep_;
    double prevLength_ = 0;
    Vector velocity_;
    double lastFlick_ = -10;
    Point anchor_;
    std::optional<double> dwellStart_;
    bool fired_ = false;
    std::optional<Point> pointer_;
    Point cursor_;
    double heading_ = 0.6;
    uint64_t typing_ = 0x9E3779B931A17638ULL;
    uint64_t ticks_ = 0;
};

}  // namespace

std::vector<Element> extract(const std::vector<MaterializedSegment>& segments, double logicalWidth,
                             double logicalHeight, double pointScale) {
    Extractor x(logicalWidth, logicalHeight, pointScale);
    for (const MaterializedSegment& s : segments)
        for (const RawEvent& e : s.segment.events) x.event(e);
    return x.finish();
}

}  // namespace murmura::popline
