#include "rendering/styles/graffo_extraction.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <optional>

#include "rendering/generators.h"
#include "rendering/styles/logical_canvas.h"

namespace murmura::graffo {

int64_t layerOf(const Element& element) {
    return std::visit([](const auto& e) { return e.layer; }, element);
}

namespace {

constexpr uint64_t kGamma = kSplitMixGamma;
constexpr double kTwoPi = 6.283185307179586;

// Position-hash tags.
constexpr uint64_t kTagDragRun = 1958;
constexpr uint64_t kTagRun = 45297;
constexpr uint64_t kTagBurstDir = 40219;
constexpr uint64_t kTagBurstSeed = 12245589;
constexpr uint64_t kTagKnot = 19975;
constexpr uint64_t kTagTick = 29132;

constexpr double kMaxWeight = 5.2;
constexpr double kCellSize = 110;
constexpr double kCrowdedCell = 7502;        // cell heat above which marks thin out
constexpr double kCrowdedMinute = 150000;    // minute heat above which marks thin out
constexpr double kMaxJump = 360;             // longer pointer jumps start a new scrawl
constexpr double kMaxGap = 1.5;              // so do longer pauses (seconds)
constexpr double kHoldRadius = 4.5;
constexpr double kHoldTime = 0.32;
constexpr double kLayerPause = 45;
constexpr size_t kMaxRunPoints = 600;

// Modifier codes 54-63: right command, command, shift, caps lock, option, control, right
// shift, right option, right control, function.
constexpr uint16_t kFirstModifier = 54;
constexpr uint16_t kLastModifier = 63;

struct PigmentChoice {
    Pigment pigment;
    bool graphite = false;
};

PigmentChoice choosePigment(uint64_t v) {
    const uint64_t s = v ^ 0xC225D220015A38C4ULL;
    if (gen::draw(s, 1) < 0.14) return {kGraphite, true};
    return {kPigmentPalette[gen::rawDraw(s, 2) & 7], false};
}

// Whole minutes of a timestamp, truncated like an integer conversion; saturated so absurd
// timestamps cannot overflow.
int64_t minuteIndex(double t) {
    const double m = t / 60;
    if (!(m > -1e15)) return std::isnan(m) ? 0 : -1000000000000000;
    if (m > 1e15) return 1000000000000000;
    return static_cast<int64_t>(m);
}

Vector operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Vector operator*(double s, Vector v) { return {s * v.dx, s * v.dy}; }
Vector operator+(Vector a, Vector b) { return {a.dx + b.dx, a.dy + b.dy}; }
Vector operator-(Vector a, Vector b) { return {a.dx - b.dx, a.dy - b.dy}; }
double length(Vector v) { return std::hypot(v.dx, v.dy); }

class Extractor {
public:
    Extractor(double lw, double lh, double pointScale)
        : lw_(lw), lh_(lh), map_{lw, lh, pointScale}, heat_(lw, lh, kCellSize), cursor_{0.3 * lw, 0.4 * lh} {}

    void event(const RawEvent& e) {
        endTime_ = sawEvent_ ? std::max(endTime_, e.timestamp) : e.timestamp;
        sawEvent_ = true;
        const double t = e.timestamp;
        switch (e.type) {
            case EventType::mouseMove:
            case EventType::mouseDragged:
                if (e.position) motion(logical(*e.position), t);
                break;
            case EventType::mouseDown:
                if (e.position && counts(e)) mouseDown(logical(*e.position), t);
                break;
            case EventType::mouseUp:
                if (counts(e) && buttonDown_) {
                    if (e.position) pointer_ = logical(*e.position);
                    endHold(t);
                    emitRun();
                    buttonDown_ = false;
                    fresh_ = true;
                }
                break;
            case EventType::scrollWheel: break;
            case EventType::appBecameActive:
            case EventType::appResignedActive:
                newLayer_ = true;
                endHold(t);
                emitRun();
                buttonDown_ = false;
                fresh_ = true;
                break;
            case EventType::keyDown:
                if (e.keyCode) key(*e.keyCode, t);
                break;
            case EventType::keyUp:
                if (e.keyCode && isModifier(*e.keyCode)) held_.reset(*e.keyCode - kFirstModifier);
                break;
        }
    }

    Extraction finish() {
        // A hold still running counts up to the last pointer sample.
        if (!fresh_) endHold(lastTime_);
        emitRun();
        out_.endTime = sawEvent_ ? endTime_ : 0;
        out_.deleteFade = deleteFade_;
        return std::move(out_);
    }

private:
    struct Run {
        std::vector<Point> points;
        std::vector<double> weights;
        std::vector<double> grain;
        int64_t layer = 0;
        bool drag = false;
        Pigment pigment;
        bool graphite = false;
        uint64_t seed = 0;
        double firstTime = 0;
        double lastTime = 0;
    };

    static bool isModifier(uint16_t code) { return code >= kFirstModifier && code <= kLastModifier; }
    // The secondary button (1) neither bursts nor lifts the button state.
    static bool counts(const RawEvent& e) { return !e.mouseButton || *e.mouseButton != 1; }
    bool isHeld(uint16_t code) const { return held_.test(code - kFirstModifier); }
    bool lightHand() const { return isHeld(56) || isHeld(60); }  // shift or right shift
    bool heavyHand() const { return isHeld(58) || isHeld(61); }  // option or right option

    Point logical(Point p) const { return map_(p); }
    Point clampPoint(Point p) const { return map_.clamp(p); }

    double edgeSmooth(Point p) const {
        const double m = std::min({p.x, p.y, lw_ - 1 - p.x, lh_ - 1 - p.y});
        return gen::smooth(std::clamp(m / (0.04 * std::min(lw_, lh_)), 0.0, 1.0));
    }
    double& cellHeat(Point p) { return heat_[p]; }
    double minuteFactor(double t) const {
        auto it = minuteHeat_.find(minuteIndex(t));
        const double h = it == minuteHeat_.end() ? 0.0 : it->second;
        return h <= kCrowdedMinute ? 1.0 : std::max(std::sqrt(kCrowdedMinute / h), 0.5);
    }

    void noteLayerTime(int64_t layer, double t) {
        auto [it, inserted] = out_.layers.try_emplace(layer, LayerTimes{t, t});
        if (!inserted) {
            it->second.first = std::min(it->second.first, t);
            it->second.last = std::max(it->second.last, t);
        }
    }

    void applyLayerRule(double t) {
        if (newLayer_ || (lastMarkStart_ >= 0 && t - lastMarkStart_ >= kLayerPause)) {
            if (lastMarkStart_ >= 0) ++layer_;
            newLayer_ = false;
        }
        lastMarkStart_ = t;
    }

    // Centred noise of unit-ish variance from four draws of the run's random state.
    double noise() {
        const double sum = gen::draw(rng_, 1) + gen::draw(rng_, 2) + gen::draw(rng_, 3) + gen::draw(rng_, 4);
        rng_ += 4 * kGamma;
        return (sum - 2) * 1.732;
    }

    void startRun(Point p, double t) {
        applyLayerRule(t);
        run_ = Run{};
        run_->drag = buttonDown_;
        run_->layer = layer_;
        run_->seed = gen::positionHash(buttonDown_ ? kTagDragRun : kTagRun, p);
        const PigmentChoice choice = choosePigment(run_->seed);
        run_->pigment = choice.pigment;
        run_->graphite = choice.graphite;
        run_->firstTime = run_->lastTime = t;
        rng_ = run_->seed ^ kGamma;
        gn_ = 0.4 * noise();
        pn_ = 0.2 * noise();
        pen_ = p;

        double base = lightHand() ? 3.744 : kMaxWeight;
        if (heavyHand()) base *= 1.45;
        if (buttonDown_) base *= 1.22;
        const double heat = cellHeat(p);
        const double density = heat > kCrowdedCell ? std::max(std::sqrt(kCrowdedCell / heat), 0.42) : 1.0;
        const double w = (0.6 * edgeSmooth(p) + 0.4) * base * density * minuteFactor(t);
        append(p, w > 1 ? std::min(w, kMaxWeight) * 0.8 : 0.8, 0.7, t);
    }

    double sampleWeight(Point p, double v, double t) {
        double w = std::exp(-std::pow(std::max(v, 0.0) / 230, 0.8)) * 4.2 + 1;
        if (lightHand()) w *= 0.72;
        if (heavyHand()) w *= 1.45;
        const double heat = cellHeat(p);
        if (heat > kCrowdedCell) w *= std::sqrt(kCrowdedCell / heat);
        if (buttonDown_) w *= 1.22;
        w *= 0.6 * edgeSmooth(p) + 0.4;
        w *= minuteFactor(t);
        return std::clamp(w, 1.0, kMaxWeight);
    }

    void append(Point p, double weight, double grain, double t) {
        run_->points.push_back(p);
        run_->weights.push_back(weight);
        run_->grain.push_back(grain);
        run_->lastTime = t;
    }

    void emitRun() {
        if (!run_) return;
        if (run_->points.size() >= 2) {
            noteLayerTime(run_->layer, run_->firstTime);
            noteLayerTime(run_->layer, run_->lastTime);
            out_.elements.emplace_back(Scrawl{std::move(run_->points), std::move(run_->weights),
                                              std::move(run_->grain), run_->layer, run_->drag, run_->pigment,
                                              run_->graphite, run_->seed});
        }
        run_.reset();
    }

    void addTravel(Point q, Point p, double d, double dt, double v, double t) {
        if (!run_) return;
        const int64_t n = std::clamp<int64_t>(static_cast<int64_t>(d / 9), 1, 32);
        const double step = d / static_cast<double>(n);
        const double follow = std::exp(-(dt / static_cast<double>(n)) / 0.04);
        const double rhoP = std::exp(-step / 60);
        const double rhoG = std::exp(-step / 34);
        const double grainGain = length(vc_) / 600 + 1;
        for (int64_t j = 1; j <= n; ++j) {
            const double f = static_cast<double>(j) / static_cast<double>(n);
            const Point target{q.x + (p.x - q.x) * f, q.y + (p.y - q.y) * f};
            pen_ = {pen_.x + (1 - follow) * (target.x - pen_.x), pen_.y + (1 - follow) * (target.y - pen_.y)};
            pn_ = rhoP * pn_ + std::sqrt(1 - rhoP * rhoP) * noise();
            const double pressure = std::clamp(std::exp(0.11 * pn_), 0.8, 1.25);
            const double weight = std::clamp(sampleWeight(pen_, v, t) * pressure, 0.4, 8.5);
            gn_ = rhoG * gn_ + grainGain * std::sqrt(1 - rhoG * rhoG) * noise() * 0.55;
            const double grain = (std::tanh(gn_) * 0.5 + 0.5) * 0.38 + 0.62;
            append(pen_, weight, grain, t);
            if (run_->points.size() >= kMaxRunPoints) {
                // Long runs are cut; the next one carries on from the same point.
                Run next;
                next.layer = run_->layer;
                next.drag = run_->drag;
                next.pigment = run_->pigment;
                next.graphite = run_->graphite;
                next.seed = run_->seed;
                next.firstTime = t;
                emitRun();
                run_ = std::move(next);
                append(pen_, weight, grain, t);
            }
        }
        const double deposit = d * run_->weights.back();
        cellHeat(p) += deposit;
        minuteHeat_[minuteIndex(t)] += deposit;
    }

    // Turns a hold running since holdStart_ into a knot at the anchor when it lasted long enough.
    void endHold(double t) {
        if (holdStart_) {
            const double h = t - *holdStart_;
            if (h > kHoldTime) addKnot(h, t);
        }
        holdStart_.reset();
        holding_ = false;
    }

    void addKnot(double h, double t) {
        const Point c = anchor_;
        double radius = std::min(std::sqrt(h) * 11 + 9, 46.0) * (0.6 * edgeSmooth(c) + 0.4);
        int64_t loops = static_cast<int64_t>(std::min(std::sqrt(h) * 9 + 3, 46.0));
        const double area = 3.141592653589793 * radius * radius;
        // Past a tenth of the canvas, knots shrink instead of covering it.
        if (knotArea_ + area > 0.1 * lw_ * lh_) {
            radius *= 0.55;
            loops = loops < 6 ? 3 : loops / 2;
        } else {
            knotArea_ += area;
        }
        const uint64_t seed = gen::positionHash(kTagKnot, c);
        out_.elements.emplace_back(Knot{c, radius, loops, layer_, choosePigment(seed).pigment, seed});
        noteLayerTime(layer_, t);
        cellHeat(c) += 0.5 * area;
        minuteHeat_[minuteIndex(t)] += 0.4 * area;
    }

    void restartTrack(Point p, double t) {
        startRun(p, t);
        anchor_ = p;
        holdStart_.reset();
        holding_ = false;
        firstStep_ = true;
    }

    void motion(Point p, double t) {
        if (fresh_) {
            restartTrack(p, t);
            fresh_ = false;
        } else {
            const double dt = t - lastTime_;
            if (dt <= 0) {
                pointer_ = p;
                lastPoint_ = p;
                return;
            }
            const Point q = lastPoint_;
            const Vector delta = p - q;
            const double d = length(delta);
            if (dt <= kMaxGap && d <= kMaxJump) {
                const Vector velocity = (1 / dt) * delta;
                vc_ = 0.4 * velocity + 0.6 * vc_;
                if (firstStep_) {
                    speed_ = 0.35 * d / dt;
                    vs_ = 0.35 * velocity;
                    firstStep_ = false;
                } else {
                    speed_ += (1 - std::exp(-dt / 0.32)) * (d / dt - speed_);
                    vs_ = vs_ + (1 - std::exp(-dt / 0.07)) * (velocity - vs_);
                }
                const double v = std::min(length(vs_), speed_);
                if (length(p - anchor_) >= kHoldRadius) {
                    const bool wasHolding = holding_;
                    endHold(t);
                    anchor_ = p;
                    if (wasHolding) startRun(q, t);  // the hold emptied the run
                } else if (!holdStart_) {
                    holdStart_ = t;
                } else if (!holding_ && t - *holdStart_ > kHoldTime) {
                    holding_ = true;
                    emitRun();
                }
                if (d > 0.01 && !holding_) addTravel(q, p, d, dt, v, t);
            } else {
                endHold(t);
                emitRun();
                restartTrack(p, t);
            }
        }
        pointer_ = p;
        lastPoint_ = p;
        lastTime_ = t;
    }

    void mouseDown(Point p, double t) {
        emitRun();
        fresh_ = true;
        holdStart_.reset();
        holding_ = false;
        buttonDown_ = true;
        ++clicks_;
        applyLayerRule(t);
        pointer_ = p;
        const double dir = length(vc_) > 1.0
                               ? std::atan2(vc_.dy, vc_.dx)
                               : kTwoPi * gen::draw(gen::positionHash(kTagBurstDir, p) ^ kGamma, 1);
        out_.elements.emplace_back(Burst{p, dir, layer_, clicks_ % 5, gen::positionHash(kTagBurstSeed, p)});
        noteLayerTime(layer_, t);
        cellHeat(p) += 93.5;
        minuteHeat_[minuteIndex(t)] += 74.8;
    }

    void key(uint16_t code, double t) {
        if (isModifier(code)) {
            held_.set(code - kFirstModifier);
        } else if (code == 36 || code == 76) {  // Return, keypad Enter
            newLayer_ = true;
        } else if (code == 53) {  // Escape
        } else if (code == 51 || code == 117) {  // delete keys fade older layers
            deleteFade_ = std::min(deleteFade_ + 0.005, 0.06);
        } else {
            tick(t);
        }
    }

    // Unit value of the next draw of the typing state.
    double typingDraw() {
        typing_ += kGamma;
        return gen::draw(typing_, 0);
    }

    void tick(double t) {
        applyLayerRule(t);
        Point base;
        if (pointer_) {
            base = *pointer_;
        } else {
            // Without a pointer, typing wanders across the middle of the canvas.
            heading_ += (2 * typingDraw() - 1) * 0.8;
            const double step = 70 * typingDraw() + 26;
            cursor_.x += step * std::cos(heading_);
            cursor_.y += step * std::sin(heading_);
            if (cursor_.x < 0.12 * lw_ || cursor_.x > 0.88 * lw_) {
                heading_ = 3.141592653589793 - heading_;
                cursor_.x = std::clamp(cursor_.x, 0.12 * lw_, 0.88 * lw_);
            }
            if (cursor_.y < 0.12 * lh_ || cursor_.y > 0.88 * lh_) {
                heading_ = -heading_;
                cursor_.y = std::clamp(cursor_.y, 0.12 * lh_, 0.88 * lh_);
            }
            base = cursor_;
        }
        const uint64_t b = typing_;
        const double r = 30 * gen::draw(b, 1) * gen::draw(b, 2);
        const double a = kTwoPi * gen::draw(b, 3);
        const Point from = clampPoint({base.x + r * std::cos(a), base.y + r * std::sin(a)});
        const double len = 16 * gen::draw(b, 4) + 6;
        const double bend = a + (2 * gen::draw(b, 5) - 1) * 1.4;
        const Point to = clampPoint({from.x + len * std::cos(bend), from.y + len * std::sin(bend)});
        typing_ = b + 6 * kGamma;
        const double weight = (1.4 * gen::draw(typing_, 0) + 1.0) * (0.5 * edgeSmooth(from) + 0.5);
        out_.elements.emplace_back(
            Tick{from, to, weight, layer_, choosePigment(gen::positionHash(kTagTick, from)).pigment});
        noteLayerTime(layer_, t);
        cellHeat(from) += len * weight;
    }

    const double lw_, lh_;
    const LogicalMapping map_;
    HeatGrid heat_;
    std::map<int64_t, double> minuteHeat_;

    std::optional<Run> run_;  // the scrawl being built
    uint64_t rng_ = 0;        // the run's random state
    double gn_ = 0;           // grain noise
    double pn_ = 0;           // pressure noise
    Point pen_;               // smoothed pen position
    bool fresh_ = true;       // the next motion starts a run
    Point lastPoint_;
    double lastTime_ = 0;
    std::optional<Point> pointer_;  // last pointer position, for typing
    bool firstStep_ = true;
    double speed_ = 0;  // smoothed scalar speed
    Vector vs_;         // smoothed velocity
    Vector vc_;         // click velocity
    bool buttonDown_ = false;
    Point anchor_;
    std::optional<double> holdStart_;
    bool holding_ = false;
    int64_t layer_ = 0;
    double lastMarkStart_ = -1;
    bool newLayer_ = false;
    std::bitset<kLastModifier - kFirstModifier + 1> held_;
    int64_t clicks_ = 0;
    Point cursor_;
    double heading_ = 0.6;
    uint64_t typing_ = 0x9E3779B9735022F8ULL;
    double knotArea_ = 0;
    double deleteFade_ = 0;
    double endTime_ = 0;
    bool sawEvent_ = false;
    Extraction out_;
};

}  // namespace

Extraction extract(const std::vector<MaterializedSegment>& segments, double logicalWidth, double logicalHeight,
                   double pointScale) {
    Extractor x(logicalWidth, logicalHeight, pointScale);
    for (const MaterializedSegment& s : segments)
        for (const RawEvent& e : s.segment.events) x.event(e);
    return x.finish();
}

}  // namespace murmura::graffo
