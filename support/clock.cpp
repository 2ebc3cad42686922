#include "support/clock.h"

#include <chrono>
#include <ctime>

namespace murmura {

double SystemClock::uptime() const {
    timespec ts{};
    // CLOCK_MONOTONIC counts from boot and ignores wall-clock changes.
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double SystemClock::wallTime() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

SystemClock& SystemClock::shared() {
    static SystemClock clock;
    return clock;
}

}  // namespace murmura
