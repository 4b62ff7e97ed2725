// Exp, Sinh, Cosh, Tanh, Sin, Cos and Tan of complex elements, single (c) and double (z) precision:
//
//   e^(x + iy) = e^x cos y + i e^x sin y
//   sinh(x + iy) = sinh x cos y + i cosh x sin y,  cosh(x + iy) = cosh x cos y + i sinh x sin y
//   tanh(x + iy) = (cosh x sinh x + i sin y cos y) / (cos^2 y + sinh^2 x)
//   sin z = i sinh(-iz),  cos z = cosh(-iz),  tan z = i tanh(-iz)
//
// on the real families' blocks: e^x / 2 as an unevaluated pair (half_exp_pair) and the sine and
// cosine of y as head + tail pairs. The logarithms are in logarithms.cpp.
//
// Register layout: the accurate double kernels take the parts of two registers apart, eight
// elements one to a lane (the driver's two-register body; the remainder's single register runs
// as two copies of itself). The plain forms (single precision, and zExp's LA and EP) keep the
// one-register layout: each element's two lanes hold (x, x) and (y, y) copies, one pass of a real
// block serves both parts and the lanes pick theirs (the real lane e^x cos y, the imaginary
// e^x sin y).
//
// Exp, double HA: each part is e^x (pair) times cos or sin y (the fine pairs, about 2^-60),
// added up in one fma chain and rounded once: well below one ulp. LA and EP (one kernel) take
// the plain sine and cosine, a few units of 2^-53. Single precision computes plainly in double
// and rounds once.
//
// Sinh and Cosh run Exp's body with sinh x and cosh x (pairs) in place of e^x, in every slot
// the accurate way; Sin and Cos are them on the turned argument. Tanh has a body of its own
// (below) in the same kernels, Tan is it turned.
//
// Special elements, the same in every slot and in both precisions, follow C's rules for cexp,
// csinh, ccosh and ctanh (Annex G) and are computed one at a time (complex_core.h), as are the
// elements whose results leave the vector path's range (for Exp |x| > 708 and parts near or below
// the least normal number), computed in extended precision and rounded once. Statuses: Exp
// reports a part that overflows (3) or underflows (4) from finite parts and a NaN from an
// infinite imaginary part with a finite or +inf real part (1, the invalid cases of cexp); Tanh
// (Tan turned) reports a part that underflows (4: the imaginary part beyond |x| = 354, or beside a
// tiny x or y) and the NaN of a finite x with an infinite y (1).
#include <cmath>
#include <complex>
#include <limits>
#include <type_traits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/common/sincos_core.h"
#include "vm/kernels/complex/complex_core.h"
#include "vm/kernels/complex/pairs.h"
#include "vm/kernels/complex/polar.h"
#include "vm/kernels/hyper/generated/hyper_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using trig::Method;

using polar::kImagLanes;

// ---- Exp ---------------------------------------------------------------------------------------
namespace cexp {

// e^x t in extended precision for results of type T. A product that lands exactly on T's least
// normal number is moved one extended step toward zero when the exact product lies below it
// (the residual of the product and what e = e^x lost to its rounding, from e^x - 1), so that it
// still rounds to the least normal number but counts as an underflow. What e^x loses for
// |x| < 2^-155 is left out: such a product is within 2^-155 of the least normal number, where
// the accuracy reference (160 bits) cannot tell the side either.
template <typename T>
inline long double times_exp(long double e, long double de, long double t) {
  long double p = e * t;
  const long double below = std::fma(e, t, -p) + t * de;
  if (std::fabs(p) == std::numeric_limits<T>::min() && below != 0 && std::signbit(below) != std::signbit(p))
    p = std::nextafter(p, 0.0L);
  return p;
}

// e^(x + iy) of one element in extended precision, not yet rounded: cexp's special values, and
// finite elements whatever their size (e^x is finite in extended precision far beyond double's
// range, so a part overflows or underflows only where its exact value does).
template <typename T>
inline void exp_element(double x, double y, long double& re, long double& im) {
  if (std::isnan(x)) {
    re = kNaN;
    im = y == 0 ? y : kNaN;  // NaN + i0 keeps the zero
  } else if (std::isinf(x)) {
    if (x > 0) {
      if (y == 0) re = kInf, im = y;
      else if (!std::isfinite(y)) re = kInf, im = kNaN;
      else re = std::copysign(kInf, std::cos(y)), im = std::copysign(kInf, std::sin(y));
    } else {
      if (!std::isfinite(y)) re = im = 0;  // e^-inf: a zero, whatever the angle
      else re = std::copysign(0.0, std::cos(y)), im = std::copysign(0.0, std::sin(y));
    }
  } else if (!std::isfinite(y)) {
    re = im = kNaN;
  } else {
    const long double ly = y, lx = x, e = std::exp(lx);
    const long double de = std::fabs(x) < 0x1p-155 ? 0 : std::expm1(lx) - (e - 1);
    re = times_exp<T>(e, de, std::cos(ly));
    im = y == 0 ? y : times_exp<T>(e, de, std::sin(ly));  // the zero of a real argument keeps its sign
  }
}

// The three functions of this family differ in the factor that multiplies cos y (real lanes)
// and sin y (imaginary lanes), a pair computed from x in [-708, 708], and in their rare
// elements: e^x in both lanes; sinh x and cosh x (Sinh), cosh x and sinh x (Cosh). Each
// function also says which parts of a finite element's result are exact zeros (a zero x or y),
// so that a zero there is not taken for an underflow.
// The factors of cos y and sin y where the parts are kept apart (split_lanes below).
struct Factors {
  DD<__m512d> re, im;
};
struct ExpFn {
  static constexpr double kFar = 708;  // beyond: rare elements (e^x leaves double's range)
  static DD<__m512d> factor(__m512d x) {
    // e^x itself (doubling is exact below 708): a tiny part such as e^x y must not pass through
    // the subnormal range as e^x/2 y on the way.
    const DD<__m512d> half = half_exp_pair<true>(x);
    return {add(half.hi, half.hi), add(half.lo, half.lo)};
  }
  static Factors factors(__m512d x) {
    const DD<__m512d> e = factor(x);
    return {e, e};
  }
  template <typename T>
  static void element(double x, double y, long double& re, long double& im) {
    exp_element<T>(x, y, re, im);
  }
  static bool zero_re(double, double) { return false; }
  static bool zero_im(double, double y) { return y == 0; }
};

// sinh x (real lanes) and cosh x (imaginary lanes) as pairs, or the other way round (kSwap),
// from e^x/2 and e^-x/2; below |x| = 1, where their difference cancels, sinh x is x plus the
// odd series' tail, a pair whose low part is under a fifth of x.
struct SinhCosh {
  DD<__m512d> sh, ch;
};
inline SinhCosh sinh_cosh(__m512d x) {
  const DD<__m512d> p = half_exp_pair<true>(x), m = half_exp_pair<true>(sub(zero<__m512d>(), x));
  const DD<__m512d> c = two_sum(p.hi, m.hi), d = two_sum(p.hi, sub(zero<__m512d>(), m.hi));
  const __m512d u = mul(x, x);
  const __mmask8 small = less(abs(x), splat(1.0));
  const DD<__m512d> sh = {select(small, x, d.hi),
                          select(small, mul(mul(x, u), horner(u, hyperpoly::kSinhTailHaD)),
                                 add(d.lo, sub(p.lo, m.lo)))};
  return {sh, {c.hi, add(c.lo, add(p.lo, m.lo))}};
}
template <bool kSwap>
inline DD<__m512d> sinh_cosh_pairs(__m512d x) {
  const SinhCosh h = sinh_cosh(x);
  const __mmask8 cosh_lanes = kSwap ? static_cast<__mmask8>(~kImagLanes) : kImagLanes;
  return {select(cosh_lanes, h.ch.hi, h.sh.hi), select(cosh_lanes, h.ch.lo, h.sh.lo)};
}

// A part p computed in extended precision that lands exactly on T's least normal number while
// the exact part is p (1 + rel), rel beyond what the extended parts could show: moved one
// extended step toward zero when rel < 0, so that it still rounds to the least normal number
// but counts as an underflow. Terms under 2^-155 are left out: the accuracy reference (160 bits)
// cannot tell the side either.
template <typename T>
inline void below_least_normal(long double& p, long double rel) {
  if (std::fabs(p) == std::numeric_limits<T>::min() && rel < -0x1p-155L) p = std::nextafter(p, 0.0L);
}

// Rare elements of Sinh and Cosh (non-finite parts with the special values of csinh and ccosh,
// |x| > 708, tiny parts) in extended precision through the standard library's complex functions
// of long double: for double and single results their 64-bit parts are rounded once more, far
// below half an ulp, and sinh x, cosh x stay finite there long after double overflows.
template <bool kCosh>
struct HyperFn {
  static constexpr double kFar = 708;
  static DD<__m512d> factor(__m512d x) { return sinh_cosh_pairs<kCosh>(x); }
  static Factors factors(__m512d x) {
    const SinhCosh h = sinh_cosh(x);
    return kCosh ? Factors{h.ch, h.sh} : Factors{h.sh, h.ch};
  }
  template <typename T>
  static void element(double x, double y, long double& re, long double& im) {
    const std::complex<long double> z(x, y);
    const std::complex<long double> w = kCosh ? std::cosh(z) : std::sinh(z);
    re = w.real(), im = w.imag();
    if (!std::isfinite(x) || !std::isfinite(y)) {
      // Where C leaves the sign of an infinite or zero part open, take the one the product
      // formula gives with a NaN counted positive, as the accuracy reference does (and the
      // zero of cosh(NaN + i0) opposite to y's, likewise).
      const bool neg_y = std::signbit(y) && !std::isnan(y);
      if (!kCosh && std::isinf(x) && !std::isfinite(y)) re = x;
      if (kCosh && x == 0 && !std::isfinite(y)) im = neg_y ? -x : x;
      if (kCosh && std::isinf(x) && std::isinf(y)) re = static_cast<long double>(x) * y;
      if (kCosh && std::isnan(x) && y == 0) im = -y;
      return;
    }
    // A part that lands on T's least normal number may lie just below it, which the extended
    // parts cannot show when x or y is so small that sinh x = x, cosh x = 1, cos y = 1 or
    // sin y = y there: their next terms decide.
    constexpr long double kSmall = 0x1p-32L;
    const long double x2 = static_cast<long double>(x) * x, y2 = static_cast<long double>(y) * y;
    const bool sx = std::fabs(x) < kSmall, sy = std::fabs(y) < kSmall;
    const long double sinh_x = sx ? x2 / 6 : 0, cosh_x = sx ? x2 / 2 : 0;
    const long double cos_y = sy ? -y2 / 2 : 0, sin_y = sy ? -y2 / 6 : 0;
    below_least_normal<T>(re, (kCosh ? cosh_x : sinh_x) + cos_y);
    below_least_normal<T>(im, (kCosh ? sinh_x : cosh_x) + sin_y);
  }
  static bool zero_re(double x, double) { return !kCosh && x == 0; }
  static bool zero_im(double x, double y) { return y == 0 || (kCosh && x == 0); }
};

// As redo_elements wants it.
template <typename F, typename T>
inline void rounded(double x, double y, double, double, double& rr, double& ri) {
  long double re, im;
  F::template element<T>(x, y, re, im);
  rr = static_cast<double>(re), ri = static_cast<double>(im);
}

template <typename F, typename C>
int callout(const C* a, C* r) {
  using T = decltype(a->re);
  long double re, im;
  F::template element<T>(a->re, a->im, re, im);
  r->re = static_cast<T>(re), r->im = static_cast<T>(im);
  // The parts of a finite element are nonzero but where the function says: a zero part
  // elsewhere has underflowed.
  const bool finite = std::isfinite(a->re) && std::isfinite(a->im);
  return complex_status<kGrowthReports, T>(static_cast<long double>(a->re), static_cast<long double>(a->im), re,
                                           im, finite && F::zero_im(a->re, a->im), finite && F::zero_re(a->re, a->im));
}

// factor(x) cos y in the real lanes and factor(x) sin y in the imaginary lanes of elements
// (x, y), for |x| <= 708, by the plain methods (T float: single-precision polynomials, for results
// rounded to float); the accurate form is split_lanes below.
template <typename F, typename T>
inline __m512d lanes(__m512d a) {
  const __m512d limit = splat(F::kFar);
  const __m512d x = min(max(real_parts(a), sub(zero<__m512d>(), limit)), limit);
  // Non-finite parts are redone off the vector path; 0 keeps the reduction ordinary.
  const __m512d y = zero_unless(static_cast<__mmask8>(~classify<kClassInf | kClassNaN>(a)), imag_parts(a));
  // The short exponential is good to some 2^-29 only: every slot takes the accurate one.
  const DD<__m512d> e = F::factor(x);
  __m512d s, c;
  trig::sincos_plain<T>(y, s, c);
  const __m512d trig_head = select(kImagLanes, s, c);
  __m512d r = mul(add(e.hi, e.lo), trig_head);
  // A zero factor (sinh 0) or a zero sine: the product's zero with its sign, which the sums
  // above may have lost.
  r = select(equal(e.hi, zero<__m512d>()), mul(e.hi, trig_head), r);
  return select(equal(y, zero<__m512d>()) & kImagLanes, mul(e.hi, y), r);
}

// The accurate form on elements with their parts apart (x, y lane by lane), eight to a register:
// the same arithmetic per element as `lanes`, with each real block run once per element rather
// than in both of its lanes.
template <typename F>
inline void split_lanes(__m512d x0, __m512d y0, __m512d& re, __m512d& im) {
  const __m512d limit = splat(F::kFar);
  const __m512d x = min(max(x0, sub(zero<__m512d>(), limit)), limit);
  const __mmask8 odd = classify<kClassInf | kClassNaN>(x0) | classify<kClassInf | kClassNaN>(y0);
  const __m512d y = zero_unless(static_cast<__mmask8>(~odd), y0);
  const Factors f = F::factors(x);
  const polar::SinCos t = polar::sin_cos_pairs<true>(y, zero<__m512d>());
  auto product = [](DD<__m512d> e, DD<__m512d> p) {
    const DD<__m512d> en = fast_two_sum(e.hi, e.lo);
    const __m512d r = fma(en.hi, p.hi, fma(en.hi, p.lo, mul(en.lo, p.hi)));
    return select(equal(e.hi, zero<__m512d>()), mul(e.hi, p.hi), r);
  };
  re = product(f.re, t.c);
  im = select(equal(y, zero<__m512d>()), mul(f.im.hi, y), product(f.im, t.s));
}

// ---- Tanh (Tan by the turn below) -------------------------------------------------------------
// Kahan's form, with t = tan y, beta = 1 + t^2 = 1/cos^2 y, s = sinh x, c = cosh x:
//   tanh(x + iy) = (beta c s + i t) / (1 + beta s^2)
// adds terms of one sign only, so nothing cancels. Multiplied through by cos^2 y it needs no
// tangent at all, and one quotient serves both parts:
//   tanh(x + iy) = (c s + i sin y cos y) / (cos^2 y + s^2)
// The sine, cosine, sinh and cosh are pairs, the rest is double-double arithmetic and each part
// is rounded once. Beyond |x| = 22, 1 - |tanh x| < 2^-62 and
//   tanh(x + iy) = sign(x) + i 4 sin y cos y e^(-2|x|)
// to within 2^-61, which also keeps s^2 from overflowing. The rare elements are those of the
// exponential family: |x| > 350, where the imaginary part falls toward the bottom of the range,
// and parts near or below the least normal number.
struct TanhFn {
  static constexpr double kFar = 350;
  static constexpr double kAsymptotic = 22;

  // For results rounded to float: the plain sine and cosine of single precision and sums of the
  // pairs, in double, in the one-register layout.
  static __m512d plain(__m512d a) {
    using pairs::P;
    const __m512d limit = splat(kFar), one = splat(1.0), near_limit = splat(kAsymptotic);
    const __m512d x = min(max(real_parts(a), sub(zero<__m512d>(), limit)), limit);
    const __m512d y = zero_unless(static_cast<__mmask8>(~classify<kClassInf | kClassNaN>(a)), imag_parts(a));
    const SinhCosh h = sinh_cosh(min(max(x, sub(zero<__m512d>(), near_limit)), near_limit));
    const __mmask8 far = abs_greater(x, near_limit);
    __m512d sy, cy;
    trig::sincos_plain<float>(y, sy, cy);
    const __m512d sh = add(h.sh.hi, h.sh.lo), ch = add(h.ch.hi, h.ch.lo), sc = mul(sy, cy);
    __m512d r = div(select(kImagLanes, sc, mul(ch, sh)), fma(cy, cy, mul(sh, sh)));
    if (far) [[unlikely]] {
      const P e = half_exp_pair<false>(mul(abs(x), splat(-2.0)));
      r = select(far, select(kImagLanes, mul(mul(sc, add(e.hi, e.lo)), splat(8.0)), copy_sign(one, x)), r);
    }
    return keep_zeros(x, y, r);
  }

  // The pairs, for double results, on elements with their parts apart (lane by lane).
  static void split(__m512d x0, __m512d y0, __m512d& re, __m512d& im) {
    using pairs::P;
    const __m512d limit = splat(kFar), near_limit = splat(kAsymptotic);
    const __m512d x = min(max(x0, sub(zero<__m512d>(), limit)), limit);
    const __mmask8 odd = classify<kClassInf | kClassNaN>(x0) | classify<kClassInf | kClassNaN>(y0);
    const __m512d y = zero_unless(static_cast<__mmask8>(~odd), y0);
    const SinhCosh h = sinh_cosh(min(max(x, sub(zero<__m512d>(), near_limit)), near_limit));
    const __mmask8 far = abs_greater(x, near_limit);
    // The pairs of the sinh, cosh and exponential blocks carry tails up to a tenth of their
    // heads: renormalised before the double-double arithmetic, which drops tail times tail (the
    // sine and cosine pairs come renormalised, sin y = y below 2^-27 as in Exp).
    auto norm = [](P v) { return fast_two_sum(v.hi, v.lo); };
    const polar::SinCos t = polar::sin_cos_pairs<true>(y, zero<__m512d>());
    const P sc = dd_mul(t.s, t.c);
    const P sh = norm(h.sh), ch = norm(h.ch);
    const P den = dd_add(dd_mul(t.c, t.c), dd_mul(sh, sh));
    const P qr = pairs::dd_div(dd_mul(ch, sh), den), qi = pairs::dd_div(sc, den);
    re = add(qr.hi, qr.lo), im = add(qi.hi, qi.lo);
    if (far) [[unlikely]] {
      // e^(-2|x|)/2 as a pair, times sin y cos y, times 8.
      const P f = dd_mul(sc, norm(half_exp_pair<true>(mul(abs(x), splat(-2.0)))));
      re = select(far, copy_sign(splat(1.0), x), re);
      im = select(far, mul(add(f.hi, f.lo), splat(8.0)), im);
    }
    // the zeros keep their signs (keep_zeros)
    re = select(equal(x, zero<__m512d>()), x, re);
    im = select(equal(y, zero<__m512d>()), y, im);
  }

  // tanh(+-0 + iy) = +-0 + i tan y, tanh(x +- i0) = tanh x +- i0: the zeros keep their signs,
  // which the sums above may lose.
  static __m512d keep_zeros(__m512d x, __m512d y, __m512d r) {
    r = select(equal(x, zero<__m512d>()) & static_cast<__mmask8>(~kImagLanes), x, r);
    return select(equal(y, zero<__m512d>()) & kImagLanes, y, r);
  }

  // One element in extended precision: C's special values of ctanh, and finite elements by the
  // same two forms (beyond |x| = 23 the extended 1 - |tanh x| is below 2^-65).
  template <typename T>
  static void element(double x, double y, long double& re, long double& im) {
    if (std::isinf(x)) {
      // sign(x) + i0, the zero signed as sin 2y is (as y's when y is not finite)
      re = std::copysign(1.0, x);
      im = std::isfinite(y) ? std::copysign(0.0L, std::sin(static_cast<long double>(y)) * std::cos(static_cast<long double>(y)))
                            : std::copysign(0.0, y);
      return;
    }
    if (std::isnan(x) || !std::isfinite(y)) {
      re = kNaN;
      im = std::isnan(x) && y == 0 ? y : kNaN;  // NaN + i0 keeps the zero
      return;
    }
    const long double lx = x, ly = y;
    if (std::fabs(x) > 23) {
      re = std::copysign(1.0L, lx);
      im = y == 0 ? ly : 4 * std::sin(ly) * std::cos(ly) * std::exp(-2 * std::fabs(lx));
    } else {
      const long double t = std::tan(ly), beta = 1 + t * t, s = std::sinh(lx), d = 1 + beta * s * s;
      re = beta * std::sqrt(1 + s * s) * s / d;
      im = t / d;
    }
    // tanh z = z - z^3/3 + ...: Re = x (1 - x^2/3 + y^2), Im = y (1 - x^2 + y^2/3) to the next
    // terms, which decide a part that lands on the least normal number.
    constexpr long double kSmall = 0x1p-32L;
    if (std::fabs(x) < kSmall && std::fabs(y) < kSmall) {
      const long double x2 = lx * lx, y2 = ly * ly;
      below_least_normal<T>(re, y2 - x2 / 3);
      below_least_normal<T>(im, y2 / 3 - x2);
    }
  }
  static bool zero_re(double x, double) { return x == 0; }
  static bool zero_im(double, double y) { return y == 0; }
};

// The vector body of a function of the family: the shared product form, or Tanh's own.
template <typename F, typename T>
inline __m512d family_lanes(__m512d a) {
  if constexpr (std::is_same_v<F, TanhFn>) return TanhFn::plain(a);
  else return lanes<F, T>(a);
}
// The accurate form with the parts apart.
template <typename F>
inline void family_split(__m512d x, __m512d y, __m512d& re, __m512d& im) {
  if constexpr (std::is_same_v<F, TanhFn>) TanhFn::split(x, y, re, im);
  else split_lanes<F>(x, y, re, im);
}

// Elements of a result register that leave the vector path: non-finite parts or |x| > `big` in
// the argument, or a part at or below `small` that is not the exact zero of a real argument.
// For double results `small` lies a few dozen octaves above the least normal number: the tails
// of the products are formed on the subnormal grid there, which would cost a part near the
// least normal number its last bit. A part rounded up to the least normal number may still be
// an underflow, so `small` is never below it.
template <typename V>
inline __mmask8 off_path(V a, V r, Elem<V> big, Elem<V> small) {
  const auto zero_im = equal(a, zero<V>()) & static_cast<decltype(equal(a, a))>(0xAAAAAAAAu);
  const auto tiny = less_equal(abs(r), splat(small)) & ~zero_im;
  const auto far = abs_greater(a, splat(big)) & static_cast<decltype(equal(a, a))>(0x55555555u);
  return either_lane(classify<kClassInf | kClassNaN>(a) | tiny | far);
}

// The accurate kernels compute two registers at once with the parts apart (the driver runs a
// single register as two copies of itself); the plain methods keep the one-register layout.
template <typename F, bool kAccurate>
struct GrowthZ : Kernel<ZorpComplex16, 8> {
  static constexpr bool kGuardX87AtEntry = true;  // rare elements compute in extended precision
  static constexpr bool kSplit = kAccurate;
  static __m512d finish(__m512d a, __m512d r, __mmask8& special) {
    special = off_path(a, r, F::kFar, 0x1p-1000);
    if (special) [[unlikely]]
      r = redo_rare_elements(a, a, r, special, rounded<F, double>);
    return r;
  }
  static void body_pair(__m512d a0, __m512d, __m512d a1, __m512d, __m512d& r0, __m512d& r1, __mmask8& s0,
                        __mmask8& s1)
    requires kSplit
  {
    __m512d x, y, re, im;
    pairs::split_parts(a0, a1, x, y);
    family_split<F>(x, y, re, im);
    pairs::join_parts(re, im, r0, r1);
    r0 = finish(a0, r0, s0), r1 = finish(a1, r1, s1);
  }
  static __m512d body(__m512d a, __mmask8& special)
    requires(!kSplit)
  {
    return finish(a, family_lanes<F, double>(a), special);
  }
  static int callout(const T* a, T* r) { return cexp::callout<F>(a, r); }
};

// Single precision: float results overflow or underflow long before |x| reaches 708, where the
// vector path clamps x, so only non-finite parts are redone; the elements whose results overflow
// or underflow float are right from double and only need their status.
template <typename F>
struct GrowthC : Kernel<ZorpComplex8, 16> {
  static constexpr bool kGuardX87AtEntry = true;
  static __m512 body(__m512 a, __mmask8& special) {
    __m512 r = narrow(family_lanes<F, float>(widen_low(a)), family_lanes<F, float>(widen_high(a)));
    using L = std::numeric_limits<float>;
    special = off_path(a, r, L::max(), L::min()) | either_lane(classify<kClassInf>(r));
    const __mmask8 odd = either_lane(classify<kClassInf | kClassNaN>(a));
    if (odd) [[unlikely]]
      r = redo_rare_elements(a, a, r, odd, rounded<F, float>);
    return r;
  }
  static int callout(const T* a, T* r) { return cexp::callout<F>(a, r); }
};

// Sin and Cos by the hyperbolic kernels on w = -iz = y - ix: sin z = i sinh w, cos z = cosh w.
// Turning the argument and (for the sine) the result by a quarter is exact, signed zeros
// included, so the accuracy, the rare elements and the statuses are the hyperbolic ones.
template <typename Hyper, bool kSine>
struct Turned : Hyper {
  using typename Hyper::T;
  template <typename V>
  static V body(V a, __mmask8& special) {
    const V r = Hyper::body(negate_imag(swap_parts(a)), special);
    return kSine ? swap_parts(negate_imag(r)) : r;
  }
  template <typename V>
  static void body_pair(V a0, V, V a1, V, V& r0, V& r1, __mmask8& s0, __mmask8& s1)
    requires requires(V v, __mmask8 m) { Hyper::body_pair(v, v, v, v, v, v, m, m); }
  {
    const V w0 = negate_imag(swap_parts(a0)), w1 = negate_imag(swap_parts(a1));
    Hyper::body_pair(w0, w0, w1, w1, r0, r1, s0, s1);
    if constexpr (kSine) r0 = swap_parts(negate_imag(r0)), r1 = swap_parts(negate_imag(r1));
  }
  static int callout(const T* a, T* r) {
    const T w{a->im, -a->re};
    T q;
    const int status = Hyper::callout(&w, &q);
    *r = kSine ? T{-q.im, q.re} : q;
    return status;
  }
};

}  // namespace cexp

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(c, Exp, cexp::GrowthC<cexp::ExpFn>, cexp::GrowthC<cexp::ExpFn>)
VM_KERNELS(z, Exp, cexp::GrowthZ<cexp::ExpFn, false>, cexp::GrowthZ<cexp::ExpFn, true>)
VM_KERNELS(c, Sinh, cexp::GrowthC<cexp::HyperFn<false>>)
VM_KERNELS(z, Sinh, cexp::GrowthZ<cexp::HyperFn<false>, true>)
VM_KERNELS(c, Cosh, cexp::GrowthC<cexp::HyperFn<true>>)
VM_KERNELS(z, Cosh, cexp::GrowthZ<cexp::HyperFn<true>, true>)
VM_KERNELS(c, Sin, cexp::Turned<cexp::GrowthC<cexp::HyperFn<false>>, true>)
VM_KERNELS(z, Sin, cexp::Turned<cexp::GrowthZ<cexp::HyperFn<false>, true>, true>)
VM_KERNELS(c, Cos, cexp::Turned<cexp::GrowthC<cexp::HyperFn<true>>, false>)
VM_KERNELS(z, Cos, cexp::Turned<cexp::GrowthZ<cexp::HyperFn<true>, true>, false>)
VM_KERNELS(c, Tanh, cexp::GrowthC<cexp::TanhFn>)
VM_KERNELS(z, Tanh, cexp::GrowthZ<cexp::TanhFn, true>)
VM_KERNELS(c, Tan, cexp::Turned<cexp::GrowthC<cexp::TanhFn>, true>)
VM_KERNELS(z, Tan, cexp::Turned<cexp::GrowthZ<cexp::TanhFn, true>, true>)
