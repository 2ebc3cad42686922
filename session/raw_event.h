#pragma once
// One recorded input event: what the user did, when, and where.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "support/geometry.h"
#include "support/json.h"
#include "support/uuid.h"

namespace murmura {

enum class EventType {
    mouseMove,
    mouseDown,
    mouseUp,
    mouseDragged,
    scrollWheel,
    keyDown,
    keyUp,
    appBecameActive,
    appResignedActive,
};

inline constexpr EventType kAllEventTypes[] = {
    EventType::mouseMove, EventType::mouseDown,       EventType::mouseUp,
    EventType::mouseDragged, EventType::scrollWheel,  EventType::keyDown,
    EventType::keyUp,     EventType::appBecameActive, EventType::appResignedActive,
};

std::string_view rawValue(EventType type);
std::optional<EventType> eventTypeFromRaw(std::string_view raw);

struct RawEvent {
    Uuid id = Uuid::random();
    double timestamp = 0;  // seconds since the capture started, monotonic clock
    EventType type = EventType::mouseMove;
    std::optional<Point> position;  // global display points as captured; canvas pixels once rebased
    std::optional<Vector> delta;    // scroll amount in points
    bool inScope = false;
    std::optional<uint32_t> windowID;
    std::optional<uint16_t> keyCode;     // virtual key code
    std::optional<int64_t> mouseButton;  // 0 primary, 1 secondary

    friend bool operator==(const RawEvent&, const RawEvent&) = default;
};

// Key codes the styles read one by one: Return, keypad Enter, Escape, Backspace, forward
// Delete, the arrows and the modifiers. Every other key only ever counts as "a character key".
bool isFunctionalKeyCode(uint16_t code);
// Written in place of a character key's code when a session leaves memory.
inline constexpr uint16_t kRedactedKeyCode = 0xFFFF;
// The code a key is recorded with: its own when functional, else kRedactedKeyCode. The capture
// layer applies it as each event is made, so what was typed never exists in the process.
// Renders do not change: no style tells character keys apart.
inline uint16_t recordedKeyCode(uint16_t code) { return isFunctionalKeyCode(code) ? code : kRedactedKeyCode; }
// recordedKeyCode for every key event, for sessions that come from elsewhere (files written by
// older versions), so that a session file never records what was typed.
void redactCharacterKeys(std::vector<RawEvent>& events);

Json encode(const RawEvent& event);
// Strict decoding: a missing required key, a wrong type, an unknown event type or a number out
// of range fails the whole event, naming the key.
Expected<RawEvent, DecodeError> decodeRawEvent(const Json& json);
// Same, throwing DecodeFailure; for decoders of records that contain events.
RawEvent decodeRawEventOrThrow(const Json& json);
// The array of events under key of an object, throwing DecodeFailure whose key names the
// event's index, e.g. "events[3].keyCode".
std::vector<RawEvent> decodeRawEventArrayOrThrow(const Json& object, std::string_view key);

}  // namespace murmura
