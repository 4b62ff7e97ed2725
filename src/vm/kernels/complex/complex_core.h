// Pieces every complex kernel shares: recomputing a few flagged elements of a register one at a
// time off the vector path, and the status of one complex result.
//
// A complex kernel keeps its vector path for ordinary elements and hands the rest (infinite or
// NaN parts, results near the ends of the range) to a scalar function of the element's parts.
// That function runs inside the body whether or not callouts run, so that the stored results do
// not depend on the error mode; the callout then only runs it again to learn the status.
#pragma once
#include "simd/isa.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "vm/kernels/common/callout.h"

namespace zorp::vm {

// The special values the complex kernels' scalar paths hand back.
inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The flagged complex elements (bit e) of r recomputed one at a time off the vector path, in
// double: f(ar, ai, br, bi, rr, ri) sees the parts of both arguments and overwrites the
// result's (single-precision parts are widened for it, and its result narrowed).
inline double part_of(__m512d) { return 0; }  // the part type of a vector, for decltype
inline float part_of(__m512) { return 0; }
template <typename V, typename F>
inline V redo_elements(V a, V b, V r, __mmask8 elements, F f) {
  using E = decltype(part_of(a));
  constexpr int kParts = sizeof(V) / sizeof(E);
  alignas(64) E av[kParts], bv[kParts], rv[kParts];
  std::memcpy(av, &a, sizeof a);
  std::memcpy(bv, &b, sizeof b);
  std::memcpy(rv, &r, sizeof r);
  for (int e = 0; e < kParts / 2; ++e) {
    if (!((elements >> e) & 1)) continue;
    double rr = rv[2 * e], ri = rv[2 * e + 1];
    f(av[2 * e], av[2 * e + 1], bv[2 * e], bv[2 * e + 1], rr, ri);
    rv[2 * e] = static_cast<E>(rr), rv[2 * e + 1] = static_cast<E>(ri);
  }
  std::memcpy(&r, rv, sizeof r);
  return r;
}

// The same for elements that are rare (infinities, NaN, zero divisors, parts far apart).
template <typename V, typename F>
__attribute__((noinline, cold)) V redo_rare_elements(V a, V b, V r, __mmask8 elements, F f) {
  return redo_elements(a, b, r, elements, f);
}

// The status of a complex result (re, im) of the argument parts (x, y), for results of type T
// computed more precisely (re and im before their last rounding), by the rule of callout.h
// applied to the element: a NaN part of the argument reports nothing; a NaN part of the result
// from numbers is a domain error; an infinite part from finite parts is `kR.infinite`; a part
// whose exact value is not zero but lies below T's least normal number is an underflow when kR
// says so (`exact_zero_re`, `exact_zero_im`: which parts are exactly zero; the others are not).
template <Reports kR, typename T, typename W>
int complex_status(W x, W y, W re, W im, bool exact_zero_im = false, bool exact_zero_re = false) {
  if (std::isnan(x) || std::isnan(y)) return 0;
  if (std::isnan(re) || std::isnan(im)) return kStatusDomain;
  if (std::isinf(x) || std::isinf(y)) return 0;
  if (std::isinf(static_cast<T>(re)) || std::isinf(static_cast<T>(im))) return kR.infinite;
  auto tiny = [](W v, bool exact_zero) { return !exact_zero && std::fabs(v) < std::numeric_limits<T>::min(); };
  if (kR.underflows && (tiny(re, exact_zero_re) || tiny(im, exact_zero_im))) return kStatusUnderflow;
  return 0;
}

}  // namespace zorp::vm
