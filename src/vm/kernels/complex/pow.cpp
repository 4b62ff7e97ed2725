// Pow (a^b of two complex vectors) and Powx (every element to one complex exponent) of complex
// elements, single (c) and double (z) precision, one kernel for every slot:
//
//   a^b = e^w,  w = b ln a = (br ln|a| - bi arg a) + i (br arg a + bi ln|a|)
//
// The vector path carries ln a and w as double-double pairs: ln|a| from |a|^2 as the polar
// pieces give it (every bit of |a|^2 - 1 near the unit circle) through the power's logarithm
// (about 2^-65 relative), arg a as the fine angle pair of the inverse trigonometric family
// (about 2^-62), the products with b split exactly. Then e^(Re w) is the exponential's pair
// times (1 + its low part), and cos and sin of Im w are the accurate pairs of the reduced
// argument with Im w's low part joined to it; each part is their product rounded once. Single
// precision runs the same path on its widened halves and rounds once more.
//
// The accuracy a part can reach is set by the absolute error of Im w, which a part near a zero
// of the cosine or sine carries relative to the modulus |a^b| and not to itself: that error is
// some 2^-62 T with T = 1 + |br arg a| + |bi ln|a||, the size of Im w's terms. So each part of
// a double result is within one ulp of itself wherever it is at least 2^-10 T of the modulus,
// and within one ulp of 2^-10 T |a^b| nearer the zeros of the phase (the accuracy tests hold
// the parts to that). Where T passes some 2^44 no double-double knows the phase to a fraction
// of a turn: it needs arg a to as many bits as b has octaves, and only the modulus and the class
// of each part mean anything there.
//
// Elements the vector path leaves (rare; each is finished one at a time in extended precision):
//  - |Re w| beyond 600: the exponential is taken of Re w - k ln 2 and the parts are scaled by
//    2^k with one rounding, so results overflow or fall into the subnormals as their exact
//    values do; where w itself overflows, w in extended precision;
//  - results that are exact: a power of a real or imaginary a, or of one on a diagonal, whose
//    phase is a whole number of quarter turns (a real exponent b, or |a| = 1). Their zero part
//    is an exact zero and the other the real power |a|^br; the exp-log route would leave a
//    residue of 2^-53 where the result is 0 (i^2 = -1, (-4)^0.5 = 2i, (2 + 2i)^2 = 8i);
//  - zero and non-finite parts, which take the values of e^(b ln a) with C's logarithm, product
//    and exponential of special values: 0^b = 0 for Re b > 0 and (inf, NaN) for Re b < 0,
//    2^(inf + 0i) = (inf, NaN), 1^inf = NaN. a^0 = 1 for every a, a NaN included.
// The branch cut follows the sign of a zero imaginary part, as C's logarithm does:
// (-4 - 0i)^0.5 = -2i.
//
// Statuses: a part that overflows (3) or underflows (4) from finite arguments, a NaN from non-NaN
// arguments (1); an exact zero part is no underflow.
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <type_traits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/vec.h"
#include "vm/kernels/common/atan_core.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/common/pow_core.h"
#include "vm/kernels/complex/complex_core.h"
#include "vm/kernels/complex/polar.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using polar::kImagLanes;
using LD = long double;
using P = DD<__m512d>;

constexpr double kFar = 600;         // |Re w| beyond: the exponential is taken of Re w - k ln 2
constexpr double kClampW = 0x1p15;   // |Re w| beyond: 2^k leaves even extended precision's range
// ln 2 in two parts, the high one with 36 significant bits: k ln2_hi is exact for |k| < 2^17.
constexpr double kLn2Hi = 0x1.62e42fefa0000p-1, kLn2Lo = 0x1.cf79abc9e3b3ap-40;
constexpr double kInvLn2 = 0x1.71547652b82fep0;

// One register's results before their last rounding: each part is (hi + lo) 2^k (k nonzero only
// for |Re w| beyond kFar), and the elements whose w did not come out finite.
struct Unrounded {
  __m512d hi, lo, k;
  P ln;  // ln|a| (real lanes) and arg a (imaginary lanes)
  __mmask8 w_lost;
};

inline P times(__m512d b, P v) {
  P p = two_prod(b, v.hi);
  p.lo = fma(b, v.lo, p.lo);
  return p;
}

// a^b of four elements with finite parts, a and b nonzero (other lanes give what they give).
inline Unrounded pow_lanes(__m512d a, __m512d b) {
  // ln a: ln|a| in the real lanes, arg a in the imaginary lanes, as pairs.
  const polar::SquaredModulus m = polar::squared_modulus(a);
  P l2 = ln_for_pow<true>(m.w);
  l2.lo = add(l2.lo, trig::low_quotient(m.c, m.w));  // ln(w + c) = ln w + c/w, c/w below 2^-52
  const P octaves = two_prod(m.extra, splat(kLn2Hi));  // exact
  const P s = two_sum(l2.hi, octaves.hi);
  const __m512d ln_lo = add(add(s.lo, l2.lo), mul(m.extra, splat(kLn2Lo)));
  const P ln_abs = fast_two_sum(mul(s.hi, splat(0.5)), mul(ln_lo, splat(0.5)));
  const __m512d x = real_parts(a), y = imag_parts(a);
  P theta = angles::angle<true>({abs(y), zero<__m512d>()}, {abs(x), zero<__m512d>()}, angles::sign_set(x));
  const __m512i y_sign = bit_and(bits(y), isplat<double>(INT64_MIN));
  theta = {as_double(bit_xor(bits(theta.hi), y_sign)), as_double(bit_xor(bits(theta.lo), y_sign))};
  const P u = {select(kImagLanes, theta.hi, ln_abs.hi), select(kImagLanes, theta.lo, ln_abs.lo)};
  const P us = {swap_parts(u.hi), swap_parts(u.lo)};

  // w = br (ln|a|, arg a) + bi (-arg a, ln|a|), lane by lane.
  const P p1 = times(real_parts(b), u), p2 = times(negate_real(imag_parts(b)), us);
  const P ws = two_sum(p1.hi, p2.hi);
  const P w = fast_two_sum(ws.hi, add(ws.lo, add(p1.lo, p2.lo)));
  const __mmask8 w_lost = either_lane(classify<kClassInf | kClassNaN>(w.hi));

  // e^(Re w) as a pair, in both lanes of each element; beyond kFar of Re w - k ln 2.
  const __m512d wr = min(max(real_parts(w.hi), splat(-kClampW)), splat(kClampW));
  const __m512d wr_lo = zero_unless(static_cast<__mmask8>(~abs_greater(real_parts(w.hi), splat(kClampW))), real_parts(w.lo));
  const __m512d k = zero_unless(abs_greater(wr, splat(kFar)), round_integral<_MM_FROUND_TO_NEAREST_INT>(mul(wr, splat(kInvLn2))));
  const P xr = two_sum(fnma(k, splat(kLn2Hi), wr), fnma(k, splat(kLn2Lo), wr_lo));
  const P half = half_exp_pair<true>(xr.hi);
  // renormalised first (the pair's tail is up to a tenth of its head), so that the low part of
  // the argument may multiply the head alone
  P e = fast_two_sum(add(half.hi, half.hi), add(half.lo, half.lo));
  e = fast_two_sum(e.hi, fma(e.hi, xr.lo, e.lo));

  // cos (real lanes) and sin (imaginary lanes) of Im w.
  const __mmask8 finite_w = static_cast<__mmask8>(~classify<kClassInf | kClassNaN>(w.hi));
  const P t = polar::cis_pair(zero_unless(finite_w, imag_parts(w.hi)), zero_unless(finite_w, imag_parts(w.lo)));
  const __m512d hi = mul(e.hi, t.hi);
  return {hi, add(fms(e.hi, t.hi, hi), fma(e.hi, t.lo, mul(e.lo, t.hi))), k, u, w_lost};
}

// ---- one element at a time ----------------------------------------------------------------------
inline bool finite4(double ar, double ai, double br, double bi) {
  return std::isfinite(ar) && std::isfinite(ai) && std::isfinite(br) && std::isfinite(bi);
}

// The exact results: arg a = q pi/2 with q in {0, +-1, 2, -2} on the axes, +-1/2 and +-3/2 on the
// diagonals; with a real b (or |a| = 1) the phase br q pi/2 + bi ln|a| is p pi/2 with p = br q,
// and where p is whole the result is |a^b| i^p. False elsewhere.
struct Exact {
  LD modulus;
  int quadrant;  // p mod 4
};
inline bool exact_power(double ar, double ai, double br, double bi, Exact& x) {
  if (!finite4(ar, ai, br, bi) || (ar == 0 && ai == 0)) return false;
  const bool axis = ar == 0 || ai == 0, diagonal = std::fabs(ar) == std::fabs(ai);
  if (!axis && !diagonal) return false;
  const LD side = std::fmax(std::fabs(static_cast<LD>(ar)), std::fabs(static_cast<LD>(ai)));
  if (bi != 0 && !(axis && side == 1)) return false;
  LD q;
  if (ai == 0) q = ar > 0 ? 0 : std::signbit(ai) ? -2 : 2;
  else if (ar == 0) q = ai > 0 ? 1 : -1;
  else q = (ar > 0 ? 0.5L : 1.5L) * (ai > 0 ? 1 : -1);
  const LD p = br * q;  // exact: br times 3/2 needs 55 bits
  if (p != std::nearbyint(p)) return false;
  x.quadrant = static_cast<int>(std::fmod(std::fmod(p, 4.0L) + 4, 4.0L));
  if (bi != 0) {  // |a| = 1: the modulus is e^(-bi q pi/2)
    x.modulus = std::exp(-static_cast<LD>(bi) * q * 1.57079632679489661923132169163975144L);
  } else {
    x.modulus = std::pow(side, static_cast<LD>(br));
    // on a diagonal |a| = side sqrt 2 and br is even: the factor 2^(br/2) is a power of two
    if (diagonal && !axis) x.modulus = std::ldexp(x.modulus, static_cast<int>(std::fmax(std::fmin(br / 2, 40000.0), -40000.0)));
  }
  return true;
}

// e^(b ln a) of zero or non-finite parts in extended precision, with C's logarithm, product and
// exponential of special values.
inline void special_power(double ar, double ai, double br, double bi, LD& re, LD& im) {
  if (br == 0 && bi == 0) {
    re = 1, im = 0;
    return;
  }
  // The product recovers infinities as C's complex multiplication does (a NaN part beside an
  // infinite one counts as zero), so that a result whose size is settled keeps it:
  // 0^(1.5 + i NaN) = 0, (0.75 - 1.25i)^(NaN + i inf) = inf + i NaN.
  const std::complex<LD> r = std::exp(std::complex<LD>(br, bi) * std::log(std::complex<LD>(ar, ai)));
  re = r.real(), im = r.imag();
}

// Finite arguments whose w overflowed the pairs: w in extended precision from the pairs of
// ln|a| and arg a (la, ta); the result is infinite or zero in magnitude, its parts signed by a
// phase that means nothing at this size (see the top).
inline void huge_power(double br, double bi, LD la, LD ta, LD& re, LD& im) {
  const LD wr = br * la - bi * ta, wi = br * ta + bi * la;
  const LD m = std::exp(wr);
  re = m * std::cos(wi), im = m * std::sin(wi);
}

// Element e of a register the vector path does not finish, in extended precision; v holds that
// path's unrounded parts. False where the vector result stands (an exact candidate that is not).
struct Lanes {
  alignas(64) double a[8], b[8], hi[8], lo[8], k[8], ln_hi[8], ln_lo[8];
  explicit Lanes(__m512d av, __m512d bv, const Unrounded& v) {
    std::memcpy(a, &av, 64), std::memcpy(b, &bv, 64), std::memcpy(hi, &v.hi, 64), std::memcpy(lo, &v.lo, 64);
    std::memcpy(k, &v.k, 64), std::memcpy(ln_hi, &v.ln.hi, 64), std::memcpy(ln_lo, &v.ln.lo, 64);
  }
};
inline void element_ld(const Lanes& l, int e, bool w_lost, LD& re, LD& im) {
  const double ar = l.a[2 * e], ai = l.a[2 * e + 1], br = l.b[2 * e], bi = l.b[2 * e + 1];
  Exact x;
  if (!finite4(ar, ai, br, bi) || (ar == 0 && ai == 0) || (br == 0 && bi == 0)) {
    special_power(ar, ai, br, bi, re, im);
  } else if (exact_power(ar, ai, br, bi, x)) {
    re = x.quadrant == 0 ? x.modulus : x.quadrant == 2 ? -x.modulus : 0;
    im = x.quadrant == 1 ? x.modulus : x.quadrant == 3 ? -x.modulus : 0;
  } else if (w_lost) {
    huge_power(br, bi, static_cast<LD>(l.ln_hi[2 * e]) + l.ln_lo[2 * e], static_cast<LD>(l.ln_hi[2 * e + 1]) + l.ln_lo[2 * e + 1], re, im);
  } else {
    const int ke = static_cast<int>(l.k[2 * e]);
    re = std::ldexp(static_cast<LD>(l.hi[2 * e]) + l.lo[2 * e], ke);
    im = std::ldexp(static_cast<LD>(l.hi[2 * e + 1]) + l.lo[2 * e + 1], ke);
  }
}

template <typename V>
inline void redo(__m512d a, __m512d b, const Unrounded& v, __mmask8 rare, __m512d& r) {
  using T = std::conditional_t<std::is_same_v<V, __m512>, float, double>;
  const Lanes l(a, b, v);
  alignas(64) double rv[8];
  std::memcpy(rv, &r, 64);
  for (int e = 0; e < 4; ++e) {
    if (!((rare >> e) & 1)) continue;
    LD re, im;
    element_ld(l, e, (v.w_lost >> e) & 1, re, im);
    rv[2 * e] = static_cast<double>(static_cast<T>(re)), rv[2 * e + 1] = static_cast<double>(static_cast<T>(im));
  }
  std::memcpy(&r, rv, 64);
}

// Four elements in double lanes, for results of type V's parts.
// Zero or non-finite parts, |Re w| beyond kFar or w not finite, and exact candidates: a on an
// axis or a diagonal, with a real b or a modulus of 1 (ln|a| = 0).
inline __mmask8 rare_elements(__m512d a, __m512d b, const Unrounded& v) {
  const __m512d x = real_parts(a), y = imag_parts(a);
  const auto odd_lanes = classify<kClassInf | kClassNaN>(a) | classify<kClassInf | kClassNaN>(b);
  const __mmask8 line = equal(x, zero<__m512d>()) | equal(y, zero<__m512d>()) | equal(abs(x), abs(y));
  const __mmask8 unit_axis = equal(max(abs(x), abs(y)), splat(1.0)) & (equal(x, zero<__m512d>()) | equal(y, zero<__m512d>()));
  const __mmask8 real_b = equal(imag_parts(b), zero<__m512d>()) | unit_axis;
  return either_lane(odd_lanes) | both_lanes(classify<kClassZero>(a)) | both_lanes(classify<kClassZero>(b)) |
         either_lane(static_cast<__mmask8>(~equal(v.k, zero<__m512d>()))) | v.w_lost | both_lanes(line & real_b);
}

template <typename V>
inline __m512d pow_register(__m512d a, __m512d b) {
  const Unrounded v = pow_lanes(a, b);
  __m512d r = add(v.hi, v.lo);
  const __mmask8 rare = rare_elements(a, b, v);
  if (rare) [[unlikely]]
    redo<V>(a, b, v, rare, r);
  return r;
}


// Elements whose result may carry a status: a NaN, infinite, zero or subnormal part.
template <typename V>
inline __mmask8 maybe_reported(V r) {
  using E = std::conditional_t<std::is_same_v<V, __m512>, float, double>;
  return either_lane(classify<kClassInf | kClassNaN>(r) | less(abs(r), splat(std::numeric_limits<E>::min())));
}

template <typename C>
struct Pow {
  using E = decltype(C{}.re);
  using V = std::conditional_t<sizeof(E) == 4, __m512, __m512d>;

  static V compute(V a, V b, __mmask8& special) {
    V r;
    if constexpr (sizeof(E) == 4) r = narrow(pow_register<V>(widen_low(a), widen_low(b)), pow_register<V>(widen_high(a), widen_high(b)));
    else r = pow_register<V>(a, b);
    special = maybe_reported(r);
    return r;
  }

  // One element through the same path (broadcast to a whole register), so that the callout
  // gives the kernel's own bits; the status from the result, and from its value before the last
  // rounding for a part that rounds to the least normal number or below.
  static int element(const C* a, const C* b, C* r) {
    V av, bv;
    if constexpr (sizeof(E) == 4) {
      uint64_t pa, pb;
      std::memcpy(&pa, a, 8), std::memcpy(&pb, b, 8);
      av = _mm512_castsi512_ps(_mm512_set1_epi64(static_cast<int64_t>(pa)));
      bv = _mm512_castsi512_ps(_mm512_set1_epi64(static_cast<int64_t>(pb)));
    } else {
      av = _mm512_broadcast_f64x2(_mm_loadu_pd(&a->re));
      bv = _mm512_broadcast_f64x2(_mm_loadu_pd(&b->re));
    }
    __mmask8 unused;
    const V rv = compute(av, bv, unused);
    std::memcpy(r, &rv, sizeof(C));
    const double ar = a->re, ai = a->im, br = b->re, bi = b->im;
    if (std::isnan(ar) || std::isnan(ai) || std::isnan(br) || std::isnan(bi)) return 0;
    if (std::isnan(r->re) || std::isnan(r->im)) return kStatusDomain;
    if (!finite4(ar, ai, br, bi)) return 0;
    if (std::isinf(r->re) || std::isinf(r->im)) return kStatusOverflow;
    if ((ar == 0 && ai == 0) || (br == 0 && bi == 0)) return 0;
    if (std::fabs(r->re) > std::numeric_limits<E>::min() && std::fabs(r->im) > std::numeric_limits<E>::min()) return 0;
    const __m512d ad = _mm512_broadcast_f64x2(_mm_setr_pd(ar, ai)), bd = _mm512_broadcast_f64x2(_mm_setr_pd(br, bi));
    const Unrounded v = pow_lanes(ad, bd);
    const Lanes l(ad, bd, v);
    LD re = static_cast<LD>(l.hi[0]) + l.lo[0], im = static_cast<LD>(l.hi[1]) + l.lo[1];
    if (rare_elements(ad, bd, v) & 1) element_ld(l, 0, v.w_lost & 1, re, im);
    // an exact result's zero part is no underflow; a zero that stands for a part too small for
    // the phase to resolve is taken as one
    Exact x;
    const bool exact = exact_power(ar, ai, br, bi, x);
    auto tiny = [](LD p, bool exact_zero) { return !exact_zero && std::fabs(p) < std::numeric_limits<E>::min(); };
    return tiny(re, exact && x.quadrant % 2 == 1) || tiny(im, exact && x.quadrant % 2 == 0) ? kStatusUnderflow : 0;
  }
};

template <typename C>
struct PowK : Kernel<C, sizeof(C) == 8 ? 16 : 8> {
  using V = typename Pow<C>::V;
  static constexpr bool kGuardX87AtEntry = true;  // rare elements compute in extended precision
  static V body(V a, V b, __mmask8& special) { return Pow<C>::compute(a, b, special); }
  static int callout(const C* a, const C* b, C* r) { return Pow<C>::element(a, b, r); }
};

// Powx: Pow with the exponent in every element.
template <typename C>
struct PowxK : Kernel<C, sizeof(C) == 8 ? 16 : 8> {
  using V = typename Pow<C>::V;
  static constexpr bool kGuardX87AtEntry = true;
  C b;
  V bv;
  explicit PowxK(C e) : b(e) {
    if constexpr (sizeof(C) == 8) {
      uint64_t p;
      std::memcpy(&p, &e, 8);
      bv = _mm512_castsi512_ps(_mm512_set1_epi64(static_cast<int64_t>(p)));
    } else {
      bv = _mm512_broadcast_f64x2(_mm_loadu_pd(&e.re));
    }
  }
  V body(V a, __mmask8& special) const { return Pow<C>::compute(a, bv, special); }
  int callout(const C* a, C* r) const { return Pow<C>::element(a, &b, r); }
  C scalar_argument() const { return b; }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(c, Pow, PowK<ZorpComplex8>)
VM_KERNELS(z, Pow, PowK<ZorpComplex16>)
VM_KERNELS(c, Powx, PowxK<ZorpComplex8>)
VM_KERNELS(z, Powx, PowxK<ZorpComplex16>)
