#pragma once
// Tasks posted to the main thread, in posting order; shared by the schedulers.
#include <deque>
#include <functional>
#include <mutex>

namespace murmura {

class TaskQueue {
public:
    // Safe from any thread.
    void push(std::function<void()> task) {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    // Runs tasks, including those pushed while running, until none is left.
    void runAll() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex_);
                if (tasks_.empty()) return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }
    bool empty() const {
        std::lock_guard lock(mutex_);
        return tasks_.empty();
    }

private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace murmura
