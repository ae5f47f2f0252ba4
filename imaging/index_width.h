#pragma once
// Calls f with the index width as a compile-time constant, so that hot loops get constant
// masks and shifts: WithIndexWidth(k, [&](auto width) { Loop<decltype(width)::value>(...); }).

#include <type_traits>
#include <utility>

namespace pavoline {

constexpr unsigned kMaxIndexWidth = 16;

namespace detail {
template <typename F, unsigned... Ks>
void WithIndexWidthOf(unsigned k, F&& f, std::integer_sequence<unsigned, Ks...>) {
    ((k == Ks + 1 ? f(std::integral_constant<unsigned, Ks + 1>{}) : void()), ...);
}
} // namespace detail

// k from 1 to 16; any other value calls nothing.
template <typename F>
void WithIndexWidth(unsigned k, F&& f) {
    detail::WithIndexWidthOf(k, std::forward<F>(f), std::make_integer_sequence<unsigned, kMaxIndexWidth>{});
}

} // namespace pavoline
