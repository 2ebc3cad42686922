#include "gesture/segment.h"

#include <algorithm>
#include <iterator>

namespace murmura {

std::string_view rawValue(SegmentType type) { return type == SegmentType::moving ? "moving" : "discrete"; }

std::optional<SegmentType> segmentTypeFromRaw(std::string_view raw) {
    if (raw == "moving") return SegmentType::moving;
    if (raw == "discrete") return SegmentType::discrete;
    return std::nullopt;
}

bool isDiscreteEvent(EventType type) {
    switch (type) {
        case EventType::mouseDown:
        case EventType::mouseUp:
        case EventType::scrollWheel:
        case EventType::keyDown:
        case EventType::keyUp:
            return true;
        default:
            return false;
    }
}

void Segment::setEvents(std::vector<RawEvent> own) {
    eventList = std::make_shared<const std::vector<RawEvent>>(std::move(own));
    events = *eventList;
}

bool operator==(const Segment& a, const Segment& b) {
    return a.id == b.id && a.startTime == b.startTime && a.endTime == b.endTime && a.segmentType == b.segmentType &&
           std::ranges::equal(a.events, b.events);
}

std::vector<Segment> SegmentBuilder::build(const std::vector<RawEvent>& events) const {
    auto inScope = std::make_shared<std::vector<RawEvent>>();
    inScope->reserve(static_cast<size_t>(std::ranges::count_if(events, &RawEvent::inScope)));
    std::ranges::copy_if(events, std::back_inserter(*inScope), &RawEvent::inScope);
    return cut(std::move(inScope));
}

std::vector<Segment> SegmentBuilder::build(std::vector<RawEvent>&& events) const {
    std::erase_if(events, [](const RawEvent& e) { return !e.inScope; });
    return cut(std::make_shared<const std::vector<RawEvent>>(std::move(events)));
}

std::vector<Segment> SegmentBuilder::cut(std::shared_ptr<const std::vector<RawEvent>> inScope) const {
    const std::vector<RawEvent>& events = *inScope;
    std::vector<Segment> result;
    GestureStateMachine machine(thresholds_);
    size_t first = 0;  // the current segment is events[first, i)
    SegmentType currentType = SegmentType::moving;

    auto close = [&](size_t end) {
        Segment& s = result.emplace_back();
        s.startTime = events[first].timestamp;
        s.endTime = events[end - 1].timestamp;
        s.events = std::span(events).subspan(first, end - first);
        s.eventList = inScope;
        s.segmentType = currentType;
        first = end;
    };

    for (size_t i = 0; i < events.size(); ++i) {
        const RawEvent& e = events[i];
        const GestureState before = machine.currentState();
        const GestureState after = machine.process(e);
        const bool discrete = isDiscreteEvent(e.type);
        if (i > first) {
            const bool ends = after == GestureState::break_ || (before == GestureState::moving && discrete) ||
                              (before == GestureState::discrete && after == GestureState::moving && !discrete) ||
                              e.timestamp - events[i - 1].timestamp > thresholds_.breakThreshold;
            if (ends) close(i);
        }
        if (i == first) currentType = discrete ? SegmentType::discrete : SegmentType::moving;
    }
    if (events.size() > first) close(events.size());
    return result;
}

std::vector<SilentSpan> SilentSpanBuilder::build(const std::vector<Segment>& segments, double d) const {
    auto span = [](double start, double end) {
        SilentSpan s;
        s.startTime = start;
        s.endTime = end;
        return s;
    };
    if (segments.empty()) return {span(0, d)};

    // Sort indices rather than copies of whole segments with their events.
    std::vector<size_t> order(segments.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return segments[a].startTime < segments[b].startTime; });

    std::vector<SilentSpan> spans;
    const Segment& first = segments[order.front()];
    if (first.startTime > 0) spans.push_back(span(0, first.startTime));
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        const Segment& a = segments[order[i]];
        const Segment& b = segments[order[i + 1]];
        if (a.endTime < b.startTime) spans.push_back(span(a.endTime, b.startTime));
    }
    const Segment& last = segments[order.back()];
    if (last.endTime < d) spans.push_back(span(last.endTime, d));
    return spans;
}

double SilentSpanBuilder::totalSilentDuration(const std::vector<SilentSpan>& spans) const {
    double total = 0;
    for (const auto& s : spans) total += s.endTime - s.startTime;
    return total;
}

double SilentSpanBuilder::silentRatio(const std::vector<SilentSpan>& spans, double sessionDuration) const {
    if (!(sessionDuration > 0)) return 0;
    return totalSilentDuration(spans) / sessionDuration;
}

Json encode(const Segment& s) {
    Json events = Json::array();
    for (const auto& e : s.events) events.push_back(encode(e));
    Json j = Json::object();
    j["id"] = s.id.toString();
    j["startTime"] = s.startTime;
    j["endTime"] = s.endTime;
    j["events"] = std::move(events);
    j["segmentType"] = rawValue(s.segmentType);
    return j;
}

Json encode(const SilentSpan& s) {
    Json j = Json::object();
    j["id"] = s.id.toString();
    j["startTime"] = s.startTime;
    j["endTime"] = s.endTime;
    return j;
}

Expected<Segment, DecodeError> decodeSegment(const Json& j) {
    return catchDecode([&] {
        json::requireObject(j);
        Segment s;
        s.id = json::uuid(json::require(j, "id"), "id");
        s.startTime = json::number(json::require(j, "startTime"), "startTime");
        s.endTime = json::number(json::require(j, "endTime"), "endTime");
        s.setEvents(decodeRawEventArrayOrThrow(j, "events"));
        const std::string& type = json::string(json::require(j, "segmentType"), "segmentType");
        auto t = segmentTypeFromRaw(type);
        if (!t) json::fail("segmentType", "unknown segment type \"" + type.substr(0, 64) + "\"");
        s.segmentType = *t;
        return s;
    });
}

Expected<SilentSpan, DecodeError> decodeSilentSpan(const Json& j) {
    return catchDecode([&] {
        json::requireObject(j);
        SilentSpan s;
        s.id = json::uuid(json::require(j, "id"), "id");
        s.startTime = json::number(json::require(j, "startTime"), "startTime");
        s.endTime = json::number(json::require(j, "endTime"), "endTime");
        return s;
    });
}

}  // namespace murmura
