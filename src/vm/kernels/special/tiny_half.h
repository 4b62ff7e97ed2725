// x/2 for |x| below twice the least normal, where I1 and J1 are x/2 (1 +- x^2/8): the result is
// subnormal and the tiny correction only decides a tie. There x and x/2 are both multiples of
// the least subnormal, so the result's bit pattern is half of x's, rounded up (away from zero,
// for I1) or truncated (toward zero, for J1) on a tie.
#pragma once
#include <bit>
#include <cstdint>
#include <type_traits>

namespace zorp::vm {

template <bool kAway, typename T>
T tiny_half(T x) {
  using U = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
  const U sign = U(1) << (8 * sizeof(T) - 1);
  const U b = std::bit_cast<U>(x);
  return std::bit_cast<T>(static_cast<U>((b & sign) | (((b & ~sign) + (kAway ? 1 : 0)) >> 1)));
}

}  // namespace zorp::vm
