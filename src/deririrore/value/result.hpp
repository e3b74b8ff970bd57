#pragma once
// A small stand-in for std::expected, which GCC 12 lacks: failures are values.
#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace deririrore {

template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> make_unexpected(E&& e) {
    return Unexpected<std::decay_t<E>>{std::forward<E>(e)};
}

template <class T, class E>
class Result {
public:
    using value_type = T;
    using error_type = E;

    template <class U = T, class = std::enable_if_t<std::is_constructible_v<T, U&&> &&
                                                    !std::is_same_v<std::decay_t<U>, Result>>>
    Result(U&& v) : data_(std::in_place_index<0>, std::forward<U>(v)) {}
    template <class G>
    Result(Unexpected<G> e) : data_(std::in_place_index<1>, std::move(e.error)) {}

    bool has_value() const noexcept { return data_.index() == 0; }
    explicit operator bool() const noexcept { return has_value(); }

    T& value() & { return std::get<0>(data_); }
    const T& value() const& { return std::get<0>(data_); }
    T&& value() && { return std::get<0>(std::move(data_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    E& error() & { return std::get<1>(data_); }
    const E& error() const& { return std::get<1>(data_); }
    E&& error() && { return std::get<1>(std::move(data_)); }

private:
    std::variant<T, E> data_;
};

// Result of an operation that yields nothing on success.
struct Ok {};

}  // namespace deririrore
