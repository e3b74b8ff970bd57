#pragma once
// One visitor from several lambdas, for std::visit over the error and problem variants.

namespace deririrore::value {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace deririrore::value
