// Building blocks of the general power x^y (Pow, Powr and the general path of Powx), on the
// blocks of log_core.h and exp_core.h.
//
// The method: x^y = e^(y ln x). An error of d in y ln x is a relative error of d in the result,
// and |y ln x| reaches 745 before the result leaves the double range, so ln x is carried as a
// double-double with about 2^-65 relative error: the reduction of the logarithm kernels (the
// mantissa times a reciprocal on a 1/32 grid, r exact, -ln of the reciprocal from the HA tables
// in two parts, e*ln2 in two parts) with r - r^2/2 added exactly and a degree-13 polynomial for
// the rest. The product with y is exact as a double-double, and e^(hi + lo) reduces hi on a
// 1/16 grid of ln2 rounded to nearest (the high part of ln2 has trailing zeros, so that step is
// exact), adds lo and the low part of ln2 to the reduced argument, evaluates e^r - 1 by a degree-8
// polynomial and rounds once when it adds the table's two parts. Both polynomials come from
// tools/fit (power/generated/power_polys.inc).
//
// Double LA keeps the extended logarithm (it takes its two sums in the short form) and takes
// a shorter exponential on the table's high part (exp_for_pow_la): within two ulps.
//
// The plain variant (double EP) sums the logarithm in double with the LA polynomial: 2^-52
// relative, which costs at most 2^-42 of the result, far below the 26 bits asked. Single
// precision has its own shorter logarithm and exponential in double (below).
//
//   ln_for_pow<kExtended>   ln x for positive finite x (subnormals included); ln(1 + head)
//                           for a head given apart (log_core.h's NoHead: none) in the lanes
//                           where x is 1, the complex power's modulus near the unit circle
//   exp_for_pow             e^(hi + lo) for |hi| below the exponential's fast-path bound
//   pow_vector              x^y where the vector path finishes it, and the lanes it leaves
//   ln_for_pow_f, exp_for_pow_f  the single-precision kernels' shorter logarithm and
//                           exponential, computed in double
//   pow_body                the kernels' vector bodies, double and single
//   pow_scalar              every other element: C's special cases, whole-range results
#pragma once
#include <cmath>
#include <limits>
#include <type_traits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/common/log_core.h"
#include "vm/kernels/power/generated/power_polys.inc"

namespace zorp::vm {

template <bool kExtended, typename H = NoHead, bool kLa = false>
inline simd::DD<__m512d> ln_for_pow(__m512d x, H head = {}) {
  using namespace simd;
  using L = LogTraits<double>;
  const __m512d m = mantissa_1_2(x);
  __m512d e = exponent_of(x);
  const __m512d y = reciprocal_on_grid(m);
  __m512d r = fma(y, m, splat(-1.0));  // exact
  if constexpr (!std::is_same_v<H, NoHead>) r = add(r, head);  // exact: r is 0 where head is not
  e = add(e, less(y, splat(0.75)), e, splat(1.0));
  const __m512i idx = shift_right<48, double>(bits(y));
  if constexpr (!kExtended) {
    const __m512d t = lookup(idx, logtab::kLnD);
    const __m512d p = horner_from<2>(r, logpoly::kLnLaD);
    return {fma(e, splat(L::kLn2), add(t, fma(p, mul(r, r), r))), zero<__m512d>()};
  } else {
    const __m512d th = lookup(idx, L::ha_high<Base::E>());
    const __m512d tl = lookup(idx, L::ha_low<Base::E>());
    const __m512d hi = fma(e, splat(L::kLn2Hi), th);  // exact: both on a 2^-41 grid
    const DD<__m512d> sq = two_prod(r, r);
    // LA takes the two sums in their short form: hi is 0 or larger than r (y is 1 wherever
    // |ln x| is below about 2^-6), and so is hi + r than r^2/2. HA keeps the general form.
    const DD<__m512d> s1 = kLa ? fast_two_sum(hi, r) : two_sum(hi, r);
    const __m512d half_sq = mul(sq.hi, splat(-0.5));
    const DD<__m512d> s2 = kLa ? fast_two_sum(s1.hi, half_sq) : two_sum(s1.hi, half_sq);
    const __m512d p = horner_from<3>(r, powpoly::kLnPowD);
    __m512d lo = fma(e, splat(L::kLn2Lo), tl);
    lo = add(lo, add(s1.lo, s2.lo));
    lo = fma(sq.lo, splat(-0.5), lo);
    lo = fma(mul(sq.hi, r), p, lo);
    return fast_two_sum(s2.hi, lo);
  }
}

// e^(hi + lo) = (t + t q) * 2^floor(k) for |hi| < 746, lo below an ulp of hi: the table's
// two parts t and the polynomial q, apart, so that the scalar path can scale into the
// subnormal range with one rounding.
struct ExpForPow {
  __m512d t_hi, t_lo, q, k;
};
inline ExpForPow exp_for_pow_parts(__m512d hi, __m512d lo) {
  using namespace simd;
  using E = ExpTraits<double>;
  using X = Expm1Traits<double>;  // ln2 with 16 trailing zeros in its high part
  const __m512d s = splat(E::kShifter16);
  const __m512d t = fma(hi, splat(E::kInvLn2), s);
  const __m512d k = sub(t, s);
  const __m512d rh = fnma(k, splat(X::kLn2Hi), hi);  // exact
  // The low part (k ln2_low reaches 2^-29) joins the reduced argument as a double-double; its
  // own rounding error stays out of the polynomial.
  const DD<__m512d> r = two_sum(rh, fnma(k, splat(X::kLn2Lo), lo));
  const __m512d p = horner_from<2>(r.hi, powpoly::kExpPowD);
  const __m512d q = add(r.hi, fma(p, mul(r.hi, r.hi), r.lo));
  return {lookup(bits(t), exptab::kH16), lookup(bits(t), exptab::kL16Abs), q, k};
}
// The vector path's e^(hi + lo), |hi| below the exponential's fast-path bound.
inline __m512d exp_for_pow(__m512d hi, __m512d lo) {
  const ExpForPow e = exp_for_pow_parts(hi, lo);
  return scale_pair(e.t_hi, e.t_lo, e.q, e.k);
}

// The LA exponential: the table's high part alone (half an ulp) and a degree-6 polynomial for
// e^r - 1 (2^-55), r = rh + (lo - k ln2_low) rounded once (below 2^-58): within about an ulp
// and a half before the logarithm's share, where HA's pairs keep it below one.
inline __m512d exp_for_pow_la(__m512d hi, __m512d lo) {
  using namespace simd;
  using E = ExpTraits<double>;
  using X = Expm1Traits<double>;
  const __m512d s = splat(E::kShifter16);
  const __m512d t = fma(hi, splat(E::kInvLn2), s);
  const __m512d k = sub(t, s);
  const __m512d r = add(fnma(k, splat(X::kLn2Hi), hi), fnma(k, splat(X::kLn2Lo), lo));
  const __m512d q = fma(horner_from<2>(r, powpoly::kExpPowLaD), mul(r, r), r);
  const __m512d h = lookup(bits(t), exptab::kH16);
  return scale_by_pow2(fma(h, q, h), k);
}

// Which lanes of x^y the vector path finishes as far as the signs go (x finite and nonzero,
// negative only with an integral y and never for Powr; y finite), and which of them take the sign
// of an odd integral y on a negative x. One rule for both precisions, decided on the arguments'
// own type.
template <typename M>
struct PowLanes {
  M ok, odd;
};
template <bool kPowr, typename V>
inline auto pow_lanes(V x, V y) {
  using namespace simd;
  using M = decltype(classify<kClassNegative>(x));
  using E = std::conditional_t<std::is_same_v<V, __m512>, float, double>;
  const M negative = classify<kClassNegative>(x);
  const M finite = static_cast<M>(~(classify<kClassZero | kClassInf | kClassNaN>(x) | classify<kClassInf | kClassNaN>(y)));
  PowLanes<M> lanes{kPowr ? static_cast<M>(finite & ~negative) : finite, 0};
  if constexpr (!kPowr) {
    const V half = mul_quiet(y, splat(E(0.5)));
    const M integral = equal(round_integral<_MM_FROUND_TO_NEAREST_INT>(y), y);
    lanes.odd = negative & integral & not_equal(round_integral<_MM_FROUND_TO_NEAREST_INT>(half), half);
    lanes.ok &= static_cast<M>(~negative | integral);
  }
  return lanes;
}

// x^y for the lanes the vector path finishes: x finite and nonzero (negative only with an
// integral y, and never for Powr), y finite, and |y ln|x|| below `bound`, where the result is
// a normal number of the type it is stored in. `special` gets every other lane, which computes
// on 1^0 meanwhile so that it raises nothing.
template <bool kPowr, bool kExtended, bool kLa = false>
inline __m512d pow_vector(__m512d x, __m512d y, double bound, __mmask8& special) {
  using namespace simd;
  const auto [ok, odd] = pow_lanes<kPowr>(x, y);
  const DD<__m512d> l = ln_for_pow<kExtended, NoHead, kLa>(select(ok, abs(x), splat(1.0)));
  const DD<__m512d> z = dd_mul(l, zero_unless(ok, y));
  special = static_cast<__mmask8>(~(ok & less(abs(z.hi), splat(bound))));
  const __m512d zh = select(special, zero<__m512d>(), z.hi), zl = zero_unless(static_cast<__mmask8>(~special), z.lo);
  const __m512d r = kLa ? exp_for_pow_la(zh, zl) : exp_for_pow(zh, zl);
  return select(odd, sub(zero<__m512d>(), r), r);
}

// ---- single precision -------------------------------------------------------------------------
// A float result needs y ln x to about 2^-30 absolute (|y ln x| < 88 on the vector path), far less
// than the double kernels carry: ln x sums in double from the reciprocal grid with a degree-6
// polynomial (36.8 bits relative to ln(1 + r)), and e^z takes a degree-4 polynomial on a 1/16
// grid (31 bits); the result is rounded once, to float. Before that rounding the error is below
// 2^-29 of the result (88 times the logarithm's, plus the exponential's), a fiftieth of an ulp,
// so the kernel meets HA and serves every slot.
//
// ln x for positive finite x widened from float (normal in double).
inline __m512d ln_for_pow_f(__m512d x) {
  using namespace simd;
  const __m512d m = mantissa_1_2(x);
  __m512d e = exponent_of(x);
  const __m512d y = reciprocal_on_grid(m);
  const __m512d r = fma(y, m, splat(-1.0));  // exact
  e = add(e, less(y, splat(0.75)), e, splat(1.0));
  const __m512d t = lookup(shift_right<48, double>(bits(y)), logtab::kLnD);
  const __m512d p = horner_from<2>(r, powpoly::kLnPowF);
  return fma(e, splat(LogTraits<double>::kLn2), add(t, fma(p, mul(r, r), r)));
}
// e^z for |z| below the single-precision bound: the result is a normal double, and ln2 in one
// part is close enough (|k| ln2's rounding stays below 2^-46).
inline __m512d exp_for_pow_f(__m512d z) {
  using namespace simd;
  using E = ExpTraits<double>;
  const __m512d s = splat(E::kShifter16);
  const __m512d t = fma(z, splat(E::kInvLn2), s);
  const __m512d k = sub(t, s);
  const __m512d r = fnma(k, splat(LogTraits<double>::kLn2), z);
  const __m512d q = fma(horner_from<2>(r, powpoly::kExpPowF), mul(r, r), r);
  const __m512d h = lookup(bits(t), exptab::kH16);
  return scale_by_pow2(fma(h, q, h), k);
}

// The kernels' bodies (Pow, Powr and Powx's general path). Double directly; single decides its
// lanes on the sixteen floats (the same conditions as pow_vector) and computes the magnitude in
// double on both halves.
template <bool kPowr, bool kExtended, bool kLa = false>
inline __m512d pow_body(__m512d a, __m512d b, __mmask8& special) {
  return pow_vector<kPowr, kExtended, kLa>(a, b, ExpTraits<double>::kFastBound, special);
}
template <bool kPowr, bool kExtended, bool kLa = false>
inline __m512 pow_body(__m512 a, __m512 b, __mmask16& special) {
  using namespace simd;
  const auto [ok, odd] = pow_lanes<kPowr>(a, b);
  const __m512 x = select(ok, abs(a), splat(1.0f));
  const __m512 y = zero_unless(ok, b);
  const __m512d bound = splat(double(ExpTraits<float>::kFastBound));
  const __m512d zl = mul(ln_for_pow_f(widen_low(x)), widen_low(y));
  const __m512d zh = mul(ln_for_pow_f(widen_high(x)), widen_high(y));
  // Lanes beyond the bound compute on 0 meanwhile, so that they raise nothing.
  const __mmask8 in_low = less(abs(zl), bound), in_high = less(abs(zh), bound);
  special = static_cast<__mmask16>(~(ok & (in_low | (in_high << 8))));
  const __m512 r = narrow(exp_for_pow_f(zero_unless(in_low, zl)), exp_for_pow_f(zero_unless(in_high, zh)));
  return select(odd, sub(zero<__m512>(), r), r);
}

// ---- the scalar path ------------------------------------------------------------------------
namespace powscalar {

// |x|^y for finite nonzero x and finite y over the whole range, rounded once (also where it
// is subnormal); the logarithm and product as in the vector path, on a broadcast register.
// `tiny` tells whether the exact result lies below the least normal double, which the result
// alone does not tell where it rounds up to that number.
inline double magnitude(double x, double y, bool& tiny) {
  using namespace simd;
  const DD<__m512d> l = ln_for_pow<true>(abs(splat(x)));
  const double rough = lane<0>(l.hi) * y;  // decides the results beyond the range first
  tiny = rough < -700.0;
  if (rough > 710.0) return std::numeric_limits<double>::infinity();
  if (rough < -746.0) return 0.0;
  const DD<__m512d> z = dd_mul(l, splat(y));
  const ExpForPow e = exp_for_pow_parts(z.hi, z.lo);
  const double th = lane<0>(e.t_hi), rest = lane<0>(fma(e.t_hi, e.q, e.t_lo));
  const DD<double> v = two_sum(th, rest);
  const int m = static_cast<int>(std::floor(lane<0>(e.k)));
  if (tiny) {
    const double least = std::ldexp(std::numeric_limits<double>::min(), -m);
    tiny = v.hi < least || (v.hi == least && v.lo < 0);
  }
  return expscalar::scale_once(v.hi, m);
}

// The status of a result from the scalar path: underflow where the exact result was tiny in the
// type T (for single precision, the double result tells), else what the result says.
template <typename T>
inline int magnitude_status(double v, bool tiny, T r, T x, T y) {
  if constexpr (sizeof(T) == 4) tiny = v != 0 && std::fabs(v) < std::numeric_limits<float>::min();
  return tiny ? kStatusUnderflow : result_status<kGrowthReports>(r, x, y);
}

inline bool is_integral(double y) { return std::nearbyint(y) == y; }
inline bool is_odd(double y) { return std::fabs(y) < 0x1p53 && is_integral(y) && std::fmod(y, 2.0) != 0; }

// x^y with C's special cases: the result in double, and the status that goes with it (1 for a
// negative base with a non-integral exponent, 2 for a zero base with a negative exponent;
// 3 and 4 follow from the result, judged in the type T the result is stored in).
template <typename T>
inline int pow(double x, double y, T* r) {
  const double inf = std::numeric_limits<double>::infinity();
  double v;
  int status = -1;  // from the result
  if (y == 0 || x == 1) v = 1.0;  // even for a NaN in the other argument
  else if (std::isnan(x) || std::isnan(y)) v = x + y;
  else if (std::isinf(y)) v = std::fabs(x) == 1 ? 1.0 : (std::fabs(x) < 1) == (y < 0) ? inf : 0.0;
  else if (x == 0) {
    const bool odd = is_odd(y);
    v = y < 0 ? (odd ? std::copysign(inf, x) : inf) : (odd ? x : 0.0);
    status = y < 0 ? kStatusSingularity : 0;
  } else if (std::isinf(x)) {
    const double mag = y < 0 ? 0.0 : inf;
    v = x < 0 && is_odd(y) ? -mag : mag;
  } else if (x < 0 && !is_integral(y)) {
    v = std::numeric_limits<double>::quiet_NaN();
  } else {
    bool tiny;
    v = magnitude(x, y, tiny);
    if (x < 0 && is_odd(y)) v = -v;
    *r = static_cast<T>(v);
    return magnitude_status<T>(v, tiny, *r, static_cast<T>(x), static_cast<T>(y));
  }
  *r = static_cast<T>(v);
  return status >= 0 ? status : result_status<kGrowthReports>(*r, static_cast<T>(x), static_cast<T>(y));
}

// powr(x, y) = e^(y ln x): defined for x >= 0 only; 0^0, inf^0 and 1^inf are outside the domain
// (status 1), 0 to a negative power is a pole (status 2).
template <typename T>
inline int powr(double x, double y, T* r) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  double v;
  int status = -1;
  if (std::isnan(x) || std::isnan(y)) v = x + y;
  else if (x < 0) v = nan;
  else if (x == 1) v = std::isinf(y) ? nan : 1.0;
  else if (std::isinf(y)) v = (x < 1) == (y < 0) ? inf : 0.0;  // exact, 0 and inf bases too
  else if (x == 0) {
    v = y == 0 ? nan : y < 0 ? inf : 0.0;
    status = y == 0 ? kStatusDomain : y < 0 ? kStatusSingularity : 0;
  } else if (std::isinf(x)) v = y == 0 ? nan : y < 0 ? 0.0 : inf;
  else if (y == 0) v = 1.0;
  else {
    bool tiny;
    v = magnitude(x, y, tiny);
    *r = static_cast<T>(v);
    return magnitude_status<T>(v, tiny, *r, static_cast<T>(x), static_cast<T>(y));
  }
  *r = static_cast<T>(v);
  if (status >= 0) return status;
  if (std::isnan(v) && !std::isnan(x) && !std::isnan(y)) return kStatusDomain;  // inf^0, 1^inf too
  return result_status<kGrowthReports>(*r, static_cast<T>(x), static_cast<T>(y));
}

}  // namespace powscalar
}  // namespace zorp::vm
