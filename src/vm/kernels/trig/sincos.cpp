// Sin, Cos, SinCos and Tan in double precision.
//
// Six kernels are the ones the random distributions call through fixed slots, and their results
// keep their bits; three are here: the double EP sine and sine-cosine (k = round(|x|/pi), pi in
// two parts, a degree-9 odd polynomial, callouts above 2^24 and 2^23) and the double cosine of
// the LA and EP slots (cos x as the sine of (N + 1/2) pi - |x| with pi in three parts and a
// degree-15 polynomial, a whole register through Payne-Hanek once a lane is beyond
// N = 8388606); the single-precision kernels, the single LA three among them, are in
// sincos_single.cpp.
//
// The double cosine's large-argument path runs the layer's Payne-Hanek reduction for the whole
// register and finishes with the accurate sine and cosine of sincos_core.h.
//
// The double HA kernels are the accurate method of sincos_core.h (below one ulp for every finite
// argument): on the short pair reduction below 1.5 2^20, the sine, cosine and sine-cosine in its
// short form, the tangent as the quotient of its pairs; each with the whole method out of line
// for registers holding a larger lane. The LA
// sine, the LA sine-cosine and the LA and EP tangent have methods of their own, sized to their
// class (below).
// Infinite arguments give NaN and report a domain error (status 1); NaN gives NaN and reports
// nothing.
#include <cmath>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/trig/sincos_shared.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using namespace zorp::vm::trig;

// ---- double LA and EP sine, sine-cosine and tangent, each sized to its class -------------------
// Below kShortLimit the short methods (no pairs, no divider); a register with a larger lane (or
// an infinity) takes the plain method whole, which reduces any double.

// The plain method for a register with a large lane, out of line: inlined, its Payne-Hanek
// reduction took registers from the short path of every register in the block (measured: the
// LA sine half as fast again).
template <Fn F>
[[gnu::noinline]] __m512d large_plain(__m512d x) {
  return trig_plain<F>(x);
}
[[gnu::noinline]] void large_sincos_plain(__m512d x, __m512d& sin_x, __m512d& cos_x) { sincos_plain(x, sin_x, cos_x); }

// The LA sine reduces by pi rather than pi/2: x = k pi + r, |r| <= pi/2, sin x = (-1)^k sin r
// with one polynomial over the half turn, where a quarter turn would need the sine's and the
// cosine's and a choice between them. The remainder is within 2^-52 relative (three parts of
// pi, as for pi/2 in trig_reduce.h), and sin r's sensitivity to it, r cos r / sin r, is at most 1.
constexpr Split<double, 3> kPiLa = {0x1.45f306dc9c883p-2, {0x1.921fb54442d18p+1, 0x1.1a62633145c06p-53, 0x1.c1cd129024e09p-106}};

struct SinLaD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = classify<kClassInf | kClassNaN>(x);
    if (abs_at_least(x, splat(kShortLimit))) [[unlikely]] return large_plain<Fn::Sin>(x);
    // Arguments below 2^-27 come out as themselves, signed zeros included: k = 0, r = x, and
    // r u S(u) is below half an ulp of r.
    const Multiple<__m512d> k = nearest_multiple(x, kPiLa.inverse);
    const __m512d r = subtract_multiple(x, k.k, kPiLa);
    const __m512d u = mul(r, r);
    const __m512d rs = flip_if_odd(r, k.shifted);
    return fma(mul(rs, u), estrin(u, trigpoly::kSinPiLaD), rs);
  }
  static int callout(const double* a, double* r) { return trig_callout<double, Fn::Sin>(a, r); }
};

// The lanes past the short reductions (infinities and NaNs among them) take the full method's
// results, computed only when a register has such a lane; the infinities and NaNs are the
// special lanes, found only then.
template <typename Large>
[[gnu::always_inline]] inline __m512d past_short(__m512d x, __mmask8 beyond, __m512d y, __mmask8& special, Large large) {
  special = 0;
  if (beyond) [[unlikely]] {
    special = classify<kClassInf | kClassNaN>(x);
    y = select(beyond, large(x), y);
  }
  return y;
}

struct SinCosLaD : Kernel<double, 32> {
  static __m512d body(__m512d x, __m512d& cos_x, __mmask8& special) {
    special = classify<kClassInf | kClassNaN>(x);
    __m512d sin_x;
    if (abs_at_least(x, splat(kShortLimit))) [[unlikely]] large_sincos_plain(x, sin_x, cos_x);
    else sincos_short(x, sin_x, cos_x);
    return sin_x;
  }
  static int callout(const double* a, double* s, double* c) { return sincos_callout<double>(a, s, c); }
};

// The tangent of each class, one quotient: LA with the poles divided out of its polynomial
// (tan_short_la), EP from t = 2 tan(r/2) (tan_short).
// A register with a lane beyond kShortLimit, an infinity or a NaN also runs the plain method,
// whose results those lanes take; the infinities and NaNs are found only then.
template <bool kLa>
struct TanShortD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    const __mmask8 beyond = not_less_equal(abs(x), splat(kShortLimit));
    const __m512d y = kLa ? tan_short_la(x) : tan_short(x, trigpoly::kTanHalfEpD);
    return past_short(x, beyond, y, special, [](__m512d v) { return large_plain<Fn::Tan>(v); });
  }
  static int callout(const double* a, double* r) { return trig_callout<double, Fn::Tan>(a, r); }
};

// ---- double HA: the accurate method, short below kShortPairLimit -------------------------------
// A register whose lanes all lie within HalfPi's kShortPairLimit takes the short pair and
// sin_cos_short (sincos_core.h); one with a larger lane, an infinity or a NaN also runs the whole
// accurate method out of line (Payne-Hanek from 2^28), whose results those lanes take, so that a
// lane's result never depends on its neighbours. The out-of-line call keeps the Payne-Hanek
// registers off the short path.
template <Fn F>
[[gnu::noinline]] __m512d large_any(__m512d x) {
  return trig_any<F>(x);
}
[[gnu::noinline]] void large_sincos_any(__m512d x, __m512d& sin_x, __m512d& cos_x) { sincos_any(x, sin_x, cos_x); }

inline __mmask8 beyond_short(__m512d x) {
  return not_less_equal(abs(x), splat(HalfPi<double>::kShortPairLimit));  // NaN included
}

template <Fn F>
struct TrigHaD : Kernel<double, 32> {
  static_assert(F != Fn::Tan);
  static __m512d body(__m512d x, __mmask8& special) {
    const __mmask8 beyond = beyond_short(x);
    const PairReduction<__m512d> p = reduce_half_pi_short_pair(x);
    __m512d s, c;
    sin_cos_short(p.r.hi, p.r.lo, s, c);
    // sin(-0) is -0; below 2^-27 the sum gives x itself.
    const __m512d y = F == Fn::Cos ? pick_quadrant<true>(p.k.shifted, s, c) : zeros_of(x, pick_quadrant<false>(p.k.shifted, s, c));
    return past_short(x, beyond, y, special, [](__m512d v) { return large_any<F>(v); });
  }
  static int callout(const double* a, double* r) { return trig_callout<double, F>(a, r); }
};

struct SinCosHaD : Kernel<double, 32> {
  static __m512d body(__m512d x, __m512d& cos_x, __mmask8& special) {
    const __mmask8 beyond = beyond_short(x);
    const PairReduction<__m512d> p = reduce_half_pi_short_pair(x);
    __m512d s, c;
    sin_cos_short(p.r.hi, p.r.lo, s, c);
    __m512d sin_x = zeros_of(x, pick_quadrant<false>(p.k.shifted, s, c));
    cos_x = pick_quadrant<true>(p.k.shifted, s, c);
    special = 0;
    if (beyond) [[unlikely]] {
      special = classify<kClassInf | kClassNaN>(x);
      __m512d sin_large, cos_large;
      large_sincos_any(x, sin_large, cos_large);
      sin_x = select(beyond, sin_large, sin_x);
      cos_x = select(beyond, cos_large, cos_x);
    }
    return sin_x;
  }
  static int callout(const double* a, double* s, double* c) { return sincos_callout<double>(a, s, c); }
};

// The HA tangent: the quotient of the accurate pairs (sincos_core.h), on the short pair below
// kShortPairLimit as the sine and cosine.
struct TanHaD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    const __mmask8 beyond = beyond_short(x);
    const PairReduction<__m512d> p = reduce_half_pi_short_pair(x);
    const DD<__m512d> s = sin_pair(p.r.hi, p.r.lo), c = cos_pair(p.r.hi, p.r.lo);
    const __m512d y = zeros_of(x, tan_by_quadrant(quadrant_of(p.k), s, c));
    return past_short(x, beyond, y, special, [](__m512d v) { return large_any<Fn::Tan>(v); });
  }
  static int callout(const double* a, double* r) { return trig_callout<double, Fn::Tan>(a, r); }
};

// ---- double EP sine and sine-cosine -----------------------------------------------------------
constexpr double kInvPi = 0x1.45f306dc9c883p-2;
constexpr Split<double, 2> kPi2 = {kInvPi, {0x1.921fb54442d18p+1, 0x1.1a62633145c06p-53}};
constexpr Split<double, 3> kPi3 = {kInvPi, {0x1.921fb54442d18p+1, 0x1.1a62633145c06p-53, 0x1.c1cd129024e09p-106}};

// r + r (u S(u)), u = r^2, with the EP polynomial.
inline __m512d sin_ep(__m512d r) {
  const __m512d u = mul_quiet(r, r);
  return fma_quiet(r, mul_quiet(u, horner(u, trigpoly::kSinEpD)), r);
}

struct SinEpD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    const __m512d a = abs(x);
    special = not_less_equal(a, splat(0x1p24));
    const Multiple<__m512d> k = nearest_multiple(a, kInvPi);
    const __m512d r = flip_if_odd(subtract_multiple(a, k.k, kPi2), k.shifted);
    return xor_sign(sin_ep(r), x);
  }
  static int callout(const double* a, double* r) { return trig_callout<double, Fn::Sin>(a, r); }
};

struct SinCosEpD : Kernel<double, 32> {
  static __m512d body(__m512d x, __m512d& cos_x, __mmask8& special) {
    const __m512d a = abs(x);
    special = not_less_equal(a, splat(0x1p23));
    const Multiple<__m512d> k = nearest_multiple(a, kInvPi);
    const __m512d r_s = subtract_multiple(a, k.k, kPi2);
    // Half a turn on from k, toward r_s: r_c in [-pi/2, pi/2], and cos x = -(-1)^k sin r_c for
    // r_s >= 0, (-1)^k sin r_c below.
    const __m512d k_c = add(k.k, xor_sign(splat(0.5), r_s));
    const __m512d r_c = subtract_multiple(a, k_c, kPi2);
    cos_x = flip_bits(xor_sign(flip_if_odd(sin_ep(r_c), k.shifted), r_s), kSignD);
    return xor_sign(sin_ep(flip_if_odd(r_s, k.shifted)), x);
  }
  static int callout(const double* a, double* s, double* c) { return sincos_callout<double>(a, s, c); }
};

// ---- double cosine, LA and EP -----------------------------------------------------------------
struct CosD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    const __m512d a = abs(x);
    special = classify<kClassInf | kClassNaN>(x);
    const Multiple<__m512d> k = half_multiple(a, kInvPi);  // N + 1/2, N = floor(a/pi)
    // Beyond N = 8388606 (and for NaN) the whole register takes the accurate path.
    if (not_less_equal(k.shifted, splat(simd::from_bits<double>(0x43300000007FFFFEull)))) {
      const __m512d y = trig_any<Fn::Cos>(x);
      return select(classify<kClassNaN>(x), mul(x, x), y);
    }
    // r = a - (N + 1/2) pi, the negation of (N + 1/2) pi - a, squared before its last part.
    __m512d r = subtract_multiple<0, 2>(a, k.k, kPi3);
    const __m512d u = mul_quiet(r, r);
    r = subtract_multiple<2>(r, k.k, kPi3);
    // cos x = (-1)^N sin((N + 1/2) pi - a) = (-1)^(N+1) sin r.
    r = flip_bits(flip_if_odd(r, k.shifted), kSignD);
    const __m512d s = fma_quiet(mul_quiet(r, u), horner(u, trigpoly::kCosKernelD), r);
    return select(less(a, splat(0x1p-27)), splat(1.0), s);
  }
  static int callout(const double* a, double* r) { return trig_callout<double, Fn::Cos>(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(d, Sin, SinLaD, TrigHaD<Fn::Sin>, SinEpD)
VM_KERNELS(d, Cos, CosD, TrigHaD<Fn::Cos>)
VM_KERNELS(d, SinCos, SinCosLaD, SinCosHaD, SinCosEpD)
VM_KERNELS(d, Tan, TanShortD<true>, TanHaD, TanShortD<false>)
