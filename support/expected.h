#pragma once
// Minimal result type: a value or a typed error. One convention for every fallible
// operation in the codebase (std::expected arrives only with C++23).
#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace murmura {

template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
    return {std::forward<E>(error)};
}

template <class T, class E>
class Expected {
public:
    Expected(const T& value) : storage_(std::in_place_index<0>, value) {}
    Expected(T&& value) : storage_(std::in_place_index<0>, std::move(value)) {}
    template <class G>
    Expected(Unexpected<G> error) : storage_(std::in_place_index<1>, std::move(error.error)) {}

    bool hasValue() const { return storage_.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & { assert(hasValue()); return std::get<0>(storage_); }
    const T& value() const& { assert(hasValue()); return std::get<0>(storage_); }
    T&& value() && { assert(hasValue()); return std::get<0>(std::move(storage_)); }
    const E& error() const { assert(!hasValue()); return std::get<1>(storage_); }

    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

private:
    std::variant<T, E> storage_;
};

// Result of an operation that yields nothing but may fail.
template <class E>
class Expected<void, E> {
public:
    Expected() = default;
    template <class G>
    Expected(Unexpected<G> error) : error_(std::move(error.error)), failed_(true) {}

    bool hasValue() const { return !failed_; }
    explicit operator bool() const { return hasValue(); }
    const E& error() const { assert(failed_); return error_; }

private:
    E error_{};
    bool failed_ = false;
};

}  // namespace murmura
