// The angle atan2(n, d) of the inverse trigonometric functions, and atan2 itself, for the
// kernels that need an angle: Asin, Acos, Atan, Atan2 and their pi-scaled forms, and the complex
// argument.
//
// Double precision has two methods (trig::Method): on double-double pairs rounded once, below
// one ulp of double (the double HA arcsine and arccosine and the complex argument; the HA atan
// and atan2 take the quotient from the refined estimate and keep pairs only where a rounding
// would show, atan2_high and inverse.cpp's atan_high), or plainly with one quotient and the polynomial of
// the result's precision (the double LA and EP slots, and the single-precision complex argument,
// computed in double). atan z for z = min/max in [0, 1] is atan t for t = z up to tan(pi/8), else
// pi/4 + atan t for t = (z - 1)/(z + 1); then atan t = t + t u A(u) (u = t^2, polynomials of
// tools/fit), and pi/2 - theta, pi - theta complete the angle. C's special cases of atan2 come
// out of the same path by substituting n and d: both infinite (1, 1), one infinite (1, 0) or
// (0, 1), both zero (0, 1); a NaN gives NaN.
//
// Single precision works on sixteen float lanes with one polynomial per accuracy class (see the
// end of this file).
#pragma once
#include <cmath>
#include <limits>

#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/common/slots.h"
#include "vm/kernels/trig/generated/trig_polys.inc"

namespace zorp::vm::angles {

using namespace zorp::simd;
using trig::Method;
using V = __m512d;
using P = DD<V>;

// The inverse trigonometric functions, each an angle of this header.
enum class Inv { Asin, Acos, Atan };

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
// sum would overflow). Always inlined: out of line, its pairs go through memory (measured: the
// double HA atan a third slower once the unit had grown).
template <bool kFine = false>
[[gnu::always_inline]] inline P angle(P n, P d, __mmask8 x_negative) {
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

// n/d for the LA and EP angles without the divider, whose throughput (a register in ten cycles
// or more) would bound these kernels: r the 14-bit estimate of 1/d, in double refined once
// (2^-28); then q = n r, which EP takes as it is, and LA corrected once by its residual
// (2^-28 times r's error, so within about half an ulp plus 2^-56 in double, 2^-28 in single).
// d must lie well inside the exponent range, where the estimate is neither infinite nor
// subnormal.
template <Acc A, typename W>
inline W quotient_short(W n, W d) {
  using T = Elem<W>;
  W r = reciprocal_estimate(d);
  if constexpr (sizeof(T) == 8) r = fma(r, fnma(d, r, splat(T(1))), r);
  const W q = mul(n, r);
  if constexpr (A == Acc::LA) return fma(fnma(d, q, n), r, q);
  else return q;
}

// Both sides brought to the binade of the larger where the estimate's quotient would fail:
// the divisor must lie well inside the exponent range (and lo + hi must not overflow), and the
// residual of LA's correction, some 2^-28 (double) or 2^-14 (single) of the smaller side, must
// not fall among the subnormals. So a smaller side below 2^-kLow or a larger one above 2^kHigh
// sends the register here; only atan2 sees such sides, and a side of zero costs nothing more
// than the scaling.
template <int kLow, int kHigh, typename W>
inline void center_sides(W& n, W& d) {
  using T = Elem<W>;
  const W hi = max(n, d);
  const auto extreme = less(min(n, d), splat(T(std::ldexp(T(1), -kLow)))) | less(splat(T(std::ldexp(T(1), kHigh))), hi);
  if (extreme) [[unlikely]] {
    const W e = sub(zero<W>(), exponent_of(hi));
    n = select(extreme, scale_by_pow2(n, e), n);
    d = select(extreme, scale_by_pow2(d, e), d);
  }
}

// The same angle in plain double arithmetic, for the slots that need a few units of 2^-53 and
// not one ulp of double: every single-precision slot (computed in double, rounded once) and the
// double LA and EP slots. One quotient: the reduction at tan(pi/8) chooses the numerator and
// denominator before dividing, t = lo/hi or (lo - hi)/(lo + hi).
//
// The double LA and EP kernels (kQuotient LA or EP) take the quotient from the estimate
// (quotient_short), their sides already centred (center_sides) or, for atan, hi at least 1
// and lo 1 or a huge hi's share not mattering; the others divide.
template <const auto& kTail, Acc kQuotient = Acc::HA>
inline V angle_plain(V n, V d, __mmask8 x_negative) {
  const __mmask8 swap = less(d, n);
  V lo = select(swap, d, n), hi = select(swap, n, d);
  if constexpr (kQuotient == Acc::HA) {
    // Sides near the top of the range are scaled down first so that lo + hi cannot overflow.
    const __mmask8 huge = less(splat(0x1p1020), hi);
    lo = select(huge, mul(lo, splat(0x1p-4)), lo);
    hi = select(huge, mul(hi, splat(0x1p-4)), hi);
  }
  const __mmask8 upper = less(mul(hi, splat(kTanEighthPi)), lo);
  const V num = select(upper, sub(lo, hi), lo), den = select(upper, add(lo, hi), hi);
  const V t = kQuotient == Acc::HA ? div(num, den) : quotient_short<kQuotient>(num, den);
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
  return pass_nan(x, y, r);
}

// (num + num_lo) / (den + den_lo) as t + t_lo, for the double HA angles: the quotient from the
// 14-bit reciprocal estimate refined twice (some 2^-55) rather than the divider, whose
// throughput (a register in sixteen cycles) bounds a kernel that divides in every register;
// t = num r is then within an ulp or two, and its residual, exact by the fused step, gives t_lo
// to well below 2^-100 of t.
[[gnu::always_inline]] inline P refined_quotient(V num, V num_lo, V den, V den_lo) {
  const V one = splat(1.0);
  V r = reciprocal_estimate(den);
  r = fma(r, fnma(den, r, one), r);
  r = fma(r, fnma(den, r, one), r);
  const V t = mul(num, r);
  return {t, mul(fnma(t, den_lo, add(fnma(t, den, num), num_lo)), r)};
}

// atan2 for the double HA slots, below one ulp without the divider or sums on zero low parts
// (the pair angle above, which the complex argument keeps). With lo = min, hi = max of the
// sides: t = lo/hi, or above tan(pi/8) t = (lo - hi)/(lo + hi) with both sums' errors kept by
// fast two-sums (hi is the larger side); the quotient from the 14-bit reciprocal estimate
// refined twice (some 2^-55), t = n r within an ulp or two, and its residual, exact by the
// fused step, gives t_lo to well below 2^-100 of t. The angle is then m pi/4 + c (t + rest),
// m = 0..4 and c = +-1 from the swap, the reduction and the sign of x, rest = t u A(u) +
// t_lo (1 - u); m pi/4 + c t is exact as a pair (|t| < pi/4 where m is not 0) and the rest
// joins it before the one rounding.
//
// The estimate and the residual want sides well inside the exponent range (and lo + hi must
// not overflow), so sides beyond 2^1000 or below 2^-960 are brought to the binade of the
// larger first; where that leaves the ratio among the subnormals, rounded twice on the way, the
// angle (the ratio itself for x >= 0 and no swap) is taken from the divider instead, and in
// turns of pi as small_angle forms it.
template <bool kPiUnits>
[[gnu::always_inline]] inline V atan2_high(V y, V x) {
  V n = abs(y), d = abs(x);
  const __mmask8 y_inf = classify<kClassInf>(y), x_inf = classify<kClassInf>(x);
  const __mmask8 both_zero = classify<kClassZero>(y) & classify<kClassZero>(x);
  n = select(y_inf, splat(1.0), select(x_inf, zero<V>(), n));
  d = select(x_inf, splat(1.0), select(y_inf, zero<V>(), select(both_zero, splat(1.0), d)));
  const __mmask8 x_negative = sign_set(x), swap = less(d, n);
  V lo = min(n, d), hi = max(n, d);
  const __mmask8 extreme = less(lo, splat(0x1p-960)) | less(splat(0x1p1000), hi);
  __mmask8 tiny = 0;
  V tiny_angle = zero<V>();
  if (extreme) [[unlikely]] {
    if constexpr (!kPiUnits) {
      tiny = extreme & ~(swap | x_negative) & less(lo, mul(hi, splat(0x1p-1000)));
      if (tiny) tiny_angle = div(lo, hi);
    }
    const V e = sub(zero<V>(), exponent_of(hi));
    lo = select(extreme, scale_by_pow2(lo, e), lo);
    hi = select(extreme, scale_by_pow2(hi, e), hi);
  }
  const __mmask8 upper = less(mul(hi, splat(kTanEighthPi)), lo);
  const P below = fast_two_sum(sub(zero<V>(), hi), lo), above = fast_two_sum(hi, lo);
  const V num = select(upper, below.hi, lo), den = select(upper, above.hi, hi);
  const V num_lo = zero_unless(upper, below.lo), den_lo = zero_unless(upper, above.lo);
  const V one = splat(1.0);
  const auto [t, t_lo] = refined_quotient(num, num_lo, den, den_lo);
  const V u = mul(t, t);
  const V rest = fma(mul(t, u), horner(u, trigpoly::kAtanLaD), fnma(t_lo, u, t_lo));
  // x >= 0: theta (m = 0 + up) or pi/2 - theta (m = 2 - up); x < 0: pi - theta (m = 4 - up) or
  // pi/2 + theta (m = 2 + up), theta = up pi/4 + atan t
  const V c = select(swap ^ x_negative, splat(-1.0), one);
  const V m = fma(c, zero_unless(upper, one), select(swap, splat(2.0), zero_unless(x_negative, splat(4.0))));
  const V base_hi = mul(m, splat(kPiHi / 4));
  const V base_lo = fma(m, splat(kPiLo / 4), fms(m, splat(kPiHi / 4), base_hi));
  const P s = fast_two_sum(base_hi, mul(c, t));
  V res = finish<kPiUnits>({s.hi, add(s.lo, fma(c, rest, base_lo))});
  if constexpr (kPiUnits) res = select(x_negative, res, small_angle<true>(n, d, res));
  else if (tiny) [[unlikely]] res = select(tiny, tiny_angle, res);
  return pass_nan(x, y, copy_sign(res, y));
}

// The real kernels' angle by accuracy slot: HA on pairs; LA and EP plain with the class's
// polynomial and the quotient from the estimate.
template <Acc A, bool kPiUnits>
inline V angle_short(V n, V d, __mmask8 x_negative) {
  const V theta = A == Acc::LA ? angle_plain<trigpoly::kAtanLaD, A>(n, d, x_negative)
                               : angle_plain<trigpoly::kAtanEpD, A>(n, d, x_negative);
  return kPiUnits ? mul(theta, splat(kInvPiHi)) : theta;
}

template <bool kPiUnits, Acc A>
inline V atan2_of(V y, V x) {
  if constexpr (A == Acc::HA) {
    return atan2_high<kPiUnits>(y, x);
  } else {
    V n = abs(y), d = abs(x);
    const __mmask8 y_inf = classify<kClassInf>(y), x_inf = classify<kClassInf>(x);
    const __mmask8 both_zero = classify<kClassZero>(y) & classify<kClassZero>(x);
    n = select(y_inf, splat(1.0), select(x_inf, zero<V>(), n));
    d = select(x_inf, splat(1.0), select(y_inf, zero<V>(), select(both_zero, splat(1.0), d)));
    center_sides<960, 1000>(n, d);
    const V r = copy_sign(angle_short<A, kPiUnits>(n, d, sign_set(x)), y);
    return pass_nan(x, y, r);
  }
}

// ---- single precision on sixteen float lanes ------------------------------------------------
// Every angle of the family is base + c (v + rest): base m eighths of a turn (m = 0..4, 0 to pi),
// c one of +-1, +-2, v the leading term (an argument, a quotient or a square root, rounded at
// most once) and rest what the polynomial and, for HA, the rounding error of v add to it.
// Composing the result from these parts rounds it once near the end instead of rounding the
// angle and then taking it from pi/2 or pi, which at single precision alone would cost an ulp
// or two.
constexpr float kQuarterPiHiF = 0x1.921fb6p-1f, kQuarterPiLoF = -0x1.777a5cp-26f;
constexpr float kInvPiHiF = 0x1.45f306p-2f, kInvPiLoF = 0x1.b93910p-27f;

// One polynomial per accuracy class: asin s on [0, 1/2] and atan t (HA on [0, tan(pi/8)], LA
// and EP on [0, 1]), as t + t u A(u).
template <Acc A>
struct AnglePolysF;
template <>
struct AnglePolysF<Acc::HA> {
  static constexpr const auto& kAtan = trigpoly::kAtanHaF;
  static constexpr const auto& kAsin = trigpoly::kAsinHaF;
};
template <>
struct AnglePolysF<Acc::LA> {
  static constexpr const auto& kAtan = trigpoly::kAtanLaF;
  static constexpr const auto& kAsin = trigpoly::kAsinLaF;
};
template <>
struct AnglePolysF<Acc::EP> {
  static constexpr const auto& kAtan = trigpoly::kAtanEpF;
  static constexpr const auto& kAsin = trigpoly::kAsinEpF;
};

// base + c (v + rest) in radians or in turns of pi. HA keeps m pi/4 as a pair (its low part
// holds the product's rounding error where m is odd), base + c v exact as a pair (|c v| stays
// below any nonzero base: 2s <= 1 against pi/2, t' <= tan(pi/8) against pi/4, so the short
// two-sum holds) and, in turns of pi, v/pi as an exact
// product, so the one rounding that counts is the last. LA and EP round the leading sum once
// and add rest to it, the base's head alone. In turns of pi the bases m/4 are exact, which keeps
// asinpi(1) = 1/2 and acospi(-1) = 1.
//
// HA lanes in `scaled` carry v and rest at 2^64 times their value: a tiny angle whose error
// terms would otherwise fall among the subnormals; the base is scaled with them and the result
// scaled back, one rounding.
template <Acc A, bool kPiUnits>
inline __m512 compose(__m512 m, __m512 c, __m512 v, __m512 rest, __mmask16 scaled = 0) {
  if constexpr (A == Acc::HA) {
    const __m512 g = select(scaled, splat(0x1p64f), splat(1.0f)), back = select(scaled, splat(0x1p-64f), splat(1.0f));
    __m512 r;
    if constexpr (kPiUnits) {
      const DD<__m512> p = two_prod(v, splat(kInvPiHiF));
      const __m512 small = fma(rest, splat(kInvPiHiF), fma(v, splat(kInvPiLoF), p.lo));
      const DD<__m512> s = fast_two_sum(mul(m, mul(g, splat(0.25f))), mul(c, p.hi));
      r = add(s.hi, fma(c, small, s.lo));
    } else {
      const __m512 mg = mul(m, g);
      const DD<__m512> base = two_prod(mg, splat(kQuarterPiHiF));
      const DD<__m512> s = fast_two_sum(base.hi, mul(c, v));
      r = add(s.hi, add(s.lo, fma(c, rest, fma(mg, splat(kQuarterPiLoF), base.lo))));
    }
    return mul(r, back);
  } else if constexpr (kPiUnits) {
    // base + c v/pi rounded once, then rest/pi: the base cancels against c v/pi where the angle is
    // well below it, which the first fused step absorbs exactly.
    return fma(rest, mul(c, splat(kInvPiHiF)), fma(mul(c, v), splat(kInvPiHiF), mul(m, splat(0.25f))));
  } else {  // m even here: m pi/4 exact but for the head's rounding, some 0.7 ulp of the angle
    return fma(c, rest, fma(c, v, mul(m, splat(kQuarterPiHiF))));
  }
}

// atan2(n, d) in [0, pi] for n, d >= 0, finite and not both zero, x_negative the lanes with x < 0,
// from t = min/max of the sides in [0, 1]: x >= 0: t (no swap) or pi/2 - t (swapped); x < 0:
// pi - t or pi/2 + t. LA and EP take t from the reciprocal estimate (quotient_short; atan2
// centres extreme sides first, atan's divisor is at least 1) and atan t by one polynomial over
// [0, 1].
//
// HA reduces again above tan(pi/8), to pi/4 + atan t' with t' = (lo - hi)/(lo + hi) formed
// from the sides as exact sums, and keeps the quotient's residual: t' + t_lo is the ratio to
// some 2^-45, where a rounded quotient alone (half an ulp, up to 0.4 ulp of the angle) could not
// leave the result below one ulp once the base is added. One reciprocal serves the quotient and
// its residual; it wants the sides well inside the exponent range, so the sides are scaled
// together first (their ratio keeps its value).
template <Acc A, bool kPiUnits>
inline __m512 angle_single(__m512 n, __m512 d, __mmask16 x_negative) {
  const __mmask16 swap = less(d, n);
  __m512 lo = select(swap, d, n), hi = select(swap, n, d);
  // m eighths of a turn and the sign c.
  __m512 m = select(swap, splat(2.0f), zero_unless(x_negative, splat(4.0f)));
  const __m512 c = select(swap ^ x_negative, splat(-1.0f), splat(1.0f));
  __m512 t, t_lo = zero<__m512>();
  __mmask16 scaled = 0;
  if constexpr (A == Acc::HA) {
    // hi brought to [1, 2) and lo with it, or to 2^64 times that where t is tiny (its
    // residual, and for a subnormal result its last bits, would otherwise be lost); one
    // scaling each, exact wherever the result can be told from zero.
    scaled = less(lo, mul(hi, splat(0x1p-60f)));
    const __m512 e = sub(zero<__m512>(), exponent_of(hi));
    lo = scale_by_pow2(lo, add(e, zero_unless(scaled, splat(64.0f))));
    hi = scale_by_pow2(hi, e);
    const __mmask16 upper = less(mul(hi, splat(0x1.a8279ap-2f)), lo) & ~scaled;  // tan(pi/8) rounded
    const DD<__m512> below = fast_two_sum(sub(zero<__m512>(), hi), lo), above = fast_two_sum(hi, lo);
    const DD<__m512> num = {select(upper, below.hi, lo), zero_unless(upper, below.lo)};
    const DD<__m512> den = {select(upper, above.hi, hi), zero_unless(upper, above.lo)};
    const __m512 inv = div(splat(1.0f), den.hi);
    t = mul(num.hi, inv);
    t_lo = mul(sub(add(fnma(t, den.hi, num.hi), num.lo), mul(t, den.lo)), inv);
    m = fma(c, zero_unless(upper, splat(1.0f)), m);
  } else {
    t = quotient_short<A>(lo, hi);
  }
  const __m512 u = zero_unless(~scaled, mul(t, t));  // a scaled t is below 2^-60: no tail
  const __m512 rest = fma(mul(t, u), horner(u, AnglePolysF<A>::kAtan), t_lo);
  const __m512 r = compose<A, kPiUnits>(m, c, t, rest, scaled);
  // atan2pi(1, 1) = 1/4 (and 3/4 for x < 0) exactly, which LA's and EP's rounded tail cannot
  // promise (HA reaches it with t' = 0).
  if constexpr (kPiUnits && A != Acc::HA) return select(equal(lo, hi), fma(c, splat(0.25f), mul(m, splat(0.25f))), r);
  return r;
}

inline __mmask16 sign_set(__m512 x) { return classify<kClassNegative | kClassMinusZero | kClassMinusInf>(x); }

// C's special cases by substitution as in double: both infinite (1, 1), one infinite (1, 0) or
// (0, 1), both zero (0, 1); a NaN gives NaN.
inline void substitute_sides(__m512 y, __m512 x, __m512& n, __m512& d) {
  const __mmask16 y_inf = classify<kClassInf>(y), x_inf = classify<kClassInf>(x);
  const __mmask16 both_zero = classify<kClassZero>(y) & classify<kClassZero>(x);
  n = select(y_inf, splat(1.0f), zero_unless(~x_inf, n));
  d = select(x_inf, splat(1.0f), select(y_inf, zero<__m512>(), select(both_zero, splat(1.0f), d)));
}

// atan2 for the LA and EP slots. The common register has finite sides, the smaller at least
// 2^-90 and the larger at most 2^100, and there it needs none of the substitutions, the centring
// or the NaN passing: one test sends the rest to those steps. That test reads the smaller side
// as min(n, d) and the larger as max(d, n) with comparisons that hold for NaN, so a NaN in
// either (min and max return their second operand when one is NaN) is caught too. The sign c
// is folded into t (atan is odd), the angle base + c t rounded once and the tail added.
template <bool kPiUnits, Acc A>
inline __m512 atan2_short(__m512 y, __m512 x) {
  __m512 n = abs(y), d = abs(x);
  __m512 lo = min(n, d), hi = max(d, n);
  const __mmask16 odd = not_less_equal(splat(0x1p-90f), lo) | not_less_equal(hi, splat(0x1p100f));
  if (odd) [[unlikely]] {
    substitute_sides(y, x, n, d);
    center_sides<90, 100>(n, d);
    lo = min(n, d);
    hi = max(d, n);
  }
  const __mmask16 swap = less(d, n), x_negative = sign_set(x), flip = swap ^ x_negative;
  const __m512 t = quotient_short<A>(lo, hi);
  const __m512 tc = mul(t, flip, t, splat(-1.0f));
  const __m512 u = mul(t, t);
  const __m512 tail = mul(mul(tc, u), horner(u, AnglePolysF<A>::kAtan));
  __m512 r;
  if constexpr (kPiUnits) {
    const __m512 base = select(swap, splat(0.5f), zero_unless(x_negative, splat(1.0f)));
    r = fma(tail, splat(kInvPiHiF), fma(tc, splat(kInvPiHiF), base));
    // atan2pi(1, 1) = 1/4 (and 3/4 for x < 0) exactly, which the rounded tail cannot promise.
    r = select(equal(lo, hi), add(base, select(flip, splat(-0.25f), splat(0.25f))), r);
  } else {
    const __m512 base = select(swap, splat(2 * kQuarterPiHiF), zero_unless(x_negative, splat(4 * kQuarterPiHiF)));
    r = add(add(base, tc), tail);
  }
  r = copy_sign(r, y);
  if (odd) [[unlikely]] r = pass_nan(x, y, r);
  return r;
}

template <bool kPiUnits, Acc A>
inline __m512 atan2_of(__m512 y, __m512 x) {
  if constexpr (A != Acc::HA) {
    return atan2_short<kPiUnits, A>(y, x);
  } else {
    // The HA angle takes any finite nonzero sides (it scales them itself); zeros, infinities
    // and NaN are rare, so one classification of each side sends a register holding them to
    // the substitutions and the NaN passing, which leave other lanes as they are.
    constexpr int kOdd = kClassZero | kClassInf | kClassNaN;
    __m512 n = abs(y), d = abs(x);
    const __mmask16 odd = classify<kOdd>(y) | classify<kOdd>(x);
    if (odd) [[unlikely]] substitute_sides(y, x, n, d);
    __m512 r = copy_sign(angle_single<A, kPiUnits>(n, d, sign_set(x)), y);
    if (odd) [[unlikely]] r = pass_nan(x, y, r);
    return r;
  }
}

// ---- LA and EP arcsine and arccosine, both precisions -----------------------------------------
// The polynomial of each class: asin s = s + s u A(u) on [0, 1/2].
template <typename T, Acc A>
struct ArcPolys;
template <>
struct ArcPolys<double, Acc::LA> {
  static constexpr const auto& kAsin = trigpoly::kAsinLaD;
};
template <>
struct ArcPolys<double, Acc::EP> {
  static constexpr const auto& kAsin = trigpoly::kAsinEpD;
};
template <>
struct ArcPolys<float, Acc::LA> {
  static constexpr const auto& kAsin = trigpoly::kAsinLaF;
};
template <>
struct ArcPolys<float, Acc::EP> {
  static constexpr const auto& kAsin = trigpoly::kAsinEpF;
};

// The constants in each precision: pi and pi/2 as a rounded head and the rest, 1/pi likewise.
template <typename T>
struct ArcConstants;
template <>
struct ArcConstants<double> {
  static constexpr double kPi = kPiHi, kPiRest = kPiLo, kInvPi = kInvPiHi, kInvPiRest = kInvPiLo;
};
template <>
struct ArcConstants<float> {
  static constexpr float kPi = 4 * kQuarterPiHiF, kPiRest = 4 * kQuarterPiLoF, kInvPi = kInvPiHiF,
                         kInvPiRest = kInvPiLoF;
};

// sqrt(z), 0 <= z <= 1/2, for the LA and EP arcsine and arccosine. LA takes the square-root
// instruction. EP, whose root may be some 2^-27 off, takes it from the 14-bit estimate y of
// 1/sqrt(z), which leaves the divider free (measured: the double EP kernel a third faster):
// h = z y, and in double e = 1 - h y (|e| < 2^-13) and h (1 - e)^(-1/2) by its series to e^2
// (2^-40); in single h alone (2^-14). The estimate is capped so that z = 0 (x = +-1) gives 0
// rather than 0 times infinity. (The LA kernels measured no faster with the estimate and its
// series to e^3 in double or to e in single, against the instruction's half ulp.)
template <Acc A, typename W>
inline W root_short(W z) {
  using T = Elem<W>;
  if constexpr (A == Acc::LA) {
    return sqrt(z);
  } else {
    const W y = min(reciprocal_sqrt_estimate(z), splat(T(0x1p60)));
    const W h = mul(z, y);
    if constexpr (sizeof(T) == 4) return h;
    const W e = fnma(h, y, splat(T(1)));
    return fma(mul(h, e), fma(e, splat(T(0.375)), splat(T(0.5))), h);
  }
}

// The single LA arcsine and arccosine in radians: arc_short's sums with c folded into v
// before the tail (c v is exact, so c (v u A(u)) = (c v) u A(u)) and no factor c on the common
// path; beyond 1/2, u is z itself rather than the rounded square of its root.
template <Inv F>
inline __m512 arc_la_single(__m512 x) {
  const __m512 a = abs(x);
  const __mmask16 big = less(splat(0.5f), a);
  const __m512 z = fnma(a, splat(0.5f), splat(0.5f));  // (1 - a)/2, exact from 1/2 up
  const __m512 root = sqrt(z);
  const __m512 u = mul(z, ~big, a, a);
  // c v and base + c v, the base added by masked sums where it is nonzero
  __m512 cv, lead;
  if constexpr (F == Inv::Asin) {
    cv = mul(a, big, root, splat(-2.0f));
    lead = add(cv, big, cv, splat(2 * kQuarterPiHiF));
  } else {
    cv = select(big, mul(root, copy_sign(splat(2.0f), x)), flip_bits(x, 0x80000000u));
    const __mmask16 full = big & less(x, zero<__m512>());
    lead = add(add(cv, ~big, cv, splat(2 * kQuarterPiHiF)), full, cv, splat(4 * kQuarterPiHiF));
  }
  const __m512 r = fma(mul(cv, u), horner(u, trigpoly::kAsinLaF), lead);
  return F == Inv::Asin ? copy_sign(r, x) : r;
}

// The arcsine and arccosine of the LA and EP slots, plainly and without pairs: with a = |x| and
// the split at 1/2 of the accurate methods, v = a (asin), x (acos) up to 1/2 and
// v = sqrt((1 - a)/2) beyond, the tail v u A(u) (u = v^2) from the class's polynomial, and the
// result base + c v + c tail with base 0, pi/2 or pi and c one of +-1, +-2:
//   asin: a + tail (a <= 1/2), pi/2 - 2 (v + tail) beyond, then the sign of x;
//   acos: pi/2 - (x + tail) (|x| <= 1/2), 2 (v + tail) (x > 1/2), pi - 2 (v + tail) (x < -1/2).
// LA rounds base + c v once (c v is exact) and adds the tail, in double with the low part of
// the base (in single its head's rounding, some 0.7 ulp, is left): rounding the whole of asin v
// first and then taking it from pi/2 would double its error where the two nearly cancel (a just
// above 1/2). In turns of pi the bases 0, 1/2, 1 are exact and c v/pi rounds once with them. EP
// forms asin v and then base + c asin v, the base's head alone. NaN and |x| > 1 come out as
// anything (the root of a negative z is NaN): the kernel replaces those lanes.
template <Inv F, bool kPiUnits, Acc A, typename W>
inline W arc_short(W x) {
  using T = Elem<W>;
  using K = ArcConstants<T>;
  constexpr bool kLa = A == Acc::LA, kLow = kLa && sizeof(T) == 8;
  if constexpr (kLa && sizeof(T) == 4 && !kPiUnits) return arc_la_single<F>(x);
  const W a = abs(x);
  const auto big = less(splat(T(0.5)), a);
  const W z = fnma(a, splat(T(0.5)), splat(T(0.5)));  // (1 - a)/2, exact from 1/2 up
  const W v = select(big, root_short<A>(z), F == Inv::Asin ? a : x);
  // u = v^2 rather than z beyond 1/2: one rounding (EP: the root's error twice) in u is a
  // relative error of the tail alone, some 0.05 of the result.
  const W u = mul(v, v);
  const W vu = mul(v, u), p = horner(u, ArcPolys<T, A>::kAsin);
  W c, base_hi, base_lo;  // the base in radians or, in turns of pi, its exact share of pi
  if constexpr (F == Inv::Asin) {
    c = select(big, splat(T(-2)), splat(T(1)));
    base_hi = zero_unless(big, splat(kPiUnits ? T(0.5) : K::kPi / 2));
    base_lo = zero_unless(big, splat(K::kPiRest / 2));
  } else {
    const auto negative = less(x, zero<W>());
    c = select(big, select(negative, splat(T(-2)), splat(T(2))), splat(T(-1)));
    base_hi = select(big, zero_unless(negative, splat(kPiUnits ? T(1) : K::kPi)), splat(kPiUnits ? T(0.5) : K::kPi / 2));
    base_lo = select(big, zero_unless(negative, splat(K::kPiRest)), splat(K::kPiRest / 2));
  }
  W r;
  if constexpr (!kLa) {
    const W as = fma(vu, p, v);
    r = kPiUnits ? fma(mul(c, as), splat(K::kInvPi), base_hi) : fma(c, as, base_hi);
  } else if constexpr (kPiUnits) {
    const W cv = mul(c, v);
    r = add(fma(cv, splat(K::kInvPi), base_hi), fma(mul(c, mul(vu, p)), splat(K::kInvPi), mul(cv, splat(K::kInvPiRest))));
  } else if constexpr (kLow) {
    r = add(fma(c, v, base_hi), fma(c, mul(vu, p), base_lo));
  } else {
    r = fma(c, mul(vu, p), fma(c, v, base_hi));
  }
  if constexpr (F == Inv::Asin) r = copy_sign(r, x);  // asin(-0) = -0
  return r;
}

}  // namespace zorp::vm::angles
