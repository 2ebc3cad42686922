#pragma once
// Gestures and silences of a session: segments of in-scope events and the spans between them.
#include <optional>
#include <string_view>
#include <vector>

#include "session/raw_event.h"
#include "gesture/gesture_state_machine.h"

namespace murmura {

enum class SegmentType { moving, discrete };

std::string_view rawValue(SegmentType type);
std::optional<SegmentType> segmentTypeFromRaw(std::string_view raw);

struct Segment {
    Uuid id = Uuid::random();
    double startTime = 0;  // timestamp of the first event
    double endTime = 0;    // timestamp of the last event
    std::vector<RawEvent> events;
    SegmentType segmentType = SegmentType::moving;

    double duration() const { return endTime - startTime; }
    size_t eventCount() const { return events.size(); }
    bool isDiscrete() const { return segmentType == SegmentType::discrete; }
    friend bool operator==(const Segment&, const Segment&) = default;
};

struct SilentSpan {
    Uuid id = Uuid::random();
    double startTime = 0;
    double endTime = 0;

    double duration() const { return endTime - startTime; }
    friend bool operator==(const SilentSpan&, const SilentSpan&) = default;
};

// Clicks, keys and scrolls; they split movements and make a segment discrete.
bool isDiscreteEvent(EventType type);

class SegmentBuilder {
public:
    explicit SegmentBuilder(const GestureThresholds& thresholds = GestureThresholds::defaultPreset())
        : thresholds_(thresholds) {}
    // Cuts the in-scope events (in the order given) into segments, in time order.
    std::vector<Segment> build(const std::vector<RawEvent>& events) const;
    const GestureThresholds& thresholds() const { return thresholds_; }

private:
    GestureThresholds thresholds_;
};

class SilentSpanBuilder {
public:
    // The stretches of [0, sessionDuration] that no segment covers, in time order.
    std::vector<SilentSpan> build(const std::vector<Segment>& segments, double sessionDuration) const;
    double totalSilentDuration(const std::vector<SilentSpan>& spans) const;
    // Not clamped; 0 when the session duration is not positive.
    double silentRatio(const std::vector<SilentSpan>& spans, double sessionDuration) const;
};

Json encode(const Segment& segment);
Json encode(const SilentSpan& span);
Expected<Segment, DecodeError> decodeSegment(const Json& json);
Expected<SilentSpan, DecodeError> decodeSilentSpan(const Json& json);

}  // namespace murmura
