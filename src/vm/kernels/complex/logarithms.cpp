// Ln and Log10 of complex elements, single (c) and double (z) precision:
//
//   ln(x + iy) = ln|z| + i atan2(y, x),  ln|z| = ln(x^2 + y^2) / 2,  log10 z = ln z / ln 10
//
// on the real families' blocks: the logarithm of a pair (ln_pair, ln_pair_terms) and atan2 (or
// its angle pair). Both precisions take the parts of their registers apart, one element to a
// lane (double: two registers at once, the driver's two-register body; single: its one register
// split the same way), so that each real block runs once per element.
//
// Ln, double: |z|^2 is formed from exact squares; within 2^-20 of the unit circle, where ln|z|
// is small beside the parts, d = x^2 + y^2 - 1 is summed exactly from the squares' parts into a
// pair, whose head is the logarithm's exact reduced argument and whose low part joins the tail
// (ln(1 + d) = d - d^2/2 + ...: a d rounded once would be an error of an ulp of d, and summed
// plainly, of many); elsewhere |z|^2 is the compensated sum of the squares. A part beyond
// 2^+-500 scales the element by a power of two first (the octaves return through the
// logarithm's `extra`). HA takes the two-part table and the accurate angle, LA the plain table
// and angle, EP the short polynomial too. Single precision runs the LA method in double (its
// parts' squares are exact there, and d is a pair all the same).
//
// Special elements follow C's rules for clog (Annex G) and are computed one at a time
// (complex_core.h), as are, for double Log10, imaginary parts below 2^-900 (alone or against the
// real part), computed in extended precision and rounded once. Ln and Log10 report the pole at 0
// (2) and nothing else: their imaginary part is an angle, which underflows quietly as Arg does.
#include <cmath>
#include <limits>
#include <type_traits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/vec.h"
#include "vm/kernels/common/atan_core.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/log_core.h"
#include "vm/kernels/complex/complex_core.h"
#include "vm/kernels/complex/pairs.h"
#include "vm/kernels/complex/polar.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using trig::Method;


// ---- Ln ----------------------------------------------------------------------------------------
namespace clog {

// clog's special values: an infinite part gives +inf, else a NaN part NaN, else a zero element
// -inf (the pole); the imaginary part is atan2 with its special cases.
inline void element(double x, double y, double, double, double& rr, double& ri) {
  rr = (std::isinf(x) || std::isinf(y)) ? kInf : (std::isnan(x) || std::isnan(y)) ? kNaN : -kInf;
  ri = std::atan2(y, x);
}

template <typename C>
int callout(const C* a, C* r) {
  double rr, ri;
  element(a->re, a->im, 0, 0, rr, ri);
  r->re = static_cast<decltype(a->re)>(rr), r->im = static_cast<decltype(a->re)>(ri);
  return kStatusSingularity;  // only zero elements are special
}

template <typename C>
int log10_callout(const C* a, C* r);

using polar::squared_modulus;
using polar::SquaredModulus;

// ln|z| and arg z of finite nonzero elements z = x + iy with the parts apart (lane by lane).
template <bool kTablePair, bool kShort, Method M>
inline void ln_split(__m512d x, __m512d y, __m512d& re, __m512d& im) {
  const SquaredModulus m = squared_modulus(x, y);
  re = mul(ln_pair<kTablePair, kShort>(m.w, m.c, m.extra, m.head), splat(0.5));
  im = angles::atan2_of<false, M>(y, x);
}

// log10 z = ln z / ln 10. Double: the logarithm and the angle as pairs, each multiplied by
// 1/ln 10 in two parts and rounded once (the angle's pair needs finite parts, not both zero, and
// |y| above 2^-900 and above 2^-900 |x|, where its quotient's residual stays normal: other
// elements go the scalar way). Single: the plain
// logarithm and angle in double, scaled and rounded once.
constexpr double kInvLn10Hi = 0x1.bcb7b1526e50ep-2, kInvLn10Lo = 0x1.95355baaafad3p-57;
constexpr double kTinyAngleSide = 0x1p-900;

// (hi + lo) * f for a pair and f = kInvLn10 * scale (scale a power of two), rounded once.
inline __m512d times_inv_ln10(DD<__m512d> v, double scale) {
  const __m512d fh = splat(kInvLn10Hi * scale), fl = splat(kInvLn10Lo * scale);
  const DD<__m512d> p1 = two_prod(v.hi, fh), p2 = two_prod(v.lo, fh);
  const DD<__m512d> s = two_sum(p1.hi, p2.hi);
  return add(s.hi, add(add(s.lo, add(p1.lo, p2.lo)), mul(add(v.hi, v.lo), fl)));
}

inline void log10_split(__m512d x, __m512d y, __m512d& re, __m512d& im) {
  const SquaredModulus m = squared_modulus(x, y);
  const LnTerms t = ln_pair_terms<false>(m.w, m.c, m.extra, m.head);
  const DD<__m512d> head = two_sum(t.hi, t.r0);  // near |z| = 1 the head is r0 alone
  re = times_inv_ln10({head.hi, add(head.lo, t.tail)}, 0.5);
  const DD<__m512d> theta = angles::angle({abs(y), zero<__m512d>()}, {abs(x), zero<__m512d>()}, angles::sign_set(x));
  im = copy_sign(times_inv_ln10(theta, 1.0), y);
}

inline void log10_plain_split(__m512d x, __m512d y, __m512d& re, __m512d& im) {
  const SquaredModulus m = squared_modulus(x, y);
  re = mul(mul(ln_pair<false, false>(m.w, m.c, m.extra, m.head), splat(0.5)), splat(kInvLn10Hi));
  im = mul(angles::atan2_of<false, Method::PlainSingle>(y, x), splat(kInvLn10Hi));
}

// Log10 of special and tiny-angle elements: clog's special values scaled, finite elements in
// extended precision (|z| is |x| to far beyond extended precision when y is that small).
inline void log10_element(double x, double y, double, double, double& rr, double& ri) {
  constexpr long double kInvLn10 = 0.434294481903251827651128918916605082L;
  if (!std::isfinite(x) || !std::isfinite(y) || (x == 0 && y == 0)) {
    element(x, y, 0, 0, rr, ri);
    ri = static_cast<double>(ri * kInvLn10);
    return;
  }
  rr = static_cast<double>(std::log10(std::hypot(static_cast<long double>(x), static_cast<long double>(y))));
  ri = static_cast<double>(std::atan2(static_cast<long double>(y), static_cast<long double>(x)) * kInvLn10);
}

template <typename C>
int log10_callout(const C* a, C* r) {
  double rr, ri;
  log10_element(a->re, a->im, 0, 0, rr, ri);
  r->re = static_cast<decltype(a->re)>(rr), r->im = static_cast<decltype(a->re)>(ri);
  return kStatusSingularity;
}

// Zero elements (the pole, reported) and non-finite parts leave the vector path.
template <typename V>
inline V finish(V a, V r, __mmask8& special) {
  special = both_lanes(classify<kClassZero>(a));
  const __mmask8 odd = special | either_lane(classify<kClassInf | kClassNaN>(a));
  if (odd) [[unlikely]]
    return redo_rare_elements(a, a, r, odd, element);
  return r;
}

// The double kernels compute two registers at once with the parts apart; single precision
// splits its one register.
template <void (*kParts)(__m512d, __m512d, __m512d&, __m512d&)>
inline void split_body(__m512d a0, __m512d a1, __m512d& r0, __m512d& r1) {
  __m512d x, y, re, im;
  pairs::split_parts(a0, a1, x, y);
  kParts(x, y, re, im);
  pairs::join_parts(re, im, r0, r1);
}
template <void (*kParts)(__m512d, __m512d, __m512d&, __m512d&)>
inline __m512 split_body(__m512 a) {
  __m512d x, y, re, im;
  pairs::split_parts(a, x, y);
  kParts(x, y, re, im);
  return pairs::join_parts<__m512>(re, im);
}
template <bool kTablePair, bool kShort, Method M>
struct LnZ : Kernel<ZorpComplex16, 8> {
  static void body_pair(__m512d a0, __m512d, __m512d a1, __m512d, __m512d& r0, __m512d& r1, __mmask8& s0, __mmask8& s1) {
    split_body<ln_split<kTablePair, kShort, M>>(a0, a1, r0, r1);
    r0 = finish(a0, r0, s0), r1 = finish(a1, r1, s1);
  }
  static int callout(const T* a, T* r) { return clog::callout(a, r); }
};

struct LnC : Kernel<ZorpComplex8, 16> {
  static __m512 body(__m512 a, __mmask8& special) {
    return finish(a, split_body<ln_split<false, false, Method::PlainSingle>>(a), special);
  }
  static int callout(const T* a, T* r) { return clog::callout(a, r); }
};

struct Log10Z : Kernel<ZorpComplex16, 8> {
  static constexpr bool kGuardX87AtEntry = true;  // tiny angles compute in extended precision
  static __m512d finish10(__m512d a, __m512d r, __mmask8& special) {
    special = both_lanes(classify<kClassZero>(a));
    const __m512d ay = abs(imag_parts(a)), ax = abs(real_parts(a));
    const __mmask8 tiny = either_lane(less(ay, splat(kTinyAngleSide)) | less(ay, mul(ax, splat(kTinyAngleSide))));
    const __mmask8 odd = special | tiny | either_lane(classify<kClassInf | kClassNaN>(a));
    if (odd) [[unlikely]]
      r = redo_rare_elements(a, a, r, odd, log10_element);
    return r;
  }
  static void body_pair(__m512d a0, __m512d, __m512d a1, __m512d, __m512d& r0, __m512d& r1, __mmask8& s0, __mmask8& s1) {
    split_body<log10_split>(a0, a1, r0, r1);
    r0 = finish10(a0, r0, s0), r1 = finish10(a1, r1, s1);
  }
  static int callout(const T* a, T* r) { return log10_callout(a, r); }
};

struct Log10C : Kernel<ZorpComplex8, 16> {
  static constexpr bool kGuardX87AtEntry = true;  // its special elements scale in extended precision
  static __m512 body(__m512 a, __mmask8& special) {
    special = both_lanes(classify<kClassZero>(a));
    __m512 r = split_body<log10_plain_split>(a);
    const __mmask8 odd = special | either_lane(classify<kClassInf | kClassNaN>(a));
    if (odd) [[unlikely]]
      r = redo_rare_elements(a, a, r, odd, log10_element);
    return r;
  }
  static int callout(const T* a, T* r) { return log10_callout(a, r); }
};

}  // namespace clog

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(c, Ln, clog::LnC, clog::LnC, clog::LnC)
VM_KERNELS(c, Log10, clog::Log10C)
VM_KERNELS(z, Log10, clog::Log10Z)
VM_KERNELS(z, Ln, clog::LnZ<false, false, Method::PlainDouble>, clog::LnZ<true, false, Method::Pairs>,
           clog::LnZ<false, true, Method::PlainDouble>)
