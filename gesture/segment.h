#pragma once
// Gestures and silences of a session: segments of in-scope events and the spans between them.
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "session/raw_event.h"
#include "gesture/gesture_state_machine.h"

namespace murmura {

enum class SegmentType { moving, discrete };

std::string_view rawValue(SegmentType type);
std::optional<SegmentType> segmentTypeFromRaw(std::string_view raw);

// A segment's events are a range of an event list that the segments of one session share and
// keep alive together, so that cutting a session into segments, and copying segments, copies
// no events.
struct Segment {
    Uuid id = Uuid::random();
    double startTime = 0;  // timestamp of the first event
    double endTime = 0;    // timestamp of the last event
    std::span<const RawEvent> events;                     // within *eventList
    std::shared_ptr<const std::vector<RawEvent>> eventList;  // owner of the events
    SegmentType segmentType = SegmentType::moving;

    // Makes events a list of the segment's own (segments decoded or made by hand).
    void setEvents(std::vector<RawEvent> own);
    double duration() const { return endTime - startTime; }
    size_t eventCount() const { return events.size(); }
    bool isDiscrete() const { return segmentType == SegmentType::discrete; }
    // Equal fields and equal events, wherever the events are held.
    friend bool operator==(const Segment& a, const Segment& b);
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
    // Cuts the in-scope events (in the order given) into segments, in time order. The segments
    // share one list of the in-scope events: a copy of them, or, when the list is handed over,
    // the list itself with the other events removed.
    std::vector<Segment> build(const std::vector<RawEvent>& events) const;
    std::vector<Segment> build(std::vector<RawEvent>&& events) const;
    const GestureThresholds& thresholds() const { return thresholds_; }

private:
    std::vector<Segment> cut(std::shared_ptr<const std::vector<RawEvent>> inScope) const;
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
