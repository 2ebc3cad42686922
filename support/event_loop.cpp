#include "support/event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <stdexcept>

#include "support/clock.h"

namespace murmura {

namespace {
double now() { return SystemClock::shared().uptime(); }
}  // namespace

struct EventLoop::LoopTimer final : Timer {
    double interval = 0;
    double deadline = 0;
    uint64_t order = 0;
    std::function<void()> tick;
    bool active = true;
    void cancel() override { active = false; }
    bool isActive() const override { return active; }
};

struct EventLoop::Watch final : Timer {
    int fd = -1;
    std::function<void()> onReadable;
    bool active = true;
    void cancel() override { active = false; }
    bool isActive() const override { return active; }
};

EventLoop::EventLoop() {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw std::runtime_error("eventfd failed");
}

EventLoop::~EventLoop() {
    for (auto& t : timers_) t->cancel();
    for (auto& w : watches_) w->cancel();
    close(wakeFd_);
}

void EventLoop::wake() {
    const uint64_t one = 1;
    // A full counter still leaves the descriptor readable, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void EventLoop::post(std::function<void()> task) {
    tasks_.push(std::move(task));
    wake();
}

std::shared_ptr<Timer> EventLoop::scheduleRepeating(double intervalSeconds, std::function<void()> tick) {
    auto timer = std::make_shared<LoopTimer>();
    timer->interval = intervalSeconds > 0 ? intervalSeconds : 1e-3;
    timer->deadline = now() + timer->interval;
    timer->order = nextOrder_++;
    timer->tick = std::move(tick);
    timers_.push_back(timer);
    return timer;
}

std::shared_ptr<Timer> EventLoop::watchReadable(int fd, std::function<void()> onReadable) {
    if (fd < 0 || !onReadable) return nullptr;
    auto watch = std::make_shared<Watch>();
    watch->fd = fd;
    watch->onReadable = std::move(onReadable);
    watches_.push_back(watch);
    return watch;
}

void EventLoop::fireDueTimers() {
    // Each timer fires at most once per round, so a slow tick cannot starve the descriptors.
    std::erase_if(timers_, [](const auto& t) { return !t->active; });
    auto due = timers_;
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
        return a->deadline != b->deadline ? a->deadline < b->deadline : a->order < b->order;
    });
    for (const auto& t : due) {
        const double current = now();
        if (!t->active || t->deadline > current) continue;
        t->deadline += t->interval;
        // After a stall, resume the cadence from now instead of firing a burst of late ticks.
        if (t->deadline <= current) t->deadline = current + t->interval;
        auto tick = t->tick;  // the tick may cancel its own timer
        tick();
        tasks_.runAll();
    }
}

void EventLoop::runOnce(double maxWaitSeconds) {
    tasks_.runAll();
    std::erase_if(watches_, [](const auto& w) { return !w->active; });
    std::erase_if(timers_, [](const auto& t) { return !t->active; });

    double wait = std::max(0.0, maxWaitSeconds);
    for (const auto& t : timers_) wait = std::min(wait, std::max(0.0, t->deadline - now()));
    if (!tasks_.empty()) wait = 0;
    {
        std::lock_guard lock(mutex_);
        if (quit_) wait = 0;
    }

    std::vector<pollfd> fds;
    fds.push_back({wakeFd_, POLLIN, 0});
    auto watches = watches_;
    for (const auto& w : watches) fds.push_back({w->fd, POLLIN, 0});
    const int timeoutMs = static_cast<int>(std::ceil(wait * 1000.0));
    int ready = poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0 && errno != EINTR) ready = 0;

    if (ready > 0) {
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
        }
        for (size_t i = 0; i < watches.size(); ++i) {
            const auto& w = watches[i];
            if (!w->active) continue;
            if (fds[i + 1].revents & POLLNVAL) {
                w->cancel();  // the descriptor was closed under us; nothing will ever arrive
                continue;
            }
            if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
                auto callback = w->onReadable;  // the callback may cancel its own watch
                callback();
                tasks_.runAll();
            }
        }
    }
    fireDueTimers();
    tasks_.runAll();
}

bool EventLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    const double deadline = now() + timeoutSeconds;
    while (!done()) {
        const double left = deadline - now();
        if (left <= 0) return done();
        runOnce(std::min(left, 0.05));
    }
    return true;
}

void EventLoop::run() {
    for (;;) {
        runOnce(1.0);
        std::lock_guard lock(mutex_);
        if (quit_) {
            quit_ = false;
            return;
        }
    }
}

void EventLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake();
}

}  // namespace murmura
