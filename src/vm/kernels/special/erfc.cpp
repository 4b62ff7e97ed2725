// Erfc, Erfcx and CdfNorm in single and double precision: one accurate method in every slot,
// single precision computed in double and rounded once, but for the LA and EP slots of single
// Erfc and CdfNorm, which work in float (see "Single precision in float" below), and double
// Erfc LA and EP, which have shorter methods of their own (see "Double Erfc LA and EP"; single
// Erfc HA computes in double through the LA one, whose few ulps vanish in the rounding to float).
//
// The three rest on erfcx x = e^(x^2) erfc x for 0 <= x < 32, fitted on 96 centred slices
// (sixteen of width 1/16 below 1, then sixteen per octave; the slice is read from the exponent
// and the top four significand bits): erfcx x = H_i + P_i(x - m_i), H_i = erfcx(m_i) rounded
// and added last (tools/fit, special/generated/erfc_polys.inc).
//
// Erfc, with a = |x|:
//   |x| < 1/2     1 - x - x Q(x^2), Q erf's own small-argument polynomial, 1 - x as an exact sum;
//   x >= 1/2      e^(-x^2) erfcx x, x^2 as an exact product whose low part joins the
//                 exponential's pair, and the product with the head H_i exact: the result rounds
//                 about once, deep into the tail. Beyond x^2 = 256 the exponent is biased by
//                 512 octaves (x^2 - 512 ln2 is exact there with ln2's short high part) and the
//                 bias comes off in the last scaling, which rounds subnormal results only once;
//   x <= -1/2     2 - erfc a (the subtrahend is below a quarter of the result).
// Results below the least normal (x above 26.54 in double, 9.19 in single) are the special
// lanes: their callout keeps the vector result and reports an underflow. +inf gives an exact 0.
//
// Erfcx: erfcx itself below 32; beyond, the asymptotic series (x sqrt(pi))^-1 (1 + v T(v)),
// v = 1/x^2, whose first omitted term is below 2^-60 there, the quotient corrected by its
// remainder; below zero 2 e^(x^2) - erfcx|x|, which overflows below -26.63 (-9.38 in single):
// those lanes report an overflow with +inf; above 2^1020 (2^124) the result nears the
// subnormal range and the callout divides with a scaled argument and reports an underflow.
//
// CdfNorm x = erfc(-x/sqrt 2)/2 with -x/sqrt 2 as an unevaluated pair: rounding it would cost
// up to 2 y^2 2^-53 of the result at y = x/sqrt 2 (a thousand ulps at y = 26); the low part goes
// into x^2's low part and into erfcx's offset. The halving joins the last scaling.
//
// Single precision in float (LA, EP), on sixteen lanes: the same three ranges, with erfcx on
// four slices per octave of [1/2, 16) read from the float's exponent and top two significand
// bits (one two-register permute per coefficient; tools/fit, degree 6 LA, 3 EP) and the small
// range's Q of degree 4 and 2. LA takes e^(-x^2) from the 1/32-octave table pairs with x^2 as an
// exact product whose low part joins the reduced argument (x^2 rounded alone would cost up to
// 2^-18 relative, 64 ulps); EP takes whole octaves, no table and x^2 rounded. CdfNorm's pair
// argument keeps its low part in x^2 and, below 1/2, in the linear term. HA stays in double:
// below one ulp in float needs the exponential and erfcx as pairs and their exact product, which
// costs what the two double halves do.
#include <bit>
#include <cmath>
#include <limits>
#include <type_traits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/hyper/forms.h"
#include "vm/kernels/special/generated/erf_polys.inc"
#include "vm/kernels/special/erfc_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using special::erfc_tail, special::erfcx_slices, special::Erfcx;

// The largest arguments whose results are normal (Erfc, CdfNorm at -x), and the largest |x| of
// a negative argument whose Erfcx is finite.
constexpr double kErfcNormalD = 26.543258454250978;
constexpr float kErfcNormalF = 9.194548606872559f;
constexpr double kCdfNormalD = 37.51937934714449;
constexpr float kCdfNormalF = 12.949952125549316f;
constexpr double kErfcxFiniteD = 26.62873571375149;
constexpr float kErfcxFiniteF = 9.382413864135742f;
constexpr double kErfcxAsymptotic = 32.0;
constexpr double kErfcxTinyD = 0x1p1020, kErfcxTinyF = 0x1p124;
// Arguments are capped here: erfc is 0 well before it, e^(x^2) infinite.
constexpr double kCap = 28.0;
constexpr double kInvSqrtPiHi = 0x1.20dd750429b6dp-1, kInvSqrtPiLo = 0x1.1ae3a914fed8p-57;
constexpr double kInvSqrt2Hi = 0x1.6a09e667f3bcdp-1, kInvSqrt2Lo = -0x1.bdd3413b26456p-55;

// The asymptotic series of x sqrt(pi) erfcx x - 1 in v = 1/x^2: coefficient n is
// (2n - 1)!!/(-2)^n, n = 1..6 (exact in double).
constexpr auto kAsymptotic = [] {
  struct { double c[6]; } t{};
  double c = 1;
  for (int n = 1; n <= 6; ++n) t.c[n - 1] = c *= -(2 * n - 1) / 2.0;
  return t;
}();

// erfc(yh + yl) * 2^scale, scale 0 or -1, for any pair argument.
inline __m512d erfc_pair(__m512d yh, __m512d yl, double scale) {
  const __m512d a = min(splat(kCap), abs(yh));  // NaN stays
  const __mmask8 negative = less(yh, zero<__m512d>()), small = less(a, splat(0.5));
  const __m512d al = select(greater_equal(a, splat(kCap)), zero<__m512d>(), select(negative, sub(zero<__m512d>(), yl), yl));
  // erfc|y| 2^scale, and for y <= -1/2 (2 - erfc|y|) 2^scale.
  const __m512d tail = erfc_tail(max(splat(0.5), a), al, scale);
  const __m512d reflected = sub_quiet(splat(scale == 0 ? 2.0 : 1.0), tail);
  // |y| < 1/2: 1 - y - y Q(y^2).
  const DD<__m512d> s = two_sum(splat(1.0), sub(zero<__m512d>(), yh));
  const __m512d yq = mul_quiet(yh, horner(mul_quiet(yh, yh), erfpoly::kErfSmallD));
  const __m512d near = mul(add_quiet(s.hi, sub_quiet(sub_quiet(s.lo, yl), yq)), splat(scale == 0 ? 1.0 : 0.5));
  return select(small, near, select(negative, reflected, tail));
}

inline __m512d erfc_d(__m512d x) { return erfc_pair(x, zero<__m512d>(), 0.0); }

inline __m512d cdfnorm_d(__m512d x) {
  // y = -x/sqrt 2 = yh + yl.
  const __m512d yh = mul(x, splat(-kInvSqrt2Hi));
  const __m512d yl = fma_quiet(x, splat(-kInvSqrt2Lo), fma_quiet(x, splat(-kInvSqrt2Hi), sub(zero<__m512d>(), yh)));
  return erfc_pair(yh, yl, -1.0);
}

inline __m512d erfcx_d(__m512d x) {
  const __m512d a = abs(x);
  const Erfcx e = erfcx_slices(a, zero<__m512d>());
  const __m512d direct = add_quiet(e.head, e.rest);
  // x >= 32: q = 1/(x sqrt(pi)) with its remainder, times 1 + v T(v).
  const __m512d q = div_quiet(splat(kInvSqrtPiHi), x);
  const __m512d rem = fma_quiet(q, sub(zero<__m512d>(), x), splat(kInvSqrtPiHi));
  const __m512d corr = div_quiet(add_quiet(rem, splat(kInvSqrtPiLo)), x);
  const __m512d r = div_quiet(splat(1.0), x);
  const __m512d v = mul_quiet(r, r);
  const __m512d vt = mul_quiet(v, horner(v, kAsymptotic.c));
  const __m512d asym = add_quiet(q, fma_quiet(q, vt, corr));
  // x < 0: 2 e^(x^2) - erfcx a, e^(x^2)/2 from x^2 as an exact product.
  const __m512d an = min(splat(kCap), a);
  const DD<__m512d> sq = two_prod(an, an);
  const DD<__m512d> p = half_exp_pair<true>(sq.hi);
  const __m512d p4 = mul(p.hi, splat(4.0));
  const __m512d pl4 = mul(fma_quiet(add_quiet(p.hi, p.lo), sq.lo, p.lo), splat(4.0));
  const DD<__m512d> d = two_sum(p4, sub(zero<__m512d>(), e.head));
  const __m512d negative = add_quiet(d.hi, add_quiet(d.lo, sub_quiet(pl4, e.rest)));
  __m512d y = select(greater_equal(x, splat(kErfcxAsymptotic)), asym, direct);
  y = select(equal(x, splat(std::numeric_limits<double>::infinity())), zero<__m512d>(), y);
  y = select(less(x, zero<__m512d>()), negative, y);
  return select(unordered(x, x), x, y);  // the slices lose a NaN
}

// ---- Double Erfc LA and EP ----------------------------------------------------------------------
// The HA method reads erfcx from 96 slices, one gather per coefficient, and keeps every product
// exact; LA (4 ulp) and EP (26 bits) need neither. They read erfcx from sixteen pieces, one
// two-register permute per coefficient, and multiply it by e^(-x^2); below -1/2 (LA: below 0)
// the result is 2 - erfc|x|.
//   LA  one piecewise polynomial of degree 17 on every argument: two slices per octave of
//       [1/2, 32) (the exponent and the top significand bit), and in the table's four spare
//       entries four slices of width 1/8 on [0, 1/2), so that the small range costs no series
//       of its own; x^2 as an exact product whose low part joins the reduced argument of a
//       1/16-octave exponential (x^2 rounded alone would cost up to 2^-44 relative, 2^9 ulps).
//       erfc(+-0) is set to 1 (the fit is within an ulp of it, not at it).
//   EP  the slices from 1/2 only (degree 9), x^2 rounded and the short exponential; below 1/2,
//       1 - (x + x Q(x^2)) with erf's small-argument polynomial.
inline __m512d erfc_la_d(__m512d x) {
  using D = ExpTraits<double>;
  const __m512d a = min(splat(kCap), abs(x));  // NaN stays
  const __mmask8 negative = less(x, zero<__m512d>()), small = less(a, splat(0.5));
  // e^(-a^2).
  const DD<__m512d> sq = two_prod(a, a);
  const __m512d z = sub(zero<__m512d>(), sq.hi);
  const Grid<__m512d> g = grid_toward_zero(z, D::kInvLn2, D::kShifter16);
  const __m512d r = sub_quiet(reduce(z, g.k, D::kLn2Hi, D::kLn2Lo), sq.lo);
  const __m512d q = fma_quiet(horner_from<2>(r, exppoly::kExpLaD), mul_quiet(r, r), r);
  const __m512d e = scale_table(lookup(g.index, exptab::kH16), q, g.k);
  // The piece: from 1/2, 2(exponent - (-1)) + top bit, midpoint with the next bit set; below,
  // 12 + floor(8a) from the low bits of a shifter that carries the 12, midpoint (floor(8a) + 1/2)/8.
  const __m512i ab = bits(a);
  const __m512i high_idx = _mm512_sub_epi64(_mm512_srli_epi64(ab, 51), _mm512_set1_epi64(0x3FE << 1));
  const __m512d high_mid = as_double(_mm512_or_si512(_mm512_and_si512(ab, _mm512_set1_epi64(int64_t(0xFFF8000000000000ull))),
                                                     _mm512_set1_epi64(0x0004000000000000ll)));
  const __m512d shifter = splat(from_bits<double>(0x433800000000000Cull));  // 1.5*2^52 + 12
  const __m512d t = fma_toward_zero(a, splat(8.0), shifter);
  const __m512d low_mid = fma_quiet(sub(t, shifter), splat(0.125), splat(0.0625));
  const __m512i idx = _mm512_mask_blend_epi64(small, high_idx, bits(t));
  // Exact from 1/2 (the same binade) and from 1/8; below, within 2^-57.
  const __m512d u = sub_quiet(a, select(small, low_mid, high_mid));
  const __m512d tail = mul_quiet(e, horner_pieces(u, idx, erfcpoly::kErfcxPiecesLaD));
  const __m512d y = select(negative, sub_quiet(splat(2.0), tail), tail);
  return select(equal(a, zero<__m512d>()), splat(1.0), y);
}

template <Acc kAcc>
inline __m512d erfc_fast_d(__m512d x) {
  static_assert(kAcc == Acc::EP);
  using D = ExpTraits<double>;
  const __m512d a = min(splat(kCap), abs(x));  // NaN stays
  const __mmask8 negative = less(x, zero<__m512d>()), small = less(a, splat(0.5));
  const __m512d at = max(splat(0.5), a);
  // e^(-at^2).
  const __m512d z = mul(at, sub(zero<__m512d>(), at));
  const Grid<__m512d> g = grid_toward_zero(z, D::kInvLn2, D::kShifter16);
  const __m512d r = reduce(z, g.k, D::kLn2Hi);
  const __m512d e = scale_table(lookup(g.index, exptab::kH16), mul_quiet(horner_from<1>(r, exppoly::kExpEpD), r), g.k);
  // erfcx at: slice 2(exponent - (-1)) + top bit, midpoint with the next bit set.
  const __m512i ab = bits(at);
  const __m512i idx = _mm512_sub_epi64(_mm512_srli_epi64(ab, 51), _mm512_set1_epi64(0x3FE << 1));
  const __m512d mid = as_double(_mm512_or_si512(_mm512_and_si512(ab, _mm512_set1_epi64(int64_t(0xFFF8000000000000ull))),
                                                _mm512_set1_epi64(0x0004000000000000ll)));
  const __m512d u = sub_quiet(at, mid);  // exact: the same binade
  const __m512d tail = mul_quiet(e, horner_pieces(u, idx, erfcpoly::kErfcxPiecesEpD));
  const __m512d reflected = sub_quiet(splat(2.0), tail);
  // Below 1/2, on x itself (other lanes on 0, so that nothing overflows).
  const __m512d xs = zero_unless(small, x);
  const __m512d near_one = sub(splat(1.0), fma(xs, horner(mul(xs, xs), erfpoly::kErfSmallEpD), xs));
  return select(small, near_one, select(negative, reflected, tail));
}

inline double lane0(__m512d v) { return _mm512_cvtsd_f64(v); }

enum class Fn { Erfc, Erfcx, CdfNorm };

template <Fn F>
inline __m512d eval_d(__m512d x) {
  if constexpr (F == Fn::Erfc) return erfc_d(x);
  else if constexpr (F == Fn::CdfNorm) return cdfnorm_d(x);
  else return erfcx_d(x);
}

// ---- single precision in float (LA, EP) ---------------------------------------------------------
constexpr float kCapF = 10.0f;  // erfc is below the least subnormal beyond 10.05: the lanes past 9.19 are special

// e^-(zh + zl) for 0 <= zh <= 100, |zl| <= ulp(zh)/2.
template <Acc kAcc>
inline __m512 exp_neg_f(__m512 zh, __m512 zl) {
  using E = ExpTraits<float>;
  const __m512 x = sub(zero<__m512>(), zh);
  if constexpr (kAcc == Acc::EP) {
    constexpr const auto& c = exppoly::kExpOctaveF;
    const __m512 k = round_to_fraction_bits<0>(mul(x, splat(E::kInvLn2)));
    const __m512 r = reduce(x, k, E::kLn2Hi);
    return scale_by_pow2(fma_quiet(horner_from<1>(r, c), r, splat(1.0f)), k);  // c[0] = 0
  } else {
    const Grid<__m512> g = grid_toward_zero(x, E::kInvLn2, 393216.0f);  // 1.5*2^18: five index bits
    const __m512 r = sub_quiet(reduce(x, g.k, E::kLn2Hi, E::kLn2Lo), zl);
    const __m512 q = fma_quiet(mul_quiet(r, r), horner_from<2>(r, exppoly::kExpHaF), add_quiet(r, lookup(g.index, exptab::kL32Rel)));
    const __m512 hs = scale_by_pow2(lookup(g.index, exptab::kH32), g.k);
    return fma_quiet(hs, q, hs);
  }
}

template <Acc kAcc>
constexpr const auto& erfcx_pieces_f() {
  if constexpr (kAcc == Acc::EP) return erfcpoly::kErfcxPiecesEpF;
  else return erfcpoly::kErfcxPiecesLaF;
}
template <Acc kAcc>
constexpr const auto& erf_small_f() {
  if constexpr (kAcc == Acc::EP) return erfpoly::kErfSmallEpF;
  else return erfpoly::kErfSmallLaF;
}

// kPair: erfc(yh + yl)/2, |yl| <= ulp(yh)/2 (CdfNorm; EP ignores yl); otherwise erfc(yh), with
// no low part and no halving to spend operations on (their rounding-mode forms are not folded
// away by the compiler; the results are the same).
template <Acc kAcc, bool kPair>
inline __m512 erfc_pair_f(__m512 yh, __m512 yl) {
  constexpr bool kEp = kAcc == Acc::EP;
  const __m512 a = min(splat(kCapF), abs(yh));  // NaN stays
  const __mmask16 negative = less(yh, zero<__m512>()), small = less(a, splat(0.5f));
  const __m512 half = splat(0.5f);
  // From 1/2: e^(-a^2) erfcx a.
  const __m512 at = max(splat(0.5f), a);
  __m512 e;
  if constexpr (kEp) {
    e = exp_neg_f<kAcc>(mul(at, at), zero<__m512>());
  } else if constexpr (kPair) {
    // The low part of |y|; none past the cap (CdfNorm's +inf leaves a NaN there).
    const __m512 al = select(greater_equal(a, splat(kCapF)), zero<__m512>(), select(negative, sub(zero<__m512>(), yl), yl));
    const DD<__m512> sq = two_prod(at, at);
    e = exp_neg_f<kAcc>(sq.hi, fma_quiet(add(at, at), al, sq.lo));
  } else {
    const DD<__m512> sq = two_prod(at, at);
    e = exp_neg_f<kAcc>(sq.hi, sq.lo);
  }
  const __m512i ab = bits(at);
  const __m512i idx = _mm512_sub_epi32(_mm512_srli_epi32(ab, 21), _mm512_set1_epi32(126 << 2));
  const __m512 mid = as_float(_mm512_or_si512(_mm512_and_si512(ab, _mm512_set1_epi32(int(0xFFE00000u))), _mm512_set1_epi32(0x00100000)));
  const __m512 u = sub_quiet(at, mid);  // exact: the same binade
  const __m512 erfcx = horner_pieces(u, idx, erfcx_pieces_f<kAcc>());
  __m512 tail = mul_quiet(e, erfcx);
  if constexpr (kPair) tail = mul_quiet(tail, half);
  const __m512 reflected = sub_quiet(splat(kPair ? 1.0f : 2.0f), tail);
  // Below 1/2: 1 - (y + y Q(y^2)), the pair's low part entering with erf's slope 2/sqrt(pi).
  const __m512 q = horner(mul_quiet(yh, yh), erf_small_f<kAcc>());
  const __m512 lin = kEp || !kPair ? mul_quiet(yh, q) : fma_quiet(yh, q, mul_quiet(yl, splat(float(2 * kInvSqrtPiHi))));
  __m512 near = sub_quiet(sub_quiet(splat(1.0f), yh), lin);
  if constexpr (kPair) near = mul_quiet(near, half);
  return select(small, near, select(negative, reflected, tail));
}

template <Fn F, Acc kAcc>
inline __m512 eval_f(__m512 x) {
  if constexpr (F == Fn::Erfc) return erfc_pair_f<kAcc, false>(x, zero<__m512>());
  else {
    // y = -x/sqrt 2 = yh + yl.
    const float c = float(-kInvSqrt2Hi);
    const float cl = float(-kInvSqrt2Hi - double(c));
    const __m512 yh = mul(x, splat(c));
    const __m512 yl = fma_quiet(x, splat(cl), fma_quiet(x, splat(c), sub(zero<__m512>(), yh)));
    return erfc_pair_f<kAcc, true>(yh, yl);
  }
}

template <Fn F>
struct Record {
  template <Acc kAcc>
  static __m512d eval(__m512d x) {
    if constexpr (F == Fn::Erfc && kAcc == Acc::LA) return erfc_la_d(x);
    else if constexpr (F == Fn::Erfc && kAcc == Acc::EP) return erfc_fast_d<kAcc>(x);
    else return eval_d<F>(x);
  }
  template <Acc kAcc>
    requires(F != Fn::Erfcx && kAcc != Acc::HA)
  static __m512 eval(__m512 x) { return eval_f<F, kAcc>(x); }
  template <typename V>
  static auto special(V x) {
    using T = Elem<V>;
    constexpr bool kD = std::is_same_v<T, double>;
    if constexpr (F == Fn::Erfc) {
      return less(splat(T(kD ? kErfcNormalD : kErfcNormalF)), x);
    } else if constexpr (F == Fn::CdfNorm) {
      return less(x, splat(T(kD ? -kCdfNormalD : -kCdfNormalF)));
    } else {
      return less(x, splat(T(kD ? -kErfcxFiniteD : -kErfcxFiniteF))) |
             less(splat(T(kD ? kErfcxTinyD : kErfcxTinyF)), x);
    }
  }
  // The tails: results below the least normal (an underflow, but for +inf's exact 0) and
  // Erfcx's overflow below zero.
  template <typename T>
  static int callout(const T* a, T* r) {
    const double x = *a;
    double y;
    if (F == Fn::Erfcx && x < 0) {
      y = std::numeric_limits<double>::infinity();
    } else if (F == Fn::Erfcx) {
      // 1/(x sqrt(pi)), the series' next term far below; double x is scaled first so that a
      // subnormal result rounds once more only.
      y = std::is_same_v<T, float> ? kInvSqrtPiHi / x : (kInvSqrtPiHi / (x * 0x1p-64)) * 0x1p-64;
      *r = static_cast<T>(y);
      return result_status<kGrowthReports>(*r, *a);
    } else {
      y = lane0(eval_d<F>(_mm512_set1_pd(x)));
    }
    *r = static_cast<T>(y);
    if (std::isinf(x)) return 0;
    return F == Fn::Erfcx ? kStatusOverflow : kStatusUnderflow;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
using hyper::Guarded;
HYPER_KERNELS(s, float, Erfc, Guarded, Record<Fn::Erfc>)
HYPER_KERNELS(d, double, Erfc, Guarded, Record<Fn::Erfc>)
HYPER_KERNELS(s, float, CdfNorm, Guarded, Record<Fn::CdfNorm>)
HYPER_KERNELS(d, double, CdfNorm, Guarded, Record<Fn::CdfNorm>)
VM_KERNELS(s, Erfcx, Guarded<Record<Fn::Erfcx>, float, Acc::HA>)
VM_KERNELS(d, Erfcx, Guarded<Record<Fn::Erfcx>, double, Acc::HA>)
