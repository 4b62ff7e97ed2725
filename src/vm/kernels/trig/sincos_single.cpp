// Sin, Cos, SinCos, Tan, Sinpi, Cospi and SinCospi in single precision, in float on sixteen
// lanes, one kernel per slot; apart from the double sources (sincos.cpp, sincospi.cpp) so that
// they compile as separate units.
//
// The LA sine, cosine (reduced by pi in three parts) and sine-cosine (by pi/2 in three parts,
// sine and cosine polynomials swapped by quadrant) are the kernels the random distributions call
// through fixed slots, and keep their bits up to their limits (10000; 2^19 for the sine-cosine),
// lane by lane; lanes beyond take the HA kernels' method below 2^20, and from there Payne-Hanek
// in double with the quarter-turn polynomials of the sine-cosine.
//
// The others reduce in float below 2^20, where x - k c0 is exact (trig_reduce.h):
//  * HA: |x| = k pi/2 + hi + lo, k c1 as an exact product and x - k c0 - k c1 as an exact sum,
//    so the pair is within 2^-26 of the remainder relative (the smallest remainder of a float
//    below 2^34 is 2^-27.83); sin r = hi + (hi u S(u) + lo) (the tail at most a tenth of the
//    result) and cos r = (1 - hi^2/2) + (u^2 C(u) - hi lo + what 1 - hi^2/2 lost), u = hi^2,
//    each rounded once. The tangent (and the pi functions) take the sine as a closer pair, and
//    the tangent divides the pairs without a division: 1/d from the reciprocal estimate and a
//    Newton step, q = n/d, then q + (n - q d)/d with the residual from the pairs' parts.
//  * LA tangent and EP: a single-value reduction in three parts (relative error 2^-22.6), of x
//    itself for the odd functions (by splits whose parts are all positive, so that -0 stays
//    -0); the sine by pi with one odd polynomial over half a turn, the cosine from N + 1/2 =
//    floor(|x|/pi) + 1/2, the sine-cosine by pi/2 with the shortest pair, and the tangent from
//    one odd polynomial t over a quarter turn and -1/t for odd quadrants from the reciprocal
//    estimate (2^-14; LA after one Newton step).
// A register with a lane at or beyond 2^20 (or a NaN) is computed whole by the plain method of
// sincos_core.h (single precision in double, Payne-Hanek for the large lanes), within HA.
//
// Infinite arguments give NaN and report a domain error (status 1); NaN gives NaN and reports
// nothing.
#include <cmath>

#include "simd/exact.h"
#include "simd/ints.h"
#include "simd/poly.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/common/slots.h"
#include "vm/kernels/trig/sincos_shared.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using namespace zorp::vm::trig;

// ---- HA and EP in float -----------------------------------------------------------------------
// Below this every lane reduces in float; a register with a lane at or beyond it (or a NaN)
// goes whole through the plain method in double.
constexpr float kFloatLimitF = HalfPi<float>::kSingleLimit;

// That path out of line, so that the main loop keeps its registers for the float method.
template <Fn F>
[[gnu::noinline]] __m512 plain_f(__m512 x) {
  return trig_plain<F>(x);
}
[[gnu::noinline]] void sincos_plain_f(__m512 x, __m512& sin_x, __m512& cos_x) { sincos_plain(x, sin_x, cos_x); }

// |x| = k pi/2 + hi + lo, |x| < 2^20. r1 = a - k c0 is exact, -k c1 = p + e exactly, and
// r1 + p = s + t exactly in a fast two-sum (r1 is a multiple of 2^-23, or of 2^-24 below 1, and
// |p| < 2^-4: r1 lies on p's grid, which is what the fast two-sum needs; checked on every float
// below 2^20 against the full two-sum). lo = t + e - k c2 is left unnormalised: |lo| <= 2^-24 |s|
// + 2^-28.4, and where that is not small beside s (|s| near the smallest remainder, 2^-27.8) the
// polynomials, taken at s, are 1 and s to far below an ulp.
struct PairF {
  __m512 hi, lo;
  __m512i quadrant;  // k's low bits in the 32-bit lanes
};
inline PairF reduce_pair_f(__m512 a) {
  constexpr auto& c = HalfPi<float>::kSplit;
  const Multiple<__m512> k = nearest_multiple(a, c.inverse);
  const __m512 r1 = fma_quiet(k.k, splat(-c.part[0]), a);
  const DD<__m512> p = two_prod(k.k, splat(-c.part[1]));
  const DD<__m512> s = fast_two_sum(r1, p.hi);
  const __m512 t = fma_quiet(k.k, splat(-c.part[2]), add(s.lo, p.lo));
  return {s.hi, t, bits(k.shifted)};
}

// ---- single LA --------------------------------------------------------------------------------
constexpr float kInvPiF = 0x1.45f306p-2f;
constexpr Split<float, 3> kPiF = {kInvPiF, {0x1.921fb6p+1f, -0x1.777a5cp-24f, -0x1.ee59dap-49f}};
constexpr Split<float, 3> kHalfPiF = {0x1.45f306p-1f, {0x1.921fb6p+0f, -0x1.777a5cp-25f, -0x1.ee59dap-50f}};
constexpr float kLargeF = 10000.0f;

// Sine and cosine of a = q pi/2 + r (|r| <= pi/4, q's low bits in the 32-bit lanes of qbits)
// with the sine-cosine polynomials; the sine still without the sign of x.
inline void quarter_turn_f(__m512 r, __m512i qbits, __m512& sin_a, __m512& cos_a) {
  const __m512 u = mul_quiet(r, r);
  const __m512 s = fma_quiet(r, horner(u, trigpoly::kSinCosSinF), r);
  const __m512 c = horner(u, trigpoly::kSinCosCosF);
  const __mmask16 odd = iequal<float>(bit_and(qbits, isplat<float>(1)), isplat<float>(1));
  const __m512i bit1 = shift_left<30, float>(bit_and(qbits, isplat<float>(2)));
  const __m512i bit0 = shift_left<31, float>(qbits);
  sin_a = as_float(bit_xor(bits(select(odd, c, s)), bit1));
  cos_a = as_float(bit_xor(bits(select(odd, s, c)), bit_xor(bit1, bit0)));
}

// Beyond the fixed kernels' limits, sine and cosine of |x| in LA: below 2^20 the HA kernels'
// method in float (sin_cos_ha_f, further down), from 2^20 (or with an infinity in the register)
// Payne-Hanek in double for the whole register.
// Out of line, as plain_f, so that the fixed method's loop keeps its registers and constants.
inline void sin_cos_ha_f(__m512 a, __m512& sin_a, __m512& cos_a);
[[gnu::noinline]] void beyond_f(__m512 x, __m512 a, __m512& sin_a, __m512& cos_a) {
  if (static_cast<__mmask16>(~less(a, splat(kFloatLimitF)) & ~classify<kClassNaN>(x))) {
    const HugeReduction<__m512> h = reduce_half_pi_huge(a);
    quarter_turn_f(h.r, h.quadrant, sin_a, cos_a);
  } else {
    sin_cos_ha_f(a, sin_a, cos_a);
  }
}

// Non-finite lanes: NaN, the argument times 0 (an infinity) or times itself (a NaN).
inline __m512 nan_lanes(__m512 x, __m512 y) {
  return select(classify<kClassNaN>(x), mul(x, x), select(classify<kClassInf>(x), mul(x, zero<__m512>()), y));
}

// The single LA sine and cosine: `fast` is the fixed reduction by pi of |x|, for every lane up to
// 10000 whatever its neighbours; lanes beyond (and NaNs) are taken by beyond_f.
template <bool kCos, typename Fast>
inline __m512 sin_or_cos_la(__m512 x, __mmask16& special, Fast fast) {
  const __m512 a = abs(x);
  special = classify<kClassInf | kClassNaN>(x);
  const __mmask16 beyond = not_less_equal(a, splat(kLargeF));
  if (beyond) {
    __m512 s, c;
    beyond_f(x, a, s, c);
    const __m512 y = kCos ? c : xor_sign(s, x);
    return nan_lanes(x, beyond == 0xFFFF ? y : select(beyond, y, fast(a)));
  }
  return fast(a);
}

struct SinLaF : Kernel<float, 32> {
  static __m512 body(__m512 x, __mmask16& special) {
    return sin_or_cos_la<false>(x, special, [x](__m512 a) {
      const Multiple<__m512> k = nearest_multiple(a, kInvPiF);
      __m512 r = subtract_multiple(a, k.k, kPiF);
      const __m512 u = mul_quiet(r, r);
      r = flip_if_odd(r, k.shifted);
      return xor_sign(fma_quiet(mul_quiet(horner(u, trigpoly::kSinLaF), u), r, r), x);
    });
  }
  static int callout(const float* a, float* r) { return trig_callout<float, Fn::Sin>(a, r); }
};

struct CosLaF : Kernel<float, 32> {
  static __m512 body(__m512 x, __mmask16& special) {
    return sin_or_cos_la<true>(x, special, [](__m512 a) {
      // A quarter turn on: cos x = (-1)^k sin(a + pi/2 - k pi), k the multiple nearest to
      // (a + pi/2)/pi, so h = k - 1/2 multiplies pi.
      const __m512 shifted_a = add_quiet(a, splat(kHalfPiF.part[0]));
      const Multiple<__m512> k = nearest_multiple(shifted_a, kInvPiF);
      __m512 r = subtract_multiple(a, sub(k.k, splat(0.5f)), kPiF);
      const __m512 u = mul_quiet(r, r);
      r = flip_if_odd(r, k.shifted);
      const __m512 s = fma_quiet(mul_quiet(u, r), horner(u, trigpoly::kCosLaF), r);
      // Arguments too small to move pi/2 give exactly 1.
      return select(equal(shifted_a, splat(kHalfPiF.part[0])), splat(1.0f), s);
    });
  }
  static int callout(const float* a, float* r) { return trig_callout<float, Fn::Cos>(a, r); }
};

// The fixed reduction of the LA sine-cosine, for |x| below 2^19.
inline void sincos_la_fast(__m512 a, __m512& s, __m512& c) {
  const Multiple<__m512> q = nearest_multiple(a, kHalfPiF.inverse);
  quarter_turn_f(subtract_multiple(a, q.k, kHalfPiF), bits(q.shifted), s, c);
}
// A register with a lane at or beyond 2^19 (or a NaN): those lanes by beyond_f, the others by the
// fixed reduction; out of line, so that the common loop is the fixed method alone.
[[gnu::noinline]] void sincos_la_mixed(__m512 x, __m512 a, __mmask16 beyond, __m512& s, __m512& c) {
  beyond_f(x, a, s, c);
  if (beyond != 0xFFFF) {
    __m512 fs, fc;
    sincos_la_fast(a, fs, fc);
    s = select(beyond, s, fs);
    c = select(beyond, c, fc);
  }
}

struct SinCosLaF : Kernel<float, 32> {
  static __m512 body(__m512 x, __m512& cos_x, __mmask16& special) {
    const __m512 a = abs(x);
    special = classify<kClassInf | kClassNaN>(x);
    __m512 s;
    if (const __mmask16 beyond = static_cast<__mmask16>(~less(a, splat(0x1p19f)))) {
      __m512 ms, mc;  // temporaries for the call, so that s and cos_x stay in registers elsewhere
      sincos_la_mixed(x, a, beyond, ms, mc);
      s = ms;
      cos_x = mc;
    } else {
      sincos_la_fast(a, s, cos_x);
    }
    cos_x = nan_lanes(x, cos_x);
    return nan_lanes(x, xor_sign(s, x));
  }
  static int callout(const float* a, float* s, float* c) { return sincos_callout(a, s, c); }
};

// sin and cos of hi + lo within a quarter turn, each as a head and a tail below a tenth of it
// (the HA polynomials); the result is head + tail rounded.
struct SinCosPair {
  __m512 s_hi, s_lo, c_hi, c_lo;
};
inline SinCosPair sin_cos_pair_f(__m512 hi, __m512 lo) {
  const __m512 u = mul(hi, hi);
  const __m512 s_lo = fma(mul(hi, u), horner(u, trigpoly::kSinHaF), lo);
  // 1 - hi^2/2 rounded once (hi/2 is exact), and what that rounding lost (1 - w is exact).
  const __m512 half = mul(hi, splat(-0.5f));
  const __m512 w = fma(half, hi, splat(1.0f));
  const __m512 lost = fma(half, hi, sub(splat(1.0f), w));
  const __m512 c_lo = fma(mul(u, u), horner(u, trigpoly::kCosHaF), fnma(hi, lo, lost));
  return {hi, s_lo, w, c_lo};
}

// The sine pair more closely, for the HA tangent (whose quotient doubles the pairs' relative
// error in ulps at the top of a binade): hi^3 = h + h_lo exactly enough (from the exact square),
// its product with S's constant term c0 exact, and that head added to hi in a fast two-sum; the
// rest (hi^3 u S1(u), the low parts and lo) is below 2^-5 of the tail.
constexpr float kSinHaRestF[3] = {trigpoly::kSinHaF[1], trigpoly::kSinHaF[2], trigpoly::kSinHaF[3]};
inline SinCosPair sin_cos_pair_fine_f(__m512 hi, __m512 lo) {
  SinCosPair p = sin_cos_pair_f(hi, lo);
  const DD<__m512> u = two_prod(hi, hi);
  const __m512 h = mul(hi, u.hi);
  const __m512 h_lo = fma(hi, u.lo, fms(hi, u.hi, h));
  const DD<__m512> t = two_prod(h, splat(trigpoly::kSinHaF[0]));
  const __m512 rest = fma(h, mul(u.hi, horner(u.hi, kSinHaRestF)), fma(h_lo, splat(trigpoly::kSinHaF[0]), add(t.lo, lo)));
  const DD<__m512> s = fast_two_sum(hi, t.hi);
  p.s_hi = s.hi;
  p.s_lo = add(s.lo, rest);
  return p;
}

// The sine (without the sign of x) and cosine of k pi/2 + r from those of r.
struct ByQuadrant {
  __mmask16 odd;
  __m512i sin_sign, cos_sign;
};
inline ByQuadrant by_quadrant_f(__m512i q) {
  const __mmask16 odd = any_bits<float>(q, isplat<float>(1));
  const __m512i bit1 = shift_left<30, float>(bit_and(q, isplat<float>(2)));
  const __m512i bit0 = shift_left<31, float>(q);
  return {odd, bit1, bit_xor(bit1, bit0)};
}
inline __m512 sin_of(const ByQuadrant& b, __m512 s, __m512 c) {
  return as_float(bit_xor(bits(select(b.odd, c, s)), b.sin_sign));
}
inline __m512 cos_of(const ByQuadrant& b, __m512 s, __m512 c) {
  return as_float(bit_xor(bits(select(b.odd, s, c)), b.cos_sign));
}

// Sine (without the sign of x) and cosine of a register with every |x| below the float limit, HA.
inline void sin_cos_ha_f(__m512 a, __m512& sin_a, __m512& cos_a) {
  const PairF r = reduce_pair_f(a);
  const SinCosPair p = sin_cos_pair_f(r.hi, r.lo);
  const ByQuadrant b = by_quadrant_f(r.quadrant);
  const __m512 s = add(p.s_hi, p.s_lo), c = add(p.c_hi, p.c_lo);
  sin_a = sin_of(b, s, c);
  cos_a = cos_of(b, s, c);
}

// Sine (F = Sin) or cosine of a register with every |x| below the float limit, HA.
template <Fn F>
inline __m512 sin_or_cos_ha(__m512 x, __m512 a) {
  __m512 s, c;  // the one not returned is dropped by the compiler
  sin_cos_ha_f(a, s, c);
  if constexpr (F == Fn::Sin) return xor_sign(s, x);
  else return c;
}

// Splits of pi and pi/2 whose parts are all positive (c0 and c1 rounded down, c2 to nearest), for
// the odd functions reduced with their sign: every product k c is then -0 for k = 0, and -0
// keeps its sign through the reduction. x - k c0 is exact as with the nearest parts (|x - k c0|
// < 2 below 2^20), and pi - c0 - c1 - c2 is 2^-72.2 (pi/2: 2^-73.2).
constexpr Split<float, 3> kPiDownF = {kInvPiF, {0x1.921fb4p+1f, 0x1.4442d0p-23f, 0x1.84698ap-47f}};
constexpr Split<float, 3> kHalfPiDownF = {0x1.45f306p-1f, {0x1.921fb4p+0f, 0x1.4442d0p-24f, 0x1.84698ap-48f}};

// EP sine by half turns: x = k pi + r, sin x = (-1)^k sin r, |r| <= pi/2.
inline __m512 sin_ep(__m512 x) {
  const Multiple<__m512> k = nearest_multiple(x, kInvPiF);
  __m512 r = subtract_multiple(x, k.k, kPiDownF);
  const __m512 u = mul_quiet(r, r);
  r = flip_if_odd(r, k.shifted);
  return fma(mul(r, u), horner(u, trigpoly::kSinEpF), r);
}
// EP cosine a quarter turn on: |x| = (N + 1/2) pi + r with N = floor(|x|/pi), |r| <= pi/2, and
// cos x = (-1)^(N+1) sin r.
inline __m512 cos_ep(__m512 a) {
  const Multiple<__m512> k = half_multiple(a, kInvPiF);
  __m512 r = subtract_multiple(a, k.k, kPiF);
  const __m512 u = mul_quiet(r, r);
  r = as_float(bit_xor3(bits(r), shift_left<31, float>(bits(k.shifted)), isplat<float>(kSignF)));
  return fma(mul(r, u), horner(u, trigpoly::kSinEpF), r);
}
// EP sine and cosine of r within a quarter turn.
inline void quarter_ep(__m512 r, __m512& s, __m512& c) {
  const __m512 u = mul(r, r);
  s = fma(mul(r, u), horner(u, trigpoly::kSinQuarterEpF), r);
  c = horner(u, trigpoly::kCosQuarterEpF);
}

template <Fn F, Acc A>
struct TrigF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = classify<kClassInf | kClassNaN>(x);
    const __m512 a = abs(x);
    if (not_less_equal(a, splat(kFloatLimitF))) return plain_f<F>(x);
    if constexpr (F == Fn::Tan) {
      return A == Acc::HA ? xor_sign(tan_f<A>(a), x) : tan_f<A>(x);
    } else if constexpr (A == Acc::EP) {
      return F == Fn::Sin ? sin_ep(x) : cos_ep(a);
    } else {
      return sin_or_cos_ha<F>(x, a);
    }
  }
  static int callout(const float* a, float* r) { return trig_callout<float, F>(a, r); }

  // tan r for even k, -1/tan r for odd k: of |x| in HA, of x itself in LA and EP.
  template <Acc B>
  static __m512 tan_f(__m512 a) {
    if constexpr (B != Acc::HA) {
      // LA and EP: t = tan r from one odd polynomial, and -1/t for odd k from the reciprocal
      // estimate (2^-14), in LA after one Newton step.
      const Multiple<__m512> k = nearest_multiple(a, kHalfPiDownF.inverse);
      const Reduction<__m512> r = {k, subtract_multiple(a, k.k, kHalfPiDownF)};
      const __m512 u = mul(r.r, r.r);
      const __m512 t = fma(mul(r.r, u), B == Acc::LA ? horner(u, trigpoly::kTanLaF) : horner(u, trigpoly::kTanEpF), r.r);
      const __mmask16 odd = any_bits<float>(bits(r.k.shifted), isplat<float>(1));
      __m512 y = reciprocal_estimate(t);
      if constexpr (B == Acc::LA) y = fma(y, fnma(t, y, splat(1.0f)), y);
      return select(odd, flip_bits(y, kSignF), t);
    } else {
      const PairF r = reduce_pair_f(a);
      const SinCosPair p = sin_cos_pair_fine_f(r.hi, r.lo);
      const __mmask16 odd = any_bits<float>(r.quadrant, isplat<float>(1));
      const __m512 n_hi = select(odd, p.c_hi, p.s_hi), n_lo = select(odd, p.c_lo, p.s_lo);
      const __m512 d_hi = select(odd, p.s_hi, p.c_hi), d_lo = select(odd, p.s_lo, p.c_lo);
      // 1/d from the estimate and one Newton step (relative error about 2^-28), then the
      // quotient, corrected once by its residual n - q d (in HA from the pairs' parts: n_hi -
      // q d_hi is nearly exact in one multiply-add, q d_hi being close to n_hi).
      const __m512 d = add(d_hi, d_lo), n = add(n_hi, n_lo);
      __m512 y = reciprocal_estimate(d);
      y = fma(y, fnma(d, y, splat(1.0f)), y);
      __m512 q = mul(n, y);
      const __m512 e = fnma(q, d_lo, add(fnma(q, d_hi, n_hi), n_lo));
      q = fma(e, y, q);
      return select(odd, flip_bits(q, kSignF), q);
    }
  }
};

template <Acc A>
struct SinCosF : Kernel<float, 64> {
  static __m512 body(__m512 x, __m512& cos_x, __mmask16& special) {
    special = classify<kClassInf | kClassNaN>(x);
    const __m512 a = abs(x);
    __m512 sin_x;
    if (not_less_equal(a, splat(kFloatLimitF))) {
      sincos_plain_f(x, sin_x, cos_x);
      return sin_x;
    }
    __m512 s;
    if constexpr (A == Acc::EP) {
      const Reduction<__m512> r = reduce_half_pi(a);
      __m512 c;
      quarter_ep(r.r, s, c);
      const ByQuadrant b = by_quadrant_f(bits(r.k.shifted));
      cos_x = cos_of(b, s, c);
      s = sin_of(b, s, c);
    } else {
      sin_cos_ha_f(a, s, cos_x);
    }
    return xor_sign(s, x);
  }
  static int callout(const float* a, float* s, float* c) { return sincos_callout(a, s, c); }
};

// ---- Sinpi, Cospi and SinCospi ----------------------------------------------------------------
// Reduced exactly in half turns as the double kernels are (sincospi.cpp): y = x - 2 trunc(x/2),
// n = round(2y), f = y - n/2 (|f| <= 1/4, n mod 4 the quadrant), all exact; then pi f as the
// pair f C_hi + (its rounding error + f C_lo) and the HA sine (the closer pair of the tangent)
// and cosine of the pair. Exact cases as the double kernels: f = 0 gives sinpi(n) the sign of x
// and cospi(n + 1/2) = +0.
// Below 2^-100 the sine is pi x at a scale of 2^64, so that the pair's low word stays normal.
constexpr float kPiHiF = 0x1.921fb6p+1f, kPiLoF = -0x1.777a5cp-24f;

template <bool kSin, bool kCos>
inline void sincospi_f(__m512 x, __m512& sin_x, __m512& cos_x) {
  const __m512 y = fma(round_integral<_MM_FROUND_TO_ZERO>(mul(x, splat(0.5f))), splat(-2.0f), x);
  const __m512 n = round_integral<_MM_FROUND_TO_NEAREST_INT>(add(y, y));
  const __m512 f = fma(n, splat(-0.5f), y);
  const __m512i q = bits(add(n, splat(0x1.8p23f)));  // n's low bits
  const __m512 hi = mul(f, splat(kPiHiF));
  const __m512 lo = fma(f, splat(kPiLoF), fms(f, splat(kPiHiF), hi));
  const SinCosPair p = sin_cos_pair_fine_f(hi, lo);
  const ByQuadrant b = by_quadrant_f(q);
  const __m512 s = add(p.s_hi, p.s_lo), c = add(p.c_hi, p.c_lo);
  const __mmask16 zero_f = equal(f, zero<__m512>());
  const __mmask16 nonfinite = classify<kClassInf | kClassNaN>(x);
  if constexpr (kSin) {
    __m512 r = sin_of(b, s, c);
    if (const __mmask16 tiny = less(abs(x), splat(0x1p-100f))) {
      const __m512 xs = mul(x, splat(0x1p64f));
      const __m512 t_hi = mul(xs, splat(kPiHiF));
      const __m512 t = add(t_hi, fma(xs, splat(kPiLoF), fms(xs, splat(kPiHiF), t_hi)));
      r = select(tiny, mul(t, splat(0x1p-64f)), r);
    }
    r = select(zero_f & ~b.odd, as_float(bit_and(bits(x), isplat<float>(kSignF))), r);
    sin_x = select(nonfinite, mul(x, zero<__m512>()), r);
  }
  if constexpr (kCos) {
    const __m512 r = select(zero_f & b.odd, zero<__m512>(), cos_of(b, s, c));
    cos_x = select(nonfinite, mul(x, zero<__m512>()), r);
  }
}

template <Fn F>
inline __m512 sin_or_cos_pi_f(__m512 x) {
  __m512 s, c;
  sincospi_f<F == Fn::Sin, F == Fn::Cos>(x, s, c);
  return F == Fn::Sin ? s : c;
}

template <Fn F>
struct PiF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = classify<kClassInf | kClassNaN>(x);
    return sin_or_cos_pi_f<F>(x);
  }
  // The vector method on one lane: the same bits, and the status of the result.
  static int callout(const float* a, float* r) {
    const float x = *a;
    *r = std::isnan(x) ? x * x : lane<0>(sin_or_cos_pi_f<F>(splat(x)));
    return result_status<kTrigReports>(*r, x);
  }
};

struct SinCosPiF : Kernel<float, 64> {
  static __m512 body(__m512 x, __m512& cos_x, __mmask16& special) {
    special = classify<kClassInf | kClassNaN>(x);
    __m512 sin_x;
    sincospi_f<true, true>(x, sin_x, cos_x);
    return sin_x;
  }
  static int callout(const float* a, float* s, float* c) {
    const float x = *a;
    *s = std::isnan(x) ? x * x : lane<0>(sin_or_cos_pi_f<Fn::Sin>(splat(x)));
    *c = std::isnan(x) ? x * x : lane<0>(sin_or_cos_pi_f<Fn::Cos>(splat(x)));
    return result_status<kTrigReports>(*s, x);
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Sin, SinLaF, TrigF<Fn::Sin, Acc::HA>, TrigF<Fn::Sin, Acc::EP>)
VM_KERNELS(s, Cos, CosLaF, TrigF<Fn::Cos, Acc::HA>, TrigF<Fn::Cos, Acc::EP>)
VM_KERNELS(s, SinCos, SinCosLaF, SinCosF<Acc::HA>, SinCosF<Acc::EP>)
VM_KERNELS(s, Tan, TrigF<Fn::Tan, Acc::LA>, TrigF<Fn::Tan, Acc::HA>, TrigF<Fn::Tan, Acc::EP>)
VM_KERNELS(s, Sinpi, PiF<Fn::Sin>, PiF<Fn::Sin>, PiF<Fn::Sin>)
VM_KERNELS(s, Cospi, PiF<Fn::Cos>, PiF<Fn::Cos>, PiF<Fn::Cos>)
VM_KERNELS(s, SinCospi, SinCosPiF)
