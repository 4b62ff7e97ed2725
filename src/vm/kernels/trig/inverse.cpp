// Asin, Acos, Atan, Atan2 and their pi-scaled forms Asinpi, Acospi, Atanpi, Atan2pi in double
// precision: every one is an angle atan2(n, d) of common/atan_core.h (atan: |x| and
// 1; asin: |x| and sqrt(1 - x^2); acos: sqrt(1 - x^2) and |x|; atan2: |y| and |x|), with the sign
// of the argument (of y) applied at the end and x < 0 (its sign bit, so -0 too) turning theta
// into pi - theta. The double HA arcsine and arccosine form it on pairs, below one ulp (the HA
// atan and atan2 from the refined reciprocal estimate, atan_high below and atan2_high of the
// common header, with pairs only where a rounding would show); there 1 - x^2 is taken
// as 1 - (x^2 as an exact product) with the error of the subtraction kept, which keeps acos
// accurate next to 1, and the pi-scaled forms multiply the pair by 1/pi as a pair: asinpi(1) =
// 1/2, atan2pi(1, 1) = 1/4 exactly. The LA and EP arcsine and arccosine have a short method
// sized to each class, shared with single precision (common/atan_core.h, arc_short); the LA
// and EP arctangents form the angle plainly.
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

// Arcsine and arccosine of x, |x| <= 1, as a pair (plain: a zero tail). With a = |x|: up to 1/2,
// asin a = a + a u A(u) with u = a^2; above, asin a = pi/2 - 2 asin s with s = sqrt((1 - a)/2)
// (1 - a is exact there), s carried as a pair on the pairs' method. Then
//   asin x = sign(x) asin a;   acos x = pi/2 - asin x (a <= 1/2), 2 asin s (x > 1/2),
//   pi - 2 asin s (x < -1/2),
// each formed as a pair and rounded once. No division, and one square root.
template <bool kCos, Method M>
inline P arc(V x) {
  constexpr bool kPairs = M == Method::Pairs;
  const V a = abs(x);
  const __mmask8 big = less(splat(0.5), a);
  const V z = mul(sub(splat(1.0), a), splat(0.5));  // exact for a >= 1/2
  const V root = sqrt(z);
  const V s = select(big, root, a);
  const V u = select(big, z, mul(a, a));
  V s_lo = zero<V>();
  if constexpr (kPairs) s_lo = zero_unless(big & less(zero<V>(), root), trig::low_quotient(fnma(root, root, z), add(root, root)));
  const P as = {s, fma(mul(s, u), horner(u, trigpoly::kAsinTailD), s_lo)};  // asin s, unrounded
  const P twice = {add(as.hi, as.hi), add(as.lo, as.lo)};
  const __mmask8 negative = less(x, zero<V>());
  if constexpr (!kCos) {
    // asin a: small as it is, big pi/2 - 2 asin s; then the sign of x.
    const P far = minus(kPiHi / 2, kPiLo / 2, twice);
    const P r = select_pair(big, far, as);
    return select_pair(negative, {sub(zero<V>(), r.hi), sub(zero<V>(), r.lo)}, r);
  } else {
    const P signed_as = select_pair(negative, {sub(zero<V>(), as.hi), sub(zero<V>(), as.lo)}, as);
    const P near = minus(kPiHi / 2, kPiLo / 2, signed_as);
    const P far = select_pair(negative, minus(kPiHi, kPiLo, twice), twice);
    return select_pair(big, far, near);
  }
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
  V r = reciprocal_estimate(den);
  r = fma(r, fnma(den, r, one), r);
  r = fma(r, fnma(den, r, one), r);
  const V t = mul(num, r);
  const V t_lo = mul(fnma(t, den_lo, add(fnma(t, den, num), num_lo)), r);
  const V u = mul(t, t);
  const V base_hi = select(big, splat(kPiHi / 2), zero_unless(mid, splat(kPiHi / 4)));
  const V base_lo = select(big, splat(kPiLo / 2), zero_unless(mid, splat(kPiLo / 4)));
  const V rest = fma(mul(t, u), horner(u, trigpoly::kAtanLaD), add(fnma(t_lo, u, t_lo), base_lo));
  const P s = fast_two_sum(base_hi, t);
  const V theta = finish<kPiUnits>({s.hi, add(s.lo, rest)});
  return copy_sign(small_angle<kPiUnits>(a, one, theta), x);
}

// The kernels' method by slot: HA on pairs; the LA and EP arcsine and arccosine short
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
    const V xm = max(min(x, splat(1.0)), splat(-1.0));
    V r = finish<kPiUnits>(arc<F == Inv::Acos, Method::Pairs>(xm));
    // asinpi of arguments whose share of pi falls among the subnormals: rounded once at scale.
    if constexpr (F == Inv::Asin) r = copy_sign(small_angle<kPiUnits>(abs(xm), splat(1.0), abs(r)), x);
    return r;
  }
}

}  // namespace
}  // namespace zorp::vm

#include "vm/kernels/trig/inverse_kernels.h"

ZORP_INVERSE_ROWS(d, double)
