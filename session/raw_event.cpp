#include "session/raw_event.h"

#include <limits>

namespace murmura {

std::string_view rawValue(EventType type) {
    switch (type) {
        case EventType::mouseMove: return "mouseMove";
        case EventType::mouseDown: return "mouseDown";
        case EventType::mouseUp: return "mouseUp";
        case EventType::mouseDragged: return "mouseDragged";
        case EventType::scrollWheel: return "scrollWheel";
        case EventType::keyDown: return "keyDown";
        case EventType::keyUp: return "keyUp";
        case EventType::appBecameActive: return "appBecameActive";
        case EventType::appResignedActive: return "appResignedActive";
    }
    return "";
}

std::optional<EventType> eventTypeFromRaw(std::string_view raw) {
    for (EventType t : kAllEventTypes)
        if (rawValue(t) == raw) return t;
    return std::nullopt;
}

bool isFunctionalKeyCode(uint16_t code) {
    return code == 36 || code == 51 || code == 53 || code == 76 || code == 117 || (code >= 123 && code <= 126) ||
           (code >= 54 && code <= 63);
}

void redactCharacterKeys(std::vector<RawEvent>& events) {
    for (RawEvent& e : events)
        if (e.keyCode) e.keyCode = recordedKeyCode(*e.keyCode);
}

Json encode(const RawEvent& e) {
    Json j = Json::object();
    j["id"] = e.id.toString();
    j["timestamp"] = e.timestamp;
    j["type"] = rawValue(e.type);
    if (e.position) j["position"] = Json::array({e.position->x, e.position->y});
    if (e.delta) j["delta"] = Json::array({e.delta->dx, e.delta->dy});
    j["inScope"] = e.inScope;
    if (e.windowID) j["windowID"] = *e.windowID;
    if (e.keyCode) j["keyCode"] = *e.keyCode;
    if (e.mouseButton) j["mouseButton"] = *e.mouseButton;
    return j;
}

RawEvent decodeRawEventOrThrow(const Json& j) {
    json::requireObject(j);
    RawEvent e;
    e.id = json::uuid(json::require(j, "id"), "id");
    e.timestamp = json::number(json::require(j, "timestamp"), "timestamp");
    const std::string& typeText = json::string(json::require(j, "type"), "type");
    auto type = eventTypeFromRaw(typeText);
    if (!type) json::fail("type", "unknown event type \"" + typeText.substr(0, 64) + "\"");
    e.type = *type;
    if (auto* p = json::optional(j, "position")) {
        auto [x, y] = json::numberPair(*p, "position");
        e.position = Point{x, y};
    }
    if (auto* d = json::optional(j, "delta")) {
        auto [dx, dy] = json::numberPair(*d, "delta");
        e.delta = Vector{dx, dy};
    }
    e.inScope = json::boolean(json::require(j, "inScope"), "inScope");
    if (auto* w = json::optional(j, "windowID"))
        e.windowID = static_cast<uint32_t>(json::integer(*w, "windowID", 0, std::numeric_limits<uint32_t>::max()));
    if (auto* k = json::optional(j, "keyCode"))
        e.keyCode = static_cast<uint16_t>(json::integer(*k, "keyCode", 0, std::numeric_limits<uint16_t>::max()));
    if (auto* b = json::optional(j, "mouseButton"))
        e.mouseButton = json::integer(*b, "mouseButton", std::numeric_limits<int64_t>::min(),
                                      std::numeric_limits<int64_t>::max());
    return e;
}

std::vector<RawEvent> decodeRawEventArrayOrThrow(const Json& object, std::string_view key) {
    const Json& events = json::require(object, key);
    if (!events.is_array())
        json::fail(std::string(key), std::string("expected an array, found ") + json::typeName(events));
    std::vector<RawEvent> out;
    out.reserve(events.size());
    for (size_t i = 0; i < events.size(); ++i) {
        try {
            out.push_back(decodeRawEventOrThrow(events[i]));
        } catch (const DecodeFailure& failure) {
            throw DecodeFailure(failure.error.prefixed(std::string(key) + "[" + std::to_string(i) + "]"));
        }
    }
    return out;
}

Expected<RawEvent, DecodeError> decodeRawEvent(const Json& j) {
    return catchDecode([&] { return decodeRawEventOrThrow(j); });
}

}  // namespace murmura
