#pragma once
// The small services the application core needs from its platform. The desktop app backs them
// with its toolkit (settings, windows, a worker thread); tests use the in-memory and inline ones.
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace murmura {

// Persistent user settings: named booleans, absent = false.
class Preferences {
public:
    static constexpr std::string_view hasCompletedOnboarding = "hasCompletedOnboarding";
    virtual ~Preferences() = default;
    virtual bool boolValue(std::string_view key) const = 0;
    virtual void setBoolValue(std::string_view key, bool value) = 0;
};

class MemoryPreferences final : public Preferences {
public:
    bool boolValue(std::string_view key) const override {
        auto it = values_.find(key);
        return it != values_.end() && it->second;
    }
    void setBoolValue(std::string_view key, bool value) override { values_[std::string(key)] = value; }

private:
    std::map<std::string, bool, std::less<>> values_;
};

// The application's windows as a whole.
class Presenter {
public:
    virtual ~Presenter() = default;
    // Gets out of the user's way while a session records (the app stays reachable elsewhere,
    // for example from its tray icon).
    virtual void hideApplication() = 0;
    // Shows the windows again and brings them in front of other applications.
    virtual void showApplication() = 0;
};

// Runs a session's rendering off the main thread. Jobs may post to the main-thread scheduler
// until the executor is destroyed, so the executor must go before the scheduler does.
class RenderExecutor {
public:
    virtual ~RenderExecutor() = default;
    virtual void execute(std::function<void()> job) = 0;
};

// Runs each job at once on the calling thread.
class InlineRenderExecutor final : public RenderExecutor {
public:
    void execute(std::function<void()> job) override { job(); }
};

// One worker thread running jobs in submission order. Destruction waits for the jobs already
// submitted (a render cannot be interrupted part-way), then joins the thread.
class ThreadRenderExecutor final : public RenderExecutor {
public:
    ThreadRenderExecutor();
    ~ThreadRenderExecutor() override;
    ThreadRenderExecutor(const ThreadRenderExecutor&) = delete;
    ThreadRenderExecutor& operator=(const ThreadRenderExecutor&) = delete;
    void execute(std::function<void()> job) override;

private:
    void run();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread worker_;  // last: started once everything above exists
};

// Whether this process can observe input system-wide (on X11: a reachable display with the
// RECORD extension, and not a Wayland session).
using TrustProbe = std::function<bool()>;

}  // namespace murmura
