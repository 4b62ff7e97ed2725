// The J0 and J1 evaluations on double lanes, shared by their own kernels (bessel_j.cpp, where
// the method is described) and by Jn, whose recurrences start from them.
#pragma once
#include <cstddef>
#include <limits>
#include <type_traits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/special/generated/bessel_j_tables.inc"
#include "vm/kernels/special/generated/bessel_polys.inc"

namespace zorp::vm::besselj {

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

// J_n(a) for 0 <= a < 63 pi/8 (other lanes get some finite value), as an unevaluated pair whose
// head is the kernels' rounded result.
template <int kN>
inline DD<__m512d> j_pieces(__m512d a) {
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
  const DD<__m512d> at_zero =
      two_sum(lin.hi, add_quiet(lin.lo, fma_quiet(dt, fma_quiet(dt, rest, lead_lo), sub_quiet(p.lo, m.lo))));
  // Elsewhere: c0 + lead_lo + d (c1 + c1_lo) + d^2 rest, with c0 + d c1 summed exactly (d c1
  // reaches most of the result at the piece's ends).
  const DD<__m512d> q = two_prod(d, c1);
  const DD<__m512d> head = two_sum(c0, q.hi);
  const __m512d tail = fma_quiet(mul_quiet(d, d), rest, fma_quiet(d, lookup32(idx, Tab::kNext), add_quiet(q.lo, lead_lo)));
  const DD<__m512d> between = two_sum(head.hi, add_quiet(head.lo, tail));
  const __mmask8 on_zero = equal(c0, zero<__m512d>());
  return {select(on_zero, at_zero.hi, between.hi), select(on_zero, at_zero.lo, between.lo)};
}

// J_n(a) for 63 pi/8 <= a < inf: rounded, or as a pair (kPair) for Jn's recurrences.
template <int kN, bool kPair = false>
inline auto j_hankel(__m512d a) {
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
  if constexpr (kPair) {
    const DD<__m512d> head = two_prod(quo, splat(kInvSqrtPiHi));
    return fast_two_sum(head.hi, add_quiet(head.lo, fma_quiet(quo, splat(kInvSqrtPiLo), mul_quiet(quo_lo, splat(kInvSqrtPiHi)))));
  } else {
    return fma_quiet(quo, splat(kInvSqrtPiHi), fma_quiet(quo, splat(kInvSqrtPiLo), mul_quiet(quo_lo, splat(kInvSqrtPiHi))));
  }
}

template <int kN>
inline __m512d bessel_j(__m512d x) {
  const __m512d a = abs(x);
  __m512d y = select(less(a, splat(kHankelFrom)), j_pieces<kN>(a).hi, j_hankel<kN>(a));
  if constexpr (kN == 1) y = mul(y, copy_sign(splat(1.0), x));
  return select(equal(a, splat(std::numeric_limits<double>::infinity())), zero<__m512d>(), y);
}

// J_n(a) for finite a >= 0 as a pair, some 2^-57 of the amplitude from the exact value (the
// fits and the sine and cosine pairs) rather than the half ulp of a rounded result.
template <int kN>
inline DD<__m512d> bessel_j_pair(__m512d a) {
  const DD<__m512d> p = j_pieces<kN>(a), h = j_hankel<kN, true>(a);
  const __mmask8 near = less(a, splat(kHankelFrom));
  return {select(near, p.hi, h.hi), select(near, p.lo, h.lo)};
}

}  // namespace zorp::vm::besselj
