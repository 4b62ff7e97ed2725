// Sine, cosine and tangent of any finite argument: the accurate method, below one ulp of double,
// written once for double registers and double scalars (a kernel and its callout get the same
// bits), and a plain method for what needs less (the double LA and EP slots, and single
// precision, which runs the double registers on its widened halves).
//
// Method: x = k pi/2 + r with r = hi + lo, |r| <= pi/4 (trig_reduce.h: the double-double pair
// while every lane is below 2^28, Payne-Hanek for a register with any larger lane), then
//   sin r = hi + (hi u S(u) + lo (1 - u/2))          u = hi^2
//   cos r = (1 - u/2) + (((1 - w) - u/2) + (u^2 C(u) - (hi lo + u_lo/2)))
// with w = 1 - u/2 rounded and u = hi^2 + u_lo exact, so each value is a head and a tail whose
// sum is rounded once (0.52 ulp at most), and the quadrant k mod 4 picks and signs them. The
// tangent divides the unrounded pairs and corrects the quotient once by its residual.
//
// Arguments of magnitude below 2^-27 give sin x = tan x = x (x^2/3 is below half an ulp there),
// which also keeps the sign of zeros; non-finite lanes get NaN (x times 0), and their kernels
// send them to a callout that reports infinities.
#pragma once
#include <cmath>
#include <type_traits>

#include "simd/exact.h"
#include "simd/ints.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/trig_reduce.h"
#include "vm/kernels/trig/generated/trig_polys.inc"

namespace zorp::vm::trig {

// Sine, cosine and tangent report only their domain errors (infinite arguments); results of
// subnormal arguments are the arguments themselves and no underflow.
inline constexpr Reports kTrigReports{kStatusOverflow, false};
inline constexpr double kTinyArgument = 0x1p-27;

template <typename V>
struct Reduced {
  V hi, lo;
  // k mod 4: an int for scalars, 64-bit lanes for registers
  std::conditional_t<std::is_arithmetic_v<V>, int, __m512i> quadrant;
};

inline Reduced<double> reduce_any(double x) {
  const QuadrantReduction q = reduce_half_pi_scalar(x);
  return {q.hi, q.lo, q.quadrant};
}
inline Reduced<__m512d> reduce_any(__m512d x) {
  using namespace simd;
  if (abs_at_least(x, splat(HalfPi<double>::kPairLimit))) {
    const HugeReduction<__m512d> h = reduce_half_pi_huge(x);
    return {h.r.hi, h.r.lo, h.quadrant};
  }
  const PairReduction<__m512d> p = reduce_half_pi_pair(x);
  return {p.r.hi, p.r.lo, quadrant_of(p.k)};
}

// sin(hi + lo) and cos(hi + lo) as unrounded head + tail.
template <typename V>
inline DD<V> sin_pair(V hi, V lo) {
  using namespace simd;
  const V u = mul(hi, hi);
  const V low = fnma(mul(u, detail::lanes<V>(0.5)), lo, lo);
  return {hi, fma(mul(hi, u), horner(u, trigpoly::kSinTailD), low)};
}
template <typename V>
inline DD<V> cos_pair(V hi, V lo) {
  using namespace simd;
  const DD<V> u = two_prod(hi, hi);
  const V half_u = mul(u.hi, detail::lanes<V>(0.5));
  const V w = sub(detail::lanes<V>(1.0), half_u);
  const V lost = sub(sub(detail::lanes<V>(1.0), w), half_u);
  const V small = fms(hi, lo, mul(u.lo, detail::lanes<V>(-0.5)));  // hi lo + u_lo / 2
  const V tail = add(lost, fms(mul(u.hi, u.hi), horner(u.hi, trigpoly::kCosTailD), small));
  return {w, tail};
}

// The same pairs to about 2^-62 rather than 2^-55, for the complex power, which multiplies them
// by a modulus and rounds once more: sin r's cubic and cos r's quartic term also as pairs, the
// rest by kSinTail5D and kCosTail6D, and the low part of r through the derivative to its u^2
// term (lo may be a few ulps of hi where r carries the low part of a pair argument).
inline DD<__m512d> sin_pair_fine(__m512d hi, __m512d lo) {
  using namespace simd;
  const DD<__m512d> u = two_prod(hi, hi);
  DD<__m512d> cube = two_prod(hi, u.hi);
  cube.lo = fma(hi, u.lo, cube.lo);
  DD<__m512d> sixth = two_prod(cube.hi, splat(0x1.5555555555555p-3));
  sixth.lo = fma(cube.hi, splat(0x1.5555555555555p-57), fma(cube.lo, splat(0x1.5555555555555p-3), sixth.lo));
  const __m512d slope = fma(u.hi, fma(u.hi, splat(1.0 / 24), splat(-0.5)), splat(1.0));  // cos hi
  const __m512d rest = fma(mul(cube.hi, u.hi), horner(u.hi, trigpoly::kSinTail5D), mul(lo, slope));
  const DD<__m512d> s = two_sum(hi, sub(zero<__m512d>(), sixth.hi));
  return {s.hi, add(s.lo, sub(rest, sixth.lo))};
}
inline DD<__m512d> cos_pair_fine(__m512d hi, __m512d lo) {
  using namespace simd;
  const DD<__m512d> u = two_prod(hi, hi);
  const __m512d half_u = mul(u.hi, splat(0.5));
  const __m512d w = sub(splat(1.0), half_u);
  const __m512d lost = sub(sub(splat(1.0), w), half_u);
  DD<__m512d> u2 = two_prod(u.hi, u.hi);
  u2.lo = fma(add(u.hi, u.hi), u.lo, u2.lo);
  DD<__m512d> q = two_prod(u2.hi, splat(0x1.5555555555555p-5));
  q.lo = fma(u2.hi, splat(0x1.5555555555555p-59), fma(u2.lo, splat(0x1.5555555555555p-5), q.lo));
  // -lo sin hi - u.lo/2, sin hi = hi (1 - u/6)
  const __m512d sin_hi = mul(hi, fnma(u.hi, splat(1.0 / 6), splat(1.0)));
  const __m512d small = fma(lo, sin_hi, mul(u.lo, splat(0.5)));
  const __m512d rest = fms(mul(u2.hi, u.hi), horner(u.hi, trigpoly::kCosTail6D), small);
  const DD<__m512d> s = two_sum(w, q.hi);
  return {s.hi, add(s.lo, add(lost, add(q.lo, rest)))};
}

// The quadrant's choice: sine (kCos false) or cosine of x = k pi/2 + r from sin r and cos r.
// sin x: s, c, -s, -c; cos x: c, -s, -c, s.
template <bool kCos>
inline double by_quadrant(int q, double s, double c) {
  const int shifted = q + (kCos ? 1 : 0);
  const double v = ((q & 1) != 0) != kCos ? c : s;
  return (shifted & 2) ? -v : v;
}
template <bool kCos>
inline __m512d by_quadrant(__m512i q, __m512d s, __m512d c) {
  using namespace simd;
  const __m512i shifted = kCos ? iadd<double>(q, isplat<double>(1)) : q;
  const __mmask8 odd = iequal<double>(bit_and(q, isplat<double>(1)), isplat<double>(1));
  const __m512i sign = shift_left<62, double>(bit_and(shifted, isplat<double>(2)));
  return as_double(bit_xor(bits(kCos ? select(odd, s, c) : select(odd, c, s)), sign));
}

// residual / d for the low part of a quotient (d finite, nonzero), without a second division:
// the reciprocal of d's significand from the 14-bit estimate and one Newton step (2^-28), d's
// exponent and sign applied afterwards. The low part is below 2^-52 of the quotient, so its own
// relative error of 2^-28 is far below the result's last bit, and the divider, the slowest unit
// these kernels use, is left to the quotient's head.
template <typename V>
inline V low_quotient(V residual, V d) {
  using namespace simd;
  if constexpr (std::is_arithmetic_v<V>) {
    return residual / d;
  } else {
    const V a = abs(d), m = mantissa_1_2(a);
    const V r0 = reciprocal_estimate(m);
    const V r = fma(r0, fnma(m, r0, detail::lanes<V>(1.0)), r0);
    const V q = scale_by_pow2(mul(residual, r), sub(zero<V>(), exponent_of(a)));
    return select(less(d, zero<V>()), sub(zero<V>(), q), q);
  }
}

// tan r (even k) or -cot r (odd k) from the pairs: the quotient of the rounded pairs and one
// correction by the residual (n - y d) / d.
template <typename V>
inline V divide_pairs(DD<V> n, DD<V> d) {
  using namespace simd;
  const V nv = add(n.hi, n.lo), dv = add(d.hi, d.lo);
  const V y = div(nv, dv);
  // n - y d with n and d as pairs: the head difference in one rounding (it is small), then the
  // tails.
  const V residual = fnma(y, d.lo, add(fnma(y, d.hi, n.hi), n.lo));
  return add(y, low_quotient(residual, dv));
}

enum class Fn { Sin, Cos, Tan };

// How a kernel of the family forms its result: on double-double pairs rounded once (double HA,
// below one ulp), or plainly with the polynomials of the precision it needs (the double LA and
// EP slots; single precision, computed in double).
enum class Method { Pairs, PlainDouble, PlainSingle };

// tan x = tan r for even k, -cot r for odd k.
inline double tan_by_quadrant(int q, DD<double> s, DD<double> c) {
  return (q & 1) ? -divide_pairs(c, s) : divide_pairs(s, c);
}
// The registers' form of divide_pairs without the divider, whose throughput is a small fraction
// of the multipliers': 1/d from the 14-bit estimate and one Newton step (2^-28), the quotient of
// the rounded pairs from it and one correction by its residual (2^-56), then the pairs' residual
// n - y d as in divide_pairs, multiplied by the same reciprocal and added in one rounding (its
// 2^-28 relative error is far below the result's last bit: the residual is below 2^-52 of y).
// d is sin r or cos r of the quarter turn, never zero nor subnormal.
inline __m512d divide_pairs_newton(DD<__m512d> n, DD<__m512d> d) {
  using namespace simd;
  const __m512d nv = add(n.hi, n.lo), dv = add(d.hi, d.lo);
  const __m512d r0 = reciprocal_estimate(dv);
  const __m512d rec = fma(r0, fnma(dv, r0, splat(1.0)), r0);
  const __m512d q = mul(nv, rec);
  const __m512d y = fnma(fms(dv, q, nv), rec, q);
  const __m512d residual = fnma(y, d.lo, add(fnma(y, d.hi, n.hi), n.lo));
  return fma(residual, rec, y);
}
inline __m512d tan_by_quadrant(__m512i q, DD<__m512d> s, DD<__m512d> c) {
  using namespace simd;
  const __mmask8 odd = iequal<double>(bit_and(q, isplat<double>(1)), isplat<double>(1));
  const DD<__m512d> n = {select(odd, c.hi, s.hi), select(odd, c.lo, s.lo)};
  const DD<__m512d> d = {select(odd, s.hi, c.hi), select(odd, s.lo, c.lo)};
  const __m512d t = divide_pairs_newton(n, d);
  return select(odd, flip_bits(t, uint64_t(1) << 63), t);
}

namespace detail {
// Lanes (or the scalar) where x is not finite get x times 0, NaN; where |x| < 2^-27 and the
// function is odd, x itself.
template <Fn F, typename V>
inline V finish(V x, V y) {
  using namespace simd;
  if constexpr (std::is_arithmetic_v<V>) {
    if (!std::isfinite(x)) return x * 0.0;
    return (F != Fn::Cos && std::fabs(x) < kTinyArgument) ? x : y;
  } else {
    if constexpr (F != Fn::Cos) y = select(less(abs(x), splat(kTinyArgument)), x, y);
    return select(classify<kClassInf | kClassNaN>(x), mul(x, zero<V>()), y);
  }
}
}  // namespace detail

// sin x, cos x or tan x of doubles (a register or a scalar) from x's reduction.
template <Fn F, typename V>
inline V trig_reduced(V x, const Reduced<V>& r) {
  const DD<V> s = sin_pair(r.hi, r.lo), c = cos_pair(r.hi, r.lo);
  const V y = F == Fn::Tan ? tan_by_quadrant(r.quadrant, s, c)
                           : by_quadrant<F == Fn::Cos>(r.quadrant, simd::add(s.hi, s.lo), simd::add(c.hi, c.lo));
  return detail::finish<F>(x, y);
}

// The same, any argument.
template <Fn F, typename V>
inline V trig_any(V x) {
  return trig_reduced<F>(x, reduce_any(x));
}

// The pair reduction alone, for a register whose lanes are all below HalfPi's kPairLimit (or
// NaN): kernels that keep the Payne-Hanek path out of line test for it first.
inline Reduced<__m512d> reduce_pair_only(__m512d x) {
  const PairReduction<__m512d> p = reduce_half_pi_pair(x);
  return {p.r.hi, p.r.lo, quadrant_of(p.k)};
}

// Both at once, from x's reduction.
template <typename V>
inline void sincos_reduced(V x, const Reduced<V>& r, V& sin_x, V& cos_x) {
  const DD<V> s = sin_pair(r.hi, r.lo), c = cos_pair(r.hi, r.lo);
  const V sv = simd::add(s.hi, s.lo), cv = simd::add(c.hi, c.lo);
  sin_x = detail::finish<Fn::Sin>(x, by_quadrant<false>(r.quadrant, sv, cv));
  cos_x = detail::finish<Fn::Cos>(x, by_quadrant<true>(r.quadrant, sv, cv));
}
template <typename V>
inline void sincos_any(V x, V& sin_x, V& cos_x) {
  sincos_reduced(x, reduce_any(x), sin_x, cos_x);
}

// ---- the accurate method below kShortPairLimit -------------------------------------------------
// For the double HA sine and cosine of registers whose lanes all lie within
// HalfPi<double>::kShortPairLimit: the short pair (five operations after k, within 2^-56.9
// relative), then
//   sin r = hi + (lo + u (hi S(u) - lo/2))
//   cos r = 1 + (hi (-hi/2) + (u^2 C(u) - hi lo))          u = hi^2 rounded
// each a head and a tail rounded once. In the cosine the fused multiply-add keeps -hi^2/2 exact,
// so the tail (at most 0.31) carries one rounding of 2^-55 at most besides the small terms, where
// the pairs above need an exact square and the rounding error of 1 - u/2; with the last addition
// that is 0.76 ulp at most. The sine's tail is at most 0.11 of the result and its three
// roundings stay near 0.3 ulp of it at pi/4 (0.8 ulp in all, as the pairs above).
inline void sin_cos_short(__m512d hi, __m512d lo, __m512d& s, __m512d& c) {
  using namespace simd;
  const __m512d u = mul(hi, hi);
  s = add(hi, fma(u, fma(hi, horner(u, trigpoly::kSinTailD), mul(lo, splat(-0.5))), lo));
  const __m512d small = fnma(hi, lo, mul(mul(u, u), horner(u, trigpoly::kCosTailD)));
  c = add(splat(1.0), fma(hi, mul(hi, splat(-0.5)), small));
}

// The quadrant's choice from the shifted multiple (whose integer image holds k mod 4): the sine
// (kCos false) or the cosine of x = k pi/2 + r, sin x: s, c, -s, -c; cos x: c, -s, -c, s. The
// sign is bit 1 of k (of k + 1 for the cosine) moved to bit 63.
template <bool kCos>
inline __m512d pick_quadrant(__m512d shifted, __m512d s, __m512d c) {
  using namespace simd;
  const __m512i k = kCos ? iadd<double>(bits(shifted), isplat<double>(1)) : bits(shifted);
  const __mmask8 odd = any_bits<double>(bits(shifted), isplat<double>(1));
  const __m512i sign = bit_and(shift_left<62, double>(k), isplat<double>(uint64_t(1) << 63));
  return as_double(bit_xor(bits(kCos ? select(odd, s, c) : select(odd, c, s)), sign));
}

// ---- the plain method -----------------------------------------------------------------------
// For what needs a few units of 2^-53 rather than one ulp of double: the double LA and EP slots
// without a fixed kernel, and single precision (computed in double and rounded once, which leaves
// the rounding a margin of about 2^-10 ulp). x = k pi/2 + r to a single value (relative error
// 2^-52 below 2^28; a register with a larger lane goes through Payne-Hanek and rounds its pair),
// then sin r = r + r u S(u) and cos r = (1 - u/2) + u^2 C(u), u = r^2, each a head plus a small
// sum added last, with the polynomials of the precision the result needs; the tangent divides
// them once (the double one from the pair reduction, whose tail enters the sine and cosine).
struct PlainReduced {
  __m512d r;
  __m512i quadrant;
};
inline PlainReduced reduce_plain(__m512d x) {
  using namespace simd;
  if (abs_at_least(x, splat(HalfPi<double>::kPairLimit))) {
    const HugeReduction<__m512d> h = reduce_half_pi_huge(x);
    return {add(h.r.hi, h.r.lo), h.quadrant};
  }
  const Reduction<__m512d> p = reduce_half_pi(x);
  return {p.r, quadrant_of(p.k)};
}

// The polynomials of the plain method: double results, or single results computed in double.
template <typename T>
struct PlainPolys {
  static constexpr const auto& kSin = trigpoly::kSinTailD;
  static constexpr const auto& kCos = trigpoly::kCosTailD;
};
template <>
struct PlainPolys<float> {
  static constexpr const auto& kSin = trigpoly::kSinTailS;
  static constexpr const auto& kCos = trigpoly::kCosTailS;
};

// sin and cos of hi + lo plainly, each a head plus a small sum rounded once; the tail enters
// each once (sin: + lo, cos: - hi lo).
template <typename T>
inline void sin_cos_plain(__m512d hi, __m512d lo, __m512d& s, __m512d& c) {
  using namespace simd;
  const __m512d u = mul(hi, hi);
  s = add(hi, fma(mul(hi, u), horner(u, PlainPolys<T>::kSin), lo));
  // 1 - u/2 and what its rounding lost, so that the cosine too is rounded once at the end.
  const __m512d half_u = mul(u, splat(0.5));
  const __m512d w = sub(splat(1.0), half_u);
  const __m512d lost = sub(sub(splat(1.0), w), half_u);
  c = add(w, fma(mul(u, u), horner(u, PlainPolys<T>::kCos), fnma(hi, lo, lost)));
}

// tan r (even k) or -cot r (odd k) from the plain sine and cosine, one division.
inline __m512d tan_plain(__m512i q, __m512d s, __m512d c) {
  using namespace simd;
  const __mmask8 odd = iequal<double>(bit_and(q, isplat<double>(1)), isplat<double>(1));
  const __m512d t = div(select(odd, c, s), select(odd, s, c));
  return select(odd, flip_bits(t, uint64_t(1) << 63), t);
}

template <Fn F, typename T = double>
inline __m512d trig_plain(__m512d x) {
  using namespace simd;
  __m512d s, c, y;
  if constexpr (F == Fn::Tan && std::is_same_v<T, double>) {
    // The tangent's relative error is up to pi/2 times its remainder's, so the double one keeps
    // the reduction's tail: a rounded remainder alone could take it past four ulps.
    const Reduced<__m512d> r = reduce_any(x);
    sin_cos_plain<T>(r.hi, r.lo, s, c);
    y = tan_plain(r.quadrant, s, c);
  } else {
    const PlainReduced p = reduce_plain(x);
    sin_cos_plain<T>(p.r, zero<__m512d>(), s, c);
    y = F == Fn::Tan ? tan_plain(p.quadrant, s, c) : by_quadrant<F == Fn::Cos>(p.quadrant, s, c);
  }
  return detail::finish<F>(x, y);
}

template <typename T = double>
inline void sincos_plain(__m512d x, __m512d& sin_x, __m512d& cos_x) {
  const PlainReduced p = reduce_plain(x);
  __m512d s, c;
  sin_cos_plain<T>(p.r, simd::zero<__m512d>(), s, c);
  sin_x = detail::finish<Fn::Sin>(x, by_quadrant<false>(p.quadrant, s, c));
  cos_x = detail::finish<Fn::Cos>(x, by_quadrant<true>(p.quadrant, s, c));
}

// ---- the double LA and EP methods ---------------------------------------------------------------
// For the slots that need four ulps or 26 bits: no pairs anywhere, and no divider. Below
// kShortLimit the reduction is Cody-Waite with the constant in three parts to a single value
// (relative error 2^-52 at most, the smallest remainders included, see trig_reduce.h); a
// register with a lane beyond it, an infinity among them, takes the plain method whole, whose
// Payne-Hanek path covers every double. NaN lanes stay on the short path and come out NaN.
inline constexpr double kShortLimit = 0x1p28;

// n / d for finite nonzero d without the divider, whose throughput is a small fraction of the
// multipliers': the 14-bit reciprocal estimate and one Newton step (2^-28), the quotient q, and
// one correction of it by its residual, q - (d q - n)/d (the residual an fma, exact to its own
// rounding), which leaves 2^-56 besides the last rounding. Written with d q - n rather than
// n - d q so that a zero n keeps its sign: q - (+0) r for n = -0.
inline __m512d quotient_newton(__m512d n, __m512d d) {
  using namespace simd;
  const __m512d r0 = reciprocal_estimate(d);
  const __m512d r = fma(r0, fnma(d, r0, splat(1.0)), r0);
  const __m512d q = mul(n, r);
  return fnma(fms(d, q, n), r, q);
}

// tan x for |x| < kShortLimit (or NaN): x = k pi/2 + r, t = 2 tan(r/2) = r + r u T(u) with the
// polynomial of the class, then tan r = t / (1 - t^2/4) and -cot r = (t^2/4 - 1) / t, one
// quotient. Over |r| <= pi/4, t^2/4 stays below 0.172, so 1 - t^2/4 loses nothing to
// cancellation. Arguments below 2^-27 give x itself: r = t = x, the denominator 1, and the
// quotient's correction takes q back to n.
// The polynomial goes by Horner's rule: the kernels run four registers at a time, which hides its
// latency, and it takes the fewest operations. Numerator and denominator are each one
// multiply-add written only where the lane needs it (the compiler merges select and multiply-add
// into one masked instruction).
template <typename T, size_t N>
inline __m512d tan_short(__m512d x, const T (&poly)[N]) {
  using namespace simd;
  const Reduction<__m512d> red = reduce_half_pi(x);
  const __m512d r = red.r, u = mul(r, r);
  const __m512d t = fma(mul(r, u), horner(u, poly), r);
  const __m512d quarter_t = mul(t, splat(0.25));
  const __mmask8 odd = any_bits<double>(bits(red.k.shifted), isplat<double>(1));
  const __m512d n = select(odd, fms(t, quarter_t, splat(1.0)), t);   // t^2/4 - 1 where odd
  const __m512d d = select(odd, t, fnma(t, quarter_t, splat(1.0)));  // 1 - t^2/4 where even
  // x = -0 reduces to +0 (the last part of pi/2 is negative), so zeros take x itself.
  return zeros_of(x, quotient_newton(n, d));
}

// tan x for |x| < kShortLimit (or NaN), LA: x = k pi/2 + r, then tan r = n/d with the poles at
// +-pi/2 divided out of the polynomial (kTanPoleLaD): n = r + r u T(u), d = 1 - c u with
// c = fl(4/pi^2) in one fused step, and -cot r = -d/n, so that the odd quadrants take the same
// two values swapped and one negated. T has degree 6 where 2 tan(r/2) needed 8, and the
// denominator is one operation. Roundings: n once (its tail at most 0.05 of it), d once
// (d >= 0.75), the quotient as in quotient_newton, and the remainder's 2^-52 times tan's
// sensitivity 2r/sin 2r <= pi/2: about three units of 2^-53 in all.
inline constexpr double kFourOverPiSq = 0x1.9f02f6222c720p-2;  // = the fit record's c
inline __m512d tan_short_la(__m512d x) {
  using namespace simd;
  const Reduction<__m512d> red = reduce_half_pi(x);
  const __m512d r = red.r, u = mul(r, r);
  const __m512d n = fma(mul(r, u), horner(u, trigpoly::kTanPoleLaD), r);
  const __m512d d = fnma(u, splat(kFourOverPiSq), splat(1.0));
  const __mmask8 odd = any_bits<double>(bits(red.k.shifted), isplat<double>(1));
  const __m512d q = quotient_newton(select(odd, flip_bits(d, uint64_t(1) << 63), n), select(odd, n, d));
  // x = -0 reduces to +0 (the last part of pi/2 is negative), so zeros take x itself.
  return zeros_of(x, q);
}

// sin x and cos x for |x| < kShortLimit (or NaN), LA: x = k pi/2 + r, sin r = r + r u S(u) and
// cos r = 1 + u (-1/2 + u C(u)) with the accurate method's polynomials but rounded plainly
// (each result within about one ulp of its value), the quadrant picking and signing them.
inline void sincos_short(__m512d x, __m512d& sin_x, __m512d& cos_x) {
  using namespace simd;
  const Reduction<__m512d> red = reduce_half_pi(x);
  const __m512d r = red.r, u = mul(r, r);
  const __m512d s = fma(mul(r, u), horner(u, trigpoly::kSinTailD), r);
  const __m512d c = fma(u, fma(u, horner(u, trigpoly::kCosTailD), splat(-0.5)), splat(1.0));
  const __m512i q = quadrant_of(red.k);
  sin_x = by_quadrant<false>(q, s, c);
  cos_x = by_quadrant<true>(q, s, c);
}

// Single precision through the double registers, plainly: each half widened, computed, rounded
// once.
template <Fn F>
inline __m512 trig_plain(__m512 x) {
  return simd::narrow(trig_plain<F, float>(simd::widen_low(x)), trig_plain<F, float>(simd::widen_high(x)));
}
inline void sincos_plain(__m512 x, __m512& sin_x, __m512& cos_x) {
  __m512d s0, c0, s1, c1;
  sincos_plain<float>(simd::widen_low(x), s0, c0);
  sincos_plain<float>(simd::widen_high(x), s1, c1);
  sin_x = simd::narrow(s0, s1);
  cos_x = simd::narrow(c0, c1);
}

}  // namespace zorp::vm::trig
