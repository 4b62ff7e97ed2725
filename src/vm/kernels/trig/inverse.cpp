// Asin, Acos, Atan, Atan2 and their pi-scaled forms Asinpi, Acospi, Atanpi, Atan2pi in double
// precision: every one is an angle atan2(n, d) of common/atan_core.h (atan: |x| and
// 1; asin: |x| and sqrt(1 - x^2); acos: sqrt(1 - x^2) and |x|; atan2: |y| and |x|), with the sign
// of the argument (of y) applied at the end and x < 0 (its sign bit, so -0 too) turning theta
// into pi - theta. The double HA slots keep below one ulp with pairs only where a rounding would
// show: the arcsine and arccosine from one polynomial on a or on sqrt((1 - a)/2), the root from
// its refined estimate with its error kept (arc_high below), the atan and atan2 from the refined
// reciprocal estimate (atan_high below and atan2_high of the common header); the pi-scaled forms
// multiply the angle by 1/pi as a pair: asinpi(1) = 1/2, atan2pi(1, 1) = 1/4 exactly. The LA
// and EP arcsine and arccosine have a short method sized to each class, shared with single
// precision (common/atan_core.h, arc_short); the LA and EP arctangents form the angle plainly.
//
// Single precision has its own source, inverse_single.cpp.
//
// Asin and Acos beyond [-1, 1] give NaN and report a domain error (status 1); nothing else
// reports. Those lanes and NaN arguments are settled by the kernel (inverse_kernels.h) after
// the method, which may leave anything there.
#include <cmath>
#include <limits>

#include "simd/exact.h"
#include "simd/poly.h"
#include "vm/kernels/common/atan_core.h"
#include "vm/kernels/trig/generated/trig_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using namespace zorp::vm::angles;

// Arcsine and arccosine of x for the double HA slots, below one ulp, with no pair sums and
// neither the divider nor the square-root instruction (whose throughput, a register in twelve
// cycles or more, bounded the kernel). With a = |x|: up to 1/2, asin a = a + a u A(u) with
// u = a^2; above, asin a = pi/2 - 2 asin s with s = sqrt(z), z = (1 - a)/2 (exact there), and
// asin s = s + (s u A(u) + s_lo) with u = z, s_lo = sqrt(z) - s. Every case is then
//   base + c v + c (v u A(u) + v_lo) (+ the base's low part)
// with v = a, x or s and
//   asin a: base 0, c 1 (a <= 1/2);  base pi/2, c -2 (beyond); then the sign of x;
//   acos x: base pi/2, c -1, v = x (|x| <= 1/2);  base 0, c 2 (x > 1/2);  base pi, c -2 (x < -1/2).
// c v is exact and no larger than the base where that is nonzero, so base + c v is a fast
// two-sum, rounded once with the rest (at most a sixth of the angle where the base is zero,
// about a tenth of it where it nearly cancels c v, a just above 1/2). The root: y the 14-bit
// estimate of 1/sqrt(z) (capped, so that z = 0 gives 0), h = z y and e = 1 - h y; the series of
// (1 - e)^(-1/2) to e^2 takes h and y to about 2^-40 (h1, y1), and the root's error
// s_lo = (z - h1^2)/(2 sqrt z), with z - h1^2 fused (its rounding some 2^-92 of z) and y1/2 for
// 1/(2 sqrt z), to some 2^-80 of the root. The pair h1 + s_lo enters the tail whole,
// (h1 + s_lo) u A(u) = h1 p + (s_lo p + s_lo) with p = u A(u): h1 alone there would leave its
// 2^-40 in a tenth of the angle. (Rounding h1 to the root by one more step on the residual and
// dropping s_lo from the tail is one instruction longer.)
// NaN and |x| > 1 come out as anything: the kernel replaces those lanes.
template <bool kCos, bool kPiUnits>
[[gnu::always_inline]] inline V arc_high(V x) {
  const V a = abs(x), half = splat(0.5);
  const __mmask8 big = less(half, a);
  const V z = fnma(a, half, half);  // (1 - a)/2, exact from 1/2 up
  const V y = min(reciprocal_sqrt_estimate(z), splat(0x1p60));
  const V h = mul(z, y);
  const V e = fnma(h, y, splat(1.0));
  const V series = fma(e, splat(0.375), half);  // (1 - e)^(-1/2) = 1 + e (1/2 + 3e/8) + ...
  const V h1 = fma(mul(h, e), series, h);
  const V y_half = mul(y, half);
  const V y1_half = fma(mul(y_half, e), series, y_half);
  const V v = select(big, h1, kCos ? x : a);
  const V v_lo = zero_unless(big, mul(fnma(h1, h1, z), y1_half));
  const V u = select(big, z, mul(a, a));
  const V p = mul(u, horner(u, trigpoly::kAsinTailD));
  const V rest = fma(v, p, fma(v_lo, p, v_lo));
  V c, base_hi, base_lo;
  if constexpr (!kCos) {
    c = select(big, splat(-2.0), splat(1.0));
    base_hi = zero_unless(big, splat(kPiHi / 2));
    base_lo = zero_unless(big, splat(kPiLo / 2));
  } else {
    const __mmask8 negative = less(x, zero<V>());
    c = select(big, select(negative, splat(-2.0), splat(2.0)), splat(-1.0));
    const __mmask8 full = big & negative, quarter = ~big;
    base_hi = select(full, splat(kPiHi), zero_unless(quarter, splat(kPiHi / 2)));
    base_lo = select(full, splat(kPiLo), zero_unless(quarter, splat(kPiLo / 2)));
  }
  const P s = fast_two_sum(base_hi, mul(c, v));
  V r = finish<kPiUnits>({s.hi, add(s.lo, fma(c, rest, base_lo))});
  if constexpr (!kCos) r = copy_sign(small_angle<kPiUnits>(a, splat(1.0), r), x);
  return r;
}

// atan x for the double HA slots, below one ulp of double, with pairs only where a rounding
// would show. With a = |x|, one quotient t = n/d in [-tan(pi/8), tan(pi/8)] and a base:
//   a <= tan(pi/8):           t = a,                 base 0
//   a up to tan(3pi/8):       t = (a - 1)/(a + 1),   base pi/4
//   beyond:                   t = -1/a,              base pi/2
// and atan a = base + t + (t u A(u) + t_lo (1 - u)) with u = t^2: t_lo is the quotient's
// rounding error (its share of atan is t_lo/(1 + u)), and the sums a - 1, a + 1 keep theirs
// (a - 1 is exact from 1/2 up, the other two are recovered exactly by a fast two-sum). The
// quotient comes from the 14-bit reciprocal estimate refined twice (some 2^-55) rather than the
// divider, whose throughput (a register in sixteen cycles) bounded the kernel; t = n r is then
// within an ulp or two and its residual, n - t d exact by the fused step, gives t_lo to well
// below 2^-100 of t. base + t is exact as a pair (|t| < pi/4 where the base is nonzero) and
// rounded once with the rest, which is at most 0.06 of the angle. a is capped at 2^60, where
// atan already rounds to pi/2, so an infinity takes the same path.
template <bool kPiUnits>
[[gnu::always_inline]] inline V atan_high(V x) {
  constexpr double kTanThreeEighthsPi = 0x1.3504f333f9de6p+1;
  const V a = abs(x), one = splat(1.0);
  const __mmask8 mid = less(splat(kTanEighthPi), a), big = less(splat(kTanThreeEighthsPi), a);
  const __mmask8 mid_only = mid & ~big;
  const V below = sub(a, one), above = add(a, one);
  const V num = select(big, splat(-1.0), select(mid, below, a));
  const V den = select(big, min(a, splat(0x1p60)), select(mid, above, one));
  // fast two-sums with 1 as the larger side below 1; from 1 to tan(3pi/8) both are exact
  const V num_lo = sub_zero(mid_only, a, add(below, one));
  const V den_lo = sub_zero(mid_only, a, sub(above, one));
  const auto [t, t_lo] = refined_quotient(num, num_lo, den, den_lo);
  const V u = mul(t, t);
  const V base_hi = select(big, splat(kPiHi / 2), zero_unless(mid, splat(kPiHi / 4)));
  const V base_lo = select(big, splat(kPiLo / 2), zero_unless(mid, splat(kPiLo / 4)));
  const V rest = fma(mul(t, u), horner(u, trigpoly::kAtanLaD), add(fnma(t_lo, u, t_lo), base_lo));
  const P s = fast_two_sum(base_hi, t);
  const V theta = finish<kPiUnits>({s.hi, add(s.lo, rest)});
  return copy_sign(small_angle<kPiUnits>(a, one, theta), x);
}

// The kernels' method by slot: HA as above; the LA and EP arcsine and arccosine short
// (arc_short), their arctangent plain. Always inlined into the kernel's loop (out of line, the
// HA atan measured a sixth slower: one call per register, none of them interleaved).
template <Inv F, bool kPiUnits, Acc A>
[[gnu::always_inline]] inline V inverse(V x) {
  if constexpr (F != Inv::Atan && A != Acc::HA) {
    return arc_short<F, kPiUnits, A>(x);
  } else if constexpr (F == Inv::Atan) {
    V r;
    if constexpr (A == Acc::HA) {
      r = atan_high<kPiUnits>(x);
    } else {
      const __mmask8 inf = classify<kClassInf>(x);
      const V n = select(inf, splat(1.0), abs(x)), d = select(inf, zero<V>(), splat(1.0));
      r = copy_sign(angle_short<A, kPiUnits>(n, d, 0), x);
    }
    return select(classify<kClassNaN>(x), add(x, x), r);
  } else {
    return arc_high<F == Inv::Acos, kPiUnits>(x);
  }
}

}  // namespace
}  // namespace zorp::vm

#include "vm/kernels/trig/inverse_kernels.h"

ZORP_INVERSE_ROWS(d, double)
