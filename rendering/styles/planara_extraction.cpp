#include "rendering/styles/planara_extraction.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <optional>

#include "rendering/generators.h"

namespace murmura::planara {

double unitHash(int64_t n) { return gen::fract(std::sin(static_cast<double>(n) * 12.9898 + 4.1414) * 43758.5453); }

namespace {

constexpr double kMinRun = 0.06;         // shorter sweeps propose nothing
constexpr double kLongRun = 0.12;        // longer ones also tally their ends and leave tension points
constexpr double kAxisDecision = 0.015;  // travel before a run's direction is decided
constexpr double kHistorySpan = 0.22;    // seconds of samples kept for the turn test
constexpr double kTurnWindow = 0.132;
constexpr double kDwellRadiusSq = 6.781684027777777e-6;  // (1/384)^2
constexpr double kMinDwell = 0.2;
constexpr double kBurstGap = 1.5;

bool isModifier(uint16_t code) { return code >= 54 && code <= 63; }

struct Sample {
    double t, x, y;
};

struct Tally {
    int64_t count = 0;
    double lo = 0;
    double hi = 0;
};

class Extractor {
public:
    Extractor(double width, double height) : width_(width), height_(height) {}

    void visit(const RawEvent& e) {
        if (!e.inScope) return;
        endTime_ = std::max(endTime_, e.timestamp);
        switch (e.type) {
            case EventType::mouseMove:
            case EventType::mouseDragged:
                if (e.position) motion(e.timestamp, normalised(*e.position));
                break;
            case EventType::mouseDown:
                if (isPrimary(e)) primaryDown(e);
                else secondaryDown(e.timestamp);
                break;
            case EventType::mouseUp:
                if (isPrimary(e)) primaryUp(e.timestamp);
                break;
            case EventType::scrollWheel:
                scrollSum_ += e.delta ? e.delta->dy : 0.0;
                quantum_ = std::clamp(0.05 + 2e-5 * scrollSum_, 0.04, 0.08);
                break;
            case EventType::keyDown: keyDown(e); break;
            case EventType::keyUp:
                if (e.keyCode && isModifier(*e.keyCode)) held_.erase(*e.keyCode);
                break;
            case EventType::appBecameActive: nextRound(); break;
            case EventType::appResignedActive:
                emitRun();
                flushDwell(e.timestamp);
                nextRound();
                break;
        }
    }

    ExtractionResult finish() {
        emitRun();
        flushDwell(endTime_);
        flushBurst();
        out_.rounds = round_;
        return std::move(out_);
    }

private:
    struct Run {
        double startTime = 0;
        Point start;
        bool startedPressed = false;
        std::optional<Axis> axis;
        double lo = 0, hi = 0, clo = 0, chi = 0;  // along- and cross-extent
        double path = 0;
        Point prev;
        std::deque<Sample> history;
    };
    struct Anchor {
        Point p;
        double t;
    };

    static bool isPrimary(const RawEvent& e) { return !e.mouseButton || *e.mouseButton < 1; }

    Point normalised(Point p) const { return {gen::clamp01(p.x / width_), gen::clamp01(p.y / height_)}; }

    void nextRound() {
        ++round_;
        primarySeen_ = false;
    }

    void startRun(double t, Point p) {
        run_ = Run{};
        run_->startTime = t;
        run_->start = p;
        run_->startedPressed = pressed_;
        run_->prev = p;
        run_->history.push_back({t, p.x, p.y});
    }

    // Ends the current run, proposing its line when it is long enough; the state becomes fresh.
    void emitRun() {
        std::optional<Run> run = std::move(run_);
        run_.reset();
        if (!run || !run->axis) return;
        const double length = run->hi - run->lo;
        if (length < kMinRun) return;
        const double mean = (run->clo + run->chi) / 2;
        const double duration = std::max(run->history.back().t - run->startTime, 1.0 / 60);
        const double speed = run->path / duration;
        const double weight = run->startedPressed ? 1.0 : 0.6;
        SplitProposal p;
        p.axis = *run->axis;
        p.coord = gen::clamp01(quantum_ * std::round(mean / quantum_));
        p.spanLo = run->lo;
        p.spanHi = run->hi;
        p.rank = weight * (std::min(0.9 * length, 0.3) + 0.45 + std::max(0.35 - 0.7 * speed, 0.0));
        p.round = round_;
        out_.ops.emplace_back(p);
        out_.sweepTravel += length;
        if (length < kLongRun) return;
        tally(*run->axis, run->lo, mean);
        tally(*run->axis, run->hi, mean);
        if (*run->axis == Axis::horizontal) {
            out_.tensionPoints.push_back({run->lo, mean});
            out_.tensionPoints.push_back({run->hi, mean});
        } else {
            out_.tensionPoints.push_back({mean, run->lo});
            out_.tensionPoints.push_back({mean, run->hi});
        }
    }

    // Runs whose ends gather in one cell propose a line across them at every third arrival.
    void tally(Axis runAxis, double end, double cross) {
        if (!(end > 0.04 && end < 0.96)) return;
        const auto cell = static_cast<int64_t>(std::round(end / 0.05));
        Tally& t = tallies_[runAxis == Axis::horizontal ? 0 : 1][cell];
        if (t.count == 0) {
            t = {1, cross, cross};
        } else {
            t = {t.count + 1, std::min(t.lo, cross), std::max(t.hi, cross)};
        }
        if (t.count % 3 != 0) return;
        SplitProposal p;
        p.axis = runAxis == Axis::horizontal ? Axis::vertical : Axis::horizontal;
        p.coord = gen::clamp01(static_cast<double>(cell) * 0.05);
        p.spanLo = std::max(t.lo - 0.08, 0.0);
        p.spanHi = std::min(t.hi + 0.08, 1.0);
        p.rank = 0.5 + std::min(static_cast<double>(t.count - 3) * 0.05, 0.2);
        p.round = round_;
        out_.ops.emplace_back(p);
    }

    void dwellCandidate(double d) {
        out_.candidates.push_back({anchor_->p.x, anchor_->p.y, 1 + std::min(0.5 * d, 2.0), round_, true, d});
    }

    void flushDwell(double t) {
        if (anchor_ && t - anchor_->t >= kMinDwell) dwellCandidate(t - anchor_->t);
        anchor_.reset();
    }

    void motion(double t, Point p) {
        if (pressed_) {
            if (!anchor_) {
                anchor_ = Anchor{p, t};
            } else {
                const double dx = p.x - anchor_->p.x, dy = (p.y - anchor_->p.y) * height_ / width_;
                if (dx * dx + dy * dy > kDwellRadiusSq) {
                    if (t - anchor_->t >= kMinDwell) dwellCandidate(t - anchor_->t);
                    anchor_ = Anchor{p, t};
                }
            }
        }
        if (!run_) {
            startRun(t, p);
            return;
        }
        Run& r = *run_;
        r.path += distance(r.prev, p);
        r.prev = p;
        r.history.push_back({t, p.x, p.y});
        while (r.history.size() > 1 && t - r.history.front().t > kHistorySpan) r.history.pop_front();

        if (!r.axis) {
            const double dx = std::abs(p.x - r.start.x), dy = std::abs(p.y - r.start.y);
            if (std::max(dx, dy) < kAxisDecision) return;
            r.axis = dy <= dx ? Axis::horizontal : Axis::vertical;
            const bool h = *r.axis == Axis::horizontal;
            const double a0 = h ? r.start.x : r.start.y, a1 = h ? p.x : p.y;
            const double c0 = h ? r.start.y : r.start.x, c1 = h ? p.y : p.x;
            r.lo = std::min(a0, a1);
            r.hi = std::max(a0, a1);
            r.clo = std::min(c0, c1);
            r.chi = std::max(c0, c1);
            return;
        }
        const bool h = *r.axis == Axis::horizontal;
        const double along = h ? p.x : p.y, across = h ? p.y : p.x;
        r.lo = std::min(r.lo, along);
        r.hi = std::max(r.hi, along);
        r.clo = std::min(r.clo, across);
        r.chi = std::max(r.chi, across);
        const double length = r.hi - r.lo, cross = r.chi - r.clo;
        bool cut = cross > std::max(0.6 * length, 0.12);
        if (!cut && t - r.history.front().t >= kTurnWindow) {
            const Sample& o = r.history.front();
            const double a = std::abs(h ? p.y - o.y : p.x - o.x);
            const double b = std::abs(h ? p.x - o.x : p.y - o.y);
            cut = a > 0.022 && 1.2 * b < a;
        }
        if (cut) {
            emitRun();
            startRun(t, p);
        }
    }

    void primaryDown(const RawEvent& e) {
        if (!e.position) {
            pressed_ = true;
            return;
        }
        const Point p = normalised(*e.position);
        emitRun();
        pressed_ = true;
        startRun(e.timestamp, p);
        anchor_ = Anchor{p, e.timestamp};
        primarySeen_ = true;
    }

    void primaryUp(double t) {
        if (pressed_) emitRun();
        flushDwell(t);
        pressed_ = false;
    }

    void secondaryDown(double t) {
        out_.whiteBiasRounds.insert(round_);
        flushDwell(t);
        if (primarySeen_) nextRound();
    }

    void keyDown(const RawEvent& e) {
        if (!e.keyCode) {
            characterKey(e.timestamp);
            return;
        }
        const uint16_t code = *e.keyCode;
        Point& bias = out_.balanceBias;
        switch (code) {
            case 36:
            case 53:
            case 76:
                emitRun();
                flushDwell(e.timestamp);
                nextRound();
                return;
            case 51:
            case 117: out_.ops.emplace_back(MergeStep{round_}); return;
            case 123: bias.x = std::max(bias.x - 0.02, -0.1); return;
            case 124: bias.x = std::min(bias.x + 0.02, 0.1); return;
            case 125: bias.y = std::min(bias.y + 0.02, 0.1); return;
            case 126: bias.y = std::max(bias.y - 0.02, -0.1); return;
            default: break;
        }
        if (isModifier(code)) held_.insert(code);
        else characterKey(e.timestamp);
    }

    void characterKey(double t) {
        ++out_.charKeyCount;
        if (burstKeys_ > 0 && t - lastKeyTime_ > kBurstGap) flushBurst();
        ++burstKeys_;
        if (held_.contains(56) || held_.contains(60)) shift_ = true;
        if (held_.contains(55) || held_.contains(54)) command_ = true;
        lastKeyTime_ = t;
    }

    // A burst of typing marks one to three hashed places for colour.
    void flushBurst() {
        const int64_t n = burstKeys_;
        if (n <= 0) return;
        const int64_t k = n > 4 ? std::min<int64_t>(n / 8, 2) : 0;
        double priority = n > 4 ? 0.55 : 0.8;
        if (shift_) priority *= 0.3;
        if (command_) priority *= 1.3;
        for (int64_t i = 0; i <= k; ++i) {
            const int64_t j = 3 * burstIndex_ + i;
            const double x = unitHash(2 * j + 1) * 0.7 + 0.15, y = unitHash(2 * j + 2) * 0.7 + 0.15;
            out_.candidates.push_back({x, y, priority, round_, false, 0});
        }
        ++burstIndex_;
        burstKeys_ = 0;
        shift_ = command_ = false;
    }

    double width_, height_;
    ExtractionResult out_;
    int64_t round_ = 0;
    bool primarySeen_ = false;
    double quantum_ = 0.05;
    double scrollSum_ = 0;
    bool pressed_ = false;
    std::optional<Run> run_;  // none while fresh
    std::optional<Anchor> anchor_;
    int64_t burstKeys_ = 0;
    double lastKeyTime_ = 0;
    bool shift_ = false, command_ = false;
    int64_t burstIndex_ = 0;
    std::set<uint16_t> held_;
    std::map<int64_t, Tally> tallies_[2];  // horizontal runs, vertical runs
    double endTime_ = 0;
};

}  // namespace

ExtractionResult extract(const std::vector<MaterializedSegment>& segments, int64_t width, int64_t height) {
    Extractor x(static_cast<double>(std::max<int64_t>(width, 1)), static_cast<double>(std::max<int64_t>(height, 1)));
    for (const MaterializedSegment& s : segments)
        for (const RawEvent& e : s.segment.events) x.visit(e);
    return x.finish();
}

}  // namespace murmura::planara
