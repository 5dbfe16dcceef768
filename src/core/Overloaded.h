#pragma once

namespace tandemo {

// Visitor built from lambdas: std::visit(Overloaded{[](const A&) {...}, [](const B&) {...}}, v).
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace tandemo
