// The Bessel functions of the first kind J0 and J1 in single and double precision: one accurate
// method in every slot, single precision computed in double and narrowed once.
//
// With a = |x| (J0 is even, J1 odd):
//   a < 63 pi/8  32 pieces [m pi/4 - pi/8, (m + 1) pi/4 - pi/8), every fourth holding one
//              zero mid-piece (those of J0 lie near (k - 1/4) pi, those of J1 near (k + 1/4) pi).
//              A piece with a zero z = z_hi + z_lo (tools/fit, to 106 bits) is a polynomial
//              d P(d) in d = (a - z_hi) - z_lo, formed as a pair, so the result keeps its
//              relative accuracy right up to the zero; the others are P(a - midpoint), the
//              midpoint a double. The leading coefficient is a pair too (and c1 away from a
//              zero, where c1 d reaches most of the result). Pieces a quarter period
//              wide keep the polynomial's terms from cancelling (over half a period they summed
//              to three times the result and cost two ulps).
//   a >= 63 pi/8  Hankel's form J_n = (P_n cos chi - Q_n sin chi) sqrt(2/(pi a)), chi = a - (2n+1) pi/4,
//              P_n = 1 + s P(s), Q_n = Q(s)/a in s = 1/a^2 (fitted); cos and sin of chi come
//              from those of a (common/sincos_core.h: a reduction for any argument, pairs), so
//              J0 sqrt(pi a) = (cos a + sin a) P0 + (cos a - sin a) Q0 and
//              J1 sqrt(pi a) = (sin a - cos a) P1 + (sin a + cos a) Q1, summed as pairs.
// Beyond the tabled zeros (the first eight of each) the Hankel form's error is absolute: some 2^-60 of the amplitude
// sqrt(2/(pi a)) from the sine and cosine pairs and from P and Q, plus the final rounding. Near
// a zero the result shrinks below the amplitude while that error does not (the cancellation in
// cos a + sin a is exact, the error is in what it cancels), so the relative error grows as the
// result approaches the zero; there the contract asks for an absolute bound instead.
//
// Special lanes: J1 of arguments below twice the least normal, whose results a/2 are subnormal
// (status 4); the callout rounds as the exact result a/2 (1 - a^2/8) demands: down on a tie.
// J(+-inf) is +0.
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/special/tiny_half.h"
#include "vm/kernels/special/generated/bessel_j_tables.inc"
#include "vm/kernels/special/generated/bessel_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

constexpr double kHankelFrom = 0x1.8bd7366f31c64p+4;  // 63 pi/8
constexpr double kFourOverPi = 0x1.45f306dc9c883p+0;
constexpr double kShifter = 6755399441055744.0;  // 1.5*2^52: the piece number in the low bits

// table[idx mod 32] per lane: two in-register lookups of 16 and the fifth index bit choosing.
inline __m512d lookup32(__m512i idx, const double (&table)[32]) {
  const __mmask8 upper = iequal<double>(bit_and(idx, isplat<double>(16)), isplat<double>(16));
  const auto& low = *reinterpret_cast<const double(*)[16]>(&table[0]);
  const auto& high = *reinterpret_cast<const double(*)[16]>(&table[16]);
  return select(upper, lookup(idx, high), lookup(idx, low));
}
constexpr double kInvSqrtPiHi = 0x1.20dd750429b6dp-1, kInvSqrtPiLo = 0x1.1ae3a914fed8p-57;

template <int kN>
struct Tables;
template <>
struct Tables<0> {
  static constexpr const auto& kHi = besseltab::kJ0CentreHi;
  static constexpr const auto& kLo = besseltab::kJ0CentreLo;
  static constexpr const auto& kLead = besseltab::kJ0LeadLo;
  static constexpr const auto& kNext = besseltab::kJ0NextLo;
  static constexpr const auto& kPieces = besseltab::kJ0Pieces;
  static constexpr const auto& kP = besselpoly::kJ0HankelPD;
  static constexpr const auto& kQ = besselpoly::kJ0HankelQD;
};
template <>
struct Tables<1> {
  static constexpr const auto& kHi = besseltab::kJ1CentreHi;
  static constexpr const auto& kLo = besseltab::kJ1CentreLo;
  static constexpr const auto& kLead = besseltab::kJ1LeadLo;
  static constexpr const auto& kNext = besseltab::kJ1NextLo;
  static constexpr const auto& kPieces = besseltab::kJ1Pieces;
  static constexpr const auto& kP = besselpoly::kJ1HankelPD;
  static constexpr const auto& kQ = besselpoly::kJ1HankelQD;
};

// J_n(a) for 0 <= a < 63 pi/8 (other lanes get some finite value).
template <int kN>
inline __m512d j_pieces(__m512d a) {
  using Tab = Tables<kN>;
  constexpr size_t kRows = std::extent_v<std::remove_reference_t<decltype(Tab::kPieces)>>;
  // m = trunc(a 4/pi + 1/2), at most 31; a boundary argument may land in the neighbouring
  // piece, whose polynomial holds a little beyond its own (tools/fit widens each by 1/64).
  const __m512d t = fma_toward_zero(min(fma_quiet(a, splat(kFourOverPi), splat(0.5)), splat(31.5)), splat(1.0), splat(kShifter));
  const __m512i idx = bits(t);
  const __m512d hi = lookup32(idx, Tab::kHi), lo = lookup32(idx, Tab::kLo);
  const __m512d d = sub_quiet(a, hi);  // exact: a is within a factor 2 of a nonzero centre
  // The higher terms take d - lo rounded (lo, up to half an ulp of the centre, would cost an
  // ulp through d^2 near the zero); d c1 takes the two as a pair.
  const __m512d dt = sub_quiet(d, lo);
  __m512d rest = lookup32(idx, Tab::kPieces[kRows - 1]);
  for (size_t j = kRows - 1; j-- > 2;) rest = fma_quiet(rest, dt, lookup32(idx, Tab::kPieces[j]));
  const __m512d c0 = lookup32(idx, Tab::kPieces[0]), c1 = lookup32(idx, Tab::kPieces[1]);
  const __m512d lead_lo = lookup32(idx, Tab::kLead);
  // At a zero (c0 = 0): (d - lo)(c1 + lead_lo + (d - lo) rest), d c1 and lo c1 as exact pairs
  // whose heads are subtracted exactly: within a few ulps of the zero d and lo are alike.
  const DD<__m512d> p = two_prod(d, c1), m = two_prod(lo, c1);
  const DD<__m512d> lin = two_sum(p.hi, sub(zero<__m512d>(), m.hi));
  const __m512d at_zero =
      add_quiet(lin.hi, add_quiet(lin.lo, fma_quiet(dt, fma_quiet(dt, rest, lead_lo), sub_quiet(p.lo, m.lo))));
  // Elsewhere: c0 + lead_lo + d (c1 + c1_lo) + d^2 rest, with c0 + d c1 summed exactly (d c1
  // reaches most of the result at the piece's ends).
  const DD<__m512d> q = two_prod(d, c1);
  const DD<__m512d> head = two_sum(c0, q.hi);
  const __m512d tail = fma_quiet(mul_quiet(d, d), rest, fma_quiet(d, lookup32(idx, Tab::kNext), add_quiet(q.lo, lead_lo)));
  const __m512d between = add_quiet(head.hi, add_quiet(head.lo, tail));
  return select(equal(c0, zero<__m512d>()), at_zero, between);
}

// J_n(a) for 63 pi/8 <= a < inf.
template <int kN>
inline __m512d j_hankel(__m512d a) {
  using Tab = Tables<kN>;
  const __m512d big = max(splat(kHankelFrom), a);  // keeps a NaN
  const __m512d r = div_quiet(splat(1.0), big);
  const __m512d s = mul_quiet(r, r);
  const __m512d p = mul_quiet(s, horner(s, Tab::kP));  // P_n - 1
  const __m512d q = mul_quiet(r, horner(s, Tab::kQ));  // Q_n
  const trig::Reduced<__m512d> red = trig::reduce_any(big);
  const DD<__m512d> sr = trig::sin_pair(red.hi, red.lo), cr = trig::cos_pair(red.hi, red.lo);
  const __m512d sin_hi = trig::by_quadrant<false>(red.quadrant, sr.hi, cr.hi);
  const __m512d sin_lo = trig::by_quadrant<false>(red.quadrant, sr.lo, cr.lo);
  const __m512d cos_hi = trig::by_quadrant<true>(red.quadrant, sr.hi, cr.hi);
  const __m512d cos_lo = trig::by_quadrant<true>(red.quadrant, sr.lo, cr.lo);
  // u = the factor of P (a pair), v = the factor of Q: J0 cos + sin, cos - sin; J1 sin - cos, sin + cos.
  const __m512d cs = kN == 0 ? cos_hi : sub(zero<__m512d>(), cos_hi);
  const __m512d cs_lo = kN == 0 ? cos_lo : sub(zero<__m512d>(), cos_lo);
  const DD<__m512d> u = two_sum(cs, sin_hi);
  // (the pairs' tails reach 2^-10 of their heads: every product takes them in)
  const __m512d sin_v = add_quiet(sin_hi, sin_lo), cos_v = add_quiet(cos_hi, cos_lo);
  const __m512d v = kN == 0 ? sub_quiet(cos_v, sin_v) : add_quiet(sin_v, cos_v);
  const __m512d u_lo = add_quiet(u.lo, add_quiet(cs_lo, sin_lo));
  // N = u (1 + p) + v q as hi + lo, then N / sqrt(a) / sqrt(pi) with the root and the
  // quotient corrected by their remainders.
  const DD<__m512d> n = fast_two_sum(u.hi, fma_quiet(add_quiet(u.hi, u_lo), p, fma_quiet(v, q, u_lo)));
  const __m512d root = sqrt(big);
  const __m512d root_lo = div_quiet(fnma_quiet(root, root, big), add_quiet(root, root));
  const __m512d quo = div_quiet(n.hi, root);
  const __m512d rem = fnma_quiet(quo, root_lo, add_quiet(fnma_quiet(quo, root, n.hi), n.lo));
  const __m512d quo_lo = div_quiet(rem, root);
  return fma_quiet(quo, splat(kInvSqrtPiHi), fma_quiet(quo, splat(kInvSqrtPiLo), mul_quiet(quo_lo, splat(kInvSqrtPiHi))));
}

template <int kN>
inline __m512d bessel_j(__m512d x) {
  const __m512d a = abs(x);
  __m512d y = select(less(a, splat(kHankelFrom)), j_pieces<kN>(a), j_hankel<kN>(a));
  if constexpr (kN == 1) y = mul(y, copy_sign(splat(1.0), x));
  return select(equal(a, splat(std::numeric_limits<double>::infinity())), zero<__m512d>(), y);
}

template <int kN, typename T>
struct BesselJBody : Kernel<T, sizeof(T) == 4 ? 32 : 16> {
  static Vec<T> evaluate(Vec<T> x) {
    if constexpr (sizeof(T) == 8) return bessel_j<kN>(x);
    else return narrow(bessel_j<kN>(widen_low(x)), bessel_j<kN>(widen_high(x)));
  }
};

template <int kN, typename T>
struct BesselJ;
template <typename T>
struct BesselJ<0, T> : BesselJBody<0, T> {
  static Vec<T> body(Vec<T> x, Mask<T>&) { return BesselJBody<0, T>::evaluate(x); }
};
template <typename T>
struct BesselJ<1, T> : BesselJBody<1, T> {
  static Vec<T> body(Vec<T> x, Mask<T>& special) {
    special = less(abs(x), splat(T(2) * std::numeric_limits<T>::min())) & not_equal(x, zero<Vec<T>>());
    return BesselJBody<1, T>::evaluate(x);
  }
  // The exact result lies below the least normal even where it rounds up to it: an underflow.
  static int callout(const T* a, T* r) {
    *r = tiny_half<false>(*a);
    return kStatusUnderflow;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, J0, BesselJ<0, float>)
VM_KERNELS(d, J0, BesselJ<0, double>)
VM_KERNELS(s, J1, BesselJ<1, float>)
VM_KERNELS(d, J1, BesselJ<1, double>)
