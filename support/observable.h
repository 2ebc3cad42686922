#pragma once
// Minimal publish/subscribe for the main thread. A subscription is an RAII handle: once it is
// dropped (or cancelled) its callback is never called again, even in the middle of a send.
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace murmura {

class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    void cancel() {
        if (auto c = std::exchange(cancel_, nullptr)) c();
    }
    bool isActive() const { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

template <class T>
class Observable {
public:
    virtual ~Observable() = default;
    [[nodiscard]] virtual Subscription subscribe(std::function<void(const T&)> callback) = 0;

    // Delivers to target only while it is alive; a destroyed target receives nothing.
    template <class U>
    [[nodiscard]] Subscription subscribe(std::weak_ptr<U> target, std::function<void(U&, const T&)> callback) {
        return subscribe([target = std::move(target), callback = std::move(callback)](const T& value) {
            if (auto strong = target.lock()) callback(*strong, value);
        });
    }
};

// Sends each value to the current subscribers, in subscription order.
template <class T>
class Subject : public Observable<T> {
public:
    Subject() : state_(std::make_shared<State>()) {}
    Subject(const Subject&) = delete;
    Subject& operator=(const Subject&) = delete;

    using Observable<T>::subscribe;
    [[nodiscard]] Subscription subscribe(std::function<void(const T&)> callback) override {
        auto entry = std::make_shared<Entry>(Entry{std::move(callback), true});
        state_->entries.push_back(entry);
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Entry> weakEntry = entry;
        return Subscription([weakState, weakEntry] {
            auto e = weakEntry.lock();
            if (!e) return;
            e->active = false;
            auto s = weakState.lock();
            if (!s) return;
            if (s->sending > 0)
                s->cancelled = true;  // removed when the send ends, so that its indices stay valid
            else
                std::erase(s->entries, e);
        });
    }

    // Calls the subscribers of the moment the send began. Callbacks may subscribe (the new
    // subscriber gets the next value), cancel, send again or destroy this subject; the list is
    // not copied for that: during a send entries are only appended, and cancelled ones leave
    // it when the outermost send ends.
    void send(const T& value) {
        const std::shared_ptr<State> state = state_;  // outlives this subject if a callback drops it
        const size_t count = state->entries.size();
        ++state->sending;
        struct EndOfSend {
            State& s;
            ~EndOfSend() {
                if (--s.sending == 0 && s.cancelled) {
                    s.cancelled = false;
                    std::erase_if(s.entries, [](const auto& e) { return !e->active; });
                }
            }
        } end{*state};
        for (size_t i = 0; i < count; ++i) {
            Entry& e = *state->entries[i];
            if (e.active) e.callback(value);
        }
    }

    size_t subscriberCount() const {
        size_t n = 0;
        for (const auto& e : state_->entries) n += e->active ? 1 : 0;
        return n;
    }

private:
    struct Entry {
        std::function<void(const T&)> callback;
        bool active;
    };
    struct State {
        std::vector<std::shared_ptr<Entry>> entries;
        int sending = 0;         // sends in progress (callbacks may send again)
        bool cancelled = false;  // entries were cancelled during a send
    };
    std::shared_ptr<State> state_;
};

// A subject that holds a current value and replays it to each new subscriber.
template <class T>
class ValueSubject : public Observable<T> {
public:
    explicit ValueSubject(T initial) : value_(std::move(initial)) {}

    using Observable<T>::subscribe;
    [[nodiscard]] Subscription subscribe(std::function<void(const T&)> callback) override {
        callback(value_);
        return subject_.subscribe(std::move(callback));
    }

    const T& value() const { return value_; }
    void send(T value) {
        value_ = std::move(value);
        subject_.send(value_);
    }

private:
    T value_;
    Subject<T> subject_;
};

}  // namespace murmura
