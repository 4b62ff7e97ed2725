// Exact products and sums, and double-double values, written once over the vocabulary's
// overloads so that they serve vectors of either precision and scalars alike.
//
//   two_sum(a, b)       s + e == a + b exactly, s = fl(a + b)         (any magnitudes)
//   fast_two_sum(a, b)  the same when |a| >= |b| (or a == 0)
//   two_prod(a, b)      p + e == a * b exactly, p = fl(a * b)         (no overflow/underflow)
//   DD                  an unevaluated sum hi + lo with |lo| <= ulp(hi)/2
//
// The error terms are exact only without intermediate overflow and (for products) without the
// error term falling below the subnormal range; callers keep their operands in range.
#pragma once
#include "simd/vec.h"

namespace zorp::simd {

template <typename V>
struct DD {
  V hi, lo;
};

template <typename V>
inline DD<V> two_sum(V a, V b) {
  const V s = add(a, b);
  const V bb = sub(s, a);
  const V e = add(sub(a, sub(s, bb)), sub(b, bb));
  return {s, e};
}

template <typename V>
inline DD<V> fast_two_sum(V a, V b) {
  const V s = add(a, b);
  return {s, sub(b, sub(s, a))};
}

template <typename V>
inline DD<V> two_prod(V a, V b) {
  const V p = mul(a, b);
  return {p, fms(a, b, p)};
}

// a + b for double-doubles, with a final renormalisation: relative error about 2^-2p.
template <typename V>
inline DD<V> dd_add(DD<V> a, DD<V> b) {
  const DD<V> s = two_sum(a.hi, b.hi);
  return fast_two_sum(s.hi, add(s.lo, add(a.lo, b.lo)));
}

// a * b for double-doubles (the lo*lo term dropped).
template <typename V>
inline DD<V> dd_mul(DD<V> a, DD<V> b) {
  const DD<V> p = two_prod(a.hi, b.hi);
  return fast_two_sum(p.hi, fma(a.hi, b.lo, fma(a.lo, b.hi, p.lo)));
}

// a * b for a double-double a and a plain b.
template <typename V>
inline DD<V> dd_mul(DD<V> a, V b) {
  const DD<V> p = two_prod(a.hi, b);
  return fast_two_sum(p.hi, fma(a.lo, b, p.lo));
}

}  // namespace zorp::simd
