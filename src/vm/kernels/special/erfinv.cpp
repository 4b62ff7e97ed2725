// ErfInv, ErfcInv and CdfNormInv in single and double precision (ErfcInv and CdfNormInv: see
// their block below).
//
// Double EP: a piecewise cubic in the distance from 1, with no transcendental call. With
// a = |x|, y = 1 - min(a, 1 - 2^-53) (so y >= 2^-53), the row of y's sixteenth of its binade is
// 16 (biased exponent) + (top four significand bits) - 16*970, read straight from y's bits; t
// is y minus the sixteenth's midpoint (exact), and the result x P(t), P the row's cubic by
// fused multiply-adds (tools/fit/erfinv.cpp, special/generated/erfinv_table.inc): the sign and
// the zeros come from x itself. Below 2^-54, 1 - a rounds to 1, whose row would lie past the
// table: y is held below 1 there, where the last row's cubic still holds.
//
// Double HA and LA refine the EP result w (26 and more correct bits) by one step of Newton's
// method with its second-order term: with D = 2/sqrt(pi) e^(-w^2), the residual
// r = erfc w - y for a >= 1/2 (y exact there, erfc as an unrounded pair from erfc_core.h) or
// a - erf w below (erf w = w + w Q(w^2), w - a exact), the step is d = r/D and w + d + w d^2;
// LA leaves out the w d^2 (its error, w d^2, is a few units in the last place at most). Below
// 2^-28, x sqrt(pi)/2 in two parts.
//
// Single precision computes in double: HA by the double LA refinement, LA and EP by the double
// EP table, narrowed once.
//
// Special lanes are |x| >= 1 (a NaN is not special: it flows through as NaN, unreported):
// +-1 gives x/0 = +-inf (a singularity, status 2), beyond the positive quiet NaN (status 1).
// The vector path yields the same values for the no-error mode.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/log_core.h"
#include "vm/kernels/hyper/forms.h"
#include "vm/kernels/special/erfc_core.h"
#include "vm/kernels/special/generated/erf_polys.inc"
#include "vm/kernels/special/generated/erfinv_table.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

constexpr double kBelowOne = std::bit_cast<double>(0x3FEFFFFFFFFFFFFFull);
constexpr long long kRowMask = 0x3FFF000000000000ll, kHalfStep = 0x0000800000000000ll;
constexpr long long kFirstRow = 16 * 970;
constexpr double kTwoOverSqrtPi = 1.1283791670955126;
constexpr double kHalfSqrtPiHi = 0x1.c5bf891b4ef6bp-1, kHalfSqrtPiLo = -0x1.618f13eb7ca89p-55;
constexpr double kQuietNaN = std::bit_cast<double>(0x7FF8000000000000ull);

// The table's cubic P(t) for 2^-53 <= y < 1: erfinv(1 - y)/(1 - y) to 27 bits.
inline __m512d erfinv_rows(__m512d y) {
  const __m512i masked = _mm512_and_si512(bits(y), _mm512_set1_epi64(kRowMask));
  const __m512i row = _mm512_sub_epi64(_mm512_srli_epi64(masked, 48), _mm512_set1_epi64(kFirstRow));
  const __m512d t = sub(y, as_double(_mm512_or_si512(masked, _mm512_set1_epi64(kHalfStep))));
  const __m512i at = _mm512_slli_epi64(row, 2);  // four doubles a row
  const double* base = &erfinvtab::kEpRows[0][0];
  __m512d p = _mm512_i64gather_pd(_mm512_add_epi64(at, _mm512_set1_epi64(3)), base, 8);
  p = fma(p, t, _mm512_i64gather_pd(_mm512_add_epi64(at, _mm512_set1_epi64(2)), base, 8));
  p = fma(p, t, _mm512_i64gather_pd(_mm512_add_epi64(at, _mm512_set1_epi64(1)), base, 8));
  return fma(p, t, _mm512_i64gather_pd(at, base, 8));
}

// The table method: x P(t) for every lane (|x| >= 1 lanes read the first row).
inline __m512d erfinv_ep(__m512d x) {
  const __m512d m = min(abs(x), splat(kBelowOne));  // a NaN gives 1 - 2^-53: the first row
  return mul(x, erfinv_rows(min(sub(splat(1.0), m), splat(kBelowOne))));
}

// One corrected Newton step from the table's w (see the top), as the unrounded pair
// w + step with x's sign. Below 2^-28 the pair is x sqrt(pi)/2 in two parts, for x whose
// products stay clear of the subnormals (ErfcInv's 1 - x); ErfInv rounds its own there.
template <bool kSecondOrder>
inline DD<__m512d> erfinv_pair(__m512d x) {
  const __m512d a = abs(x);
  const __m512d w = abs(erfinv_ep(x));
  const __m512d wc = min(w, splat(6.0));  // the |x| >= 1 lanes are replaced below
  // a >= 1/2: erfc w - y, with erfc w = 2 (hi + lo) (no bias below 16).
  const special::TailParts e = special::erfc_tail_parts(wc, zero<__m512d>());
  const __m512d y = sub(splat(1.0), a);
  const __m512d far = add_quiet(fms(splat(2.0), e.hi, y), mul(splat(2.0), e.lo));
  // a < 1/2: a - erf w.
  const __m512d near = sub_quiet(sub_quiet(a, w), mul_quiet(w, horner(mul_quiet(w, w), erfpoly::kErfSmallD)));
  const __m512d r = select(less(a, splat(0.5)), near, far);
  // D = 2/sqrt(pi) e^(-w^2), from the exponential's pair.
  const simd::DD<__m512d> h = half_exp_pair<false>(mul(wc, sub(zero<__m512d>(), wc)));
  const __m512d d = div_quiet(r, mul(splat(2 * kTwoOverSqrtPi), add(h.hi, h.lo)));
  __m512d step = d;
  if constexpr (kSecondOrder) step = fma_quiet(mul(w, d), d, d);
  const __m512d th = mul(x, splat(kHalfSqrtPiHi));
  const __m512d tl = fma_quiet(x, splat(kHalfSqrtPiHi), fma_quiet(x, splat(kHalfSqrtPiLo), sub(zero<__m512d>(), th)));
  const __mmask8 tiny = less(a, splat(0x1p-28)), negative = less(x, zero<__m512d>());
  return {select(tiny, th, copy_sign(w, x)), select(tiny, tl, select(negative, sub(zero<__m512d>(), step), step))};
}

template <bool kSecondOrder>
inline __m512d erfinv_refined(__m512d x) {
  const DD<__m512d> p = erfinv_pair<kSecondOrder>(x);
  // Below 2^-28 erfinv x = x sqrt(pi)/2 to double precision, rounded once: the residual's
  // products would round to the subnormal grid first. x is scaled by 2^54 so that the low
  // part's product stays clear of it too; the zeros keep their sign.
  const __m512d xs = mul(x, splat(0x1p54));
  const __m512d tiny = copy_sign(
      mul(fma_quiet(xs, splat(kHalfSqrtPiHi), mul(xs, splat(kHalfSqrtPiLo))), splat(0x1p-54)), x);
  return select(less(abs(x), splat(0x1p-28)), tiny, add_quiet(p.hi, p.lo));
}

template <Acc kAcc>
inline __m512d erfinv_d(__m512d x) {
  __m512d r;
  if constexpr (kAcc == Acc::EP) r = erfinv_ep(x);
  else r = erfinv_refined<kAcc == Acc::HA>(x);
  // The vector path's values of the special lanes, for the no-error mode.
  const __m512d a = abs(x);
  r = select(equal(a, splat(1.0)), copy_sign(splat(std::numeric_limits<double>::infinity()), x), r);
  return select(less(splat(1.0), a), splat(kQuietNaN), r);
}

// ---- ErfcInv and CdfNormInv ----------------------------------------------------------------
// erfcinv(1 - z) = erfinv z: for 1/2 <= x <= 3/2 the result is ErfInv's pair at 1 - x, exact
// there. Elsewhere it comes from y itself, y = x below 1/2 and y = 2 - x (exact) above 3/2 with
// the sign turned: 1 - x would have lost y's low bits, and all of a tiny y. For 0 < y < 1/2 the
// first guess is the table's at 1 - y (27 bits; only its rounding of 1 - y is lost, which
// moves the guess by ulps) from y = 2^-53, where the rows begin, and below it the asymptotic
// erfc w ~ e^(-w^2)/(w sqrt(pi)) (1 - 1/(2w^2) + 3/(4w^4)) solved for u = w^2 by two fixed-point
// rounds from u = L = -ln y, each gaining a factor 1/(2u) < 1/70 (about 14 bits in all).
// Newton's method then works on erfc w = y with its second-order term, in the relative
// residual: d = (1 - y/erfc w) erfcx(w) sqrt(pi)/2 and w + d + w d^2, where erfc w comes from
// erfc_core.h as an unrounded pair with its 512-octave bias beyond w = 16, so that subnormal y
// (down to the least, w = 27.2) stay exact beside it. The step's error is cubic in the error of
// w: from the table one step is enough for every class, from the logarithm EP takes one and
// LA and HA two.
constexpr double kSqrtPiOver2 = 0.88622692545275801;
constexpr double kLnPi = 1.1447298858494002;
constexpr double kRowsStart = 0x1p-53;

// One corrected Newton step on erfc w = y (0 < y < 1/2, w in [0.4, 28]): the step.
inline __m512d erfc_newton_step(__m512d w, __m512d y) {
  const special::TailParts e = special::erfc_tail_parts(w, zero<__m512d>());
  // erfc w = (hi + lo) 2^(1 - bias); y on the same scale is exact (2^511 y is normal).
  const __m512d ys = mul(y, select(less(zero<__m512d>(), e.bias), splat(0x1p511), splat(0.5)));
  const __m512d rel = div_quiet(add_quiet(sub_quiet(e.hi, ys), e.lo), add_quiet(e.hi, e.lo));
  const special::Erfcx x = special::erfcx_slices(w, zero<__m512d>());
  const __m512d d = mul(mul(rel, add_quiet(x.head, x.rest)), splat(kSqrtPiOver2));
  return fma_quiet(mul(w, d), d, d);
}

template <int kLogSteps>
inline DD<__m512d> erfcinv_tail(__m512d y) {
  // The guess from the logarithm, y scaled clear of the subnormals.
  const __m512d l = sub(zero<__m512d>(), ln_pair<false, false>(mul(y, splat(0x1p600)), zero<__m512d>(), splat(-600.0)));
  const __m512d u1 = fnma_quiet(splat(0.5), add(ln_pair<false, false>(l, zero<__m512d>(), zero<__m512d>()), splat(kLnPi)), l);
  const __m512d v = div_quiet(splat(1.0), u1);
  const __m512d series = mul(v, fma_quiet(splat(0.625), v, splat(-0.5)));  // ln(1 - v/2 + 3v^2/4)
  const __m512d u2 = add(fnma_quiet(splat(0.5), add(ln_pair<false, false>(u1, zero<__m512d>(), zero<__m512d>()), splat(kLnPi)), l), series);
  const __m512d from_log = sqrt(u2);
  const __m512d from_rows = mul(sub(splat(1.0), y), erfinv_rows(max(y, splat(kRowsStart))));
  const __mmask8 rows = greater_equal(y, splat(kRowsStart));
  __m512d w = min(max(select(rows, from_rows, from_log), splat(0.4)), splat(28.0));
  for (int i = 1; i < kLogSteps; ++i) {
    const __m512d s = erfc_newton_step(w, y);
    w = min(add_quiet(w, zero_unless(~rows, s)), splat(28.0));
  }
  return {w, erfc_newton_step(w, y)};
}

// erfcinv x as an unrounded pair, for 0 < x < 2 (other lanes are replaced by the caller).
template <Acc kAcc>
inline DD<__m512d> erfcinv_pair(__m512d x) {
  const __m512d z = sub(splat(1.0), x);
  DD<__m512d> mid;
  if constexpr (kAcc == Acc::EP) mid = {erfinv_ep(z), zero<__m512d>()};
  else mid = erfinv_pair<kAcc == Acc::HA>(z);
  const __mmask8 upper = less(splat(1.0), x);
  const __m512d y = min(max(select(upper, sub(splat(2.0), x), x), splat(0x1p-1074)), splat(0.5));
  const DD<__m512d> t = erfcinv_tail<kAcc == Acc::EP ? 1 : 2>(y);
  const __m512d sign = select(upper, splat(-1.0), splat(1.0));
  // Tested on x: below 1/2, 1 - x rounds (to 1/2 itself just below it).
  const __mmask8 middle = greater_equal(x, splat(0.5)) & less_equal(x, splat(1.5));
  return {select(middle, mid.hi, mul(sign, t.hi)), select(middle, mid.lo, mul(sign, t.lo))};
}

// The vector path's values at and beyond the ends, for the no-error mode: the poles at lo
// (+inf) and hi (-inf), NaN outside; a NaN flows through.
inline __m512d inverse_ends(__m512d r, __m512d x, double lo, double hi, double sign_at_lo) {
  const double inf = std::numeric_limits<double>::infinity();
  r = select(equal(x, splat(lo)), splat(sign_at_lo * inf), r);
  r = select(equal(x, splat(hi)), splat(-sign_at_lo * inf), r);
  r = select(less(x, splat(lo)) | less(splat(hi), x), splat(kQuietNaN), r);
  return select(unordered(x, x), x, r);
}

template <Acc kAcc>
inline __m512d erfcinv_d(__m512d x) {
  const DD<__m512d> p = erfcinv_pair<kAcc>(x);
  return inverse_ends(add_quiet(p.hi, p.lo), x, 0.0, 2.0, 1.0);
}

// CdfNormInv p = -sqrt 2 erfcinv(2p), 2p exact; sqrt 2 as a pair times the unrounded pair.
constexpr double kSqrt2Hi = 0x1.6a09e667f3bcdp0, kSqrt2Lo = -0x1.bdd3413b26456p-54;
template <Acc kAcc>
inline __m512d cdfnorminv_d(__m512d x) {
  const DD<__m512d> p = erfcinv_pair<kAcc>(add(x, x));
  const __m512d h = mul(p.hi, splat(-kSqrt2Hi));
  const __m512d l = fma_quiet(p.hi, splat(-kSqrt2Hi), sub(zero<__m512d>(), h));
  const __m512d r = add_quiet(h, fnma_quiet(p.lo, splat(kSqrt2Hi), fnma_quiet(p.hi, splat(kSqrt2Lo), l)));
  return inverse_ends(r, x, 0.0, 1.0, -1.0);
}

// Both are singular at the ends of their domain and NaN beyond it.
template <bool kCdf>
struct InverseRecord {
  static constexpr double kHi = kCdf ? 1.0 : 2.0, kSignAtLo = kCdf ? -1.0 : 1.0;
  template <Acc kAcc>
  static __m512d eval(__m512d x) {
    if constexpr (kCdf) return cdfnorminv_d<kAcc>(x);
    else return erfcinv_d<kAcc>(x);
  }
  template <typename V>
  static auto special(V x) {
    using T = Elem<V>;
    return less_equal(x, zero<V>()) | greater_equal(x, splat(T(kHi)));
  }
  template <typename T>
  static int callout(const T* a, T* r) {
    const T x = *a;
    if (x == T(0) || x == T(kHi)) {
      *r = static_cast<T>((x == T(0) ? kSignAtLo : -kSignAtLo) * std::numeric_limits<double>::infinity());
      return kStatusSingularity;
    }
    *r = static_cast<T>(kQuietNaN);
    return kStatusDomain;
  }
};

struct Record {
  template <Acc kAcc>
  static __m512d eval(__m512d x) { return erfinv_d<kAcc>(x); }
  template <typename V>
  static auto special(V x) {
    return abs_at_least(x, splat(Elem<V>(1)));
  }
  template <typename T>
  static int callout(const T* a, T* r) {
    const T x = *a;
    if (std::fabs(x) == T(1)) {
      *r = x / T(0);
      return kStatusSingularity;
    }
    *r = static_cast<T>(kQuietNaN);
    return kStatusDomain;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
using hyper::Guarded;
HYPER_KERNELS(s, float, ErfInv, Guarded, Record)
HYPER_KERNELS(d, double, ErfInv, Guarded, Record)
HYPER_KERNELS(s, float, ErfcInv, Guarded, InverseRecord<false>)
HYPER_KERNELS(d, double, ErfcInv, Guarded, InverseRecord<false>)
HYPER_KERNELS(s, float, CdfNormInv, Guarded, InverseRecord<true>)
HYPER_KERNELS(d, double, CdfNormInv, Guarded, InverseRecord<true>)
