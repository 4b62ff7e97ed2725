// Sinh, Cosh and Tanh in single and double precision, on the exponential's blocks
// (common/exp_core.h).
//
// Double precision, HA: e^|x|/2 and e^-|x|/2 come as two unevaluated pairs from one reduction
// each (half_exp_pair), and the functions combine them before anything rounds: cosh is their
// sum, sinh their difference, tanh the quotient of the two, through exact two-sums and a
// corrected quotient, so that only the last operation rounds noticeably. Where the difference
// cancels (|x| below 1 for sinh, 1/2 for tanh) the odd series x + x u P(u), u = x^2, takes over
// (tools/fit, hyper/generated/hyper_polys.inc). tanh needs no exponential beyond |x| = 20,
// where it rounds to 1 in either precision, so its argument is clamped there and the kernel has
// no special lanes at all.
//
// Double precision, LA and EP: Sinh and Cosh take e^a/2 and e^-a/2 from one reduction, as
// single precision does (half_exps_d), each rounded once before their sum or difference (past
// |x| = 1, e^-a/2 is at most a seventh of e^a/2), sinh below 1 the odd series of its slot. LA
// tanh takes one exponential E = e^2a and a refined reciprocal (tanh_la_d); EP tanh keeps the
// quotient of two exponentials on the short polynomial.
//
// Single precision works in float on all sixteen lanes, with the same algebra on e^a/2 and
// e^-a/2, both from one reduction a = k ln2 + r (half_exps): e^-a/2 takes the table entry of
// -k, which lies on the same grid, and e^-r, whose polynomial shares the even and odd parts of
// e^r's. The slots differ in what they pay for:
//   HA  a 1/32-octave grid with the table's low part, degree-3 e^r - 1, and the double kernels'
//       exact two-sums and corrected quotient, so that the result rounds about once; odd series
//       of degree 3 (sinh) and 4 (tanh) in u;
//   LA  the same grid and polynomial on the table's high part alone (its rounding costs up to an
//       ulp, inside LA's four), e^a/2 and e^-a/2 rounded once each before their sum or
//       difference (past |x| = 1, e^-a/2 is at most a seventh of e^a/2); sinh's odd series of
//       degree 2;
//   EP  whole octaves and no table, a degree-4 polynomial for e^r - 1 free but for c0, plain
//       sums; odd series of degree 1.
// LA and EP tanh take one exponential e^2a and a reciprocal instead (tanh_by_reciprocal).
//
// Sinh and Cosh overflow just above ln(2 * largest value); arguments beyond that bound (and the
// infinities) are the special lanes, whose callout writes the infinity and reports an overflow
// for finite arguments. The vector path yields the same infinities, for the "no error" mode.
#include <cmath>
#include <iterator>
#include <limits>
#include <type_traits>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/hyper/forms.h"
#include "vm/kernels/hyper/generated/hyper_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

enum class Fn { Sinh, Cosh, Tanh };

// The largest arguments whose sinh and cosh round to a finite value.
constexpr double kOverflowBoundD = 710.4758600739439;  // 0x1.633ce8fb9f87dp+9
constexpr float kOverflowBoundF = 89.41598510742188f;   // 0x1.65a9f8p+6
constexpr double kTanhSmall = 0.5, kSinhSmall = 1.0, kTanhOne = 20.0;

inline constexpr Reports kOverflowOnly{kStatusOverflow, false};
constexpr float kTanhOneF = 20.0f;  // the same clamp: e^40 is far inside float's range

template <Fn F, typename T>
int overflow_callout(const T* a, T* r) {
  const T x = *a;
  *r = F == Fn::Cosh ? std::numeric_limits<T>::infinity() : std::copysign(std::numeric_limits<T>::infinity(), x);
  return result_status<kOverflowOnly>(*r, x);
}

template <Acc kAcc>
constexpr const auto& sinh_tail() {
  if constexpr (kAcc == Acc::HA) return hyperpoly::kSinhTailHaD;
  else if constexpr (kAcc == Acc::LA) return hyperpoly::kSinhTailLaD;
  else return hyperpoly::kSinhTailEpD;
}
template <Acc kAcc>
constexpr const auto& tanh_tail() {
  if constexpr (kAcc == Acc::HA) return hyperpoly::kTanhTailHaD;
  else if constexpr (kAcc == Acc::LA) return hyperpoly::kTanhTailLaD;
  else return hyperpoly::kTanhTailEpD;
}

// a + a u P(u) for a = |x| near zero.
template <typename C>
inline __m512d odd_series(__m512d a, const C& tail) {
  const __m512d u = mul_quiet(a, a);
  return fma_quiet(mul_quiet(a, u), horner(u, tail), a);
}

// e^a/2 and e^-a/2 for 0 <= a <= 711 (NaN flows through), each rounded once, from one
// reduction: a = k ln2 + r with k on the 1/16-octave grid rounded to nearest, so that
// |r| <= ln2/32 and e^-a/2 = 2^(-k-1) T(-k) e^-r takes the table entry of -k, which lies on
// the same grid (its index is the low bits of shifter - k). e^r - 1 and e^-r - 1 are the sum
// and difference of the even and odd parts of one fit on the symmetric interval (LA degree 6,
// EP degree 3); the table's high part alone (its rounding costs half an ulp, inside LA's four).
// LA takes ln2 in two parts (k ln2's error would otherwise reach 2^-45 at the top), EP in one.
struct HalfExpsD {
  __m512d p, m;
};

// e^-a/2 is held at 2^-65 and above: past a = 45 it is below 2^-128 of e^a/2 and cannot move a
// sum or difference with it, while as a subnormal number every product with it or scaling into
// it would take the processor's slow microcoded path.
constexpr double kLeastMinusKD = -64.0;

template <Acc kAcc>
inline HalfExpsD half_exps_d(__m512d a) {
  using E = ExpTraits<double>;
  constexpr bool kEp = kAcc == Acc::EP;
  const __m512d one = splat(1.0), shifter = splat(E::kShifter16);
  const __m512d t = fma_quiet(a, splat(E::kInvLn2), shifter);
  const __m512d k = sub(t, shifter);
  const __m512i minus = bits(sub(shifter, k));
  const __m512d r = kEp ? reduce(a, k, E::kLn2Hi) : reduce(a, k, E::kLn2Hi, E::kLn2Lo);
  const __m512d u = mul_quiet(r, r);
  __m512d even, odd;
  if constexpr (kEp) {
    constexpr const auto& c = hyperpoly::kHalfExpEpD;
    static_assert(std::size(c) == 4);
    even = mul_quiet(u, splat(c[2]));
    odd = fma_quiet(mul_quiet(r, u), splat(c[3]), r);
  } else {
    constexpr const auto& c = hyperpoly::kHalfExpLaD;
    static_assert(std::size(c) == 7);
    even = mul_quiet(u, fma_quiet(fma_quiet(u, splat(c[6]), splat(c[4])), u, splat(c[2])));
    odd = fma_quiet(mul_quiet(r, u), fma_quiet(u, splat(c[5]), splat(c[3])), r);
  }
  const __m512d tp = lookup(bits(t), exptab::kH16), tm = lookup(minus, exptab::kH16);
  const __m512d minus_k = max(sub(zero<__m512d>(), k), splat(kLeastMinusKD));
  return {scale_by_pow2(fma_quiet(tp, add_quiet(odd, even), tp), sub(k, one)),
          scale_by_pow2(fma_quiet(tm, sub_quiet(even, odd), tm), sub(minus_k, one))};
}

// LA tanh a = (E - 1)/(E + 1) on every argument, E = e^2a, as in single precision: 2a = k ln2 + r
// on the 1/16-octave grid with k cut toward zero (r >= 0), H = 2^k T(k) and E - 1 = H q + (H - 1),
// where H - 1 is exact while it matters (H within a factor 2 of 1) and q = r + T_low + r^2 P(r)
// is fitted for relative error: near zero E - 1 is q itself, so no odd series is needed.
// One-part ln2: its error moves tanh by at most 2^-55 relative (the factor (1 - t^2) a/t stays
// below 0.85). 1/(E + 1) is the 14-bit estimate refined by one Newton step, and the quotient
// from it is corrected by its remainder, which leaves it within an ulp.
inline __m512d tanh_la_d(__m512d x) {
  using E = ExpTraits<double>;
  constexpr const auto& c = hyperpoly::kTanhExpm1D;
  const __m512d one = splat(1.0);
  const __m512d a = min(splat(kTanhOne), abs(x));  // NaN stays
  const __m512d a2 = add(a, a);
  const Grid<__m512d> g = grid_toward_zero(a2, E::kInvLn2, E::kShifter16);
  const __m512d r = reduce(a2, g.k, E::kLn2Hi);
  const __m512d q = fma_quiet(mul_quiet(r, r), horner_from<2>(r, c), add_quiet(r, lookup(g.index, exptab::kL16Rel)));
  const __m512d h = scale_by_pow2(lookup(g.index, exptab::kH16), g.k);
  const __m512d n = fma_quiet(h, q, sub_quiet(h, one));
  const __m512d d = add_quiet(n, splat(2.0));
  const __m512d y0 = reciprocal_estimate(d);
  const __m512d y = fma_quiet(y0, fnma_quiet(d, y0, one), y0);
  const __m512d t = mul_quiet(n, y);
  return copy_sign(fma_quiet(fnma_quiet(d, t, n), y, t), x);
}

// The double result of f(x) for every lane; the overflow lanes of sinh and cosh come out
// infinite. Single precision calls this with the widened arguments.
//   HA  e^|x|/2 and e^-|x|/2 as pairs from two reductions, combined through exact two-sums
//       (and for tanh a corrected quotient) so that only the last operation rounds noticeably;
//   LA, EP  Sinh and Cosh from half_exps_d, one reduction and one rounding for each half; LA tanh
//       from tanh_la_d; EP tanh as HA's method on the short polynomial without the exact steps.
template <Fn F, Acc kAcc>
inline __m512d hyperbolic(__m512d x) {
  constexpr bool kAccurate = kAcc != Acc::EP;
  constexpr bool kHa = kAcc == Acc::HA;
  if constexpr (F == Fn::Tanh && kAcc == Acc::LA) {
    return tanh_la_d(x);
  } else if constexpr (F != Fn::Tanh && !kHa) {
    const __m512d a = min(splat(711.0), abs(x));  // NaN stays
    const HalfExpsD e = half_exps_d<kAcc>(a);
    __m512d y;
    if constexpr (F == Fn::Cosh) {
      y = add_quiet(e.p, e.m);
    } else {
      y = sub_quiet(e.p, e.m);
      y = select(less(a, splat(kSinhSmall)), odd_series(a, sinh_tail<kAcc>()), y);
    }
    y = select(abs_greater(x, splat(kOverflowBoundD)), splat(std::numeric_limits<double>::infinity()), y);
    return F == Fn::Cosh ? y : copy_sign(y, x);
  } else {
    // min keeps a NaN (its second operand) and caps the infinities and huge arguments, whose
    // results are fixed below.
    const __m512d a = min(splat(F == Fn::Tanh ? kTanhOne : 711.0), abs(x));
    const DD<__m512d> p = half_exp_pair<kAccurate>(a);
    const DD<__m512d> m = half_exp_pair<kAccurate>(sub(zero<__m512d>(), a));
    __m512d y;
    if constexpr (F == Fn::Cosh) {
      const DD<__m512d> s = two_sum(p.hi, m.hi);
      y = add_quiet(s.hi, add_quiet(s.lo, add_quiet(p.lo, m.lo)));
      return select(abs_greater(x, splat(kOverflowBoundD)), splat(std::numeric_limits<double>::infinity()), y);
    } else if constexpr (F == Fn::Sinh) {
      const DD<__m512d> s = fast_two_sum(p.hi, sub(zero<__m512d>(), m.hi));
      y = add_quiet(s.hi, add_quiet(s.lo, sub_quiet(p.lo, m.lo)));
      y = select(less(a, splat(kSinhSmall)), odd_series(a, sinh_tail<kAcc>()), y);
      y = select(abs_greater(x, splat(kOverflowBoundD)), splat(std::numeric_limits<double>::infinity()), y);
      return copy_sign(y, x);
    } else {
      // (P - M)/(P + M) with both as pairs; HA corrects the quotient by its exact remainder.
      const DD<__m512d> s = fast_two_sum(p.hi, sub(zero<__m512d>(), m.hi));
      const DD<__m512d> c = two_sum(p.hi, m.hi);
      const __m512d s_lo = add_quiet(s.lo, sub_quiet(p.lo, m.lo));
      const __m512d c_lo = add_quiet(c.lo, add_quiet(p.lo, m.lo));
      if constexpr (kHa) {
        // The low parts reach a twentieth of the high ones: renormalise before dividing.
        const DD<__m512d> num = fast_two_sum(s.hi, s_lo), den = fast_two_sum(c.hi, c_lo);
        const __m512d q = div_quiet(num.hi, den.hi);
        const __m512d rem = add_quiet(fnma_quiet(q, den.hi, num.hi), fnma_quiet(q, den.lo, num.lo));
        y = add_quiet(q, div_quiet(rem, den.hi));
      } else {
        y = div_quiet(add_quiet(s.hi, s_lo), add_quiet(c.hi, c_lo));
      }
      y = select(less(a, splat(kTanhSmall)), odd_series(a, tanh_tail<kAcc>()), y);
      return copy_sign(y, x);
    }
  }
}

// ---- single precision ---------------------------------------------------------------------------

// e^a/2 = p + pl and e^-a/2 = m + ml for 0 <= a <= 90 (NaN flows through). k = a/ln2 is cut
// onto the slot's grid, r = a - k ln2; e^a/2 = 2^(k-1) T(k) e^r and e^-a/2 = 2^(-k-1) T(-k) e^-r
// with T the table of 2^(grid fraction); -k is on the grid as well, and its index is the low
// bits of shifter - k. With q = e^r - 1 = odd + even, e^-r - 1 = even - odd. EP, without a
// table, leaves the whole values in p and m (pl, ml unused).
struct HalfExps {
  __m512 p, pl, m, ml;
  __m512 qp, qm;  // pl = p*qp, ml = m*qm (HA and LA)
};

// e^-a/2 is held at 2^-100 and above: past a = 69 it is below 2^-99 of e^a/2 and cannot move a
// sum or difference with it, while as a subnormal number (a above 87) every product with it or
// scaling into it would take the processor's slow microcoded path, several in each register
// that holds one such lane.
constexpr float kLeastMinusK = -99.0f;

template <Acc kAcc>
inline HalfExps half_exps(__m512 a) {
  using E = ExpTraits<float>;
  const __m512 one = splat(1.0f);
  if constexpr (kAcc == Acc::EP) {
    constexpr const auto& c = exppoly::kExpOctaveF;
    static_assert(std::size(c) == 5);
    // One-part ln2: k ln2's error stays below 2^-22 for k <= 130, far inside EP's budget.
    const __m512 k = round_to_fraction_bits<0>(mul(a, splat(E::kInvLn2)));
    const __m512 r = reduce(a, k, E::kLn2Hi);
    const __m512 u = mul_quiet(r, r);
    const __m512 even = fma_quiet(u, fma_quiet(u, splat(c[4]), splat(c[2])), one);
    const __m512 odd = mul_quiet(r, fma_quiet(u, splat(c[3]), splat(c[1])));
    const __m512 minus_k = max(sub(zero<__m512>(), k), splat(kLeastMinusK));
    return {scale_by_pow2(add_quiet(even, odd), sub(k, one)), zero<__m512>(),
            scale_by_pow2(sub_quiet(even, odd), sub(minus_k, one)), zero<__m512>(), zero<__m512>(),
            zero<__m512>()};
  } else {
    constexpr const auto& c = hyperpoly::kHalfExpF;
    static_assert(std::size(c) == 4);
    const float shifter = 393216.0f;  // 1.5*2^18: five index bits
    const Grid<__m512> g = grid_toward_zero(a, E::kInvLn2, shifter);
    const __m512i minus = bits(sub(splat(shifter), g.k));
    const __m512 r = reduce(a, g.k, E::kLn2Hi, E::kLn2Lo);
    const __m512 u = mul_quiet(r, r);
    const __m512 even = mul_quiet(u, splat(c[2]));
    const __m512 odd = fma_quiet(mul_quiet(r, u), splat(c[3]), r);
    __m512 qp, qm;
    if constexpr (kAcc == Acc::HA) {
      qp = add_quiet(odd, add_quiet(even, lookup(g.index, exptab::kL32Rel)));
      qm = sub_quiet(add_quiet(even, lookup(minus, exptab::kL32Rel)), odd);
    } else {
      qp = add_quiet(odd, even), qm = sub_quiet(even, odd);
    }
    const __m512 p = scale_by_pow2(lookup(g.index, exptab::kH32), sub(g.k, one));
    const __m512 minus_k = max(sub(zero<__m512>(), g.k), splat(kLeastMinusK));
    const __m512 m = scale_by_pow2(lookup(minus, exptab::kH32), sub(minus_k, one));
    return {p, mul_quiet(p, qp), m, mul_quiet(m, qm), qp, qm};
  }
}

template <Acc kAcc>
constexpr const auto& sinh_tail_f() {
  if constexpr (kAcc == Acc::HA) return hyperpoly::kSinhTailHaF;
  else if constexpr (kAcc == Acc::LA) return hyperpoly::kSinhTailLaF;
  else return hyperpoly::kSinhTailEpF;
}
template <Acc kAcc>
constexpr const auto& tanh_tail_f() {
  // LA forms every tanh as (E - 1)/(E + 1) and never asks.
  static_assert(kAcc != Acc::LA);
  if constexpr (kAcc == Acc::HA) return hyperpoly::kTanhTailHaF;
  else return hyperpoly::kTanhTailEpF;
}

template <typename C>
inline __m512 odd_series(__m512 a, const C& tail) {
  const __m512 u = mul_quiet(a, a);
  return fma_quiet(mul_quiet(a, u), horner(u, tail), a);
}

// LA and EP tanh from one exponential E = e^2a and a reciprocal, instead of two exponentials
// and a quotient.
//   LA  tanh a = (E - 1)/(E + 1) on every argument: 2a = k ln2 + r on the 1/32-octave grid (k cut
//       toward zero, so r >= 0), H = 2^k T(k) and E - 1 = H q + (H - 1), where H - 1 is exact
//       (H lies within a factor 2 of 1 while it matters) and q = r + T_low + r^2 (c2 + c3 r)
//       with the polynomial fitted for relative error: near zero E - 1 is q itself, so no odd
//       series is needed. One-part ln2 (its error, 2^-28 of ln2, moves E by k times that).
//       1/(E + 1) is the estimate refined by one Newton step.
//   EP  tanh a = 1 - 2/(E + 1) from 1/2 on, where 2/(E + 1) is at most 0.54 and its relative error
//       reaches the result no larger: whole octaves, the estimate's 14 bits as they are; below,
//       the odd series.
template <Acc kAcc>
inline __m512 tanh_by_reciprocal(__m512 a) {
  using E = ExpTraits<float>;
  const __m512 one = splat(1.0f), a2 = add(a, a);
  if constexpr (kAcc == Acc::EP) {
    constexpr const auto& c = exppoly::kExpOctaveF;
    const __m512 k = round_to_fraction_bits<0>(mul(a2, splat(E::kInvLn2)));
    const __m512 r = reduce(a2, k, E::kLn2Hi);
    const __m512 big = scale_by_pow2(add_quiet(one, mul_quiet(r, horner_from<1>(r, c))), k);
    const __m512 y = fnma_quiet(splat(2.0f), reciprocal_estimate(add_quiet(big, one)), one);
    return select(less(a, splat(float(kTanhSmall))), odd_series(a, tanh_tail_f<kAcc>()), y);
  } else {
    constexpr const auto& c = hyperpoly::kTanhExpm1F;
    static_assert(std::size(c) == 4);
    const Grid<__m512> g = grid_toward_zero(a2, E::kInvLn2, 393216.0f);  // 1.5*2^18: five index bits
    const __m512 r = reduce(a2, g.k, E::kLn2Hi);
    const __m512 q = fma_quiet(mul_quiet(r, r), fma_quiet(r, splat(c[3]), splat(c[2])),
                               add_quiet(r, lookup(g.index, exptab::kL32Rel)));
    const __m512 h = scale_by_pow2(lookup(g.index, exptab::kH32), g.k);
    const __m512 n = fma_quiet(h, q, sub_quiet(h, one));
    const __m512 d = add_quiet(n, splat(2.0f));
    const __m512 y = reciprocal_estimate(d);
    const __m512 t = mul_quiet(n, y);
    return fma_quiet(t, fnma_quiet(d, y, one), t);
  }
}

template <Fn F, Acc kAcc>
inline __m512 hyperbolic_by_halves(__m512 x);

template <Fn F, Acc kAcc>
inline __m512 hyperbolic_f(__m512 x) {
  if constexpr (F == Fn::Tanh && kAcc != Acc::HA) {
    return copy_sign(tanh_by_reciprocal<kAcc>(min(splat(kTanhOneF), abs(x))), x);
  } else {
    return hyperbolic_by_halves<F, kAcc>(x);
  }
}

// Sinh, Cosh, and HA Tanh from e^a/2 and e^-a/2.
template <Fn F, Acc kAcc>
inline __m512 hyperbolic_by_halves(__m512 x) {
  constexpr bool kHa = kAcc == Acc::HA, kEp = kAcc == Acc::EP;
  const __m512 a = min(splat(F == Fn::Tanh ? kTanhOneF : 90.0f), abs(x));  // NaN stays (see above)
  const HalfExps e = half_exps<kAcc>(a);
  __m512 y;
  if constexpr (F == Fn::Cosh) {
    if constexpr (kHa) {
      const DD<__m512> s = two_sum(e.p, e.m);
      y = add_quiet(s.hi, add_quiet(s.lo, add_quiet(e.pl, e.ml)));
    } else if constexpr (kEp) {
      y = add_quiet(e.p, e.m);
    } else {
      y = add_quiet(fma_quiet(e.p, e.qp, e.p), fma_quiet(e.m, e.qm, e.m));
    }
    return select(abs_greater(x, splat(kOverflowBoundF)), splat(std::numeric_limits<float>::infinity()), y);
  } else if constexpr (F == Fn::Sinh) {
    if constexpr (kHa) {
      const DD<__m512> s = fast_two_sum(e.p, sub(zero<__m512>(), e.m));
      y = add_quiet(s.hi, add_quiet(s.lo, sub_quiet(e.pl, e.ml)));
    } else if constexpr (kEp) {
      y = sub_quiet(e.p, e.m);
    } else {
      y = sub_quiet(fma_quiet(e.p, e.qp, e.p), fma_quiet(e.m, e.qm, e.m));
    }
    y = select(less(a, splat(float(kSinhSmall))), odd_series(a, sinh_tail_f<kAcc>()), y);
    y = select(abs_greater(x, splat(kOverflowBoundF)), splat(std::numeric_limits<float>::infinity()), y);
    return copy_sign(y, x);
  } else {
    // HA, as in double: both pairs renormalised, the quotient corrected by its remainder.
    static_assert(kHa);
    const DD<__m512> s = fast_two_sum(e.p, sub(zero<__m512>(), e.m));
    const DD<__m512> c = two_sum(e.p, e.m);
    const DD<__m512> num = fast_two_sum(s.hi, add_quiet(s.lo, sub_quiet(e.pl, e.ml)));
    const DD<__m512> den = fast_two_sum(c.hi, add_quiet(c.lo, add_quiet(e.pl, e.ml)));
    const __m512 q = div_quiet(num.hi, den.hi);
    const __m512 rem = add_quiet(fnma_quiet(q, den.hi, num.hi), fnma_quiet(q, den.lo, num.lo));
    y = add_quiet(q, div_quiet(rem, den.hi));
    y = select(less(a, splat(float(kTanhSmall))), odd_series(a, tanh_tail_f<kAcc>()), y);
    return copy_sign(y, x);
  }
}

// The record of each function; Sinh and Cosh have their overflow lanes as special lanes.
template <Fn F>
struct Hyper {
  template <Acc kAcc>
  static __m512d eval(__m512d x) { return hyperbolic<F, kAcc>(x); }
  template <Acc kAcc>
  static __m512 eval(__m512 x) { return hyperbolic_f<F, kAcc>(x); }
  template <typename V>
  static auto special(V x) {
    if constexpr (std::is_same_v<V, __m512d>) return abs_greater(x, splat(kOverflowBoundD));
    else return abs_greater(x, splat(kOverflowBoundF));
  }
  template <typename T>
  static int callout(const T* a, T* r) { return overflow_callout<F>(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
using hyper::Guarded, hyper::Plain;
HYPER_KERNELS(s, float, Cosh, Guarded, Hyper<Fn::Cosh>)
HYPER_KERNELS(d, double, Cosh, Guarded, Hyper<Fn::Cosh>)
HYPER_KERNELS(s, float, Tanh, Plain, Hyper<Fn::Tanh>)
HYPER_KERNELS(d, double, Tanh, Plain, Hyper<Fn::Tanh>)
HYPER_KERNELS(s, float, Sinh, Guarded, Hyper<Fn::Sinh>)
HYPER_KERNELS(d, double, Sinh, Guarded, Hyper<Fn::Sinh>)
