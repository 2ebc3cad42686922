#pragma once
// Time sources behind an interface so that tests can run on virtual time.

namespace murmura {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic seconds since an arbitrary origin (boot); never goes backwards.
    virtual double uptime() const = 0;
    // Wall-clock seconds since the Unix epoch; may jump when the user changes the time.
    virtual double wallTime() const = 0;
};

class SystemClock final : public Clock {
public:
    double uptime() const override;
    double wallTime() const override;
    static SystemClock& shared();
};

}  // namespace murmura
