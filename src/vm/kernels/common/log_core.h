// Building blocks of the logarithm family (Ln, Log2, Log10, Log1p; the inverse hyperbolic
// functions and Pow are meant to reuse them), written once for vectors of both precisions and,
// for the callouts, for scalars.
//
// The method: split the argument by the get-exponent and get-mantissa instructions (exact for
// subnormals), reduce the mantissa m to a small r, either by a piecewise polynomial in u = m - 1
// (single LA and EP) or by multiplying with a reciprocal rounded to a 1/32 grid whose -ln is
// tabulated (r = y*m - 1, exact), evaluate ln(1 + r) by a polynomial (coefficients from tools/fit
// in log/generated/log_polys.inc), and reassemble e*ln2 + table + polynomial, in the base asked
// for.
//
//   LogTraits<T>        ln2 (whole and in two parts), the base changes 1/ln(b) and log_b(2),
//                       the HA tables in units of each base
//   mantissa_near_one   w = m * 2^e, m in [0.75, 1.5)
//   reciprocal_on_grid  1/m on the grid k/32, so that r = y*m - 1 is exact
//   one_plus            w = 1 + x and its exact rounding error (Log1p)
//   keep_zero           Log1p(+-0) = +-0
//   in_base             e*log_b(2) + s/ln(b) for a natural logarithm s of the mantissa
//   in_base_ha          the same for HA, where the table is already in units of log_b and only
//                       the small rest is scaled, r itself through exact products
//   logscalar::ln_exact the single-precision callouts' logarithm: double precision, near 1 a
//                       degree-8 polynomial in x - 1, elsewhere a 128-entry table
//   log_callout         the special results of every logarithm kernel, and the slow path
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/log/generated/log_polys.inc"
#include "vm/kernels/log/generated/log_tables.inc"

namespace zorp::vm {

enum class Base { E, Two, Ten };

// fpclass categories of special lanes: +0, -0, +inf, -inf, negative finite; HA adds quiet and
// signalling NaN.
inline constexpr int kLogSpecialLaEp = simd::kClassZero | simd::kClassInf | simd::kClassNegative;
inline constexpr int kLogSpecialHa = kLogSpecialLaEp | simd::kClassNaN;

template <typename T>
struct LogTraits;

template <>
struct LogTraits<float> {
  static constexpr float kLn2 = std::bit_cast<float>(0x3F317218u);
  static constexpr float kLn2Hi = std::bit_cast<float>(0x3F317200u);  // trailing zeros: e*hi exact
  static constexpr float kLn2Lo = std::bit_cast<float>(0x35BFBE8Eu);
  static constexpr float kLog10of2 = 0.30102999566398120f;
  static constexpr const auto& kLog2e = logtab::kLog2eF;        // {high, low}
  static constexpr const auto& kLog10e = logtab::kLog10eF;
  static constexpr const auto& kLog10of2Split = logtab::kLog10of2F;
  template <Base B>
  static constexpr const auto& ha_high() {
    if constexpr (B == Base::E) return logtab::kLnHaHigh;
    else if constexpr (B == Base::Two) return logtab::kLog2HaHigh;
    else return logtab::kLog10HaHigh;
  }
  template <Base B>
  static constexpr const auto& ha_low() {
    if constexpr (B == Base::E) return logtab::kLnHaLow;
    else if constexpr (B == Base::Two) return logtab::kLog2HaLow;
    else return logtab::kLog10HaLow;
  }
};

template <>
struct LogTraits<double> {
  static constexpr double kLn2 = std::bit_cast<double>(0x3FE62E42FEFA39EFull);
  static constexpr double kLn2Hi = logtab::kLn2High;
  static constexpr double kLn2Lo = logtab::kLn2Low;
  static constexpr double kLog10of2 = 0.30102999566398120;
  static constexpr const auto& kLog2e = logtab::kLog2eD;
  static constexpr const auto& kLog10e = logtab::kLog10eD;
  static constexpr const auto& kLog10of2Split = logtab::kLog10of2D;
  template <Base B>
  static constexpr const auto& ha_high() {
    if constexpr (B == Base::E) return logtab::kLnDHigh;
    else if constexpr (B == Base::Two) return logtab::kLog2DHigh;
    else return logtab::kLog10DHigh;
  }
  template <Base B>
  static constexpr const auto& ha_low() {
    if constexpr (B == Base::E) return logtab::kLnDLow;
    else if constexpr (B == Base::Two) return logtab::kLog2DLow;
    else return logtab::kLog10DLow;
  }
};

// 1/ln(b), for the scalar paths.
template <Base B>
constexpr double inverse_ln_base() {
  if constexpr (B == Base::E) return 1.0;
  else if constexpr (B == Base::Two) return 1.4426950408889634;
  else return 0.4342944819032518;
}

// ---- vector blocks ------------------------------------------------------------------------------
// w = 1 + x and its rounding error c = x - (w - 1), exact for every x > -1: below 1 in magnitude
// it is the fast two-sum; above, w - 1 is exact (w has no fraction finer than 1 there) and lies
// within a factor 2 of x, so the last difference is exact too. Arguments at or below -1 are
// special lanes anyway.
template <typename V>
inline V one_plus(V x, V& c) {
  const V o = simd::splat(simd::Elem<V>(1));
  const V w = simd::add_quiet(o, x);
  c = simd::sub_quiet(x, simd::sub_quiet(w, o));
  return w;
}

// w = m * 2^e with the mantissa m in [0.75, 1.5): the exponent of w less that of m.
template <typename V>
inline V mantissa_near_one(V w, V& e) {
  const V m = simd::mantissa_p75_1p5(w);
  e = simd::sub(simd::exponent_of(w), simd::exponent_of(m));
  return m;
}

// 1/m rounded to the grid k/32 (from the 14-bit estimate), for m in [1, 2): y*m - 1 is exact
// and within 1/32 of zero.
template <typename V>
inline V reciprocal_on_grid(V m) {
  return simd::round_to_fraction_bits<5>(simd::reciprocal_estimate(m));
}

// Log1p(+-0) is +-0: the sum 1 + x forgets the sign, so zeros are passed through.
template <bool kPlus1, typename V>
inline V keep_zero(V x, V y) {
  if constexpr (!kPlus1) return y;
  else return simd::select(simd::equal(x, simd::zero<V>()), x, y);
}

// e*log_b(2) + s/ln(b) for Log2 and Log10 (s the natural logarithm of the mantissa).
template <Base B, typename V>
inline V in_base(V e, V s) {
  using L = LogTraits<simd::Elem<V>>;
  static_assert(B != Base::E);
  if constexpr (B == Base::Two) return simd::fma_quiet(s, simd::splat(L::kLog2e[0]), e);
  else return simd::fma_quiet(s, simd::splat(L::kLog10e[0]), simd::mul_quiet(e, simd::splat(L::kLog10of2)));
}

// HA Log2 and Log10: e*log_b(2) + T_high + (T_low + rest/ln(b) + r/ln(b)) with T already in
// units of log_b, so that e*log_b(2) + T_high is exact and only r + rest (the logarithm of the
// reduced argument, r exact) is scaled, r through the two parts of 1/ln(b).
template <Base B, typename V>
inline V in_base_ha(V e, V th, V tl, V rest, V r) {
  using L = LogTraits<simd::Elem<V>>;
  static_assert(B != Base::E);
  const auto& c = B == Base::Two ? L::kLog2e : L::kLog10e;
  const V ch = simd::splat(c[0]), cl = simd::splat(c[1]);
  V big;
  if constexpr (B == Base::Two) {
    big = simd::add_quiet(e, th);
  } else {
    big = simd::fma_quiet(e, simd::splat(L::kLog10of2Split[0]), th);
    tl = simd::fma_quiet(e, simd::splat(L::kLog10of2Split[1]), tl);
  }
  V inner = simd::fma_quiet(rest, ch, tl);
  inner = simd::fma_quiet(r, cl, inner);
  return simd::add_quiet(big, simd::fma_quiet(r, ch, inner));
}

// ln(w + c) + extra*ln2 in double precision, for w > 0 finite and c a correction well below
// w (the low part of a pair; zero where there is none), on the reduction of the double Ln
// kernels: r = y*m - 1 exact, the correction joins as y*c/2^e. kTablePair takes the table in two
// parts and keeps r apart until the last addition (below one ulp); otherwise one table and one
// sum (about two ulp). kShort takes the EP polynomial. ln_pair_terms is the table-pair form
// before its last additions, hi + (r0 + tail) with r0 exact, for callers that scale the
// logarithm further and so must not round it first.
//
// A caller may give `head` (NoHead: none): ln(w + head + c), where the lanes with a nonzero head
// have w = 1. There the reduced argument is head + c itself, the pair of a small argument whose
// head 1 + head would round away (the complex logarithm near the unit circle), and head stands
// as r0, the exact part that is added last.
struct NoHead {};
struct LnTerms {
  __m512d hi, r0, tail;
};
struct LnReduction {
  __m512d r0, rc, r, e, p, r2;
  __m512i idx;
};
template <bool kShort, typename H = NoHead>
inline LnReduction ln_reduce(__m512d w, __m512d c, __m512d extra, H head = {}) {
  using namespace simd;
  LnReduction q;
  const __m512d m = mantissa_1_2(w);
  const __m512d ew = exponent_of(w);
  const __m512d y = reciprocal_on_grid(m);
  q.r0 = fma_quiet(y, m, splat(-1.0));
  if constexpr (!std::is_same_v<H, NoHead>) q.r0 = add_quiet(q.r0, head);  // exact: r0 is 0 there
  q.rc = mul_quiet(y, scale_by_pow2(c, sub(zero<__m512d>(), ew)));
  q.r = add_quiet(q.r0, q.rc);
  q.e = add(ew, extra);
  q.e = add(q.e, less(y, splat(0.75)), q.e, splat(1.0));
  q.idx = shift_right<48, double>(bits(y));
  q.p = kShort ? horner_from<2>(q.r, logpoly::kLnEpD) : horner_from<2>(q.r, logpoly::kLnLaD);
  q.r2 = mul_quiet(q.r, q.r);
  return q;
}

template <bool kShort, typename H = NoHead>
inline LnTerms ln_pair_terms(__m512d w, __m512d c, __m512d extra, H head = {}) {
  using namespace simd;
  using L = LogTraits<double>;
  const LnReduction q = ln_reduce<kShort>(w, c, extra, head);
  const __m512d th = lookup(q.idx, L::template ha_high<Base::E>());
  const __m512d tl = add_quiet(lookup(q.idx, L::template ha_low<Base::E>()), q.rc);
  const __m512d lo = fma_quiet(q.e, splat(L::kLn2Lo), tl);
  return {fma_quiet(q.e, splat(L::kLn2Hi), th), q.r0, fma_quiet(q.p, q.r2, lo)};
}

template <bool kTablePair, bool kShort, typename H = NoHead>
inline __m512d ln_pair(__m512d w, __m512d c, __m512d extra, H head = {}) {
  using namespace simd;
  if constexpr (kTablePair) {
    const LnTerms t = ln_pair_terms<kShort>(w, c, extra, head);
    return add_quiet(t.hi, add_quiet(t.r0, t.tail));
  } else {
    const LnReduction q = ln_reduce<kShort>(w, c, extra, head);
    const __m512d s = add_quiet(lookup(q.idx, logtab::kLnD), fma_quiet(q.p, q.r2, q.r));
    return fma_quiet(q.e, splat(LogTraits<double>::kLn2), s);
  }
}

// ---- scalar paths of the callouts ---------------------------------------------------------------
namespace logscalar {

// ln x for positive finite x, computed in double precision to well under one unit of it, so
// that single-precision results rounded from it are correctly rounded but in the rarest
// halfway cases. Subnormal doubles are scaled up by 2^60 first. Within 2^-7 of 1 the degree-8
// polynomial in u = x - 1 (exact) gives the result directly; elsewhere the mantissa is taken
// to [0.75, 1.5), its top seven fraction bits pick a slice whose reciprocal centre y (kept to
// 2^-21, so y*m is exact for single-precision m) gives r = y*m - 1 within 2^-7, and the result
// is e*ln2 - ln(y) + ln(1 + r) with the same polynomial.
inline double ln_exact(double x) {
  if (std::fabs(x - 1.0) <= 0x1p-7) {
    const double u = x - 1.0;
    return std::fma(simd::horner_from<2>(u, logpoly::kLnExact), u * u, u);
  }
  uint64_t b = std::bit_cast<uint64_t>(x);
  int e = static_cast<int>(b >> 52);
  if (e == 0) {
    b = std::bit_cast<uint64_t>(x * 0x1p60);
    e = static_cast<int>(b >> 52) - 60;
  }
  e -= 1023;
  const int i = static_cast<int>(b >> 45) & 127;
  double m = std::bit_cast<double>((b & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  if (i >= 64) {  // m in [1.5, 2): halve it into [0.75, 1)
    m *= 0.5;
    e += 1;
  }
  const double r = std::fma(logtab::kLnExactRecip[i], m, -1.0);
  const double poly = std::fma(simd::horner_from<2>(r, logpoly::kLnExact), r * r, r);
  const double ed = e;
  return std::fma(ed, logtab::kLn2High, logtab::kLnExactNegLn[i]) + std::fma(ed, logtab::kLn2Low, poly);
}

}  // namespace logscalar

// Special results of Ln, Log2, Log10 (pole at 0) and Log1p (pole at -1), the same in every
// variant: the pole gives -inf (singularity), below it NaN (domain), +inf and NaN themselves.
// A finite lane above the pole reaches here only from the single HA kernels (subnormal or huge
// arguments whose rounded reciprocal is not a normal number); it takes the slow exact path.
template <Base B, bool kPlus1, typename T>
int log_callout(const T* a, T* r) {
  const T x = *a;
  const T pole = kPlus1 ? T(-1) : T(0);
  if (std::isnan(x)) *r = x + x;
  else if (x == pole) *r = -std::numeric_limits<T>::infinity();
  else if (x < pole) *r = std::numeric_limits<T>::quiet_NaN();
  else if (std::isinf(x)) *r = x;
  else {
    const double w = kPlus1 ? 1.0 + static_cast<double>(x) : static_cast<double>(x);
    *r = static_cast<T>(logscalar::ln_exact(w) * inverse_ln_base<B>());
  }
  return result_status<kPoleReports>(*r, x);
}

}  // namespace zorp::vm
