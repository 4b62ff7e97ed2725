// Pow (a^b of two complex vectors) and Powx (every element to one complex exponent) of complex
// elements, single (c) and double (z) precision, one kernel for every slot:
//
//   a^b = e^w,  w = b ln a = (br ln|a| - bi arg a) + i (br arg a + bi ln|a|)
//
// The vector path keeps the parts apart, one element per lane (double precision two registers
// at a time, single precision one register split), and carries ln a and w as double-double
// pairs: ln|a| from |a|^2 as the polar pieces give it (every bit of |a|^2 - 1 near the unit
// circle) through the power's logarithm (about 2^-65 relative), arg a as the fine angle pair of
// the inverse trigonometric family (some 2^-65, and within 2^-63 of itself), the products with
// b split exactly. Then e^(Re w) is the exponential's pair times (1 + its low part), and cos and
// sin of Im w are the fine pairs of the reduced argument (about 2^-60) with Im w's low part
// joined to it; each part is their product rounded once. Single precision rounds once more.
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
#include "vm/kernels/complex/pairs.h"
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

// Eight elements with their parts apart (a = x + iy, b = br + i bi, one element per lane): the
// results before their last rounding, each part (hi + lo) 2^k (k nonzero only for |Re w| beyond
// kFar), ln|a| for the elements finished elsewhere, and the elements whose w did not come out
// finite.
struct Unrounded {
  __m512d re_hi, re_lo, im_hi, im_lo, k;
  P ln;
  __mmask8 w_lost;
};

// a^b of elements with finite parts, a and b nonzero (other lanes give what they give).
inline Unrounded pow_split(__m512d x, __m512d y, __m512d br, __m512d bi) {
  // ln|a| and arg a as pairs
  const polar::SquaredModulus m = polar::squared_modulus(x, y);
  P l2 = ln_for_pow<true>(m.w, m.head);
  // ln(w + c) = ln w + c/w, c/w below 2^-52; near the circle ln(1 + head + c) = ln(1 + head) +
  // c/(1 + head), where c/(1 + head) = c to within 2^-73 of the logarithm (head below 2^-20)
  l2.lo = add(l2.lo, trig::low_quotient(m.c, m.w));
  const P octaves = two_prod(m.extra, splat(kLn2Hi));  // exact
  const P s = two_sum(l2.hi, octaves.hi);
  const __m512d ln_lo = add(add(s.lo, l2.lo), mul(m.extra, splat(kLn2Lo)));
  const P ln_abs = fast_two_sum(mul(s.hi, splat(0.5)), mul(ln_lo, splat(0.5)));
  P theta = angles::angle<true>({abs(y), zero<__m512d>()}, {abs(x), zero<__m512d>()}, angles::sign_set(x));
  const __m512i y_sign = bit_and(bits(y), isplat<double>(INT64_MIN));
  theta = {as_double(bit_xor(bits(theta.hi), y_sign)), as_double(bit_xor(bits(theta.lo), y_sign))};

  // w = (br ln|a| - bi arg a) + i (br arg a + bi ln|a|)
  // the products unrenormalised: dd_add renormalises their sums
  auto times = [](P v, __m512d b) {
    const P p = two_prod(v.hi, b);
    return P{p.hi, fma(v.lo, b, p.lo)};
  };
  const P wr = dd_add(times(ln_abs, br), times(theta, sub(zero<__m512d>(), bi)));
  const P wi = dd_add(times(theta, br), times(ln_abs, bi));
  const __mmask8 w_lost = classify<kClassInf | kClassNaN>(wr.hi) | classify<kClassInf | kClassNaN>(wi.hi);

  // e^(Re w) as a pair; beyond kFar of Re w - k ln 2
  const __m512d re_w = min(max(wr.hi, splat(-kClampW)), splat(kClampW));
  const __m512d re_w_lo = zero_unless(static_cast<__mmask8>(~abs_greater(wr.hi, splat(kClampW))), wr.lo);
  const __m512d k = zero_unless(abs_greater(re_w, splat(kFar)), round_integral<_MM_FROUND_TO_NEAREST_INT>(mul(re_w, splat(kInvLn2))));
  const P xr = two_sum(fnma(k, splat(kLn2Hi), re_w), fnma(k, splat(kLn2Lo), re_w_lo));
  const P half = half_exp_pair<true>(xr.hi);
  // renormalised first (the pair's tail is up to a tenth of its head), so that the low part of
  // the argument may multiply the head alone
  P e = fast_two_sum(add(half.hi, half.hi), add(half.lo, half.lo));
  e = fast_two_sum(e.hi, fma(e.hi, xr.lo, e.lo));

  // cos and sin of Im w, and the parts
  const __mmask8 finite_w = static_cast<__mmask8>(~w_lost);
  const polar::SinCos t = polar::sin_cos_pairs<true>(zero_unless(finite_w, wi.hi), zero_unless(finite_w, wi.lo));
  const __m512d re = mul(e.hi, t.c.hi), im = mul(e.hi, t.s.hi);
  return {re, add(fms(e.hi, t.c.hi, re), fma(e.hi, t.c.lo, mul(e.lo, t.c.hi))),
          im, add(fms(e.hi, t.s.hi, im), fma(e.hi, t.s.lo, mul(e.lo, t.s.hi))),
          k, ln_abs, w_lost};
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

// Finite arguments whose w overflowed the pairs: w in extended precision from the pair of ln|a|
// (la) and the angle in extended precision (arg a may underflow double: atan2(2^-1074, 2^1023));
// the result is infinite or zero in magnitude, its parts signed by a phase that means nothing at
// this size (see the top).
inline void huge_power(double ar, double ai, double br, double bi, LD la, LD& re, LD& im) {
  const LD ta = std::atan2(static_cast<LD>(ai), static_cast<LD>(ar));
  const LD wr = br * la - bi * ta, wi = br * ta + bi * la;
  const LD m = std::exp(wr);
  re = m * std::cos(wi), im = m * std::sin(wi);
}

// The lanes of one computation, for the elements finished one at a time.
struct Lanes {
  alignas(64) double x[8], y[8], br[8], bi[8], re_hi[8], re_lo[8], im_hi[8], im_lo[8], k[8], ln[8], ln_lo[8];
  __mmask8 w_lost;
  Lanes(__m512d xv, __m512d yv, __m512d brv, __m512d biv, const Unrounded& v) : w_lost(v.w_lost) {
    auto put = [](double* d, __m512d s) { std::memcpy(d, &s, 64); };
    put(x, xv), put(y, yv), put(br, brv), put(bi, biv), put(re_hi, v.re_hi), put(re_lo, v.re_lo);
    put(im_hi, v.im_hi), put(im_lo, v.im_lo), put(k, v.k), put(ln, v.ln.hi), put(ln_lo, v.ln.lo);
  }
  // Element e in extended precision.
  void element(int e, LD& re, LD& im) const {
    Exact q;
    if (!finite4(x[e], y[e], br[e], bi[e]) || (x[e] == 0 && y[e] == 0) || (br[e] == 0 && bi[e] == 0)) {
      special_power(x[e], y[e], br[e], bi[e], re, im);
    } else if (exact_power(x[e], y[e], br[e], bi[e], q)) {
      re = q.quadrant == 0 ? q.modulus : q.quadrant == 2 ? -q.modulus : 0;
      im = q.quadrant == 1 ? q.modulus : q.quadrant == 3 ? -q.modulus : 0;
    } else if ((w_lost >> e) & 1) {
      huge_power(x[e], y[e], br[e], bi[e], static_cast<LD>(ln[e]) + ln_lo[e], re, im);
    } else {
      const int ke = static_cast<int>(k[e]);
      re = std::ldexp(static_cast<LD>(re_hi[e]) + re_lo[e], ke);
      im = std::ldexp(static_cast<LD>(im_hi[e]) + im_lo[e], ke);
    }
  }
};

// Zero or non-finite parts, |Re w| beyond kFar or w not finite, and exact candidates: a on an
// axis or a diagonal, with a real b or a modulus of 1 (ln|a| = 0).
inline __mmask8 rare_elements(__m512d x, __m512d y, __m512d br, __m512d bi, const Unrounded& v) {
  constexpr int kOdd = kClassInf | kClassNaN;
  const __m512d z = zero<__m512d>();
  const __mmask8 line = equal(x, z) | equal(y, z) | equal(abs(x), abs(y));
  const __mmask8 unit_axis = equal(max(abs(x), abs(y)), splat(1.0)) & (equal(x, z) | equal(y, z));
  return classify<kOdd>(x) | classify<kOdd>(y) | classify<kOdd>(br) | classify<kOdd>(bi) | (equal(x, z) & equal(y, z)) |
         (equal(br, z) & equal(bi, z)) | static_cast<__mmask8>(~equal(v.k, z)) | v.w_lost |
         (line & (equal(bi, z) | unit_axis));
}

// The parts of a^b for results of type T, rounded.
template <typename T>
inline void pow_parts(__m512d x, __m512d y, __m512d br, __m512d bi, __m512d& re, __m512d& im) {
  const Unrounded v = pow_split(x, y, br, bi);
  re = add(v.re_hi, v.re_lo), im = add(v.im_hi, v.im_lo);
  const __mmask8 rare = rare_elements(x, y, br, bi, v);
  if (rare) [[unlikely]] {
    const Lanes l(x, y, br, bi, v);
    alignas(64) double rv[8], iv[8];
    std::memcpy(rv, &re, 64), std::memcpy(iv, &im, 64);
    for (int e = 0; e < 8; ++e) {
      if (!((rare >> e) & 1)) continue;
      LD a, b;
      l.element(e, a, b);
      rv[e] = static_cast<double>(static_cast<T>(a)), iv[e] = static_cast<double>(static_cast<T>(b));
    }
    std::memcpy(&re, rv, 64), std::memcpy(&im, iv, 64);
  }
}

// Elements whose result may carry a status: a NaN, infinite, zero or subnormal part.
template <typename V>
inline __mmask8 maybe_reported(V r) {
  using E = std::conditional_t<std::is_same_v<V, __m512>, float, double>;
  return either_lane(classify<kClassInf | kClassNaN>(r) | less(abs(r), splat(std::numeric_limits<E>::min())));
}

// The bodies: single precision eight elements to a register, double two registers at once. The
// exponent comes split (Powx: the same in every lane).
template <typename C>
struct Pow;
template <>
struct Pow<ZorpComplex8> {
  using V = __m512;
  static V compute(V a, __m512d br, __m512d bi, __mmask8& special) {
    __m512d x, y, re, im;
    pairs::split_parts(a, x, y);
    pow_parts<float>(x, y, br, bi, re, im);
    const V r = pairs::join_parts<V>(re, im);
    special = maybe_reported(r);
    return r;
  }
  static V compute(V a, V b, __mmask8& special) {
    __m512d br, bi;
    pairs::split_parts(b, br, bi);
    return compute(a, br, bi, special);
  }
};
template <>
struct Pow<ZorpComplex16> {
  using V = __m512d;
  static void compute2_by(V a0, V a1, __m512d br, __m512d bi, V& r0, V& r1, __mmask8& s0, __mmask8& s1) {
    __m512d x, y, re, im;
    pairs::split_parts(a0, a1, x, y);
    pow_parts<double>(x, y, br, bi, re, im);
    pairs::join_parts(re, im, r0, r1);
    s0 = maybe_reported(r0), s1 = maybe_reported(r1);
  }
  static void compute2(V a0, V b0, V a1, V b1, V& r0, V& r1, __mmask8& s0, __mmask8& s1) {
    __m512d br, bi;
    pairs::split_parts(b0, b1, br, bi);
    compute2_by(a0, a1, br, bi, r0, r1, s0, s1);
  }
  // one register (the callout's), as two copies of itself
  static V compute(V a, __m512d br, __m512d bi, __mmask8& special) {
    V r0, r1;
    __mmask8 unused;
    compute2_by(a, a, br, bi, r0, r1, special, unused);
    return r0;
  }
};

// The callout: the element through the same path (broadcast to a whole register), so that it
// gives the kernel's own bits; the status from the result, and from its value before the last
// rounding for a part that rounds to the least normal number or below.
template <typename C>
int element(const C* a, const C* b, C* r) {
  using E = decltype(C{}.re);
  using V = typename Pow<C>::V;
  const __m512d x = splat(double(a->re)), y = splat(double(a->im)), br = splat(double(b->re)), bi = splat(double(b->im));
  V av;
  if constexpr (sizeof(E) == 4) {
    uint64_t pa;
    std::memcpy(&pa, a, 8);
    av = _mm512_castsi512_ps(_mm512_set1_epi64(static_cast<int64_t>(pa)));
  } else {
    av = _mm512_broadcast_f64x2(_mm_loadu_pd(&a->re));
  }
  __mmask8 unused;
  const V rv = Pow<C>::compute(av, br, bi, unused);
  std::memcpy(r, &rv, sizeof(C));
  const double ar = a->re, ai = a->im, pr = b->re, pi = b->im;
  if (std::isnan(ar) || std::isnan(ai) || std::isnan(pr) || std::isnan(pi)) return 0;
  if (std::isnan(r->re) || std::isnan(r->im)) return kStatusDomain;
  if (!finite4(ar, ai, pr, pi)) return 0;
  if (std::isinf(r->re) || std::isinf(r->im)) return kStatusOverflow;
  if ((ar == 0 && ai == 0) || (pr == 0 && pi == 0)) return 0;
  if (std::fabs(r->re) > std::numeric_limits<E>::min() && std::fabs(r->im) > std::numeric_limits<E>::min()) return 0;
  const Unrounded v = pow_split(x, y, br, bi);
  const Lanes l(x, y, br, bi, v);
  LD re = static_cast<LD>(l.re_hi[0]) + l.re_lo[0], im = static_cast<LD>(l.im_hi[0]) + l.im_lo[0];
  if (rare_elements(x, y, br, bi, v) & 1) l.element(0, re, im);
  // an exact result's zero part is no underflow; a zero that stands for a part too small for
  // the phase to resolve is taken as one
  Exact q;
  const bool exact = exact_power(ar, ai, pr, pi, q);
  auto tiny = [](LD p, bool exact_zero) { return !exact_zero && std::fabs(p) < std::numeric_limits<E>::min(); };
  return tiny(re, exact && q.quadrant % 2 == 1) || tiny(im, exact && q.quadrant % 2 == 0) ? kStatusUnderflow : 0;
}

template <typename C>
struct PowK : Kernel<C, sizeof(C) == 8 ? 16 : 8> {
  using V = typename Pow<C>::V;
  static constexpr bool kGuardX87AtEntry = true;  // rare elements compute in extended precision
  static V body(V a, V b, __mmask8& special)
    requires(sizeof(C) == 8)
  {
    return Pow<C>::compute(a, b, special);
  }
  static void body_pair(V a0, V b0, V a1, V b1, V& r0, V& r1, __mmask8& s0, __mmask8& s1)
    requires(sizeof(C) == 16)
  {
    Pow<C>::compute2(a0, b0, a1, b1, r0, r1, s0, s1);
  }
  static int callout(const C* a, const C* b, C* r) { return element(a, b, r); }
};

// Powx: Pow with the exponent in every lane.
template <typename C>
struct PowxK : Kernel<C, sizeof(C) == 8 ? 16 : 8> {
  using V = typename Pow<C>::V;
  static constexpr bool kGuardX87AtEntry = true;
  C b;
  __m512d br, bi;
  explicit PowxK(C e) : b(e), br(splat(double(e.re))), bi(splat(double(e.im))) {}
  V body(V a, __mmask8& special) const
    requires(sizeof(C) == 8)
  {
    return Pow<C>::compute(a, br, bi, special);
  }
  void body_pair(V a0, V, V a1, V, V& r0, V& r1, __mmask8& s0, __mmask8& s1) const
    requires(sizeof(C) == 16)
  {
    Pow<C>::compute2_by(a0, a1, br, bi, r0, r1, s0, s1);
  }
  int callout(const C* a, C* r) const { return element(a, &b, r); }
  C scalar_argument() const { return b; }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(c, Pow, PowK<ZorpComplex8>)
VM_KERNELS(z, Pow, PowK<ZorpComplex16>)
VM_KERNELS(c, Powx, PowxK<ZorpComplex8>)
VM_KERNELS(z, Powx, PowxK<ZorpComplex16>)
