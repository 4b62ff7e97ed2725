// The polar pieces shared by the complex exponential family, the logarithms and the power, on
// double registers: of four elements laid out (re, im), each quantity in both lanes of its
// element, or lane by lane where the parts are kept apart:
//
//   squared_modulus(a)   |a|^2 = (w + head + c) 2^extra of finite nonzero elements: near the
//                        unit circle w = 1 and head + c = x^2 + y^2 - 1 as an exact pair, so
//                        that a logarithm of it sees every bit of it; elsewhere the compensated
//                        sum of the squares (head 0); parts beyond 2^+-500 scaled first
//   sin_cos_pairs(hi, lo) sin y and cos y of y = hi + lo, lane by lane, as renormalised
//                        head + tail pairs (kFine: the fine pairs of sincos_core.h)
#pragma once
#include "simd/isa.h"

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/vec.h"
#include "vm/kernels/common/sincos_core.h"

namespace zorp::vm::polar {

using namespace zorp::simd;

inline constexpr __mmask8 kImagLanes = 0xAA;  // of the one-register layout

struct SquaredModulus {
  __m512d w, c, head, extra;
};
// Within this of the unit circle (|z|^2 - 1 below it) the squared modulus is carried as 1 + d.
inline constexpr double kNearCircle = 0x1p-20;
// Of the elements (x, y) lane by lane; the one-register layout passes a and a with its parts
// swapped.
//
// x^2 + y^2 = p + q with the exact squares p, q (pairs). Near the circle d = p + q - 1 cancels
// to far below the squares' low parts, and rounding it as a plain sum would be an error of d's
// own size; so it is summed exactly there: with f = p.hi + q.hi and t = p.lo + q.lo as exact
// pairs, f.hi - 1 is exact (f.hi within 2^-19 of 1), and two more exact sums leave only their
// rounding errors, of some 2^-106, to be added plainly, on the grid of the smaller part's ulp
// squared that d lies on too: head + c is d to well within 2^-100 of itself. The pair stands
// beside w = 1, for the logarithms to take head as their exact reduced argument (ln_pair's
// head) and the power as ln(1 + head) + c.
inline SquaredModulus squared_modulus(__m512d x, __m512d y) {
  const __m512d ax = abs(x), ay = abs(y), one = splat(1.0);
  const __m512d big = max(ax, ay), small = min(ax, ay);
  const __m512d eb = exponent_of(big);
  const __m512d j = zero_unless(abs_greater(eb, splat(500.0)), eb);
  const __m512d nj = sub(zero<__m512d>(), j);
  const DD<__m512d> p = two_prod(scale_by_pow2(big, nj), scale_by_pow2(big, nj));
  const __m512d sm = scale_by_pow2(small, nj);
  const DD<__m512d> q = two_prod(sm, sm);
  const DD<__m512d> f = two_sum(p.hi, q.hi), t = two_sum(p.lo, q.lo);
  const DD<__m512d> s = two_sum(sub(f.hi, one), t.hi);
  const DD<__m512d> g = two_sum(s.hi, f.lo);
  const DD<__m512d> d = two_sum(g.hi, add(add(g.lo, s.lo), t.lo));
  const __mmask8 circle = less(abs(d.hi), splat(kNearCircle));
  return {select(circle, one, f.hi), select(circle, d.lo, add(f.lo, t.hi)), zero_unless(circle, d.hi), add(j, j)};
}

inline SquaredModulus squared_modulus(__m512d a) { return squared_modulus(a, swap_parts(a)); }

// sin y and cos y of y = hi + lo finite (lo zero, or below an ulp of hi), lane by lane, as
// renormalised pairs (the polynomial pairs' tails are up to a tenth of their heads), so that
// products with another pair may drop tail times tail. Beyond 2^50 the low part is dropped, as no
// double-double knows y to a fraction of a turn there. Below 2^-27 sin y is y itself to well
// within half an ulp; the polynomial's tail there would be noise at the bottom of the subnormal
// range, which a part near the least normal number would show.
struct SinCos {
  DD<__m512d> s, c;
};
template <bool kFine = false>
inline SinCos sin_cos_pairs(__m512d hi, __m512d lo) {
  const trig::Reduced<__m512d> q = trig::reduce_any(hi);
  lo = zero_unless(static_cast<__mmask8>(~abs_greater(hi, splat(0x1p50))), lo);
  const DD<__m512d> r = two_sum(q.hi, add(q.lo, lo));
  const DD<__m512d> c = kFine ? trig::cos_pair_fine(r.hi, r.lo) : trig::cos_pair(r.hi, r.lo);
  DD<__m512d> s = kFine ? trig::sin_pair_fine(r.hi, r.lo) : trig::sin_pair(r.hi, r.lo);
  const __mmask8 tiny = less(abs(hi), splat(trig::kTinyArgument));
  s = {select(tiny, hi, s.hi), select(tiny, lo, s.lo)};
  // the quadrant k picks and signs them: sin y is s, c, -s, -c and cos y = sin(y + pi/2)
  const __mmask8 odd = iequal<double>(bit_and(q.quadrant, isplat<double>(1)), isplat<double>(1));
  const __m512i sin_sign = shift_left<62, double>(bit_and(q.quadrant, isplat<double>(2)));
  const __m512i cos_sign = shift_left<62, double>(bit_and(iadd<double>(q.quadrant, isplat<double>(1)), isplat<double>(2)));
  auto signed_pair = [](__m512d h, __m512d l, __m512i sign) {
    return fast_two_sum(as_double(bit_xor(bits(h), sign)), as_double(bit_xor(bits(l), sign)));
  };
  return {signed_pair(select(odd, c.hi, s.hi), select(odd, c.lo, s.lo), sin_sign),
          signed_pair(select(odd, s.hi, c.hi), select(odd, s.lo, c.lo), cos_sign)};
}

}  // namespace zorp::vm::polar
