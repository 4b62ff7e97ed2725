// The angle atan2(n, d) of the inverse trigonometric functions, and atan2 itself, for the
// kernels that need an angle: Asin, Acos, Atan, Atan2 and their pi-scaled forms, and the complex
// argument.
//
// Two methods (trig::Method): on double-double pairs rounded once, below one ulp of double (the
// double HA slots), or plainly with one quotient and the polynomial of the result's precision
// (the double LA and EP slots; single precision computed in double, a margin of about 2^-14 ulp
// for its rounding). atan z for z = min/max in [0, 1] is atan t for t = z up to tan(pi/8), else
// pi/4 + atan t for t = (z - 1)/(z + 1); then atan t = t + t u A(u) (u = t^2, polynomials of
// tools/fit), and pi/2 - theta, pi - theta complete the angle. C's special cases of atan2 come
// out of the same path by substituting n and d: both infinite (1, 1), one infinite (1, 0) or
// (0, 1), both zero (0, 1); a NaN gives NaN.
#pragma once
#include <cmath>
#include <limits>

#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/trig/generated/trig_polys.inc"

namespace zorp::vm::angles {

using namespace zorp::simd;
using trig::Method;
using V = __m512d;
using P = DD<V>;

constexpr double kPiHi = 0x1.921fb54442d18p+1, kPiLo = 0x1.1a62633145c07p-53;
constexpr double kInvPiHi = 0x1.45f306dc9c883p-2, kInvPiLo = -0x1.6b01ec5417056p-56;
constexpr double kTanEighthPi = 0x1.a827999fcef32p-2;

// The pair c - (hi + lo), c a pair constant.
inline P minus(double c_hi, double c_lo, P v) {
  const P s = two_sum(splat(c_hi), sub(zero<V>(), v.hi));
  return {s.hi, add(s.lo, sub(splat(c_lo), v.lo))};
}

// n / d for pairs, d > 0: the quotient of the heads and the residual's share.
inline P quotient(P n, P d) {
  const V z = div(n.hi, d.hi);
  const V residual = sub(add(fnma(z, d.hi, n.hi), n.lo), mul(z, d.lo));
  return {z, trig::low_quotient(residual, d.hi)};
}

inline P select_pair(__mmask8 m, P a, P b) { return {select(m, a.hi, b.hi), select(m, a.lo, b.lo)}; }

// atan t for the pair t, |t| <= tan(pi/8): kFine carries t - t^3/3 + t^5/5 - t^7/7 as pairs and
// the rest by kAtanTail9D (the angle within some 2^-65, and 2^-63 of itself: for the complex
// power, whose phase multiplies the angle by the exponent; an exponent that makes br arg a the
// phase's largest term asks arg a to better than 2^-62 of itself, and next to tan(pi/8), where
// the angle is near 0.39 and the tail largest, a double tail from the seventh power left some
// 2^-60.5); otherwise the rest past t by kAtanTailD (about 2^-58).
template <bool kFine>
inline P atan_small(P t) {
  if constexpr (kFine) {
    auto times = [](P a, P b) {  // a b as a pair, dropping a.lo b.lo
      P p = two_prod(a.hi, b.hi);
      p.lo = fma(a.hi, b.lo, fma(a.lo, b.hi, p.lo));
      return p;
    };
    const P u = two_prod(t.hi, t.hi);
    const P cube = times({t.hi, zero<V>()}, u), fifth = times(cube, u), seventh = times(fifth, u);
    const P third = times(cube, {splat(0x1.5555555555555p-2), splat(0x1.5555555555555p-56)});
    const P fifth_part = times(fifth, {splat(0x1.999999999999ap-3), splat(-0x1.999999999999ap-57)});
    const P seventh_part = times(seventh, {splat(0x1.2492492492492p-3), splat(0x1.2492492492492p-57)});
    // the low part joins as lo atan'(hi) = lo / (1 + u) = lo (1 - u + u^2 - u^3 + u^4 ...): t.lo
    // is up to two ulps of t.hi where the quotient's divisor had a low part, and u^4 of that
    // shows at 2^-63
    const V slope = fma(u.hi, fma(u.hi, fma(u.hi, sub(u.hi, splat(1.0)), splat(1.0)), splat(-1.0)), splat(1.0));
    const V rest = fma(mul(seventh.hi, u.hi), horner(u.hi, trigpoly::kAtanTail9D), mul(t.lo, slope));
    const P s1 = two_sum(t.hi, sub(zero<V>(), third.hi));
    const P s2 = two_sum(s1.hi, fifth_part.hi);
    const P s3 = two_sum(s2.hi, sub(zero<V>(), seventh_part.hi));
    const V parts = sub(sub(fifth_part.lo, third.lo), seventh_part.lo);
    return {s3.hi, add(add(add(s1.lo, s2.lo), s3.lo), add(parts, rest))};
  } else {
    const V u = mul(t.hi, t.hi);
    return {t.hi, fma(mul(t.hi, u), horner(u, trigpoly::kAtanTailD), t.lo)};
  }
}

// atan2(n, d) in [0, pi] for pairs n, d >= 0 (not both zero), x_negative the lanes with x < 0.
// One quotient: above tan(pi/8), atan(lo/hi) = pi/4 + atan(t) with t = (lo - hi)/(lo + hi) formed
// from the sides directly (both sides scaled down first near the top of the range, where their
// sum would overflow).
template <bool kFine = false>
inline P angle(P n, P d, __mmask8 x_negative) {
  const __mmask8 swap = less(d.hi, n.hi);
  P lo_side = select_pair(swap, d, n), hi_side = select_pair(swap, n, d);
  const __mmask8 huge = less(splat(0x1p1020), hi_side.hi);
  if (huge) {
    const V f = select(huge, splat(0x1p-4), splat(1.0));
    lo_side = {mul(lo_side.hi, f), mul(lo_side.lo, f)};
    hi_side = {mul(hi_side.hi, f), mul(hi_side.lo, f)};
  }
  const __mmask8 upper = less(mul(hi_side.hi, splat(kTanEighthPi)), lo_side.hi);
  const P below = two_sum(lo_side.hi, sub(zero<V>(), hi_side.hi)), above = two_sum(lo_side.hi, hi_side.hi);
  const V lo_diff = sub(lo_side.lo, hi_side.lo), lo_sum = add(lo_side.lo, hi_side.lo);
  const P t = quotient(select_pair(upper, {below.hi, add(below.lo, lo_diff)}, lo_side),
                       select_pair(upper, {above.hi, add(above.lo, lo_sum)}, hi_side));
  const P at = atan_small<kFine>(t);
  const V base_hi = zero_unless(upper, splat(kPiHi / 4)), base_lo = zero_unless(upper, splat(kPiLo / 4));
  const P s = two_sum(base_hi, at.hi);
  P theta = {s.hi, add(s.lo, add(at.lo, base_lo))};
  const P complement = minus(kPiHi / 2, kPiLo / 2, theta);
  theta = {select(swap, complement.hi, theta.hi), select(swap, complement.lo, theta.lo)};
  const P supplement = minus(kPiHi, kPiLo, theta);
  return {select(x_negative, supplement.hi, theta.hi), select(x_negative, supplement.lo, theta.lo)};
}

// The same angle in plain double arithmetic, for the slots that need a few units of 2^-53 and
// not one ulp of double: every single-precision slot (computed in double, rounded once) and the
// double LA and EP slots. One quotient: the reduction at tan(pi/8) chooses the numerator and
// denominator before dividing, t = lo/hi or (lo - hi)/(lo + hi).
template <const auto& kTail>
inline V angle_plain(V n, V d, __mmask8 x_negative) {
  const __mmask8 swap = less(d, n);
  V lo = select(swap, d, n), hi = select(swap, n, d);
  // Sides near the top of the range are scaled down first so that lo + hi cannot overflow.
  const __mmask8 huge = less(splat(0x1p1020), hi);
  lo = select(huge, mul(lo, splat(0x1p-4)), lo);
  hi = select(huge, mul(hi, splat(0x1p-4)), hi);
  const __mmask8 upper = less(mul(hi, splat(kTanEighthPi)), lo);
  const V t = div(select(upper, sub(lo, hi), lo), select(upper, add(lo, hi), hi));
  const V u = mul(t, t);
  V theta = add(fma(mul(t, u), horner(u, kTail), t), zero_unless(upper, splat(kPiHi / 4)));
  theta = select(swap, sub(splat(kPiHi / 2), theta), theta);
  return select(x_negative, sub(splat(kPiHi), theta), theta);
}

inline P pair(V v) { return {v, zero<V>()}; }

// The pair rounded once, or divided by pi first.
template <bool kPiUnits>
inline V finish(P theta) {
  if constexpr (kPiUnits) {
    const P p = two_prod(theta.hi, splat(kInvPiHi));
    return add(p.hi, fma(theta.hi, splat(kInvPiLo), fma(theta.lo, splat(kInvPiHi), p.lo)));
  } else {
    return add(theta.hi, theta.lo);
  }
}

// The pi-scaled forms where n/d < 2^-960: the angle is n/d itself and its share of pi falls
// near or among the subnormals, where a quotient rounded first would be rounded twice; so
// n/(d pi) is formed at a scale of 2^200 and rounded once when scaled back. r elsewhere.
template <bool kPiUnits>
inline V small_angle(V n, V d, V r) {
  if constexpr (kPiUnits) {
    const __mmask8 small = less(n, mul(d, splat(0x1p-960)));
    if (small) {
      const V scaled = mul(finish<true>(quotient(pair(mul(n, splat(0x1p200))), pair(d))), splat(0x1p-200));
      return select(small, scaled, r);
    }
  }
  return r;
}

inline __mmask8 sign_set(V x) { return classify<kClassNegative | kClassMinusZero | kClassMinusInf>(x); }

// The plain angle with the polynomial for the result's precision, in radians or turns of pi.
template <Method M, bool kPiUnits>
inline V angle_by(V n, V d, __mmask8 x_negative) {
  const V theta = M == Method::PlainDouble ? angle_plain<trigpoly::kAtanTailD>(n, d, x_negative)
                                           : angle_plain<trigpoly::kAtanTailS>(n, d, x_negative);
  return kPiUnits ? mul(theta, splat(kInvPiHi)) : theta;
}

template <bool kPiUnits, Method M>
inline V atan2_of(V y, V x) {
  V n = abs(y), d = abs(x);
  const __mmask8 y_inf = classify<kClassInf>(y), x_inf = classify<kClassInf>(x);
  const __mmask8 both_zero = classify<kClassZero>(y) & classify<kClassZero>(x);
  n = select(y_inf, splat(1.0), select(x_inf, zero<V>(), n));
  d = select(x_inf, splat(1.0), select(y_inf, zero<V>(), select(both_zero, splat(1.0), d)));
  const __mmask8 x_negative = sign_set(x);
  V r;
  if constexpr (M == Method::Pairs) {
    // A tiny n is scaled up together with d (the angle does not change), so that the quotient's
    // residual is not lost among the subnormals.
    const __mmask8 low = less(n, splat(0x1p-900)) & less(d, splat(0x1p700));
    n = select(low, mul(n, splat(0x1p200)), n);
    d = select(low, mul(d, splat(0x1p200)), d);
    r = finish<kPiUnits>(angle(pair(n), pair(d), x_negative));
    r = select(x_negative, r, small_angle<kPiUnits>(n, d, r));
  } else {
    r = angle_by<M, kPiUnits>(n, d, x_negative);
  }
  r = copy_sign(r, y);
  // Of two NaNs, x's (quieted) is the result. Not add(x, y): the compiler may commute the sum,
  // and then the NaN kept would depend on how one copy of this code was compiled.
  const __mmask8 x_nan = classify<kClassNaN>(x);
  return select(x_nan | classify<kClassNaN>(y), select(x_nan, add(x, x), add(y, y)), r);
}

template <bool kPiUnits, Method>
inline __m512 atan2_of(__m512 y, __m512 x) {
  constexpr Method M = Method::PlainSingle;
  return narrow(atan2_of<kPiUnits, M>(widen_low(y), widen_low(x)), atan2_of<kPiUnits, M>(widen_high(y), widen_high(x)));
}

}  // namespace zorp::vm::angles
