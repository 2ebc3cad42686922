// The stroke phase: every event of the session through the ink state calculator, and the
// calculator's parameters as deposits in the ink field. Contact makes heavy wet strokes;
// pointer motion without a button leaves light dry marks; keys leave dots; dwelling in contact
// pools ink; scrolling smudges.
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "rendering/artwork_renderer.h"
#include "rendering/brush_texture.h"
#include "rendering/generators.h"

namespace murmura {

namespace {

using gen::hash2;
using gen::smooth;

constexpr float kTaperLength = 20.0f;
constexpr double kJumpDistance = 180.0;      // canvas pixels between points that end a stroke
constexpr double kContactGap = 10.0;          // seconds of silence that end contact
constexpr float kStampWeight = 0.14f;         // share of a mark's ink each overlapping stamp adds
constexpr float kHoverWeight = 0.3f;
constexpr float kHoverRadiusShare = 0.11f;    // light marks: this share of the brush size
constexpr float kHoverInk = 0.34f;
constexpr double kHoverDiagonals = 60;         // pointer travel (canvas diagonals) drawn at full strength
constexpr size_t kMaxHoverPoints = 600;      // a long hover path is committed in pieces
constexpr int kMaxStampsPerMark = 2000;
constexpr double kMinStep = 0.25;              // cells a mark must move to be drawn on
constexpr float kStrokeWater = 0.001f;          // water a heavy stamp leaves per unit of coverage

uint64_t eventSeed(uint64_t ordinal, uint64_t salt) { return splitMix(ordinal * 0x9E3779B97F4A7C15ULL ^ salt); }

class StrokePhase {
public:
    StrokePhase(InkField& field, InkStyle style, bool gestural, int64_t simScale, const InkEventObserver& observer)
        : field_(field), calculator_(inkPhysicsConfig(style)), gestural_(gestural),
          simScale_(static_cast<double>(simScale)), observer_(observer) {
        points_.reserve(1024);
    }

    StrokePhaseResult run(const MaterialEngineOutput& output) {
        hoverInk_ = kHoverInk * hoverDensityFactor(output);
        for (size_t s = 0; s < output.segments.size(); ++s) {
            const MaterializedSegment& m = output.segments[s];
            field_.ageLayers();
            const float a = static_cast<float>(std::min(m.segment.duration() / 60.0, 1.0)) * 0.015f;
            if (a > 0.0001f) field_.fade(a);
            brush_.inkLevel = std::min(brush_.inkLevel + 0.4f, 1.0f);
            segmentInk_ = static_cast<float>(0.35 + 0.35 * m.properties.opacity());
            for (size_t j = 0; j < m.segment.events.size(); ++j) replay(m.segment.events[j], s, j);
        }
        endStroke();  // a stroke still pending at the end is finished, not lost
        StrokePhaseResult r;
        r.summary = summary_;
        const double diagonal = std::hypot(field_.width, field_.height);
        r.tone.paperNoise = 0.08f * static_cast<float>(std::min(static_cast<double>(summary_.keyDots) / 400.0, 1.0));
        r.tone.grainWidth = static_cast<float>(std::min(hoverLength_ / (40.0 * std::max(diagonal, 1.0)), 1.0));
        r.tone.archiveLowering = 0.25f * static_cast<float>(std::min(static_cast<double>(summary_.strokes) / 300.0, 1.0));
        return r;
    }

private:
    enum class Kind { contact, hover };

    // Light marks pale as the pointer's travel grows past a few hundred canvas diagonals, so that
    // a long session's paths stay apart instead of merging into grey.
    double hoverDensityFactor(const MaterialEngineOutput& output) const {
        double travel = 0;
        std::optional<Point> last;
        for (const MaterializedSegment& m : output.segments)
            for (const RawEvent& e : m.segment.events) {
                if (e.type != EventType::mouseMove || !e.position) continue;
                if (last) travel += std::hypot(e.position->x - last->x, e.position->y - last->y);
                last = e.position;
            }
        const double diagonals = travel / simScale_ / std::max(std::hypot(field_.width, field_.height), 1.0);
        return diagonals > kHoverDiagonals ? std::sqrt(kHoverDiagonals / diagonals) : 1.0;
    }

    void advanceClock(double t) {
        const double dt = t - previousTime_;
        previousTime_ = t;
        if (!(dt > 0)) return;  // out of order or repeated: the clock never runs back
        clock_ = std::max(clock_, t);
        field_.currentTime = static_cast<float>(clock_);
        accumulator_ += dt;
        if (accumulator_ >= 1.5) {
            field_.flow(static_cast<int>(std::min(accumulator_ * 12.0, 45.0)));
            accumulator_ = 0;
        }
        if (dt > kContactGap) {
            field_.flow(150);
            field_.ageLayers();
            field_.dry(static_cast<float>(std::min(dt / 120.0, 0.8)));
            // A long silence ends contact (a release may have gone unrecorded) and the mark.
            contact_ = false;
            endStroke();
        }
    }

    void replay(const RawEvent& e, size_t segment, size_t index) {
        ++summary_.events;
        const uint64_t ordinal = static_cast<uint64_t>(summary_.events);
        advanceClock(e.timestamp);
        switch (e.type) {
            case EventType::mouseDown:
                if (e.mouseButton.value_or(0) != 1) contact_ = true, endStroke();
                break;
            case EventType::mouseUp:
            case EventType::mouseMove:  // no button is held, whatever came before
                contact_ = false;
                break;
            case EventType::appBecameActive:
                endStroke();
                break;
            default:
                break;
        }
        std::optional<Point> p;
        if (e.position) p = Point{e.position->x / simScale_, e.position->y / simScale_};
        const bool motion = e.type == EventType::mouseMove || e.type == EventType::mouseDragged;
        const bool inContact = p && (contact_ || (gestural_ && motion));
        const float inkBefore = brush_.inkLevel;
        const InkDrawParameters q = calculator_.calculate(p, inContact, e.inScope, brush_, e.timestamp);
        brush_ = q.newState;
        if (observer_) observer_({segment, index, e.timestamp, p, inContact, e.inScope, inkBefore, q});

        if (q.triggerGlobalDrying) field_.dry(q.dryingIntensity);
        if (!p || !e.inScope || !field_.containsPoint(p->x, p->y)) return;
        switch (e.type) {
            case EventType::keyDown: keyDot(*p, ordinal); break;
            case EventType::scrollWheel: smudge(*p, e); break;
            case EventType::mouseMove:
            case EventType::mouseDragged:
            case EventType::mouseDown:
            case EventType::mouseUp: mark(*p, inContact ? Kind::contact : Kind::hover, q, e.type, ordinal); break;
            default: break;
        }
    }

    void keyDot(Point p, uint64_t ordinal) {
        const uint64_t seed = eventSeed(ordinal, 0x4B);
        const float r = 1.1f + 0.8f * gen::unit24(seed);
        field_.depositDot(seed, p.x, p.y, 0.6f, r, 0.9f);
        ++summary_.keyDots;
    }

    // Scrolling rubs the charcoal: a soft dry smudge, at most one every 0.4 s.
    void smudge(Point p, const RawEvent& e) {
        if (e.timestamp - lastSmudgeTime_ < 0.4) return;
        lastSmudgeTime_ = e.timestamp;
        const double amount = e.delta ? std::hypot(e.delta->dx, e.delta->dy) : 10.0;
        field_.depositSplash(p.x, p.y, 0.05f, 2.5f, static_cast<float>(std::min(amount / 10.0, 4.0)), 0.0f);
    }

    void mark(Point p, Kind kind, const InkDrawParameters& q, EventType type, uint64_t ordinal) {
        if (open_ && kind_ != kind) endStroke();
        if (open_ && !points_.empty()) {
            const StrokePointRecord& last = points_.back();
            const double gap = std::hypot(p.x - last.x, p.y - last.y);
            if (gap < kMinStep) {
                // Holding still: stamping in place would only fill a flat disc; pooling speaks
                // for the dwell.
                if (kind == Kind::contact) pool(p, q);
                return;
            }
            if (gap * simScale_ >= kJumpDistance) {
                jumpTaper(p);
                endStroke();
            } else if (kind == Kind::hover && gap < std::max(0.8 * hoverRadius(q, last.distanceFromStart), 1.0) &&
                       type != EventType::mouseUp) {
                return;  // light marks are laid down at a spacing, not per event
            }
        }
        if (!open_) {
            beginStroke(kind, p, q, ordinal);
        } else if (kind == Kind::contact) {
            contactSegment(p, q);
        } else {
            hoverSegment(p, q);
        }
        if (kind == Kind::contact) {
            pool(p, q);
            // The calculator flags most moves as splatter at the grid's scale: a few of them
            // throw a couple of crumbs, so the picture does not turn to noise.
            const uint64_t roll = eventSeed(ordinal, 0x5A);
            if (q.isSplatter && roll % 12 == 0) splatter(p, q, ordinal, 1 + static_cast<int>((roll >> 8) % 3), 0.3f);
        } else if (q.isSplatter && eventSeed(ordinal, 0x5B) % 64 == 0) {
            // Fast hovering throws a rare speck of dust, never a spray.
            splatter(p, q, ordinal, 1, 0.15f);
        }
        if (kind == Kind::hover && points_.size() >= kMaxHoverPoints) endStroke();
    }

    // Ink gathering under a brush that dwells, at most every 0.3 s.
    void pool(Point p, const InkDrawParameters& q) {
        if (!q.isPooling || brush_.lastActivityTime - lastPoolTime_ < 0.3) return;
        lastPoolTime_ = brush_.lastActivityTime;
        field_.depositPool(p.x, p.y, 0.25f * q.poolingAmount * segmentInk_, static_cast<float>(0.3 * q.brushSize),
                           0.15f * q.poolingAmount, 0.2f * q.poolingAmount);
        ++summary_.pooling;
    }

    void splatter(Point p, const InkDrawParameters& q, uint64_t ordinal, int count, float amount) {
        const float r = static_cast<float>(std::clamp(0.18 * q.brushSize, 0.8, 3.0));
        field_.depositSplatter(eventSeed(ordinal, 0x53), p.x, p.y, brush_.velocity, amount * static_cast<float>(q.alpha), r,
                               count);
    }

    float hoverRadius(const InkDrawParameters& q, float length) const {
        const float f = length < kTaperLength ? 0.3f + 0.7f * smooth(length / kTaperLength) : 1.0f;
        return std::max(kHoverRadiusShare * static_cast<float>(q.brushSize) * f, 0.9f);
    }

    const BrushTexture& textureFor(float radius) const {
        const int size = radius < 4 ? 16 : radius < 12 ? 32 : 64;
        return size == 16 ? *small_ : size == 32 ? *medium_ : *large_;
    }

    void beginStroke(Kind kind, Point p, const InkDrawParameters& q, uint64_t ordinal) {
        open_ = true;
        kind_ = kind;
        entryTapered_ = false;
        const uint64_t seed = eventSeed(ordinal, 0x51);
        phi1_ = 2 * std::numbers::pi_v<float> * gen::unit24(seed);
        phi2_ = 2 * std::numbers::pi_v<float> * gen::unit24(splitMix(seed));
        const int64_t variant = static_cast<int64_t>(seed % BrushTexture::kVariants);
        small_ = BrushTexture::texture(16, variant);
        medium_ = BrushTexture::texture(32, variant);
        large_ = BrushTexture::texture(64, variant);
        strokeInk_ = kind == Kind::contact ? segmentInk_ : 0.0f;
        const float radius = kind == Kind::contact ? static_cast<float>(q.brushSize) * 0.3f : hoverRadius(q, 0);
        float ink = 0;
        if (kind == Kind::contact) {
            // The press itself leaves a dab, so that a click in place is seen.
            ink = strokeInk_ * static_cast<float>(q.alpha) * 0.5f;
            field_.stampTexture(medium_->data().data(), medium_->width(), p.x, p.y, ink, radius, 0.0f, 1.0f, kStrokeWater);
        }
        points_.push_back({static_cast<float>(p.x), static_cast<float>(p.y), 0, radius, ink, brush_.inkLevel, 0});
    }

    // One step of a heavy stroke, from the last point to p.
    void contactSegment(Point p, const InkDrawParameters& q) {
        const StrokePointRecord last = points_.back();
        const float L = last.distanceFromStart;
        const double ddx = p.x - last.x, ddy = p.y - last.y, seg = std::hypot(ddx, ddy);
        float f = 1;
        if (L < kTaperLength) f = 0.3f + 0.7f * smooth(L / kTaperLength), entryTapered_ = true;
        const float w = 1 + 0.32f * std::sin(0.021f * L + phi1_) + 0.22f * std::sin(0.053f * L + phi2_);
        const float gate = w < 0.58f ? 0.18f : 1.0f;
        const float radius = static_cast<float>(q.brushSize) * f * std::clamp(w, 0.3f, 1.55f);
        const float alpha = static_cast<float>(q.alpha);
        const float angle = static_cast<float>(std::atan2(ddy, ddx));
        float ink;
        if (q.isFlyingWhite) {
            ink = strokeInk_ * gate * alpha * 0.42f;
            const int n = static_cast<int>(std::clamp(std::ceil(seg / std::max(0.5 * radius, 0.5)), 1.0, 200.0));
            for (int k = 0; k < n; ++k)
                field_.depositStamp(Vector{ddx, ddy}, last.x + ddx * k / n, last.y + ddy * k / n, ink, radius,
                                    q.erosionStrength);
        } else {
            ink = strokeInk_ * gate * alpha * (q.isPooling ? 0.95f : 0.9f);
            const BrushTexture& t = textureFor(radius);
            const double spacing = std::max(0.25 * radius, 0.5);
            const int n = static_cast<int>(std::clamp(std::ceil(seg / spacing), 1.0, static_cast<double>(kMaxStampsPerMark)));
            // Each stamp carries ink for the ground it covers: slow drags, with many events per
            // cell, build up no faster than quick ones.
            const float weight = kStampWeight * static_cast<float>(std::min(seg / n / spacing, 1.0));
            for (int k = 0; k <= n; ++k) {
                const double x = last.x + ddx * k / n, y = last.y + ddy * k / n;
                const float fx = static_cast<float>(x), fy = static_cast<float>(y);
                const float v = ink * (0.88f + 0.12f * hash2(0.045f * fy, 0.045f * fx) + 0.08f * hash2(0.011f * fy, 0.011f * fx + 53.7f));
                field_.stampTexture(t.data().data(), t.width(), x, y, v * weight, radius, angle, 1.0f, kStrokeWater);
            }
        }
        points_.push_back({static_cast<float>(p.x), static_cast<float>(p.y), L + static_cast<float>(seg), radius, ink,
                           brush_.inkLevel, angle});
    }

    // One step of a light mark: thin, pale, dry.
    void hoverSegment(Point p, const InkDrawParameters& q) {
        const StrokePointRecord last = points_.back();
        const float L = last.distanceFromStart;
        const double ddx = p.x - last.x, ddy = p.y - last.y, seg = std::hypot(ddx, ddy);
        if (L < kTaperLength) entryTapered_ = true;
        const float radius = hoverRadius(q, L);
        const float angle = static_cast<float>(std::atan2(ddy, ddx));
        const float ink = hoverInk_ * static_cast<float>(q.alpha);
        const double spacing = std::max(0.5 * radius, 0.5);
        const int n = static_cast<int>(std::clamp(std::ceil(seg / spacing), 1.0, static_cast<double>(kMaxStampsPerMark)));
        const float weight = kHoverWeight * static_cast<float>(std::min(seg / n / spacing, 1.0));
        for (int k = 1; k <= n; ++k)
            field_.depositGrain(last.x + ddx * k / n, last.y + ddy * k / n, ink * weight, radius, angle);
        hoverLength_ += seg;
        points_.push_back({static_cast<float>(p.x), static_cast<float>(p.y), L + static_cast<float>(seg), radius, ink,
                           brush_.inkLevel, angle});
    }

    // The stroke runs on a little past its last point towards the far new one, thinning out.
    void jumpTaper(Point to) {
        const StrokePointRecord& last = points_.back();
        const double dx = to.x - last.x, dy = to.y - last.y, len = std::hypot(dx, dy);
        if (!(len > 0)) return;
        const double stepLen = std::min(1.2 * last.brushRadius + 6, 14.0);
        const Vector step{dx / len * stepLen, dy / len * stepLen};
        const float factor = strokeInk_ > 0 ? strokeInk_ : 0.12f;
        const float dryness = kind_ == Kind::contact ? 0.6f : 1.0f;  // light marks stay dry
        for (int k = 1; k <= 6; ++k) {
            const double x = last.x + step.dx * k / 6, y = last.y + step.dy * k / 6;
            if (!field_.containsPoint(x, y)) break;
            const float r = std::max(0.6f * last.brushRadius * (1 - 0.85f * k / 6.0f), 0.4f);
            field_.depositStamp(step, x, y, 0.5f * last.inkAmount * (1 - k / 6.0f) * factor, r, dryness);
        }
    }

    // Texture grain along the stroke, the exit taper, and the commit.
    void endStroke() {
        if (!open_) return;
        open_ = false;
        if (!points_.empty()) {
            stampAlong(*BrushTexture::texture(32, 0), 20.0f);
            exitTaper();
            ++summary_.strokes;
            if (entryTapered_) ++summary_.entryTapers;
        }
        field_.flushStrokeBuffer();
        points_.clear();
    }

    // A light pass of the brush texture along the points, one stamp per spacing / 20 radii.
    void stampAlong(const BrushTexture& t, float spacing) {
        for (size_t i = 1; i < points_.size(); ++i) {
            const StrokePointRecord& a = points_[i - 1];
            const StrokePointRecord& b = points_[i];
            const float step = std::max(b.brushRadius * spacing / 20.0f, 0.5f);
            const float len = b.distanceFromStart - a.distanceFromStart;
            const int n = static_cast<int>(std::min(std::ceil(len / step), static_cast<float>(kMaxStampsPerMark)));
            for (int k = 1; k <= n; ++k) {
                const float s = static_cast<float>(k) / static_cast<float>(n);
                field_.stampTexture(t.data().data(), t.width(), a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s,
                                    0.12f * b.inkAmount, b.brushRadius, b.angle, 1.0f, 0.0f);
            }
        }
    }

    void exitTaper() {
        const size_t count = points_.size();
        if (count < 2) return;
        const StrokePointRecord& last = points_.back();
        const float D = last.distanceFromStart;
        const float start = D <= 2 * kTaperLength ? D / 2 : D - kTaperLength;
        const float length = D <= 2 * kTaperLength ? D / 2 : kTaperLength;
        if (!(length > 1) || !std::isfinite(length)) return;
        const StrokePointRecord& prev = points_[count - 2];
        if (!(std::hypot(last.x - prev.x, last.y - prev.y) > 0.5f)) return;
        const BrushTexture& t = *BrushTexture::texture(32, 0);
        const int m = std::clamp(static_cast<int>(length), 5, 500);
        size_t at = 0;  // the sample search walks forward once
        for (int i = 0; i < m; ++i) {
            const float s = static_cast<float>(i) / static_cast<float>(m - 1);
            const float d = start + length * s;
            while (at + 1 < count && points_[at].distanceFromStart < d) ++at;
            const StrokePointRecord& p = points_[at];
            const float taper = 1 - 0.98f * s * s * s;
            const float r = taper * p.brushRadius;
            if (r < 0.3f) continue;
            field_.stampTexture(t.data().data(), t.width(), p.x, p.y, 0.4f * p.inkAmount * (1 - s * s * s) * kStampWeight, r,
                                p.angle, taper, 0.0f);
        }
        if (0.02f * last.brushRadius > 0.3f)
            field_.stampTexture(t.data().data(), t.width(), last.x, last.y, 0.5f * last.inkAmount * kStampWeight,
                                0.02f * last.brushRadius, last.angle, 0.5f, 0.0f);
        ++summary_.exitTapers;
    }

    InkField& field_;
    InkStateCalculator calculator_;
    bool gestural_;
    double simScale_;
    const InkEventObserver& observer_;

    BrushState brush_;  // carries across segments; time 0, no position, at rest
    StrokeSummary summary_;
    bool contact_ = false;
    double previousTime_ = 0, clock_ = 0, accumulator_ = 0;
    double lastSmudgeTime_ = -1e9, lastPoolTime_ = -1e9;
    double hoverLength_ = 0;
    float segmentInk_ = 1;
    float hoverInk_ = kHoverInk;

    bool open_ = false;
    Kind kind_ = Kind::hover;
    bool entryTapered_ = false;
    float phi1_ = 0, phi2_ = 0, strokeInk_ = 0;
    std::shared_ptr<const BrushTexture> small_, medium_, large_;
    std::vector<StrokePointRecord> points_;
};

}  // namespace

StrokePhaseResult runStrokePhase(InkField& field, const MaterialEngineOutput& output, InkStyle style, bool gestural,
                                 int64_t simScale, const InkEventObserver& observer) {
    return StrokePhase(field, style, gestural, simScale, observer).run(output);
}

}  // namespace murmura
