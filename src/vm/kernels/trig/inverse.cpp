// Asin, Acos, Atan, Atan2 and their pi-scaled forms Asinpi, Acospi, Atanpi, Atan2pi, in single
// and double precision, below one ulp in every slot.
//
// All eight are one angle: theta = atan2(n, d) for n, d >= 0 given as double-double pairs
// (atan: |x| and 1; asin: |x| and sqrt(1 - x^2); acos: sqrt(1 - x^2) and |x|; atan2: |y| and
// |x|), with the sign of the argument (of y) applied at the end and x < 0 (its sign bit, so -0
// too) turning theta into pi - theta. With z = min/max as a pair (one quotient, its residual by
// a fused multiply-add), atan z for z in [0, 1] is atan t for t = z <= tan(pi/8), or pi/4 +
// atan t for t = (z - 1)/(z + 1) above, t again a pair; then atan t = t + t u A(u) (u = t^2,
// the degree-12 polynomial of tools/fit), and pi/2 - theta and pi - theta are formed on pairs,
// so the result is rounded once. 1 - x^2 is taken as 1 - (x^2 as an exact product) with the
// error of the subtraction kept, which keeps acos accurate next to 1. The pi-scaled forms
// multiply the pair by 1/pi as a pair: asinpi(1) = 1/2, atan2pi(1, 1) = 1/4 exactly.
//
// C's special cases of atan2 come out of the same path by substituting the pair: both
// infinite (1, 1), one infinite (1, 0) or (0, 1), both zero (0, 1); a NaN gives NaN. Asin and
// Acos beyond [-1, 1] give NaN and report a domain error (status 1); nothing else reports.
// Single precision runs the double registers on its widened halves and rounds once.
#include <cmath>
#include <limits>

#include "simd/exact.h"
#include "simd/poly.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/trig/generated/trig_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using V = __m512d;
using P = DD<V>;
using trig::Method;

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
  return {z, div(residual, d.hi)};
}

// atan2(n, d) in [0, pi] for pairs n, d >= 0 (not both zero), x_negative the lanes with x < 0.
inline P angle(P n, P d, __mmask8 x_negative) {
  const __mmask8 swap = less(d.hi, n.hi);
  const P lo_side = {select(swap, d.hi, n.hi), select(swap, d.lo, n.lo)};
  const P hi_side = {select(swap, n.hi, d.hi), select(swap, n.lo, d.lo)};
  const P z = quotient(lo_side, hi_side);  // [0, 1]
  // Above tan(pi/8): atan z = pi/4 + atan((z - 1)/(z + 1)).
  const __mmask8 upper = less(splat(kTanEighthPi), z.hi);
  const P below = two_sum(z.hi, splat(-1.0)), above = two_sum(z.hi, splat(1.0));
  const P t_upper = quotient({below.hi, add(below.lo, z.lo)}, {above.hi, add(above.lo, z.lo)});
  const P t = {select(upper, t_upper.hi, z.hi), select(upper, t_upper.lo, z.lo)};
  const V u = mul(t.hi, t.hi);
  const V tail = fma(mul(t.hi, u), horner(u, trigpoly::kAtanTailD), t.lo);
  const V base_hi = zero_unless(upper, splat(kPiHi / 4)), base_lo = zero_unless(upper, splat(kPiLo / 4));
  const P s = two_sum(base_hi, t.hi);
  P theta = {s.hi, add(s.lo, add(tail, base_lo))};
  const P complement = minus(kPiHi / 2, kPiLo / 2, theta);
  theta = {select(swap, complement.hi, theta.hi), select(swap, complement.lo, theta.lo)};
  const P supplement = minus(kPiHi, kPiLo, theta);
  return {select(x_negative, supplement.hi, theta.hi), select(x_negative, supplement.lo, theta.lo)};
}

// The same angle in plain double arithmetic, for the slots that need a few units of 2^-53 and
// not one ulp of double: every single-precision slot (computed in double, rounded once) and the
// double LA and EP slots. One quotient instead of the pairs' four: the reduction at tan(pi/8)
// chooses the numerator and denominator before dividing, t = lo/hi or (lo - hi)/(lo + hi).
// Operands near the top of the range are scaled down first so that lo + hi cannot overflow.
template <const auto& kTail>
inline V angle_plain(V n, V d, __mmask8 x_negative) {
  const __mmask8 swap = less(d, n);
  V lo = select(swap, d, n), hi = select(swap, n, d);
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

// sqrt(1 - a^2) as a pair, for 0 <= a <= 1.
inline P cosine_side(V a) {
  const P sq = two_prod(a, a);
  const P h = two_sum(splat(1.0), sub(zero<V>(), sq.hi));
  const V h_lo = sub(h.lo, sq.lo);
  const V s = sqrt(h.hi);
  const V s_lo = div(add(fnma(s, s, h.hi), h_lo), add(s, s));
  return {s, zero_unless(less(zero<V>(), s), s_lo)};
}

enum class Inv { Asin, Acos, Atan };

// The plain angle with the polynomial for the result's precision, in radians or turns of pi.
template <Method M, bool kPiUnits>
inline V angle_by(V n, V d, __mmask8 x_negative) {
  const V theta = M == Method::PlainDouble ? angle_plain<trigpoly::kAtanTailD>(n, d, x_negative)
                                           : angle_plain<trigpoly::kAtanTailS>(n, d, x_negative);
  return kPiUnits ? mul(theta, splat(kInvPiHi)) : theta;
}

template <Inv F, bool kPiUnits, Method M>
V inverse(V x) {
  const V a = abs(x);
  V r;
  if constexpr (F == Inv::Atan) {
    const __mmask8 inf = classify<kClassInf>(x);
    const V n = select(inf, splat(1.0), a), d = select(inf, zero<V>(), splat(1.0));
    if constexpr (M == Method::Pairs)
      r = small_angle<kPiUnits>(n, d, finish<kPiUnits>(angle(pair(n), pair(d), 0)));
    else r = angle_by<M, kPiUnits>(n, d, 0);
    r = copy_sign(r, x);
  } else {
    const V am = min(a, splat(1.0));  // beyond 1 the lane is NaN below
    if constexpr (M == Method::Pairs) {
      const P c = cosine_side(am);
      if constexpr (F == Inv::Asin)
        r = copy_sign(small_angle<kPiUnits>(am, c.hi, finish<kPiUnits>(angle(pair(am), c, 0))), x);
      else r = finish<kPiUnits>(angle(c, pair(am), sign_set(x)));
    } else {
      // 1 - a^2 rounded once by the fused multiply-add: a relative error of 2^-53 however close a
      // is to 1, halved by the square root.
      const V c = sqrt(fnma(am, am, splat(1.0)));
      if constexpr (F == Inv::Asin) r = copy_sign(angle_by<M, kPiUnits>(am, c, 0), x);
      else r = angle_by<M, kPiUnits>(c, am, sign_set(x));
    }
    r = select(less(splat(1.0), a), splat(std::numeric_limits<double>::quiet_NaN()), r);
  }
  return select(classify<kClassNaN>(x), add(x, x), r);
}

template <bool kPiUnits, Method M>
V inverse2(V y, V x) {
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
  return select(classify<kClassNaN>(x) | classify<kClassNaN>(y), add(x, y), r);
}

// Single precision on the widened halves, plainly: double's 53 bits leave the rounding to
// single a margin of about 2^-14 ulp.
template <Inv F, bool kPiUnits, Method>
__m512 inverse(__m512 x) {
  constexpr Method M = Method::PlainSingle;
  return narrow(inverse<F, kPiUnits, M>(widen_low(x)), inverse<F, kPiUnits, M>(widen_high(x)));
}
template <bool kPiUnits, Method>
__m512 inverse2(__m512 y, __m512 x) {
  constexpr Method M = Method::PlainSingle;
  return narrow(inverse2<kPiUnits, M>(widen_low(y), widen_low(x)), inverse2<kPiUnits, M>(widen_high(y), widen_high(x)));
}

// Atan: no special lanes.
template <typename T, bool kPiUnits, Method M>
struct AtanK : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> x, Mask<T>&) { return inverse<Inv::Atan, kPiUnits, M>(x); }
};

template <typename T, bool kPiUnits, Method M>
struct Atan2K : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> y, Vec<T> x, Mask<T>&) { return inverse2<kPiUnits, M>(y, x); }
};

// Asin and Acos: arguments beyond [-1, 1] (and NaN, which reports nothing) go to the callout.
template <typename T, Inv F, bool kPiUnits, Method M>
struct ArcK : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> x, Mask<T>& special) {
    special = not_less_equal(abs(x), splat(T(1)));
    return inverse<F, kPiUnits, M>(x);
  }
  static int callout(const T* a, T* r) {
    const T x = *a;
    *r = std::isnan(x) ? x * x : std::numeric_limits<T>::quiet_NaN();
    return result_status<kGrowthReports>(*r, x);
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
// LA and EP plain, HA on pairs (single precision is plain in every slot).
#define ZORP_INVERSE_SLOTS(K, ...) \
  K<__VA_ARGS__, Method::PlainDouble>, K<__VA_ARGS__, Method::Pairs>, K<__VA_ARGS__, Method::PlainDouble>
#define ZORP_INVERSE_ROWS(t, T)                                                  \
  VM_KERNELS(t, Asin, ZORP_INVERSE_SLOTS(ArcK, T, Inv::Asin, false))             \
  VM_KERNELS(t, Acos, ZORP_INVERSE_SLOTS(ArcK, T, Inv::Acos, false))             \
  VM_KERNELS(t, Atan, ZORP_INVERSE_SLOTS(AtanK, T, false))                       \
  VM_KERNELS(t, Atan2, ZORP_INVERSE_SLOTS(Atan2K, T, false))                     \
  VM_KERNELS(t, Asinpi, ZORP_INVERSE_SLOTS(ArcK, T, Inv::Asin, true))            \
  VM_KERNELS(t, Acospi, ZORP_INVERSE_SLOTS(ArcK, T, Inv::Acos, true))            \
  VM_KERNELS(t, Atanpi, ZORP_INVERSE_SLOTS(AtanK, T, true))                      \
  VM_KERNELS(t, Atan2pi, ZORP_INVERSE_SLOTS(Atan2K, T, true))
ZORP_INVERSE_ROWS(s, float)
ZORP_INVERSE_ROWS(d, double)
