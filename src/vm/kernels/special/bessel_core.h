// The two methods the Bessel kernels J and Y share (bessel_j.cpp, bessel_y.cpp), double precision:
//
//   pieces<Tab>(a)      for 0 <= a < 63 pi/8: 32 pieces [m pi/4 - pi/8, (m + 1) pi/4 - pi/8) (or
//                       the piece the caller names), the piece's polynomial in d = a - centre from tools/fit (bessel_pieces.h). A
//                       piece with a zero z = z_hi + z_lo (to 106 bits) is d P(d) in
//                       d = (a - z_hi) - z_lo, formed as a pair, so the result keeps its relative
//                       accuracy right up to the zero; the others are P(a - midpoint), the
//                       midpoint a double. The leading coefficient is a pair too (and c1 away
//                       from a zero, where c1 d reaches most of the result). Pieces a quarter
//                       period wide keep the polynomial's terms from cancelling (over half a
//                       period they summed to three times the result and cost two ulps). The
//                       result comes as a pair, for callers that go on computing with it.
//   hankel<Tab, F>(a)   for a >= 63 pi/8 (as a pair if asked): Hankel's form sqrt(pi a) f = U P + V Q with
//                       P = 1 + s P(s), Q = Q(s)/a in s = 1/a^2 (fitted), and U, V sums of
//                       +-cos a and +-sin a (F says which): cos and sin of a come from
//                       common/sincos_core.h (a reduction for any argument, pairs), so that the
//                       shift of chi = a - (2n + 1) pi/4 costs nothing and U is exact as a pair.
// Beyond the tabled zeros the Hankel form's error is absolute: some 2^-60 of the amplitude
// sqrt(2/(pi a)) from the sine and cosine pairs and from P and Q, plus the final rounding. Near
// a zero the result shrinks below the amplitude while that error does not (the cancellation in
// cos a + sin a is exact, the error is in what it cancels), so the relative error grows as the
// result approaches the zero; there the contract asks for an absolute bound instead.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/special/generated/bessel_j_tables.inc"
#include "vm/kernels/special/generated/bessel_polys.inc"
#include "vm/kernels/special/generated/bessel_y_tables.inc"

namespace zorp::vm::bessel {

using namespace zorp::simd;

inline constexpr double kHankelFrom = 0x1.8bd7366f31c64p+4;  // 63 pi/8
inline constexpr double kFourOverPi = 0x1.45f306dc9c883p+0;
inline constexpr double kShifter = 6755399441055744.0;  // 1.5*2^52: the piece number in the low bits
inline constexpr double kInvSqrtPiHi = 0x1.20dd750429b6dp-1, kInvSqrtPiLo = 0x1.1ae3a914fed8p-57;

// table[idx mod 32] per lane: two in-register lookups of 16 and the fifth index bit choosing.
inline __m512d lookup32(__m512i idx, const double (&table)[32]) {
  const __mmask8 upper = iequal<double>(bit_and(idx, isplat<double>(16)), isplat<double>(16));
  const auto& low = *reinterpret_cast<const double(*)[16]>(&table[0]);
  const auto& high = *reinterpret_cast<const double(*)[16]>(&table[16]);
  return select(upper, lookup(idx, high), lookup(idx, low));
}

// The function of Tab for 0 <= a < 63 pi/8 (other lanes get some finite value). Tab names the
// tables: kHi, kLo (centres), kLead, kNext (the leading coefficients' rounding errors), kPieces.
// The piece of a: m = trunc(a 4/pi + 1/2), at most 31, in the low bits; a boundary argument may
// land in the neighbouring piece, whose polynomial holds a little beyond its own (tools/fit
// widens each by 1/64).
inline __m512i piece_of(__m512d a) {
  return bits(fma_toward_zero(min(fma_quiet(a, splat(kFourOverPi), splat(0.5)), splat(31.5)), splat(1.0), splat(kShifter)));
}

template <typename Tab>
inline DD<__m512d> pieces(__m512d a, __m512i idx) {
  constexpr size_t kRows = std::extent_v<std::remove_reference_t<decltype(Tab::kPieces)>>;
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
  const __m512d at_zero = add_quiet(lin.lo, fma_quiet(dt, fma_quiet(dt, rest, lead_lo), sub_quiet(p.lo, m.lo)));
  // Elsewhere: c0 + lead_lo + d (c1 + c1_lo) + d^2 rest, with c0 + d c1 summed exactly (d c1
  // reaches most of the result at the piece's ends).
  const DD<__m512d> q = two_prod(d, c1);
  const DD<__m512d> head = two_sum(c0, q.hi);
  const __m512d tail = fma_quiet(mul_quiet(d, d), rest, fma_quiet(d, lookup32(idx, Tab::kNext), add_quiet(q.lo, lead_lo)));
  const __mmask8 is_zero = equal(c0, zero<__m512d>());
  return fast_two_sum(select(is_zero, lin.hi, head.hi), select(is_zero, at_zero, add_quiet(head.lo, tail)));
}
template <typename Tab>
inline DD<__m512d> pieces(__m512d a) {
  return pieces<Tab>(a, piece_of(a));
}

// Which of +-cos a, +-sin a make U (the factor of P) and V (the factor of Q), as signs.
struct HankelForm {
  int u_cos, u_sin, v_cos, v_sin;
};

// sqrt(pi a) f = U (1 + p) + V q for 63 pi/8 <= a < inf; Tab names P and Q (kP, kQ).
template <typename Tab, HankelForm kF, bool kPair = false>
inline auto hankel(__m512d a) {
  const __m512d big = max(splat(kHankelFrom), a);  // keeps a NaN
  const __m512d r = div_quiet(splat(1.0), big);
  const __m512d s = mul_quiet(r, r);
  const __m512d p = mul_quiet(s, horner(s, Tab::kP));  // P - 1
  const __m512d q = mul_quiet(r, horner(s, Tab::kQ));  // Q
  const trig::Reduced<__m512d> red = trig::reduce_any(big);
  const DD<__m512d> sr = trig::sin_pair(red.hi, red.lo), cr = trig::cos_pair(red.hi, red.lo);
  const __m512d sin_hi = trig::by_quadrant<false>(red.quadrant, sr.hi, cr.hi);
  const __m512d sin_lo = trig::by_quadrant<false>(red.quadrant, sr.lo, cr.lo);
  const __m512d cos_hi = trig::by_quadrant<true>(red.quadrant, sr.hi, cr.hi);
  const __m512d cos_lo = trig::by_quadrant<true>(red.quadrant, sr.lo, cr.lo);
  const auto sign = [](int k, __m512d v) { return k > 0 ? v : sub(zero<__m512d>(), v); };
  const __m512d uc = sign(kF.u_cos, cos_hi), uc_lo = sign(kF.u_cos, cos_lo);
  const __m512d us = sign(kF.u_sin, sin_hi), us_lo = sign(kF.u_sin, sin_lo);
  const DD<__m512d> u = two_sum(uc, us);
  // (the pairs' tails reach 2^-10 of their heads: every product takes them in)
  const __m512d sin_v = add_quiet(sin_hi, sin_lo), cos_v = add_quiet(cos_hi, cos_lo);
  const __m512d v = add_quiet(sign(kF.v_cos, cos_v), sign(kF.v_sin, sin_v));
  const __m512d u_lo = add_quiet(u.lo, add_quiet(uc_lo, us_lo));
  // N = u (1 + p) + v q as hi + lo, then N / sqrt(a) / sqrt(pi) with the root and the
  // quotient corrected by their remainders.
  const DD<__m512d> n = fast_two_sum(u.hi, fma_quiet(add_quiet(u.hi, u_lo), p, fma_quiet(v, q, u_lo)));
  const __m512d root = sqrt(big);
  const __m512d root_lo = div_quiet(fnma_quiet(root, root, big), add_quiet(root, root));
  const __m512d quo = div_quiet(n.hi, root);
  const __m512d rem = fnma_quiet(quo, root_lo, add_quiet(fnma_quiet(quo, root, n.hi), n.lo));
  const __m512d quo_lo = div_quiet(rem, root);
  const __m512d small = fma_quiet(quo, splat(kInvSqrtPiLo), mul_quiet(quo_lo, splat(kInvSqrtPiHi)));
  if constexpr (kPair) {  // for callers that go on computing (the recurrence of Yn)
    const DD<__m512d> head = two_prod(quo, splat(kInvSqrtPiHi));
    return fast_two_sum(head.hi, add_quiet(head.lo, small));
  } else {
    return fma_quiet(quo, splat(kInvSqrtPiHi), small);
  }
}

// The tables of J_n and Y_n: their pieces, and Hankel's P_n and Q_n, which J_n and Y_n share.
#define ZORP_BESSEL_TABLES_(Name, F, n)                                  \
  template <>                                                            \
  struct Name<n> {                                                       \
    static constexpr const auto& kHi = besseltab::k##F##n##CentreHi;     \
    static constexpr const auto& kLo = besseltab::k##F##n##CentreLo;     \
    static constexpr const auto& kLead = besseltab::k##F##n##LeadLo;     \
    static constexpr const auto& kNext = besseltab::k##F##n##NextLo;     \
    static constexpr const auto& kPieces = besseltab::k##F##n##Pieces;   \
    static constexpr const auto& kP = besselpoly::kJ##n##HankelPD;       \
    static constexpr const auto& kQ = besselpoly::kJ##n##HankelQD;       \
  };
template <int kN>
struct JTables;
template <int kN>
struct YTables;
ZORP_BESSEL_TABLES_(JTables, J, 0)
ZORP_BESSEL_TABLES_(JTables, J, 1)
ZORP_BESSEL_TABLES_(YTables, Y, 0)
ZORP_BESSEL_TABLES_(YTables, Y, 1)
#undef ZORP_BESSEL_TABLES_

// J_n(x) for n = 0, 1, rounded: the J kernels' lanes, and Jn's lowest orders.
template <int kN>
inline constexpr HankelForm kJForm = kN == 0 ? HankelForm{1, 1, 1, -1} : HankelForm{-1, 1, 1, 1};
template <int kN>
inline __m512d bessel_j(__m512d x) {
  const __m512d a = abs(x);
  const DD<__m512d> near = pieces<JTables<kN>>(a);
  __m512d y = select(less(a, splat(kHankelFrom)), add_quiet(near.hi, near.lo), hankel<JTables<kN>, kJForm<kN>>(a));
  if constexpr (kN == 1) y = mul(y, copy_sign(splat(1.0), x));
  return select(equal(a, splat(std::numeric_limits<double>::infinity())), zero<__m512d>(), y);
}
// J_n(a) for finite a >= 0 as a pair, some 2^-57 of the amplitude from the exact value: where
// Jn's forward recurrence starts. Each method runs only when a lane needs it.
template <int kN>
inline DD<__m512d> bessel_j_pair(__m512d a) {
  const __mmask8 near = less(a, splat(kHankelFrom));
  DD<__m512d> r{zero<__m512d>(), zero<__m512d>()};
  if (near != 0) r = pieces<JTables<kN>>(min(a, splat(kHankelFrom)));
  if (near != 0xFF) {
    const DD<__m512d> h = hankel<JTables<kN>, kJForm<kN>, true>(a);
    r = {select(near, r.hi, h.hi), select(near, r.lo, h.lo)};
  }
  return r;
}

// The integer order of Jn and Yn, read once per call from the floating scalar b: truncated
// toward zero, m = |n|. Orders of magnitude 2^31 or more, and NaN (which fails the comparison),
// make the whole call a domain error. J_-m = (-1)^m J_m and Y_-m = (-1)^m Y_m, so a negative
// odd order only flips the sign of the result.
struct Order {
  bool valid = false, odd = false, negative_odd = false;
  uint32_t m = 0;
  template <typename T>
  explicit Order(T b) : valid(std::fabs(b) < T(0x1p31)) {
    if (!valid) return;
    m = static_cast<uint32_t>(std::fabs(std::trunc(b)));
    odd = (m & 1) != 0;
    negative_odd = odd && b < 0;
  }
};

}  // namespace zorp::vm::bessel
