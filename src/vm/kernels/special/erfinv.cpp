// ErfInv in single and double precision.
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
#include "vm/kernels/hyper/forms.h"
#include "vm/kernels/special/erfc_core.h"
#include "vm/kernels/special/generated/erf_polys.inc"
#include "vm/kernels/special/generated/erfinv_table.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using hyper::Acc;

constexpr double kBelowOne = std::bit_cast<double>(0x3FEFFFFFFFFFFFFFull);
constexpr long long kRowMask = 0x3FFF000000000000ll, kHalfStep = 0x0000800000000000ll;
constexpr long long kFirstRow = 16 * 970;
constexpr double kTwoOverSqrtPi = 1.1283791670955126;
constexpr double kHalfSqrtPiHi = 0x1.c5bf891b4ef6bp-1, kHalfSqrtPiLo = -0x1.618f13eb7ca89p-55;
constexpr double kQuietNaN = std::bit_cast<double>(0x7FF8000000000000ull);

// The table method: x P(t) for every lane (|x| >= 1 lanes read the first row).
inline __m512d erfinv_ep(__m512d x) {
  const __m512d m = min(abs(x), splat(kBelowOne));  // a NaN gives 1 - 2^-53: the first row
  const __m512d y = min(sub(splat(1.0), m), splat(kBelowOne));
  const __m512i masked = _mm512_and_si512(bits(y), _mm512_set1_epi64(kRowMask));
  const __m512i row = _mm512_sub_epi64(_mm512_srli_epi64(masked, 48), _mm512_set1_epi64(kFirstRow));
  const __m512d t = sub(y, as_double(_mm512_or_si512(masked, _mm512_set1_epi64(kHalfStep))));
  const __m512i at = _mm512_slli_epi64(row, 2);  // four doubles a row
  const double* base = &erfinvtab::kEpRows[0][0];
  __m512d p = _mm512_i64gather_pd(_mm512_add_epi64(at, _mm512_set1_epi64(3)), base, 8);
  p = fma(p, t, _mm512_i64gather_pd(_mm512_add_epi64(at, _mm512_set1_epi64(2)), base, 8));
  p = fma(p, t, _mm512_i64gather_pd(_mm512_add_epi64(at, _mm512_set1_epi64(1)), base, 8));
  p = fma(p, t, _mm512_i64gather_pd(at, base, 8));
  return mul(x, p);
}

// One corrected Newton step from the table's w (see the top).
template <bool kSecondOrder>
inline __m512d erfinv_refined(__m512d x) {
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
  // Below 2^-28 erfinv x = x sqrt(pi)/2 to double precision, rounded once: the residual's
  // products would round to the subnormal grid first. x is scaled by 2^54 so that the low
  // part's product stays clear of it too; the zeros keep their sign.
  const __m512d xs = mul(x, splat(0x1p54));
  const __m512d tiny = copy_sign(
      mul(fma_quiet(xs, splat(kHalfSqrtPiHi), mul(xs, splat(kHalfSqrtPiLo))), splat(0x1p-54)), x);
  return select(less(a, splat(0x1p-28)), tiny, copy_sign(add_quiet(w, step), x));
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
