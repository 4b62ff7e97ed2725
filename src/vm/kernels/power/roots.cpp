// Roots and their powers: InvSqrt, Cbrt, InvCbrt, Pow2o3, Pow3o2 and Hypot, single and double
// precision, three accuracy variants each.
//
// Double precision has one method per function whose variants differ in how far they refine:
//  * square roots start from the 14-bit reciprocal-square-root estimate (InvSqrt) or the
//    correctly rounded root (Pow3o2, Hypot); HA adds the residual of the rounded root, computed
//    exactly with fused multiply-adds, as one more Newton term;
//  * cube roots split |x| = z * 2^(3q) with z = m * 2^j in [1, 8) (m the mantissa, j in 0..2),
//    start from a fitted m^(-1/3) (20 bits), take one Newton step w += w(1 - m w^3)/3 (39
//    bits, enough for EP) and scale by 2^(-j/3); LA and HA take one more Newton step on the
//    final value, on the residual 1 - z w^3 (or y^3 - z for the root itself), which HA
//    computes in double-double, so that the only rounding left that matters is the last one.
// Single-precision InvSqrt, Pow3o2 and Hypot HA compute in double, the sixteen lanes as two
// registers of eight, and round once at the end: the double EP formulas are 35 bits or better;
// their LA and EP stay in single precision (the estimate and one Newton step, two roundings),
// where that is enough. The single cube roots (Cbrt, InvCbrt, Pow2o3) stay in single precision
// on all sixteen lanes: |x| = m 2^(j + 3q), m in [1, 2), j in 0..2, and z = m 2^j picks one of
// 24 slices (its octave j and the top three fraction bits of m) whose polynomial in m - midpoint
// gives z^(k/3) with 2^(jk/3) folded in; the result is scaled by 2^(kq). The slot sets the
// degree: 2 for EP (18 bits), 3 for LA (about 25), and 4 for HA, whose slice value at the
// midpoint is stored apart and added last so that the result rounds about once.
//
// Special lanes (zeros where the function has a pole, negative arguments outside the domain,
// infinities, NaN, and the arguments whose results leave the normal range) go to the callouts,
// which compute in double with the same refinements and report through result_status.
#include <cmath>
#include <limits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/poly.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/common/slots.h"
#include "vm/kernels/power/generated/power_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// ---- widening -------------------------------------------------------------------------------
// Single precision through a double formula f: two registers of eight, rounded back once.
template <typename F>
inline __m512 in_double(__m512 a, F f) {
  return narrow(f(widen_low(a)), f(widen_high(a)));
}
template <typename F>
inline __m512 in_double(__m512 a, __m512 b, F f) {
  return narrow(f(widen_low(a), widen_low(b)), f(widen_high(a), widen_high(b)));
}

// c as a value of V: a scalar, or c in every lane (the refinements serve vectors and the
// scalar callouts alike).
template <typename V>
inline V constant(double c) {
  if constexpr (std::is_arithmetic_v<V>) return static_cast<V>(c);
  else return splat(static_cast<Elem<V>>(c));
}

// Lanes outside the fast path computed on 1 instead, so that they raise nothing.
template <typename V, typename M>
inline V tame(M special, V x) {
  return select(special, splat(Elem<V>(1)), x);
}

// ---- square roots ---------------------------------------------------------------------------
// 1/sqrt(x) for positive normal x (vector) from the estimate: EP one first-order Newton step
// (27 bits), LA and HA a second-order step (43 bits), then LA a plain step and HA one on the
// residual 1 - x y^2 computed exactly.
template <Acc kAcc, typename V>
inline V inv_sqrt_refine(V x, V y) {
  const V one = constant<V>(1), half = constant<V>(0.5);
  if constexpr (kAcc == Acc::HA) {
    // 1 - (x y) y with x y exact as a double-double: y^2 itself may be subnormal.
    const DD<V> xy = two_prod(x, y);
    const V r = fnma(xy.lo, y, fnma(xy.hi, y, one));
    return fma(mul(y, half), r, y);
  } else {
    const V r = fnma(mul(x, y), y, one);
    return fma(mul(y, half), r, y);
  }
}
template <Acc kAcc, typename V>
inline V inv_sqrt_core(V x) {
  const V y0 = reciprocal_sqrt_estimate(x);
  if constexpr (kAcc == Acc::EP) return inv_sqrt_refine<Acc::EP>(x, y0);
  const V r = fnma(mul(x, y0), y0, constant<V>(1));
  const V y1 = fma(mul(y0, r), fma(r, constant<V>(0.375), constant<V>(0.5)), y0);
  return inv_sqrt_refine<kAcc>(x, y1);
}

// 1/(2h) to the few bits a correction below one ulp needs.
inline __m512d half_inverse(__m512d h) { return mul(splat(0.5), reciprocal_estimate(h)); }
inline double half_inverse(double h) { return 0.5 / h; }

// x * sqrt(x): sqrt(x) = s - d/(2s) with d = s^2 - x exact, so x^1.5 = x*s (an exact product)
// - x*d/(2s); 1/s only scales a correction below one ulp and may come from the estimate.
template <typename V>
inline DD<V> pow3o2_parts(V x) {
  const V s = sqrt(x);
  const V d = fms(s, s, x);
  const DD<V> p = two_prod(x, s);
  const V t = mul(d, half_inverse(s));
  return {p.hi, fnma(x, t, p.lo)};
}
template <Acc kAcc, typename V>
inline V pow3o2_core(V x) {
  if constexpr (kAcc != Acc::HA) {
    return mul(x, sqrt(x));
  } else {
    const DD<V> p = pow3o2_parts(x);
    return add(p.hi, p.lo);
  }
}

// sqrt(a^2 + b^2) where neither square over- or underflows: the sum of squares in
// double-double, its correctly rounded root h, and h + (sum - h^2)/(2h) with the residual exact.
template <typename V>
inline V hypot_ha(V a, V b) {
  const DD<V> p = two_prod(a, a), q = two_prod(b, b);
  const DD<V> s = two_sum(p.hi, q.hi);
  const V lo = add(s.lo, add(p.lo, q.lo));
  const V h = sqrt(s.hi);
  const V d = add(fnma(h, h, s.hi), lo);
  return fma(d, half_inverse(h), h);
}

// ---- cube roots -----------------------------------------------------------------------------
// 2^(j/3) and 2^(-j/3) for j = 0, 1, 2, indexed by j.
inline constexpr double kCbrtPow2[8] = {1.0, std::bit_cast<double>(0x3FF428A2F98D728Bull),
                                        std::bit_cast<double>(0x3FF965FEA53D6E3Dull)};
inline constexpr double kInvCbrtPow2[8] = {1.0, std::bit_cast<double>(0x3FE965FEA53D6E3Dull),
                                           std::bit_cast<double>(0x3FE428A2F98D728Bull)};

// |x| = z * 2^(3q), z = m * 2^j in [1, 8) exactly; w approximates z^(-1/3).
struct CubeParts {
  __m512d z, q, w, m;
  __m512i j;
};

// |x| = m 2^(j + 3q), m in [1, 2), j in 0..2, for positive finite nonzero x (subnormals
// included: the exponent and mantissa instructions are exact for them). q = floor((e + 1/2)/3)
// keeps the rounding of the division off the integers.
template <typename V>
struct Octaves {
  V m, q, j;
};
template <typename V>
inline Octaves<V> octaves_of(V ax) {
  using T = Elem<V>;
  const V e = exponent_of(ax);
  const V q = round_integral<_MM_FROUND_TO_NEG_INF>(mul(add(e, splat(T(0.5))), splat(T(1) / 3)));
  return {mantissa_1_2(ax), q, fnma(q, splat(T(3)), e)};
}

// The Newton steps run on m and the scale 2^(-j/3) comes last.
inline CubeParts cube_parts(__m512d ax) {
  const auto [m, q, j] = octaves_of(ax);
  const __m512i ji = bits(add(j, splat(6755399441055744.0)));  // 1.5*2^52: j in the low bits
  __m512d w = horner(sub(m, splat(1.0)), powpoly::kInvCbrtD);
  const __m512d third = splat(1.0 / 3);
  w = fma(mul(w, third), fnma(mul(w, w), mul(w, m), splat(1.0)), w);
  w = mul(w, lookup(ji, kInvCbrtPow2));
  return {scale_by_pow2(m, j), q, w, m, ji};
}

// z^(-1/3): one more Newton step on 1 - z w^3, in double-double for HA.
template <Acc kAcc>
inline __m512d inv_cbrt_refine(__m512d z, __m512d w) {
  const __m512d one = splat(1.0);
  __m512d e;
  if constexpr (kAcc == Acc::HA) {
    const DD<__m512d> w2 = two_prod(w, w), zw = two_prod(z, w);
    e = fnma(zw.lo, w2.hi, fnma(zw.hi, w2.lo, fnma(zw.hi, w2.hi, one)));
  } else {
    e = fnma(mul(z, w), mul(w, w), one);
  }
  return fma(mul(w, splat(1.0 / 3)), e, w);
}

// z^(1/3) = y + lo: y = z w^2 and, but for EP, lo = -(y^3 - z) w^2 / 3, the Newton
// correction, with y^3 - z in double-double for HA (EP returns lo = 0).
template <Acc kAcc>
inline DD<__m512d> cbrt_of(const CubeParts& c) {
  const __m512d w2 = mul(c.w, c.w);
  const __m512d y = mul(c.z, w2);
  if constexpr (kAcc == Acc::EP) return {y, zero<__m512d>()};
  __m512d d;
  if constexpr (kAcc == Acc::HA) {
    const DD<__m512d> y2 = two_prod(y, y);
    d = fma(y, y2.lo, fms(y, y2.hi, c.z));
  } else {
    d = fms(mul(y, y), y, c.z);
  }
  return {y, mul(mul(d, w2), splat(-1.0 / 3))};
}

constexpr int kZeroInfNaN = kClassZero | kClassInf | kClassNaN;

template <Acc kAcc>
inline __m512d cbrt_d(__m512d x) {
  const __mmask8 sp = classify<kZeroInfNaN>(x);
  const CubeParts c = cube_parts(tame(sp, abs(x)));
  const DD<__m512d> y = cbrt_of<kAcc>(c);
  const __m512d r = copy_sign(scale_by_pow2(add(y.hi, y.lo), c.q), x);
  return select(sp, add_quiet(x, x), r);  // cbrt(+-0) = +-0, cbrt(+-inf) = +-inf, NaN quiet
}

template <Acc kAcc>
inline __m512d inv_cbrt_d(__m512d x, __mmask8 sp) {
  const CubeParts c = cube_parts(tame(sp, abs(x)));
  __m512d w = c.w;
  if constexpr (kAcc != Acc::EP) w = inv_cbrt_refine<kAcc>(c.z, w);
  return copy_sign(scale_by_pow2(w, sub(zero<__m512d>(), c.q)), x);
}

// |x|^(2/3) = (z^(1/3))^2 * 2^(2q); HA squares the double-double root.
template <Acc kAcc>
inline __m512d pow2o3_d(__m512d x) {
  const __mmask8 sp = classify<kZeroInfNaN>(x);
  const CubeParts c = cube_parts(tame(sp, abs(x)));
  const DD<__m512d> y = cbrt_of<kAcc>(c);
  __m512d y2;
  if constexpr (kAcc == Acc::HA) {
    const DD<__m512d> p = two_prod(y.hi, y.hi);
    y2 = add(p.hi, fma(add(y.hi, y.hi), y.lo, p.lo));
  } else {
    y2 = mul(y.hi, fma(splat(2.0), y.lo, y.hi));  // (hi + lo)^2 to first order
  }
  const __m512d r = scale_by_pow2(y2, add(c.q, c.q));
  return select(sp, add_quiet(abs(x), abs(x)), r);  // +0, +inf, NaN
}

// ---- single-precision cube roots ------------------------------------------------------------
// |x| = m 2^(j + 3q) as for double; u = m - midpoint of its eighth of [1, 2), exact;
// idx = 8j + the top three fraction bits of m: the exponent field of m (0x7F) shifted down with
// those bits gives 0x3F8 + bits, and 8(j + 1) brings 0x3F8 to 0x400, whose low five bits, all
// the table lookup reads, are zero.
struct RootParts {
  __m512 u, q;
  __m512i idx;
};
inline RootParts root_parts(__m512 ax) {
  const auto [m, q, j] = octaves_of(ax);
  const __m512i j8 = shift_left<3, float>(bits(add(j, splat(0x1.8p23f + 1))));  // 1.5*2^23: j + 1 in the low bits
  const __m512i idx = iadd<float>(shift_right<20, float>(bits(m)), j8);
  return {sub(fraction_below_grid<3>(m), splat(0.0625f)), q, idx};
}

// The tables of one function (tools/fit, power/generated/power_polys.inc).
template <const auto& kHaP, const auto& kHaHeads, const auto& kLaP, const auto& kEpP>
struct ThirdsTables {
  static constexpr auto& kHa = kHaP;
  static constexpr auto& kHaHead = kHaHeads;
  static constexpr auto& kLa = kLaP;
  static constexpr auto& kEp = kEpP;
};
using CbrtTablesF = ThirdsTables<powpoly::kCbrtHaF, powpoly::kCbrtHaFHead, powpoly::kCbrtLaF, powpoly::kCbrtEpF>;
using InvCbrtTablesF =
    ThirdsTables<powpoly::kInvCbrtHaF, powpoly::kInvCbrtHaFHead, powpoly::kInvCbrtLaF, powpoly::kInvCbrtEpF>;
using Pow2o3TablesF =
    ThirdsTables<powpoly::kPow2o3HaF, powpoly::kPow2o3HaFHead, powpoly::kPow2o3LaF, powpoly::kPow2o3EpF>;

// z^(k/3) on z's slice.
template <typename Tables, Acc kAcc>
inline __m512 thirds_of(const RootParts& c) {
  if constexpr (kAcc == Acc::HA) return add_quiet(lookup(c.idx, Tables::kHaHead), horner_pieces(c.u, c.idx, Tables::kHa));
  else if constexpr (kAcc == Acc::LA) return horner_pieces(c.u, c.idx, Tables::kLa);
  else return horner_pieces(c.u, c.idx, Tables::kEp);
}

// ---- callouts (double precision; single-precision results are rounded from them) -----------
// 1/sqrt(x): the pole at +-0 keeps the sign, negative arguments are outside the domain, and
// subnormal ones are scaled by 2^54 first.
inline double inv_sqrt_scalar(double x) {
  if (std::isnan(x)) return x + x;
  if (x == 0) return std::copysign(std::numeric_limits<double>::infinity(), x);
  if (x < 0) return std::numeric_limits<double>::quiet_NaN();
  if (std::isinf(x)) return 0.0;
  const bool tiny = x < std::numeric_limits<double>::min();
  const double xs = tiny ? x * 0x1p54 : x;
  const double y = inv_sqrt_refine<Acc::HA>(xs, 1.0 / std::sqrt(xs));
  return tiny ? y * 0x1p27 : y;
}

// x^1.5 for x >= 0 over the whole range: x = xs * 2^(2k) with xs near 1, the result scaled by
// 2^(3k) with one rounding where it is subnormal. `tiny` tells whether the exact result is
// nonzero and below the least normal double, which the result alone does not tell where it
// rounds up to that number.
inline double pow3o2_scalar(double x, bool& tiny) {
  tiny = false;
  if (std::isnan(x)) return x + x;
  if (x < 0) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0 || std::isinf(x)) return x * x;
  const int k = std::ilogb(x) / 2;
  const double xs = std::ldexp(x, -2 * k);
  const DD<double> y = pow3o2_parts(xs);
  const double least = std::ldexp(std::numeric_limits<double>::min(), -3 * k);
  tiny = y.hi < least || (y.hi == least && y.lo < 0);
  return expscalar::scale_once(y.hi + y.lo, 3 * k);
}

// hypot over the whole range: +-inf wins over NaN; otherwise both scaled by the larger one's
// exponent, so that neither square over- or underflows where it matters.
inline double hypot_scalar(double a, double b) {
  if (std::isinf(a) || std::isinf(b)) return std::numeric_limits<double>::infinity();
  if (std::isnan(a) || std::isnan(b)) return a + b;
  const double big = std::fmax(std::fabs(a), std::fabs(b)), small = std::fmin(std::fabs(a), std::fabs(b));
  if (big == 0) return 0.0;
  const int k = std::ilogb(big);
  return std::ldexp(hypot_ha(std::ldexp(big, -k), std::ldexp(small, -k)), k);
}

inline constexpr Reports kHypotReports{kStatusOverflow, false};

// Pow3o2's status: the zero result at 0 is exact, no underflow; a result that rounds up to the
// least normal number from below underflowed all the same.
template <typename T>
int pow3o2_callout(const T* a, T* r) {
  bool tiny;
  const double y = pow3o2_scalar(*a, tiny);
  *r = static_cast<T>(y);
  if (*a == 0) return 0;
  if (sizeof(T) == 4) tiny = y != 0 && y < std::numeric_limits<T>::min();
  return tiny ? kStatusUnderflow : result_status<kGrowthReports>(*r, *a);
}

// ---- kernels: InvSqrt -------------------------------------------------------------------------
// Every class the fpclass test knows is special: only positive normal numbers take the vector
// path.
constexpr int kAnyClass = 0xFF;

template <Acc kAcc>
struct InvSqrtD : Kernel<double> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = classify<kAnyClass>(x);
    return inv_sqrt_core<kAcc>(tame(special, x));
  }
  static int callout(const double* a, double* r) {
    *r = inv_sqrt_scalar(*a);
    return result_status<kPoleReports>(*r, *a);
  }
};

// Single LA and EP: the estimate and one Newton step in single precision (about 1 ulp); HA the
// double EP formula.
template <Acc kAcc>
struct InvSqrtF : Kernel<float> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = classify<kAnyClass>(x);
    const __m512 xs = tame(special, x);
    if constexpr (kAcc == Acc::HA) return in_double(xs, [](__m512d v) { return inv_sqrt_core<Acc::EP>(v); });
    else return inv_sqrt_core<Acc::EP>(xs);
  }
  static int callout(const float* a, float* r) {
    *r = static_cast<float>(inv_sqrt_scalar(*a));
    return result_status<kPoleReports>(*r, *a);
  }
};

// ---- kernels: cube roots --------------------------------------------------------------------
template <Acc kAcc>
struct CbrtD : Kernel<double> {
  static __m512d body(__m512d x, __mmask8&) { return cbrt_d<kAcc>(x); }
};
template <Acc kAcc>
struct CbrtF : Kernel<float> {
  static __m512 body(__m512 x, __mmask16&) {
    const __mmask16 sp = classify<kZeroInfNaN>(x);
    const RootParts c = root_parts(tame(sp, abs(x)));
    const __m512 r = copy_sign(scale_by_pow2(thirds_of<CbrtTablesF, kAcc>(c), c.q), x);
    return select(sp, add_quiet(x, x), r);  // +-0, +-inf, NaN quiet
  }
};

// InvCbrt: +-0 is a pole (+-inf, status 2); +-inf gives +-0.
template <typename T>
int inv_cbrt_callout(const T* a, T* r) {
  const T x = *a;
  if (std::isnan(x)) *r = x + x;
  else *r = x == 0 ? std::copysign(std::numeric_limits<T>::infinity(), x) : std::copysign(T(0), x);
  return result_status<kPoleReports>(*r, x);
}
template <Acc kAcc>
struct InvCbrtD : Kernel<double> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = classify<kZeroInfNaN>(x);
    return inv_cbrt_d<kAcc>(x, special);
  }
  static int callout(const double* a, double* r) { return inv_cbrt_callout(a, r); }
};
template <Acc kAcc>
struct InvCbrtF : Kernel<float> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = classify<kZeroInfNaN>(x);
    const RootParts c = root_parts(tame(special, abs(x)));
    return copy_sign(scale_by_pow2(thirds_of<InvCbrtTablesF, kAcc>(c), sub(zero<__m512>(), c.q)), x);
  }
  static int callout(const float* a, float* r) { return inv_cbrt_callout(a, r); }
};

template <Acc kAcc>
struct Pow2o3D : Kernel<double> {
  static __m512d body(__m512d x, __mmask8&) { return pow2o3_d<kAcc>(x); }
};
template <Acc kAcc>
struct Pow2o3F : Kernel<float> {
  static __m512 body(__m512 x, __mmask16&) {
    const __mmask16 sp = classify<kZeroInfNaN>(x);
    const RootParts c = root_parts(tame(sp, abs(x)));
    const __m512 r = scale_by_pow2(thirds_of<Pow2o3TablesF, kAcc>(c), add(c.q, c.q));
    return select(sp, add_quiet(abs(x), abs(x)), r);  // +0, +inf, NaN
  }
};

// ---- kernels: Pow3o2 ------------------------------------------------------------------------
// The vector path covers the arguments whose results are normal numbers: [2^-680, 2^682) in
// double, [2^-83, 2^85) in single; below, the results are subnormal (status 4 but at 0), above
// they overflow (status 3), and negative arguments are outside the domain (status 1).
template <typename T>
struct Pow3o2Range;
template <>
struct Pow3o2Range<double> {
  static constexpr double kLo = 0x1p-680, kHi = 0x1p682;
};
template <>
struct Pow3o2Range<float> {
  static constexpr float kLo = 0x1p-83f, kHi = 0x1p85f;
};
template <typename V>
inline auto pow3o2_special(V x) {
  using R = Pow3o2Range<Elem<V>>;
  return ~(greater_equal(x, splat(R::kLo)) & less(x, splat(R::kHi)));
}

template <Acc kAcc>
struct Pow3o2D : Kernel<double> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = pow3o2_special(x);
    return pow3o2_core<kAcc>(tame(special, x));
  }
  static int callout(const double* a, double* r) { return pow3o2_callout(a, r); }
};
// Single HA computes in double; LA and EP take x*sqrt(x) in single precision (two roundings,
// within 1.5 ulp).
template <Acc kAcc>
struct Pow3o2F : Kernel<float> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = pow3o2_special(x);
    if constexpr (kAcc != Acc::HA) return pow3o2_core<Acc::LA>(tame(special, x));
    else return in_double(tame(special, x), [](__m512d v) { return pow3o2_core<Acc::LA>(v); });
  }
  static int callout(const float* a, float* r) { return pow3o2_callout(a, r); }
};

// ---- kernels: Hypot -------------------------------------------------------------------------
// sqrt(s) for positive normal s without the square-root instruction, whose throughput (one
// register in a dozen cycles or more in double) bounds a kernel this short: y = 1/sqrt(s) from
// the 14-bit estimate, h0 = s y and e = 1 - h0 y (exact, an FMA), then h0 (1 - e)^(-1/2) by its
// series in e. h0's rounding only scales the result by the square root of (1 + its error), so
// the result is within about 0.8 ulp when the series reaches e^3 (|e| < 2^-13, the omitted term
// below 2^-53); single precision and double EP stop at e^2 (2^-40).
template <Acc kAcc, typename V>
inline V sqrt_from_estimate(V s) {
  using T = Elem<V>;
  const V y = reciprocal_sqrt_estimate(s);
  const V h0 = mul(s, y);
  const V e = fnma(h0, y, splat(T(1)));
  V c;
  if constexpr (kAcc == Acc::EP || sizeof(T) == 4) c = fma(e, splat(T(0.375)), splat(T(0.5)));
  else c = fma(e, fma(e, splat(T(0.3125)), splat(T(0.375))), splat(T(0.5)));
  return fma(mul(h0, e), c, h0);
}

// Double: the plain sum of squares is used where it is a normal number well above the subnormal
// range (so neither square lost bits that matter) and finite; other lanes (infinite or NaN
// arguments, squares that overflow or underflow, both arguments zero) take the scaled callout.
// LA and EP root the sum (rounded once, at most half an ulp of the result) from the estimate.
template <Acc kAcc>
struct HypotD : Kernel<double> {
  static __m512d body(__m512d a, __m512d b, __mmask8& special) {
    const __m512d s = fma_quiet(a, a, mul_quiet(b, b));
    special = ~(greater_equal(s, splat(0x1p-960)) & less(s, splat(std::numeric_limits<double>::infinity())));
    if constexpr (kAcc == Acc::HA) return hypot_ha(tame(special, a), tame(special, b));
    else return sqrt_from_estimate<kAcc>(tame(special, s));
  }
  static int callout(const double* a, const double* b, double* r) {
    *r = hypot_scalar(*a, *b);
    return result_status<kHypotReports>(*r, *a, *b);
  }
};

// Single HA: squares of floats are exact in double and cannot overflow there; the double sum is
// rounded once, its root once, and the result once more to single. Infinite and NaN arguments
// (C's hypot(inf, NaN) = inf) and results that overflow single precision take the callout.
// LA and EP stay in single precision like the double kernels (within 1.5 ulp), with the same
// range test on the sum of squares and the root from the estimate.
template <Acc kAcc>
struct HypotF : Kernel<float> {
  static __m512 body(__m512 a, __m512 b, __mmask16& special) {
    if constexpr (kAcc != Acc::HA) {
      const __m512 s = fma_quiet(a, a, mul_quiet(b, b));
      special = ~(greater_equal(s, splat(0x1p-100f)) & less(s, splat(std::numeric_limits<float>::infinity())));
      return sqrt_from_estimate<kAcc>(tame(special, s));
    }
    const __m512 r = in_double(a, b, [](__m512d x, __m512d y) { return sqrt(fma(x, x, mul(y, y))); });
    special = classify<kClassInf | kClassNaN>(a) | classify<kClassInf | kClassNaN>(b) | classify<kClassInf>(r);
    return r;
  }
  static int callout(const float* a, const float* b, float* r) {
    *r = static_cast<float>(hypot_scalar(*a, *b));
    return result_status<kHypotReports>(*r, *a, *b);
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, InvSqrt, InvSqrtF<Acc::LA>, InvSqrtF<Acc::HA>, InvSqrtF<Acc::EP>)
VM_KERNELS(d, InvSqrt, InvSqrtD<Acc::LA>, InvSqrtD<Acc::HA>, InvSqrtD<Acc::EP>)
VM_KERNELS(s, Cbrt, CbrtF<Acc::LA>, CbrtF<Acc::HA>, CbrtF<Acc::EP>)
VM_KERNELS(d, Cbrt, CbrtD<Acc::LA>, CbrtD<Acc::HA>, CbrtD<Acc::EP>)
VM_KERNELS(s, InvCbrt, InvCbrtF<Acc::LA>, InvCbrtF<Acc::HA>, InvCbrtF<Acc::EP>)
VM_KERNELS(d, InvCbrt, InvCbrtD<Acc::LA>, InvCbrtD<Acc::HA>, InvCbrtD<Acc::EP>)
VM_KERNELS(s, Pow2o3, Pow2o3F<Acc::LA>, Pow2o3F<Acc::HA>, Pow2o3F<Acc::EP>)
VM_KERNELS(d, Pow2o3, Pow2o3D<Acc::LA>, Pow2o3D<Acc::HA>, Pow2o3D<Acc::EP>)
VM_KERNELS(s, Pow3o2, Pow3o2F<Acc::LA>, Pow3o2F<Acc::HA>, Pow3o2F<Acc::EP>)
VM_KERNELS(d, Pow3o2, Pow3o2D<Acc::LA>, Pow3o2D<Acc::HA>, Pow3o2D<Acc::EP>)
VM_KERNELS(s, Hypot, HypotF<Acc::LA>, HypotF<Acc::HA>, HypotF<Acc::EP>)
VM_KERNELS(d, Hypot, HypotD<Acc::LA>, HypotD<Acc::HA>, HypotD<Acc::EP>)
