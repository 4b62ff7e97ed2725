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
//                       +-cos a and +-sin a (F says which), formed from a = k pi/4 + r (below):
//                       sums of +-cos r and +-sin r, or sqrt(2) times one of them, from
//                       common/sincos_core.h's pairs, so that U is exact as a pair up to those.
//   phase<Tab, F>(a)    near a zero beyond 63 pi/8: f = M cos(a - c pi/4 + alpha), the modulus
//                       and phase of J_n + i Y_n, the phase's distance from the zero formed in
//                       double-double.
// Every zero beyond 63 pi/8 lies near an odd multiple of pi/4, where U = sqrt(2) (+-sin r) with r
// small: the Hankel sum cancels there between U P and V Q ~ (4n^2 - 1)/(8a), exactly, but V Q is
// summed in double and the absolute error it leaves, with the 2^-60 or so of the pairs, P and Q,
// grows relative to the result as the result approaches the zero. So where the sum falls below
// a bound (kNearZero, and kNearZeroPerQ times |Q|), the double kernels take the phase form, per
// register and only when a lane needs it:
//   a = k pi/4 + r         r within 2^-104.9 |r| + 2^-159.5 k below 2^28, 2^-103 |r| above
//                          (Payne-Hanek on 2a: precise_octant);
//   alpha = A(u) / a       A fitted in u = 1/a^2 - kPhaseCentre to 2^-111.6 (bessel_phase.inc),
//                          its leading coefficients, 1/a and u as pairs;
//   phi = r + alpha        the distance from the zero in the phase, to some 2^-110 absolute
//                          near 25 and less beyond (alpha and r fall like 1/a);
//   f = +-sqrt(2/pi) (1 + s M(s)) sin(phi) / sqrt(a)   sin as sincos_core.h's pair.
// So the relative error is some 2^-58 plus 2^-110 / |phi|: below an ulp unless the argument lies
// within some 2^-55 of a zero (a double near 25 lies typically 2^-50 from it, near 10^10 2^-21).
// Single precision needs the phase form only where the sum falls below 2^-26 (the Hankel form's
// error is then below 2^-34 of the result), which random arguments practically never reach.
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
#include "vm/kernels/special/generated/bessel_phase.inc"
#include "vm/kernels/special/generated/bessel_polys.inc"
#include "vm/kernels/special/generated/bessel_y_tables.inc"

namespace zorp::vm::bessel {

using namespace zorp::simd;

inline constexpr double kHankelFrom = 0x1.8bd7366f31c64p+4;  // 63 pi/8
inline constexpr double kFourOverPi = 0x1.45f306dc9c883p+0;
inline constexpr double kShifter = 6755399441055744.0;  // 1.5*2^52: the piece number in the low bits
inline constexpr double kInvSqrtPiHi = 0x1.20dd750429b6dp-1, kInvSqrtPiLo = 0x1.1ae3a914fed8p-57;
inline constexpr double kSqrtTwoOverPiHi = 0x1.9884533d43651p-1, kSqrtTwoOverPiLo = -0x1.cbc0d30ebfd15p-55;

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

// Which of +-cos a, +-sin a make U (the factor of P) and V (the factor of Q), as signs; and the
// multiple c of pi/4 in f = M cos(a - c pi/4 + alpha) (J0 1, J1 and Y0 3, Y1 5).
struct HankelForm {
  int u_cos, u_sin, v_cos, v_sin, quarter;
};

// ---- the reduction by pi/4 --------------------------------------------------------------------
// a = k pi/4 + r with |r| <= pi/8 (a little more where k = a 4/pi rounds away from the nearest),
// r as a pair, k mod 8. A register whose lanes all lie below 2^28 takes Cody-Waite with the three
// parts of pi/2 halved: a - k c0/2 is exact as a - k c0 is for pi/2, and trig_reduce.h's bound
// carries over halved, within 2^-104.9 |r| + 2^-159.5 k. Any other takes Payne-Hanek by pi/2,
// a = q pi/2 + h, then k = 2q + e and r = h - e pi/4 with e = +-1 where |h| > pi/8 (else 0):
// within 2^-103 |h|, an absolute bound, so near a zero the phase form reduces 2a instead.
struct Octant {
  DD<__m512d> r;
  __m512i k;
};
inline constexpr double kPairReduceBelow = trig::HalfPi<double>::kPairLimit;  // 2^28
inline constexpr double kPiOver8 = 0x1.921fb54442d18p-2;
inline constexpr trig::Split<double, 3> kQuarterPi = {
    kFourOverPi, {trig::tables::kHalfPiD[0] / 2, trig::tables::kHalfPiD[1] / 2, trig::tables::kHalfPiD[2] / 2}};

inline Octant cody_waite_octant(__m512d b) {
  const trig::Multiple<__m512d> k = trig::nearest_multiple(b, kQuarterPi.inverse);
  return {trig::subtract_multiple_pair(b, k.k, kQuarterPi), bit_and(bits(k.shifted), isplat<double>(7))};
}
inline Octant reduce_octant(__m512d b) {
  if (!abs_at_least(b, splat(kPairReduceBelow))) return cody_waite_octant(b);
  const trig::HugeReduction<__m512d> h = trig::reduce_half_pi_huge(b);
  const __mmask8 up = less(splat(kPiOver8), h.r.hi), down = less(h.r.hi, splat(-kPiOver8));
  const __m512d e = select(up, splat(1.0), select(down, splat(-1.0), zero<__m512d>()));
  const DD<__m512d> d = two_sum(h.r.hi, mul(e, splat(-kQuarterPi.part[0])));  // e c0/2 exact
  const DD<__m512d> r = two_sum(d.hi, add(d.lo, fma(e, splat(-kQuarterPi.part[1]), h.r.lo)));
  const __m512i step = iselect<double>(up, isplat<double>(1), iselect<double>(down, isplat<double>(7), isplat<double>(0)));
  return {r, bit_and(iadd<double>(shift_left<1, double>(h.quadrant), step), isplat<double>(7))};
}

// U = g (eA cos r + eB sin r) and V = g (fA cos r + fB sin r) with a = k pi/4 + r: expanding
// cos(k pi/4 + r) and sin(k pi/4 + r), the coefficients are integers for even k (one of cos k pi/4
// and sin k pi/4 is 0, the other +-1; g = 1) and integer multiples of sqrt(2) for odd k (both
// +-1/sqrt(2); g = sqrt(2)), with e, f in {0, +-1}: odd k leave one of cos r and sin r alone. The
// factor g joins 1/sqrt(pi) at the end (over_root_pi).
struct Row8 {
  double v[8];
};
// kV: V's coefficients (else U's); kB: the factor of sin r (else of cos r).
constexpr Row8 hankel_row(HankelForm f, bool kV, bool kB) {
  constexpr int kCos[8] = {1, 1, 0, -1, -1, -1, 0, 1}, kSin[8] = {0, 1, 1, 1, 0, -1, -1, -1};
  const int c = kV ? f.v_cos : f.u_cos, s = kV ? f.v_sin : f.u_sin;
  Row8 row{};
  for (int k = 0; k < 8; ++k) {
    const int m = kB ? s * kCos[k] - c * kSin[k] : c * kCos[k] + s * kSin[k];
    row.v[k] = k % 2 ? m / 2 : m;
  }
  return row;
}
template <HankelForm kF, bool kV, bool kB>
inline constexpr Row8 kHankelRow = hankel_row(kF, kV, kB);

// N / g = (U (1 + p) + V q) / g as a pair, for 63 pi/8 <= big < inf (sqrt(pi a) f = N), the lanes
// where g = sqrt(2), and Q (which bounds part of the error, see kNearZeroPerQ).
struct HankelSum {
  DD<__m512d> n;
  __m512d q;
  __mmask8 odd;
};
template <typename Tab, HankelForm kF>
inline HankelSum hankel_sum(__m512d big) {
  const __m512d t = div_quiet(splat(1.0), big);
  const __m512d s = mul_quiet(t, t);
  const __m512d p = mul_quiet(s, horner(s, Tab::kP));  // P - 1
  const __m512d q = mul_quiet(t, horner(s, Tab::kQ));  // Q
  const Octant o = reduce_octant(big);
  const DD<__m512d> sr = trig::sin_pair(o.r.hi, o.r.lo), cr = trig::cos_pair(o.r.hi, o.r.lo);
  const __m512d ea = lookup(o.k, kHankelRow<kF, false, false>.v), eb = lookup(o.k, kHankelRow<kF, false, true>.v);
  const __m512d fa = lookup(o.k, kHankelRow<kF, true, false>.v), fb = lookup(o.k, kHankelRow<kF, true, true>.v);
  // eA cos r + eB sin r: products by 0 and +-1, summed exactly.
  const DD<__m512d> u = two_sum(mul(ea, cr.hi), mul(eb, sr.hi));
  const __m512d u_lo = add_quiet(u.lo, fma_quiet(ea, cr.lo, mul(eb, sr.lo)));
  // (the pairs' tails reach 2^-10 of their heads: V takes them in)
  const __m512d v = fma_quiet(fa, add_quiet(cr.hi, cr.lo), mul(fb, add_quiet(sr.hi, sr.lo)));
  const DD<__m512d> n = fast_two_sum(u.hi, fma_quiet(add_quiet(u.hi, u_lo), p, fma_quiet(v, q, u_lo)));
  return {n, q, iequal<double>(bit_and(o.k, isplat<double>(1)), isplat<double>(1))};
}

// n g / sqrt(big) / sqrt(pi) (g = sqrt(2) in the lanes odd, else 1) with the root and the
// quotient corrected by their remainders, rounded or as a pair (for callers that go on computing:
// the recurrences of Jn and Yn).
template <bool kPair>
inline auto over_root_pi(DD<__m512d> n, __m512d big, __mmask8 odd) {
  const __m512d c_hi = select(odd, splat(kSqrtTwoOverPiHi), splat(kInvSqrtPiHi));
  const __m512d c_lo = select(odd, splat(kSqrtTwoOverPiLo), splat(kInvSqrtPiLo));
  const __m512d root = sqrt(big);
  const __m512d root_lo = div_quiet(fnma_quiet(root, root, big), add_quiet(root, root));
  const __m512d quo = div_quiet(n.hi, root);
  const __m512d rem = fnma_quiet(quo, root_lo, add_quiet(fnma_quiet(quo, root, n.hi), n.lo));
  const __m512d quo_lo = div_quiet(rem, root);
  const __m512d small = fma_quiet(quo, c_lo, mul_quiet(quo_lo, c_hi));
  if constexpr (kPair) {
    const DD<__m512d> head = two_prod(quo, c_hi);
    return fast_two_sum(head.hi, add_quiet(head.lo, small));
  } else {
    return fma_quiet(quo, c_hi, small);
  }
}

// sqrt(pi a) f = U (1 + p) + V q for 63 pi/8 <= a < inf; Tab names P and Q (kP, kQ).
template <typename Tab, HankelForm kF, bool kPair = false>
inline auto hankel(__m512d a) {
  const __m512d big = max(splat(kHankelFrom), a);  // keeps a NaN
  const HankelSum h = hankel_sum<Tab, kF>(big);
  return over_root_pi<kPair>(h.n, big, h.odd);
}

// ---- the phase form near a zero beyond 63 pi/8 ------------------------------------------------

// Where a lane takes the phase form: |N / g| below kNearZero or below kNearZeroPerQ |Q| (near a
// zero k is odd and N / g = sqrt(P^2 + Q^2) cos theta, so kNearZero bounds |cos theta|). The
// Hankel sum's absolute error is some 2^-60 (the sine and cosine pairs, P and Q) plus a few
// roundings of V Q, which is summed in double: up to 2^-51 |Q| (|Q| ~ 3/(8a) for J1, 0.0145 at
// 26, and a third of that for J0). Double results need both below a few tenths of an ulp of the
// result; single ones (computed in double and rounded once more) only need the relative error
// below 2^-25, which holds while |N| stays above some 2^-34.
template <typename T>
inline constexpr double kNearZero = sizeof(T) == 8 ? 0x1p-5 : 0x1p-26;
template <typename T>
inline constexpr double kNearZeroPerQ = sizeof(T) == 8 ? 12 : 0;

// The reduction of b (lanes near a zero) to the phase form's precision, made again rather than
// kept from the Hankel sum (whose registers the common path then need not hold): Cody-Waite's
// below 2^28; above it Payne-Hanek on 2b = k pi/2 + 2r (2^-103 of r itself, which near a zero is
// small) with k mod 8 from reduce_octant's conversion (near a zero h lies near +-pi/4, far from
// where e changes).
inline Octant precise_octant(__m512d b) {
  if (!abs_at_least(b, splat(kPairReduceBelow))) return cody_waite_octant(b);
  const __mmask8 huge = greater_equal(b, splat(kPairReduceBelow));
  const Octant o = reduce_octant(b), low = cody_waite_octant(select(huge, splat(kHankelFrom), b));
  const trig::HugeReduction<__m512d> h = trig::reduce_half_pi_huge<1>(select(huge, b, splat(kPairReduceBelow)));
  return {{select(huge, mul(h.r.hi, splat(0.5)), low.r.hi), select(huge, mul(h.r.lo, splat(0.5)), low.r.lo)},
          iselect<double>(huge, o.k, low.k)};
}

// c + u acc in double-double (a Horner step whose terms must keep more than a double).
inline DD<__m512d> horner_pair_step(double c_hi, double c_lo, DD<__m512d> u, DD<__m512d> acc) {
  const DD<__m512d> p = two_prod(u.hi, acc.hi);
  const __m512d e = fma_quiet(u.hi, acc.lo, fma_quiet(u.lo, acc.hi, p.lo));
  const DD<__m512d> s = two_sum(splat(c_hi), p.hi);
  return fast_two_sum(s.hi, add_quiet(s.lo, add_quiet(e, splat(c_lo))));
}

// f at b (63 pi/8 <= b < inf, lanes near a zero, where k - c = 2 mod 4) by its modulus and
// phase, rounded or as a pair.
template <typename Tab, HankelForm kF, bool kPair>
inline auto phase(__m512d b) {
  const Octant o = precise_octant(b);
  // 1/b and s = 1/b^2 as pairs, u = s - kPhaseCentre.
  const __m512d t = div_quiet(splat(1.0), b);
  const __m512d t_lo = div_quiet(fnma_quiet(t, b, splat(1.0)), b);
  DD<__m512d> s = two_prod(t, t);
  s.lo = fma_quiet(add(t, t), t_lo, s.lo);
  const DD<__m512d> u0 = two_sum(s.hi, splat(-besselphase::kPhaseCentre));
  const DD<__m512d> u{u0.hi, add_quiet(u0.lo, s.lo)};
  constexpr size_t kPairs = std::extent_v<std::remove_reference_t<decltype(Tab::kPhaseLo)>>;
  DD<__m512d> acc{horner_from<kPairs>(u.hi, Tab::kPhaseHi), zero<__m512d>()};
  for (size_t j = kPairs; j-- > 0;) acc = horner_pair_step(Tab::kPhaseHi[j], Tab::kPhaseLo[j], u, acc);
  const DD<__m512d> alpha = dd_mul(acc, DD<__m512d>{t, t_lo});
  const DD<__m512d> phi = dd_add(o.r, alpha);
  const DD<__m512d> sine = trig::sin_pair(phi.hi, phi.lo);
  // (1 + s M(s)) sin phi (times sqrt(2) in over_root_pi): M's part is some 2^-14, its rounding
  // far below the result's; the sine's tail reaches 2^-9 of its head, and M's part takes both.
  const __m512d m = mul_quiet(s.hi, horner(s.hi, Tab::kModulus));
  DD<__m512d> n = fast_two_sum(sine.hi, fma_quiet(m, add_quiet(sine.hi, sine.lo), sine.lo));
  // cos(j pi/2 + phi) for j = (k - c)/2 odd: -sin phi where j = 1 mod 4, +sin phi where j = 3.
  const __mmask8 minus = iequal<double>(bit_and(iadd<double>(o.k, isplat<double>(8 - kF.quarter)), isplat<double>(4)), isplat<double>(0));
  n = {select(minus, sub(zero<__m512d>(), n.hi), n.hi), select(minus, sub(zero<__m512d>(), n.lo), n.lo)};
  return over_root_pi<kPair>(n, b, 0xFF);
}

// The Hankel form with the phase form in the lanes near a zero: y is the Hankel result of big
// (rounded or a pair), h its sum; lanes selects where the form applies at all (a >= 63 pi/8).
template <typename T, typename Tab, HankelForm kF, typename Y>
inline Y near_zeros(Y y, __m512d big, const HankelSum& h, __mmask8 lanes) {
  __m512d bound = splat(kNearZero<T>);
  if constexpr (kNearZeroPerQ<T> > 0) bound = max(bound, mul(abs(h.q), splat(kNearZeroPerQ<T>)));
  const __mmask8 near = lanes & less(abs(h.n.hi), bound);
  if (near == 0) return y;
  // Other lanes compute on a harmless argument.
  const __m512d b = select(near, big, splat(kHankelFrom));
  if constexpr (std::is_same_v<Y, __m512d>) {
    return select(near, phase<Tab, kF, false>(b), y);
  } else {
    const DD<__m512d> p = phase<Tab, kF, true>(b);
    return {select(near, p.hi, y.hi), select(near, p.lo, y.lo)};
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
    static constexpr const auto& kModulus = besselpoly::kJ##n##ModulusD; \
    static constexpr const auto& kPhaseHi = besselphase::kJ##n##PhaseHi; \
    static constexpr const auto& kPhaseLo = besselphase::kJ##n##PhaseLo; \
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
inline constexpr HankelForm kJForm = kN == 0 ? HankelForm{1, 1, 1, -1, 1} : HankelForm{-1, 1, 1, 1, 3};
// T: the precision the result is for (float results are computed here and rounded once more).
template <int kN, typename T = double>
inline __m512d bessel_j(__m512d x) {
  const __m512d a = abs(x);
  const DD<__m512d> near = pieces<JTables<kN>>(a);
  const __m512d big = max(splat(kHankelFrom), a);  // keeps a NaN
  const HankelSum h = hankel_sum<JTables<kN>, kJForm<kN>>(big);
  const __mmask8 small = less(a, splat(kHankelFrom));
  const __m512d far = near_zeros<T, JTables<kN>, kJForm<kN>>(over_root_pi<false>(h.n, big, h.odd), big, h, static_cast<__mmask8>(~small));
  __m512d y = select(small, add_quiet(near.hi, near.lo), far);
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
