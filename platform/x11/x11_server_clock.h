#pragma once
// The X server stamps every event with its own 32-bit millisecond clock. Recorded events reach
// us in batches, so their arrival time says little about when they happened; this maps server
// times onto the uptime clock instead.
//
// offset = the smallest (arrival uptime - server time) seen so far. Arrival never precedes the
// event, so the mapped time lies between the event's true time (give or take the server's
// millisecond truncation) and its arrival, and converges on the true time as soon as anything
// arrives promptly (the round trips of the capture's flush requests do).
#include <cstdint>
#include <limits>

namespace murmura {

class X11ServerClock {
public:
    // floorUptime: no mapped time is earlier (the moment recording was requested).
    explicit X11ServerClock(double floorUptime) : lastMapped_(floorUptime) {}

    // A server timestamp that arrived at arrivalUptime: refines the offset.
    void observe(uint32_t serverMs, double arrivalUptime) {
        const double offset = arrivalUptime - seconds(serverMs);
        if (!hasOffset_ || offset < offset_) {
            offset_ = offset;
            hasOffset_ = true;
        }
    }
    // Uptime of an event stamped serverMs that arrived at arrivalUptime; never decreasing and
    // never later than its arrival.
    double eventUptime(uint32_t serverMs, double arrivalUptime) {
        observe(serverMs, arrivalUptime);
        double mapped = seconds(serverMs) + offset_;
        if (mapped < lastMapped_) mapped = lastMapped_;
        if (mapped > arrivalUptime) mapped = arrivalUptime;
        lastMapped_ = mapped;
        return mapped;
    }

private:
    // Server time unwrapped to 64 bits (it wraps every 49.7 days); consecutive stamps are
    // assumed less than 24 days apart.
    double seconds(uint32_t serverMs) {
        if (!hasLast_) {
            extended_ = serverMs;
            hasLast_ = true;
        } else {
            extended_ += static_cast<int32_t>(serverMs - last_);
        }
        last_ = serverMs;
        return static_cast<double>(extended_) / 1000.0;
    }

    bool hasOffset_ = false;
    double offset_ = 0;
    bool hasLast_ = false;
    uint32_t last_ = 0;
    int64_t extended_ = 0;
    double lastMapped_;
};

}  // namespace murmura
