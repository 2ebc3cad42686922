#pragma once
// Small builders for hand-made event streams in tests.
#include <optional>

#include "session/raw_event.h"

namespace murmura::test {

inline RawEvent event(EventType type, double t, std::optional<Point> p = Point{0, 0}, bool inScope = true) {
    RawEvent e;
    e.type = type;
    e.timestamp = t;
    e.position = p;
    e.inScope = inScope;
    return e;
}
inline RawEvent move(double t, double x, double y, bool inScope = true) {
    return event(EventType::mouseMove, t, Point{x, y}, inScope);
}
inline RawEvent leftButton(EventType type, double t, double x, double y) {
    RawEvent e = event(type, t, Point{x, y});
    e.mouseButton = 0;
    return e;
}
inline RawEvent down(double t, double x = 0, double y = 0) { return leftButton(EventType::mouseDown, t, x, y); }
inline RawEvent up(double t, double x = 0, double y = 0) { return leftButton(EventType::mouseUp, t, x, y); }

inline RawEvent drag(double t, double x, double y) { return event(EventType::mouseDragged, t, Point{x, y}); }
inline RawEvent keyEvent(EventType type, double t, uint16_t code) {
    RawEvent e = event(type, t);
    e.keyCode = code;
    return e;
}
inline RawEvent keyUp(double t, uint16_t code) { return keyEvent(EventType::keyUp, t, code); }
inline RawEvent keyDown(double t, uint16_t code = 0) { return keyEvent(EventType::keyDown, t, code); }

inline RawEvent scroll(double t, double dy = -10) {
    RawEvent e = event(EventType::scrollWheel, t);
    e.delta = Vector{0, dy};
    return e;
}

}  // namespace murmura::test
