// LGamma, ln|Gamma(x)|, and Gamma in single and double precision, on one fixed shift:
//   a = |x|, b = a + 9 and P = a (a + 1) ... (a + 8) below 8.5, b = a and P = 1 from there on;
//   lgamma a = St(b) - ln P with Stirling's form St(b) = (b - 1/2)(ln b - 1) + ln(2 pi)/2 - 1/2
//   + S(1/b^2)/b (coefficients from tools/fit, special/generated/gamma_polys.inc), and for x < 0
//   the reflection lgamma x = ln pi - ln|x sin(pi x)| - lgamma a.
// Two evaluations of it (further below): in plain double for single precision (computed in
// double, rounded once) and the double EP slots; with every step that decides the last bits as
// a pair (head plus tail) for the double LA and HA slots. Both are one path for every lane; the
// lanes it does not serve take the forms here, under a mask:
//   near the zeros at 1 and 2   t = x - 1 or x - 2, lgamma = t (c0 + t G(t)), c0 = -gamma or
//                 1 - gamma in two parts: the product t c0 is exact inside the last step, so the
//                 zeros keep their relative accuracy;
//   near the zeros on the negative axis, two in every (-n - 1, -n) from n = 2 on, within about
//                 1/n! of the poles, where the terms of the reflection cancel and what remains is
//                 their error, some 2^-60 absolutely: where the result falls below 2^-5 a
//                 polynomial centred at the zero (special/generated/gamma_zeros.inc, from
//                 tools/fit), in t = x - x0 with x0 in three parts, good to 2^-57 relative.
//                 No double below -16 comes that near a zero: the doubles around the zero at
//                 -16 - 4.8e-14 give |lgamma| of 0.034 at the least, and from -17 on the zeros
//                 lie closer to their poles than the doubles' spacing (1/17! against 2^-48), the
//                 doubles beside a pole giving |lgamma| > 0.2;
//   Gamma below -170, where it becomes subnormal: e^ of the reflection's logarithm as a pair,
//                 scaled so that it rounds once.
//
// Special lanes: the poles (zero and the negative integers, every argument below -2^52
// included) give +inf with status 2, finite arguments beyond the overflow bound +inf with status
// 3. Infinities of either sign give +inf and NaN stays NaN, without a status. The vector path
// gives the same results for the "no error" mode. No result is -0: ln|Gamma| is +0 at 1 and 2.
#include <cmath>
#include <iterator>
#include <limits>
#include <type_traits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/index.h"
#include "simd/ints.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/common/log_core.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/special/generated/gamma_polys.inc"
#include "vm/kernels/special/generated/gamma_zeros.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using V = __m512d;
using Pair = DD<__m512d>;

// Constants in two parts: -gamma (Euler's constant), 1 - gamma, ln(2 pi)/2 - 1/2, ln pi, pi.
constexpr double kMinusEulerHi = -0x1.2788cfc6fb619p-1, kMinusEulerLo = 0x1.6cb90701fbfabp-58;
constexpr double kOneMinusEulerHi = 0x1.b0ee6072093cep-2, kOneMinusEulerLo = 0x1.6cb90701fbfabp-58;
constexpr double kStirlingHi = 0x1.acfe390c97d69p-2, kStirlingLo = 0x1.3494bc9001442p-56;
constexpr double kLnPiHi = 0x1.250d048e7a1bdp+0, kLnPiLo = 0x1.7abf2ad8d5088p-57;
constexpr double kPiHi = 0x1.921fb54442d18p+1, kPiLo = 0x1.1a62633145c07p-53;

// The largest arguments whose log-gamma rounds to a finite value.
constexpr double kOverflowBoundD = 0x1.754d9278b51a7p+1014;  // 2.5599833278516383e305
constexpr float kOverflowBoundF = 0x1.895f1ap+121f;          // 4.085003e36
// Where Stirling's form starts without the shift.
constexpr double kStirling = 8.5;
// Below this no double comes within the window of a zero (the pieces end at -16 + 4.8e-14).
constexpr double kZerosFrom = -16.0;
// The zero forms at 1 and 2 hold on [3/4, 5/4) and [7/4, 5/2).
constexpr double kZeroFormsFrom = 0.75, kZeroFormsTo = 2.5;

// A polynomial in t with coefficients c(0) ... c(n - 1) (registers), its last three Horner steps carried
// as pairs: the roundings left are those of the higher terms, each damped by t^3.
template <typename Coef>
inline Pair horner_pair(V t, size_t n, Coef c) {
  V q = c(n - 1);
  for (size_t j = n - 1; j-- > 3;) q = fma_quiet(q, t, c(j));
  Pair p{q, zero<V>()};
  for (size_t j = 3; j-- > 0;) {
    const Pair m = two_prod(t, p.hi);
    const Pair s = two_sum(c(j), m.hi);
    p = {s.hi, add_quiet(s.lo, fma_quiet(t, p.lo, m.lo))};
  }
  return p;
}

// ln(w + c) for w > 0 finite and c well below w, as an unevaluated pair hi + lo good to about
// 2^-70 of the larger of 1 and the result, on the Ln kernels' reduction (r0 = y m - 1 exact, y on
// a grid whose -ln is tabulated in two parts): e ln2 + table + r0 - r0^2/2 summed exactly, only
// r0^3 Q(r0), the correction c (as y c / 2^e (1 - r0)) and the low parts round. Stirling's
// form multiplies the logarithm by x, up to 171 in Gamma.
[[gnu::always_inline]] inline Pair ln_dd(V w, V c) {
  using L = LogTraits<double>;
  const V m = mantissa_1_2(w);
  const V y = reciprocal_on_grid(m);
  const V ew = exponent_of(w);
  const V e = add(ew, less(y, splat(0.75)), ew, splat(1.0));
  const V r0 = fma_quiet(y, m, splat(-1.0));
  const V rc = mul_quiet(y, scale_by_pow2(c, sub(zero<V>(), ew)));
  const __m512i idx = shift_right<48, double>(bits(y));
  const Pair big = two_sum(mul_quiet(e, splat(L::kLn2Hi)), lookup(idx, L::template ha_high<Base::E>()));
  const Pair s = two_sum(big.hi, r0);
  const Pair sq = two_prod(r0, r0);
  const Pair s2 = two_sum(s.hi, mul_quiet(sq.hi, splat(-0.5)));
  const V tail = mul_quiet(mul_quiet(sq.hi, r0), horner(r0, gammapoly::kLnTail));
  V lo = fma_quiet(e, splat(L::kLn2Lo), lookup(idx, L::template ha_low<Base::E>()));
  lo = add_quiet(lo, fnma_quiet(rc, r0, rc));
  lo = add_quiet(lo, fma_quiet(sq.lo, splat(-0.5), tail));
  lo = add_quiet(lo, add_quiet(add_quiet(big.lo, s.lo), s2.lo));
  return fast_two_sum(s2.hi, lo);
}

inline V rounded(Pair p) { return add_quiet(p.hi, p.lo); }

// t (c0 + t G(t)) with c0 = hi + lo, every step a pair, as a pair.
template <size_t N>
inline Pair zero_form(V t, double hi, double lo, const double (&g)[N]) {
  const Pair gp = horner_pair(t, N, [&](size_t j) { return splat(g[j]); });
  const Pair m = two_prod(t, gp.hi);
  const Pair c = two_sum(splat(hi), m.hi);
  const V c_lo = add_quiet(c.lo, add_quiet(splat(lo), fma_quiet(t, gp.lo, m.lo)));
  const Pair y = two_prod(t, c.hi);
  return {y.hi, fma_quiet(t, c_lo, y.lo)};
}
inline Pair near_one(V t) { return zero_form(t, kMinusEulerHi, kMinusEulerLo, gammapoly::kLGammaNear1); }
inline Pair near_two(V t) { return zero_form(t, kOneMinusEulerHi, kOneMinusEulerLo, gammapoly::kLGammaNear2); }
// lgamma x for x >= 8.5 as an unevaluated sum hi + lo: x (ln x - 1) - (ln x - 1)/2 formed
// exactly from the pair ln x (ln x - 1 is exact in its high part), then the constant and the
// correction S(u)/x.
inline Pair stirling(V x) {
  const Pair ln = ln_dd(x, zero<V>());
  const V th = sub_quiet(ln.hi, splat(1.0));
  const Pair p = two_prod(x, th);
  const Pair s = two_sum(p.hi, mul_quiet(th, splat(-0.5)));
  const Pair c = two_sum(s.hi, splat(kStirlingHi));
  const V u = div_quiet(splat(1.0), mul_quiet(x, x));
  const V corr = div_quiet(horner(u, gammapoly::kLGammaStirling), x);
  V lo = fma_quiet(x, ln.lo, p.lo);
  lo = fma_quiet(ln.lo, splat(-0.5), lo);
  lo = add_quiet(add_quiet(s.lo, c.lo), add_quiet(lo, add_quiet(corr, splat(kStirlingLo))));
  return {c.hi, lo};
}

// ln|p| for a nonzero pair p.
inline Pair ln_abs(Pair p) {
  const __mmask8 negative = less(p.hi, zero<V>());
  return ln_dd(abs(p.hi), select(negative, sub(zero<V>(), p.lo), p.lo));
}

// a - b - c for pairs.
inline Pair combine(Pair a, Pair b, Pair c) {
  const Pair s = two_sum(a.hi, sub(zero<V>(), b.hi));
  const Pair t = two_sum(s.hi, sub(zero<V>(), c.hi));
  return {t.hi, add_quiet(add_quiet(s.lo, t.lo), sub_quiet(a.lo, add_quiet(b.lo, c.lo)))};
}

// Where a logarithm of Gamma is a sum of terms, the sum as a pair and whether Gamma is negative.
struct LnGamma {
  Pair ln;
  __mmask8 negative;
};

// ln|Gamma x| for x < 0 by the reflection (Gamma below -170): ln pi - ln|x sin(pi x)| - lgamma|x|; Gamma x
// has the sign of sin(pi x), negative where floor(x) is odd.
inline LnGamma reflection(V x) {
  const V a = abs(x);
  const V r = abs(sub_quiet(x, round_integral<_MM_FROUND_TO_NEAREST_INT>(x)));  // sin(pi x) = +-sin(pi r)
  // sin(pi r) for r <= 1/4, cos(pi (1/2 - r)) beyond, each on the exact pair pi * r.
  const __mmask8 far = less(splat(0.25), r);
  const V q = select(far, sub_quiet(splat(0.5), r), r);
  const Pair pq = two_prod(splat(kPiHi), q);
  const V pq_lo = fma_quiet(splat(kPiLo), q, pq.lo);
  const Pair sn = trig::sin_pair(pq.hi, pq_lo);
  const Pair cs = trig::cos_pair(pq.hi, pq_lo);
  const Pair sine = {select(far, cs.hi, sn.hi), select(far, cs.lo, sn.lo)};
  const Pair prod = dd_mul(fast_two_sum(sine.hi, sine.lo), a);
  const V f = round_integral<_MM_FROUND_TO_NEG_INF>(x);
  const __mmask8 odd = not_equal(f, mul(splat(2.0), round_integral<_MM_FROUND_TO_NEG_INF>(mul(f, splat(0.5)))));
  return {combine({splat(kLnPiHi), splat(kLnPiLo)}, ln_abs(prod), stirling(a)), odd};
}

// lgamma x in the window of one of its zeros on the negative axis (the lanes of m): the zero's
// piece of special/generated/gamma_zeros.inc, gathered. Piece 2 (n - 2) holds the zero of
// (-n - 1, -n) next to -n, the next one the zero next to -n - 1. With the zero x0 = hi + lo +
// tail, t = x - x0 comes as a pair: x - hi is exact (x is within a factor 2 of hi), lo goes off
// exactly and the tail rounded (at x = hi, t is -(lo + tail), and lo alone would be off by half
// its ulp). The result t (c1 + c1_lo + t R(t)) keeps t's low part and c1's in its leading term:
// each would cost up to an ulp near the zero. R(t) (c2 upward) is plain Horner, its error
// damped by t c2 / c1, at most a twelfth.
inline V at_zero(V x, __mmask8 m) {
  namespace gz = gammazero;
  const V n = round_integral<_MM_FROUND_TO_NEG_INF>(sub(zero<V>(), x));
  const V lower = select(less(x, sub(splat(-0.5), n)), splat(1.0), zero<V>());
  const Index8 idx = truncate_to_index(add(fma(n, splat(2.0), splat(-4.0)), lower));
  const auto coef = [&](const double* row) { return gather(m, row, idx, zero<V>()); };
  const V hi = gather(m, gz::kZerosCentreHi, idx, x);
  Pair t = two_sum(sub_quiet(x, hi), sub(zero<V>(), coef(gz::kZerosCentreLo)));
  t.lo = sub_quiet(t.lo, coef(gz::kZerosCentreTail));
  constexpr auto& c = gz::kZerosPieces;
  V r = coef(c[std::size(c) - 1]);
  for (size_t j = std::size(c) - 1; j-- > 2;) r = fma_quiet(r, t.hi, coef(c[j]));
  const V c1 = coef(c[1]);
  const Pair lead = two_prod(t.hi, c1);
  const V tail = fma_quiet(t.hi, fma_quiet(t.hi, r, coef(gz::kZerosLeadLo)), fma_quiet(t.lo, c1, lead.lo));
  return add_quiet(lead.hi, tail);
}

// The plain-double methods (below TGamma).
inline V lgamma_plain(V x, double overflow);
inline V tgamma_plain(V x, double overflow);
inline V lgamma_pair(V x);
inline V tgamma_pair(V x);

// A kernel from a function record:
//   static __m512d eval(__m512d x)               the double result of every lane
//   static __m512d eval_single(__m512d x)        the same for float arguments, good to float's needs
//   template <typename V> static auto special(V x, V r)   the lanes to report
//   template <typename T> static int status(T x, T r)     a lane's status
// Single precision evaluates eval_single in double and rounds once; a callout evaluates its lane
// with the same vector code, so both modes give the same results.
template <typename F, typename T>
struct Evaluated;
template <typename F>
struct Evaluated<F, double> : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    const __m512d r = F::eval(x);
    special = F::special(x, r);
    return r;
  }
  static int callout(const double* a, double* r) {
    *r = lane<0>(F::eval(splat(*a)));
    return F::status(*a, *r);
  }
};
template <typename F>
struct Evaluated<F, float> : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16& special) {
    const __m512 r = narrow(F::eval_single(widen_low(x)), F::eval_single(widen_high(x)));
    special = F::special(x, r);
    return r;
  }
  static int callout(const float* a, float* r) {
    *r = static_cast<float>(lane<0>(F::eval_single(splat(static_cast<double>(*a)))));
    return F::status(*a, *r);
  }
};

template <typename V2>
constexpr bool kDouble = std::is_same_v<V2, __m512d>;

// Non-positive integers (and every number below -2^52 or -2^23), as masks.
template <typename V2>
auto nonpositive_integers(V2 x) {
  return less_equal(x, zero<V2>()) & equal(x, round_integral<_MM_FROUND_TO_ZERO>(x));
}

// LGamma reports its finite poles (status 2) and finite arguments past the overflow bound (3).
struct LGammaF {
  static V eval(V x) { return lgamma_pair(x); }
  static V eval_single(V x) { return lgamma_plain(x, kOverflowBoundF); }
  template <typename V2>
  static auto special(V2 x, V2) {
    const auto finite = ~classify<kClassInf | kClassNaN>(x);
    using T = std::conditional_t<kDouble<V2>, double, float>;
    const auto past = less(splat(kDouble<V2> ? T(kOverflowBoundD) : T(kOverflowBoundF)), x);
    return static_cast<decltype(past)>(finite & (nonpositive_integers(x) | past));
  }
  template <typename T>
  static int status(T x, T r) {
    if (!std::isinf(r) || !std::isfinite(x)) return 0;
    return x > 0 ? kStatusOverflow : kStatusSingularity;
  }
};

// ---- TGamma --------------------------------------------------------------------------------
// Gamma x = +-e^(ln|Gamma x|) on the fixed shift (below): e^St(b) / P, and by the reflection
// pi P e^-St(b) / (|x| sin(pi r)) for x < 0. Below 2^-54 in magnitude Gamma x = 1/x - gamma to
// within 2^-54 of the result.
// Special lanes: +-0 give +-inf (status 2), the negative integers and -inf NaN (status 1, as C's
// tgamma: a domain error), arguments past 171.62 (35.04 single) or within 1/largest of zero +inf
// with status 3, and subnormal or zero results of finite arguments status 4; the callout
// evaluates its lane with the vector code.
constexpr double kGammaOverflowD = 0x1.573fae561f647p+7;  // 171.6243769563027
constexpr float kGammaOverflowF = 0x1.18521ep+5f;         // 35.040096
constexpr double kEulerHi = 0x1.2788cfc6fb619p-1;
constexpr double kSubnormalBelow = -700.0, kRaise = 128.0;

// Gamma x below -170, where it is subnormal and underflows (the lanes the pair path leaves):
// e^(ln|Gamma x|) with the logarithm from the reflection as a pair, e^hi/2 as a pair times
// 2 (1 + lo); hi raised by 128 ln2 first and the result scaled down at the end, so that it
// rounds once.
inline V tgamma_below(V x) {
  using L = LogTraits<double>;
  const LnGamma g = reflection(max(x, splat(-0x1p52)));
  Pair y = two_sum(g.ln.hi, g.ln.lo);  // the low part may hold whole terms; e^lo = 1 + lo wants it tiny
  const Pair s = two_sum(y.hi, splat(kRaise * L::kLn2Hi));
  y = {s.hi, add_quiet(y.lo, add_quiet(s.lo, splat(kRaise * L::kLn2Lo)))};
  const Pair e = half_exp_pair<true>(min(max(y.hi, splat(-760.0)), splat(710.0)));
  // 2 (e.hi + e.lo)(1 + y.lo): y.lo reaches 2^-44 and e.lo a twentieth of e.hi, so the cross
  // term counts.
  const V r = mul_quiet(mul(splat(2.0), add_quiet(e.hi, fma_quiet(add_quiet(e.hi, e.lo), y.lo, e.lo))), splat(0x1p-128));
  return select(g.negative, mul(splat(-1.0), r), r);  // keeps the sign of a zero that underflowed
}

// ---- Plain double: single precision, and the EP slot of double -------------------------
// Float arguments evaluated in double without pairs: a float result wants some 2^-30 of its
// value, and double arithmetic on eight lanes reaches far beyond that more cheaply than float
// pairs on sixteen would (a float method stays above an ulp: the logarithm and the product in
// Stirling's form each round once in float, and the reflection's terms cancel near -n). The
// same path, good to 2^-40 of the result and better, is the double EP kernels (26 bits).
// One path for every lane, with no loop over ranges:
//   a = |x|, b = a + 9 and P = a (a + 1) ... (a + 8) below 8.5, b = a and P = 1 from there on;
//   lgamma a = St(b) - ln P with Stirling's form St(b) = (b - 1/2)(ln b - 1) + ln(2 pi)/2 - 1/2
//   + S(1/b^2)/b (the double fit of kLGammaStirling);
//   for x < 0 the reflection lgamma x = ln pi - ln|x sin(pi x)| - lgamma a, folded into one
//   logarithm: ln pi - St(b) - ln(a sin(pi r) / P), r = |x - round(x)| (exact), sin(pi r) = r S(r^2).
// One reciprocal gives both 1/b and 1/P (through 1/(b P)), two logarithms the rest. The terms
// stay below 2^6 for |x| < 20, so the result is good to some 2^-46 absolutely, and relatively
// wherever it is not small (elsewhere each term is good relatively, and the result is their
// size). Near the zeros at 1 and 2 and those on the negative axis it is small: there the zero
// forms at the top of the file take the lanes (t (c0 + t G(t)) plainly, and the per-zero
// pieces), which are relative. Below 2^-60 in magnitude lgamma x = -ln|x| (the next term, -gamma
// x, is beyond the result's precision), where the factors would lose bits to underflow.
// a = |x|, b and P as above.
struct ShiftSingle {
  V a, b, p;
};
inline ShiftSingle shift_single(V x) {
  // Below 8.5 nine factors, always: b = a + 9 in [9, 17.5), and P = a (a + 1) ... (a + 8) as
  // s (s + 7)(s + 12)(s + 15)(a + 4) with s = a (a + 8), pairing the factors from both ends;
  // no loop and no count per lane. (Lanes from 8.5 on may make P infinite; they take P = 1.)
  const V a = abs(x);
  const __mmask8 shifted = less(a, splat(kStirling));
  const V s = fma_quiet(a, a, mul_quiet(a, splat(8.0)));
  const V p = mul_quiet(mul_quiet(mul_quiet(s, add_quiet(s, splat(7.0))), mul_quiet(add_quiet(s, splat(12.0)), add_quiet(s, splat(15.0)))),
                        add_quiet(a, splat(4.0)));
  return {a, select(shifted, add_quiet(a, splat(9.0)), a), select(shifted, p, splat(1.0))};
}
// 1/d from the 14-bit estimate and two Newton steps (to 2^-53 or so): a division costs more
// than the rest of the reduction.
inline V reciprocal_single(V d) {
  V inv = reciprocal_estimate(d);
  inv = fma_quiet(inv, fnma_quiet(d, inv, splat(1.0)), inv);
  return fma_quiet(inv, fnma_quiet(d, inv, splat(1.0)), inv);
}
// Stirling's form at b >= 8.5, given 1/b. From 2^40 on the correction S/b, below 2^-43, is left
// out: its square 1/b^2 would underflow through the slow subnormal path for double arguments.
inline V stirling_single(V b, V inv_b) {
  inv_b = zero_unless(less(b, splat(0x1p40)), inv_b);
  const V lb = ln_pair<false, false>(b, zero<V>(), zero<V>());
  const V corr = fma_quiet(horner(mul_quiet(inv_b, inv_b), gammapoly::kLGammaStirling), inv_b, splat(kStirlingHi));
  return fma_quiet(sub_quiet(b, splat(0.5)), sub_quiet(lb, splat(1.0)), corr);
}
// |x| |sin(pi x)| (the reflection's divisor), r = |x - round(x)| exact.
inline V reflected_single(V x, V a) {
  const V r = abs(sub_quiet(x, round_integral<_MM_FROUND_TO_NEAREST_INT>(x)));
  return mul_quiet(a, mul_quiet(r, horner(mul_quiet(r, r), gammapoly::kSinPiSingle)));
}

// ln|Gamma x| for float x; garbage at the poles, fixed by the caller.
inline V ln_abs_gamma_single(V x) {
  const ShiftSingle h = shift_single(x);
  const __mmask8 negative = less(x, zero<V>());
  const V inv = reciprocal_single(mul_quiet(h.b, h.p));  // 1/(b P)
  const V st = stirling_single(h.b, mul_quiet(inv, h.p));
  V w = h.p;
  V head = st;
  if (negative) {
    w = select(negative, mul_quiet(reflected_single(x, h.a), mul_quiet(inv, h.b)), w);
    head = select(negative, sub_quiet(splat(kLnPiHi), st), head);
  }
  return sub_quiet(head, ln_pair<false, false>(w, zero<V>(), zero<V>()));
}

inline V lgamma_plain(V x, double overflow) {
  const V inf = splat(std::numeric_limits<double>::infinity());
  V y = ln_abs_gamma_single(x);
  if (const __mmask8 m = less(abs(x), splat(0x1p-60))) y = select(m, sub(zero<V>(), ln_pair<false, false>(abs(x), zero<V>(), zero<V>())), y);
  // Around the zeros at 1 and 2 (|lgamma| below 2^-6 only within 0.03 of them).
  if (const __mmask8 m = less(abs(y), splat(0x1p-6)) & greater_equal(x, splat(kZeroFormsFrom)) & less(x, splat(kZeroFormsTo))) {
    const __mmask8 one = less(x, splat(1.5));
    const V t = sub_quiet(x, select(one, splat(1.0), splat(2.0)));
    const V g1 = fma_quiet(t, horner(t, gammapoly::kLGammaNear1), splat(kMinusEulerHi));
    const V g2 = fma_quiet(t, horner(t, gammapoly::kLGammaNear2), splat(kOneMinusEulerHi));
    y = select(m, mul_quiet(t, select(one, g1, g2)), y);
  }
  if (const __mmask8 m = less(abs(y), splat(gammazero::kZeroWindow)) & less(splat(kZerosFrom), x) & less(x, splat(-2.0)))
    y = select(m, at_zero(x, m), y);
  const __mmask8 pole = less_equal(x, zero<V>()) & equal(x, round_integral<_MM_FROUND_TO_ZERO>(x));
  y = select(pole | abs_greater(x, splat(overflow)), inf, y);
  return add_quiet(select(unordered(x, x), add_quiet(x, x), y), zero<V>());
}

// Gamma without the second logarithm: Gamma a = e^St(b) / P, and for x < 0 by the reflection
// |Gamma x| = pi / (a |sin(pi x)| Gamma a) = pi P e^-St(b) / (a |sin(pi x)|). With D = P, or
// a |sin(pi x)| for x < 0, one reciprocal 1/(b D) gives 1/b and 1/D. St's absolute error, some
// 2^-45 (it stays below 90 for float arguments, 710 for double), is the result's relative one;
// e^St as e^St/2 pair times 2 (ln2 in two parts: in one, its error times k, up to 2^14 for
// double arguments, would cost some 2^-30). The product stays a normal double to the last step, where the
// float rounds once (subnormal float results too).
inline V tgamma_plain(V x, double overflow) {
  const ShiftSingle h = shift_single(x);
  const __mmask8 negative = less(x, zero<V>());
  const V den = negative ? select(negative, reflected_single(x, h.a), h.p) : h.p;
  const V inv = reciprocal_single(mul_quiet(h.b, den));  // 1/(b D)
  const V st = stirling_single(h.b, mul_quiet(inv, den));
  const V q = mul_quiet(inv, h.b);                        // 1/D
  V arg = min(max(select(negative, sub(zero<V>(), st), st), splat(-800.0)), splat(710.0));
  // Where e^-St would be subnormal (double arguments below about -170; 1/D may still bring the
  // result up to normal), it is raised by e^443 (adding 443 is exact there) and the product
  // scaled down by the rounded e^-443 at the end, rounding once more.
  const __mmask8 tiny = less(arg, splat(kSubnormalBelow));
  arg = add(arg, tiny, arg, splat(443.0));
  const Pair e = half_exp_pair<true>(arg);
  const V scale = select(negative, mul_quiet(mul_quiet(splat(kPiHi), h.p), q), q);
  V r = mul(splat(2.0), mul_quiet(add_quiet(e.hi, e.lo), scale));
  r = mul(r, tiny, r, splat(0x1.d9219ed4b7068p-640));  // e^-443
  const V f = round_integral<_MM_FROUND_TO_NEG_INF>(x);
  const __mmask8 odd = not_equal(f, mul(splat(2.0), round_integral<_MM_FROUND_TO_NEG_INF>(mul(f, splat(0.5)))));
  r = select(negative & odd, mul(splat(-1.0), r), r);  // keeps the sign of a zero that underflowed
  // Near zero 1/x - gamma (x = +-0 gives +-inf), where the factors would underflow; the
  // division only when a lane needs it.
  if (const __mmask8 m = less(abs(x), splat(0x1p-54))) r = select(m, sub_quiet(div_quiet(splat(1.0), x), splat(kEulerHi)), r);
  const __mmask8 integral_negative = less(x, zero<V>()) & equal(x, round_integral<_MM_FROUND_TO_ZERO>(x));
  r = select(integral_negative, splat(std::numeric_limits<double>::quiet_NaN()), r);
  r = select(less(splat(overflow), x), splat(std::numeric_limits<double>::infinity()), r);
  return select(unordered(x, x), add_quiet(x, x), r);
}

// Lanes that may report: non-positive integers (and -inf), overflow, arguments near zero whose
// reciprocal may overflow, results below the least normal.
struct TGammaF {
  static V eval(V x) { return tgamma_pair(x); }
  static V eval_single(V x) { return tgamma_plain(x, kGammaOverflowF); }
  template <typename V2>
  static auto special(V2 x, V2 r) {
    using T = std::conditional_t<kDouble<V2>, double, float>;
    const auto past = less(splat(kDouble<V2> ? T(kGammaOverflowD) : T(kGammaOverflowF)), x);
    const auto small = less(abs(x), splat(kDouble<V2> ? T(0x1p-1020) : T(0x1p-124f)));
    const auto under = less(abs(r), splat(std::numeric_limits<T>::min())) & ~classify<kClassInf | kClassNaN>(x);
    return static_cast<decltype(past)>(nonpositive_integers(x) | small | under | past);
  }
  template <typename T>
  static int status(T x, T r) {
    if (std::isnan(x)) return 0;
    if (x == 0) return kStatusSingularity;
    if (std::isnan(r)) return kStatusDomain;
    if (std::isinf(r)) return std::isfinite(x) ? kStatusOverflow : 0;
    return std::fabs(r) < std::numeric_limits<T>::min() ? kStatusUnderflow : 0;
  }
};

// ---- Pairs on the fixed shift: the double LA and HA slots -----------------------------------
// The plain path's one branch-free method with every step that decides the result's last bits
// carried as a pair, so that the sums of terms up to 2^10 (LGamma) and the exponent up to 710
// (Gamma) keep some 2^-60 absolutely:
//   b = a + 9 (a pair, a < 8.5) and P = a (a + 1) ... (a + 8) from the exact pair a (a + 8) and
//   pair products; St(b) with ln b from ln_dd, the products and sums exact but for the low
//   parts, the correction S(1/b^2)/b to 2^-60;
//   sin(pi r) from the fine sine and cosine pairs (some 2^-60) on the pair pi r or pi (1/2 - r);
//   Gamma, which wants it only relatively to some 2^-56, takes the plain cosine pair (2^-55.7).
// One reciprocal, of b D (D the divisor of the last step), gives both 1/b and 1/D to some 2^-52,
// and each use corrects it by its residual. The lanes these forms do not serve take the forms
// at the top of the file under a mask, off the common path: LGamma near its zeros (|lgamma| below 2^-5,
// where 2^-60 is no longer a fraction of an ulp), below 2^-60 in magnitude (-ln|x|, as the plain
// path); Gamma below -170 (subnormal results) and within 2^-54 of zero (1/x - gamma).
struct ShiftPair {
  V a;
  Pair b, p;
};
inline Pair pair_product(Pair u, Pair v) {  // unnormalised: the next product or sum takes it as is
  const Pair m = two_prod(u.hi, v.hi);
  return {m.hi, fma_quiet(u.hi, v.lo, fma_quiet(u.lo, v.hi, m.lo))};
}
inline Pair select_pair(__mmask8 m, Pair u, Pair v) { return {select(m, u.hi, v.hi), select(m, u.lo, v.lo)}; }
// u + v exactly for u, v >= 0: the larger first makes the fast form exact.
inline Pair ordered_two_sum(V u, V v) { return fast_two_sum(max(u, v), min(u, v)); }

inline ShiftPair shift_pair(V x) {
  const V a = abs(x);
  const __mmask8 shifted = less(a, splat(kStirling));
  if (!shifted) return {a, {a, zero<V>()}, {splat(1.0), zero<V>()}};  // large arguments only
  // s = a (a + 8) = a^2 + 8a exactly (8a is), the factors s + 7 = (a + 1)(a + 7), s + 12 and
  // s + 15 exact as pairs, as a + 4.
  const Pair sq = two_prod(a, a);
  const Pair s0 = ordered_two_sum(mul_quiet(a, splat(8.0)), sq.hi);
  const Pair s = {s0.hi, add_quiet(s0.lo, sq.lo)};
  const auto plus = [&](double c) {
    const Pair t = ordered_two_sum(s.hi, splat(c));
    return Pair{t.hi, add_quiet(t.lo, s.lo)};
  };
  const Pair p = pair_product(pair_product(pair_product(s, plus(7.0)), pair_product(plus(12.0), plus(15.0))),
                              ordered_two_sum(a, splat(4.0)));
  const Pair b = fast_two_sum(splat(9.0), a);
  return {a, select_pair(shifted, b, {a, zero<V>()}), select_pair(shifted, p, {splat(1.0), zero<V>()})};
}

// St(b) = (b - 1/2)(ln b - 1) + ln(2 pi)/2 - 1/2 + S(1/b^2)/b for a pair b >= 8.5, as a pair;
// inv_b within some 2^-50 of 1/b.hi. With e = 1 - b inv_b, 1/b = inv_b (1 + e) to e^2. From 2^40
// on the correction is left out (below 2^-43 of the result; 1/b^2 would go subnormal).
// kBelow2p52: every lane that counts has b < 2^52 (Gamma), where b.hi - 1/2 is exact and
// multiplies ln b - 1 at once; otherwise (LGamma, up to 2.6e305) -(ln b - 1)/2 is a term of its own.
template <bool kBelow2p52>
inline Pair stirling_of_pair(Pair b, V inv_b) {
  const Pair ln = ln_dd(b.hi, b.lo);
  const V th = sub_quiet(ln.hi, splat(1.0));  // exact: ln b > 2
  const V b_half = sub_quiet(b.hi, splat(0.5));
  // The sums below add terms smaller than the running head (b (ln b - 1) > 9.7 against
  // (ln b - 1)/2, 0.42 and S/b < 0.01), so each is exact in the fast form.
  Pair p;
  V lo;
  if constexpr (kBelow2p52) {
    p = two_prod(b_half, th);
  } else {
    const Pair whole = two_prod(b.hi, th);
    p = fast_two_sum(whole.hi, mul_quiet(th, splat(-0.5)));
    p.lo = add_quiet(p.lo, whole.lo);
  }
  const Pair c = fast_two_sum(p.hi, splat(kStirlingHi));
  inv_b = zero_unless(less(b.hi, splat(0x1p40)), inv_b);
  const V e = fnma_quiet(b.lo, inv_b, fnma_quiet(b.hi, inv_b, splat(1.0)));
  const Pair corr = two_prod(horner(mul_quiet(inv_b, inv_b), gammapoly::kLGammaStirling), inv_b);
  const Pair d = fast_two_sum(c.hi, corr.hi);
  lo = fma_quiet(b_half, ln.lo, p.lo);
  lo = fma_quiet(b.lo, th, lo);
  lo = add_quiet(lo, fma_quiet(corr.hi, e, corr.lo));
  lo = add_quiet(lo, add_quiet(c.lo, add_quiet(d.lo, splat(kStirlingLo))));
  return {d.hi, lo};
}

// n/d for pairs, inv within some 2^-50 of 1/d.hi: the quotient corrected once by its residual.
inline Pair divide_pair(Pair n, Pair d, V inv) {
  const V q = mul_quiet(n.hi, inv);
  const V r = add_quiet(fnma_quiet(q, d.hi, n.hi), fnma_quiet(q, d.lo, n.lo));
  return {q, mul_quiet(r, inv)};
}

// sin(pi r) for r in [0, 1/2] as a pair: the sine of pi r up to 1/4, the cosine of pi (1/2 - r)
// beyond (1/2 - r exact), on the product pi q as a pair. The sine is always the fine pair (2^-59
// measured; the plain one, 2^-54, cost Gamma a fifth of an ulp); the cosine only for kFine
// (LGamma, where the error is an absolute one of a result as small as 2^-5): the plain pair, good
// to 2^-55.7 relatively, is Gamma's.
template <bool kFine>
inline Pair sin_pi_pair(V r) {
  const __mmask8 upper = less(splat(0.25), r);
  const V q = select(upper, sub_quiet(splat(0.5), r), r);
  const Pair pq = two_prod(splat(kPiHi), q);
  const V lo = fma_quiet(splat(kPiLo), q, pq.lo);
  Pair y = trig::sin_pair_fine(pq.hi, lo);
  if (upper) y = select_pair(upper, kFine ? trig::cos_pair_fine(pq.hi, lo) : trig::cos_pair(pq.hi, lo), y);
  return fast_two_sum(y.hi, y.lo);  // the pairs keep the polynomial's tail in lo
}

// |x| sin(pi r), r = |x - round(x)| (exact), as a pair.
template <bool kFine>
inline Pair reflected_pair(V x, V a) {
  const V r = abs(sub_quiet(x, round_integral<_MM_FROUND_TO_NEAREST_INT>(x)));
  const Pair sp = sin_pi_pair<kFine>(r);
  const Pair m = two_prod(sp.hi, a);
  return {m.hi, fma_quiet(sp.lo, a, m.lo)};
}

// lgamma x = St(b) - ln P for x >= 0, ln pi - St(b) - ln(|x| sin(pi r) / P) below, both sums of
// pairs rounded once; then the lanes named above.
inline V lgamma_pair(V x) {
  const ShiftPair h = shift_pair(x);
  const __mmask8 negative = less(x, zero<V>());
  const V inv = reciprocal_single(mul_quiet(h.b.hi, h.p.hi));  // 1/(b P)
  Pair head = stirling_of_pair<false>(h.b, mul_quiet(inv, h.p.hi));
  Pair w = h.p;
  if (negative) {
    w = select_pair(negative, divide_pair(reflected_pair<true>(x, h.a), h.p, mul_quiet(inv, h.b.hi)), w);
    const Pair g = two_sum(splat(kLnPiHi), sub(zero<V>(), head.hi));
    head = select_pair(negative, {g.hi, add_quiet(g.lo, sub_quiet(splat(kLnPiLo), head.lo))}, head);
  }
  V y = add_quiet(head.hi, head.lo);
  if (negative | less(x, splat(kStirling))) {  // else ln P = 0
    const Pair l = ln_dd(w.hi, w.lo);
    const Pair g = two_sum(head.hi, sub(zero<V>(), l.hi));
    y = add_quiet(g.hi, add_quiet(g.lo, sub_quiet(head.lo, l.lo)));
  }
  // Near the zeros at 1 and 2 (|lgamma| below 2^-5 only within 0.08 of them): their zero forms.
  if (const __mmask8 m = less(abs(y), splat(0x1p-5)) & greater_equal(x, splat(kZeroFormsFrom)) & less(x, splat(kZeroFormsTo))) {
    const __mmask8 one = m & less(x, splat(1.5));
    if (one) y = select(one, rounded(near_one(sub_quiet(x, splat(1.0)))), y);
    if (const __mmask8 two = m & ~one) y = select(two, rounded(near_two(sub_quiet(x, splat(2.0)))), y);
  }
  if (const __mmask8 m = less(abs(y), splat(gammazero::kZeroWindow)) & less(splat(kZerosFrom), x) & less(x, splat(-2.0)))
    y = select(m, at_zero(x, m), y);
  if (const __mmask8 m = less(h.a, splat(0x1p-60))) y = select(m, sub(zero<V>(), rounded(ln_dd(h.a, zero<V>()))), y);
  const __mmask8 pole = less_equal(x, zero<V>()) & equal(x, round_integral<_MM_FROUND_TO_ZERO>(x));
  y = select(pole | abs_greater(x, splat(kOverflowBoundD)), splat(std::numeric_limits<double>::infinity()), y);
  return add_quiet(select(unordered(x, x), add_quiet(x, x), y), zero<V>());
}

// Gamma a = e^St(b) / P for x >= 0; below, |Gamma x| = pi P e^-St(b) / (|x| sin(pi r)). The
// exponential of the pair as e^hi/2 (a pair) times 2 (1 + lo), then one quotient of pairs.
inline V tgamma_pair(V x) {
  const ShiftPair h = shift_pair(x);
  const __mmask8 negative = less(x, zero<V>());
  const Pair den = negative ? select_pair(negative, reflected_pair<false>(x, h.a), h.p) : h.p;
  const V inv = reciprocal_single(mul_quiet(h.b.hi, den.hi));  // 1/(b D)
  Pair st = stirling_of_pair<true>(h.b, mul_quiet(inv, den.hi));
  st = {mul(st.hi, negative, st.hi, splat(-1.0)), mul(st.lo, negative, st.lo, splat(-1.0))};
  const Pair e = half_exp_pair<true>(min(max(st.hi, splat(-760.0)), splat(710.0)));
  // e^St/2 = (e.hi + e.lo)(1 + st.lo), normalised: the quotient below corrects its first
  // estimate by 1/D good only to 2^-51, and e.lo may be a twentieth of e.hi.
  Pair num = fast_two_sum(e.hi, fma_quiet(add_quiet(e.hi, e.lo), st.lo, e.lo));
  if (negative) {
    const Pair pp = two_prod(h.p.hi, splat(kPiHi));
    const Pair pi_p = {pp.hi, fma_quiet(h.p.hi, splat(kPiLo), fma_quiet(h.p.lo, splat(kPiHi), pp.lo))};
    num = select_pair(negative, pair_product(num, pi_p), num);
  }
  const Pair g = divide_pair(num, den, mul_quiet(inv, h.b.hi));
  V r = mul(splat(2.0), add_quiet(g.hi, g.lo));
  // Negative where floor(x) is odd, its parity the integer's low bit (the lanes that count, from
  // -170 up, convert exactly).
  const __mmask8 odd = any_bits<double>(_mm512_cvttpd_epi64(round_integral<_MM_FROUND_TO_NEG_INF>(x)), _mm512_set1_epi64(1));
  r = mul(r, negative & odd, r, splat(-1.0));
  if (const __mmask8 m = less(x, splat(-170.0))) r = select(m, tgamma_below(x), r);
  if (const __mmask8 m = less(h.a, splat(0x1p-54))) r = select(m, sub_quiet(div_quiet(splat(1.0), x), splat(kEulerHi)), r);
  const __mmask8 integral_negative = negative & equal(x, round_integral<_MM_FROUND_TO_ZERO>(x));
  r = select(integral_negative, splat(std::numeric_limits<double>::quiet_NaN()), r);
  r = select(less(splat(kGammaOverflowD), x), splat(std::numeric_limits<double>::infinity()), r);
  return select(unordered(x, x), add_quiet(x, x), r);
}

// The double EP slots: the plain path (above) on double arguments.
struct LGammaEpF : LGammaF {
  static V eval(V x) { return lgamma_plain(x, kOverflowBoundD); }
};
struct TGammaEpF : TGammaF {
  static V eval(V x) { return tgamma_plain(x, kGammaOverflowD); }
};

// ---- ExpInt1 -------------------------------------------------------------------------------
// E1 x, the integral of e^-t/t from x to infinity, for x > 0:
//   x <= 1       -gamma - ln x + x P(x): the three terms are of one size near 1, so ln x, gamma
//                and the polynomial's last steps are pairs, summed before the one rounding;
//   1 < x < 256  e^-x f(x)/x with f(x) = x e^x E1(x) (0.6 to 1) on the halves of the binades, a
//                head and a pair polynomial per piece; the quotient by x corrected by its
//                remainder, e^-x as e^-x/2 pair times 2;
//   x >= 256     the same with f a polynomial in 1/x.
// Results below the least normal (x past 701.4, 83.0 single) are scaled as Gamma's, rounding once.
// Special lanes: +-0 give +inf (status 2), negative arguments and -inf NaN (status 1), subnormal
// and zero results of finite arguments status 4; +inf gives +0.
constexpr double kE1Asymptotic = 256.0;

inline V e1_small(V x) {
  const Pair p = horner_pair(x, std::size(gammapoly::kE1Small), [&](size_t j) { return splat(gammapoly::kE1Small[j]); });
  const Pair xp = two_prod(x, p.hi);
  const Pair l = ln_dd(x, zero<V>());
  const Pair s1 = two_sum(splat(kMinusEulerHi), sub(zero<V>(), l.hi));
  const Pair s2 = two_sum(s1.hi, xp.hi);
  const V lo = add_quiet(add_quiet(s1.lo, s2.lo), add_quiet(sub_quiet(splat(kMinusEulerLo), l.lo), fma_quiet(x, p.lo, xp.lo)));
  return add_quiet(s2.hi, lo);
}

inline V e1_large(V x) {
  // f(x) as a pair: the pieces below 256, the series in 1/x above.
  Pair f{zero<V>(), zero<V>()};
  const __mmask8 far = greater_equal(x, splat(kE1Asymptotic));
  if (static_cast<__mmask8>(~far)) {
    const V e = exponent_of(x);
    const __mmask8 upper = greater_equal(mantissa_1_2(x), splat(1.5));
    const V half = select(upper, splat(1.0), zero<V>());
    const __m512i idx = _mm512_cvttpd_epi64(fma_quiet(e, splat(2.0), half));
    const V mid = scale_by_pow2(select(upper, splat(1.75), splat(1.25)), e);
    constexpr auto& c = gammapoly::kE1Pieces;
    const Pair p = horner_pair(sub_quiet(x, mid), std::size(c), [&](size_t j) { return lookup(idx, c[j]); });
    const Pair s = two_sum(lookup(idx, gammapoly::kE1PiecesHead), p.hi);
    f = {s.hi, add_quiet(s.lo, p.lo)};
  }
  if (far) {
    const V u = div_quiet(splat(1.0), x);
    const Pair p = horner_pair(u, std::size(gammapoly::kE1Asymptotic), [&](size_t j) { return splat(gammapoly::kE1Asymptotic[j]); });
    f = {select(far, p.hi, f.hi), select(far, p.lo, f.lo)};
  }
  // q = f/x as a pair.
  const V qh = div_quiet(f.hi, x);
  const V ql = div_quiet(add_quiet(fnma_quiet(qh, x, f.hi), f.lo), x);
  // e^-x, raised by 2^128 where the result would be subnormal.
  using L = LogTraits<double>;
  const __mmask8 tiny = less(splat(-kSubnormalBelow), x);
  Pair z{sub(zero<V>(), x), zero<V>()};
  if (tiny) {
    const Pair s = two_sum(z.hi, splat(kRaise * L::kLn2Hi));
    z = {select(tiny, s.hi, z.hi), select(tiny, add_quiet(s.lo, splat(kRaise * L::kLn2Lo)), z.lo)};
  }
  const Pair e = half_exp_pair<true>(max(z.hi, splat(-760.0)));
  const V e_lo = fma_quiet(add_quiet(e.hi, e.lo), z.lo, e.lo);
  const Pair m = two_prod(e.hi, qh);
  V r = mul(splat(2.0), add_quiet(m.hi, add_quiet(m.lo, fma_quiet(e.hi, ql, mul_quiet(e_lo, qh)))));
  return select(tiny, mul_quiet(r, splat(0x1p-128)), r);
}

inline V e1_d(V x) {
  V r = zero<V>();
  const __mmask8 small = less_equal(x, splat(1.0));
  if (small) r = e1_small(x);
  if (static_cast<__mmask8>(~small)) r = select(small, r, e1_large(min(x, splat(800.0))));
  r = select(equal(x, zero<V>()), splat(std::numeric_limits<double>::infinity()), r);
  r = select(less(x, zero<V>()), splat(std::numeric_limits<double>::quiet_NaN()), r);
  return select(unordered(x, x), add_quiet(x, x), r);
}

// Lanes that may report: non-positive arguments, results below the least normal.
struct ExpInt1F {
  static V eval(V x) { return e1_d(x); }
  static V eval_single(V x) { return e1_d(x); }
  template <typename V2>
  static auto special(V2 x, V2 r) {
    using T = std::conditional_t<kDouble<V2>, double, float>;
    const auto under = less(abs(r), splat(std::numeric_limits<T>::min())) & ~classify<kClassInf | kClassNaN>(x);
    return static_cast<decltype(under)>(less_equal(x, zero<V2>()) | under);
  }
  template <typename T>
  static int status(T x, T r) {
    if (std::isnan(x)) return 0;
    if (x == 0) return kStatusSingularity;
    if (x < 0) return kStatusDomain;
    return std::isfinite(x) && std::fabs(r) < std::numeric_limits<T>::min() ? kStatusUnderflow : 0;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, LGamma, Evaluated<LGammaF, float>)
VM_KERNELS(d, LGamma, Evaluated<LGammaF, double>, Evaluated<LGammaEpF, double>)
VM_KERNELS(s, TGamma, Evaluated<TGammaF, float>)
VM_KERNELS(d, TGamma, Evaluated<TGammaF, double>, Evaluated<TGammaEpF, double>)
// ExpInt1: the LA and HA slots share the accurate kernel, and EP takes it too.
VM_KERNELS(s, ExpInt1, Evaluated<ExpInt1F, float>, Evaluated<ExpInt1F, float>)
VM_KERNELS(d, ExpInt1, Evaluated<ExpInt1F, double>, Evaluated<ExpInt1F, double>)
