// The complex inverse trigonometric and hyperbolic functions Asin, Acos, Atan, Asinh, Acosh,
// Atanh in single (c) and double (z) precision, one kernel for every accuracy slot: each part
// within an ulp of the exact one.
//
// Three cores and the identities with i that map the other functions onto them (swap(x, y)
// exchanges the parts):
//   asin(x + iy)                       the arcsine core
//   asinh(x + iy) = swap(asin(y + ix))
//   acos(x + iy)                       the arcsine core, taking the angle from the other side
//   acosh(x + iy) = (|Im acos|, Re acos with the sign of y)
//   atanh(x + iy)                      the arctanh core
//   atan(x + iy)  = swap(atanh(y + ix))
// Every core works on |x|, |y| and puts the signs back at the end (the functions are odd or
// conjugate-symmetric), so the branch cuts take the side the signed zeros ask for.
//
// The arcsine core follows the regions of Hull, Fairgrieve and Tang: with r = |z + 1|,
// s = |z - 1|, A = (r + s)/2 >= 1,
//   Im asin = ln(A + sqrt(A^2 - 1)) = log1p(Am1 + sqrt(Am1 (A + 1))), Am1 = A - 1 formed without
//             cancellation: (y^2/(r + x + 1) + y^2/(s + 1 - x))/2 for x < 1,
//             (y^2/(r + x + 1) + s + x - 1)/2 for x >= 1;
//   Re asin = atan2(x, D), Re acos = atan2(D, x), D = sqrt(A^2 - x^2) again without
//             cancellation: sqrt((A + x)(y^2/(r + x + 1) + s + 1 - x)/2) for x <= 1,
//             y sqrt(((A + x)/(r + x + 1) + (A + x)/(s + x - 1))/2) for x > 1.
// Every quantity is a double-double and the last steps are the logarithm and angle building
// blocks that take pairs (ln_pair, angles::angle), so the only rounding that counts is the
// last one. Where the formulas would leave the double range the asymptotic forms take over:
// a part >= 2^28: A = |z| and D = y to far below an ulp, so Im = ln 2|z| (|z| as a scaled pair) and
//              Re asin = atan2(x, y);
// both parts < 2^-30: asin z = z to far below an ulp (D = 1);
// x < 1 with 0 < y < 2^-450, where y^2 would fall below the normal range:
//              Im asin = y / sqrt((1 - x)(1 + x)).
//
// The arctanh core is Kahan's: Re atanh = log1p(4x / ((1 - x)^2 + y^2))/4,
// Im atanh = atan2(2y, (1 - x)(1 + x) - y^2)/2, in pairs. Once a part reaches 2^30 the real
// part is x/|z|^2 (the error of that form is 3/|z|^2 of the result) and the angle is formed on
// the scaled parts; with both parts below 2^-30, atanh z = z; at x = 1 with 0 < y < 2^-450
// (where (1 - x)^2 + y^2 would underflow) the real part is -ln(y/2)/2.
//
// Single precision runs the same code on the parts widened to double and rounds once.
// Elements with an infinite or NaN part, and the poles of atanh (+-1 +- i0) and atan
// (+-0 +- i), take the special results of C's Annex G, element by element; the poles give
// +-inf + i(+-0) (atanh) or +-0 +- i inf (atan) and report a singularity (status 2). Nothing
// else is reported: no finite argument overflows, and tiny results (asin z = z) are exact.
//
// A double register holds four complex elements, whose parts are spread over eight lanes (the
// upper four repeat them): the cores run on eight lanes of which four are used, which is what
// the layout costs; single precision fills all eight.
#include <cmath>
#include <limits>
#include <utility>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/vec.h"
#include "vm/kernels/common/atan_core.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/log_core.h"
#include "vm/kernels/complex/pairs.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using namespace pairs;

constexpr double kPi = 0x1.921fb54442d18p+1;
constexpr double kHuge = 0x1p28, kTiny = 0x1p-30, kTinyPart = 0x1p-450;

// atan2(n, d) in [0, pi] for pairs n, d >= 0, not both zero (x_negative: the lanes where the
// angle is taken from the negative side), rounded once. A tiny n is scaled up together with d
// so that the quotient's residual is not lost among the subnormals; not where d is huge (the
// scaling would take d to infinity and the angle to NaN, and n/d is below every subnormal there
// anyway: asin(1e-300 + 1e300 i)).
inline V angle_of(P n, P d, __mmask8 x_negative) {
  const __mmask8 low = less(n.hi, splat(0x1p-800)) & less(d.hi, splat(0x1p800));
  if (low) {
    const V f = select(low, splat(0x1p200), splat(1.0));
    n = {mul(n.hi, f), mul(n.lo, f)};
    d = {mul(d.hi, f), mul(d.lo, f)};
  }
  const P theta = angles::angle(n, d, x_negative);
  return add(theta.hi, theta.lo);
}

// ln(1 + t) for a pair t >= 0.
inline V log1p_of(P t) {
  V c;
  const V w = one_plus(t.hi, c);
  return ln_pair<true, false>(w, add(c, t.lo), zero<V>());
}

// Lanes whose argument has an infinite or NaN part.
inline __mmask8 nonfinite(V x, V y) {
  return classify<kClassInf | kClassNaN>(x) | classify<kClassInf | kClassNaN>(y);
}

// The special results (infinite or NaN parts, poles) of the cores, per element.
struct Special {
  // asin(x + iy) = swap(asinh(y + ix)); asinh's table is the one C states.
  static void arcsine(double x, double y, double& re, double& im) {
    const double u = std::fabs(y), v = std::fabs(x), inf = std::numeric_limits<double>::infinity();
    double a, b;  // asinh(u + iv)
    if (std::isinf(u)) a = inf, b = std::isnan(v) ? v : std::isinf(v) ? kPi / 4 : 0.0;
    else if (std::isinf(v)) a = inf, b = std::isnan(u) ? u : kPi / 2;
    else a = u + v, b = v == 0 ? 0.0 : a;  // a NaN part: NaN, but asinh(NaN + i0) = NaN + i0
    re = std::copysign(b, x), im = std::copysign(a, y);
  }
  static void arccosine(double x, double y, double& re, double& im) {
    const double inf = std::numeric_limits<double>::infinity();
    if (std::isinf(y)) {
      re = std::isnan(x) ? x : std::isinf(x) ? (x > 0 ? kPi / 4 : 3 * kPi / 4) : kPi / 2;
      im = -y;
    } else if (std::isinf(x)) {
      re = std::isnan(y) ? y : x > 0 ? 0.0 : kPi;
      im = -std::copysign(inf, y);  // a NaN y leaves the sign open: -inf
    } else {  // a NaN part: NaN, but the real part of acos(+-0 + i NaN) is pi/2
      re = x == 0 ? kPi / 2 : x + y;
      im = x + y;
    }
  }
  static void arctanh(double x, double y, double& re, double& im) {
    const double ax = std::fabs(x), ay = std::fabs(y);
    double a, b;
    if (std::isinf(ax) || std::isinf(ay)) a = 0.0, b = std::isnan(ay) ? ay : kPi / 2;
    else if (ax == 1 && ay == 0) a = std::numeric_limits<double>::infinity(), b = 0.0;
    else a = ax == 0 ? 0.0 : ax + ay, b = ax + ay;  // a NaN part
    re = std::copysign(a, x), im = std::copysign(b, y);
  }
};

// The flagged lanes of (re, im) replaced by f(x, y) element by element.
template <typename F>
__attribute__((noinline, cold)) void fix_lanes(V x, V y, V& re, V& im, __mmask8 lanes, F f) {
  alignas(64) double xs[8], ys[8], rs[8], is[8];
  store(xs, x), store(ys, y), store(rs, re), store(is, im);
  for (int i = 0; i < 8; ++i)
    if ((lanes >> i) & 1) f(xs[i], ys[i], rs[i], is[i]);
  re = load(rs), im = load(is);
}

// The arcsine core: asin(x + iy), or acos(x + iy) with kAcos.
template <bool kAcos>
inline void arcsine(V x, V y, V& re, V& im) {
  const P one = pair(splat(1.0));
  const V ax = abs(x), ay = abs(y), m = max(ax, ay);
  const __mmask8 above = less(splat(1.0), ax), from_one = less_equal(splat(1.0), ax);  // x > 1, x >= 1

  const P xp1 = two_sum(splat(1.0), ax), xm1 = two_sum(ax, splat(-1.0));
  const P yy = two_prod(ay, ay);
  const P r = dd_sqrt(dd_add(dd_mul(xp1, xp1), yy));
  // s = |z - 1| is y itself at x = 1, where y^2 may have fallen below the normal range
  const P s = select_pair(equal(ax, splat(1.0)), pair(ay), dd_sqrt(dd_add(dd_mul(xm1, xm1), yy)));
  const P a = dd_half(dd_add(r, s));
  const P rx = dd_add(r, xp1);                                     // r + x + 1
  const P sx = dd_add(s, select_pair(above, xm1, dd_neg(xm1)));    // s + |x - 1|
  const P yr = dd_div(yy, rx);
  const P apx = dd_add(a, pair(ax));
  const P ys = dd_div(yy, sx);  // taken for x < 1 only, where sx >= 2(1 - x) > 0
  // 2(A - 1), halved after the product below: A - 1 itself may be a subnormal y/2 (at x = 1)
  const P am2 = dd_add(yr, select_pair(from_one, sx, ys));
  P d = select_pair(above, dd_mul(dd_sqrt(dd_half(dd_add(dd_div(apx, rx), dd_div(apx, sx)))), ay),
                    dd_sqrt(dd_half(dd_mul(apx, dd_add(yr, sx)))));
  V imag = log1p_of(dd_add(dd_half(am2), dd_sqrt(dd_half(dd_mul(am2, dd_add(a, one))))));

  const __mmask8 y_zero = equal(ay, zero<V>());
  const __mmask8 tiny_part = static_cast<__mmask8>(less(ay, splat(kTinyPart)) & ~y_zero & ~from_one);
  if (tiny_part) {
    const P root = dd_sqrt(dd_mul(dd_neg(xm1), xp1));
    const P q = dd_div(pair(ay), root);
    imag = select(tiny_part, add(q.hi, q.lo), imag);
  }
  const __mmask8 huge = less_equal(splat(kHuge), m);
  if (huge) {
    const V k = exponent_of(m), f = scale_by_pow2(splat(1.0), sub(zero<V>(), k));
    const V xs = mul(ax, f), ys2 = mul(ay, f);
    const P modulus = dd_sqrt(dd_add(two_prod(xs, xs), two_prod(ys2, ys2)));
    imag = select(huge, ln_pair<true, false>(modulus.hi, modulus.lo, add(k, splat(1.0))), imag);
    d = select_pair(huge, pair(ay), d);
  }
  const __mmask8 tiny = less(m, splat(kTiny));
  imag = select(tiny, ay, imag);
  d = select_pair(tiny, one, d);

  if constexpr (kAcos) {
    re = angle_of(d, pair(ax), angles::sign_set(x));
    im = copy_sign(imag, flip_bits(y, 0x8000000000000000ull));  // the opposite sign of y, zeros too
  } else {
    re = copy_sign(angle_of(pair(ax), d, 0), x);
    im = copy_sign(imag, y);
  }
  const __mmask8 odd = nonfinite(x, y);
  if (odd) [[unlikely]]
    fix_lanes(x, y, re, im, odd, kAcos ? Special::arccosine : Special::arcsine);
}

// The arctanh core; `pole` gets the lanes at +-1 +- i0.
inline void arctanh(V x, V y, V& re, V& im, __mmask8& pole) {
  const V ax = abs(x), ay = abs(y), m = max(ax, ay);
  const P omx = two_sum(splat(1.0), sub(zero<V>(), ax)), opx = two_sum(splat(1.0), ax);
  const P yy = two_prod(ay, ay);
  const P den = dd_add(dd_mul(omx, omx), yy);
  V real = mul(log1p_of(dd_div(pair(mul(ax, splat(4.0))), den)), splat(0.25));
  const P dd = dd_add(dd_mul(omx, opx), dd_neg(yy));  // 1 - x^2 - y^2
  const __mmask8 d_negative = less(dd.hi, zero<V>());
  const V d_sign = bit_and(dd.hi, splat(-0.0));  // |dd|: both parts flipped where it is negative
  V imag = angle_of(pair(add(ay, ay)), {_mm512_xor_pd(dd.hi, d_sign), _mm512_xor_pd(dd.lo, d_sign)}, d_negative);

  const __mmask8 at_one = equal(ax, splat(1.0));
  const __mmask8 y_zero = equal(ay, zero<V>());
  const __mmask8 near_pole = static_cast<__mmask8>(at_one & less(ay, splat(kTinyPart)) & ~y_zero);
  if (near_pole) real = select(near_pole, mul(ln_pair<true, false>(ay, zero<V>(), splat(-1.0)), splat(-0.5)), real);
  const __mmask8 huge = less_equal(splat(kHuge * 4), m);
  if (huge) {
    const V k = exponent_of(m), f = scale_by_pow2(splat(1.0), sub(zero<V>(), k));
    const V xs = mul(ax, f), ys = mul(ay, f);
    const P sq = dd_add(two_prod(xs, xs), two_prod(ys, ys));
    const P q = dd_div(pair(xs), sq);
    real = select(huge, mul(add(q.hi, q.lo), f), real);
    const P gap = dd_add(sq, pair(sub(zero<V>(), mul(f, f))));  // |z|^2 - 1, scaled
    imag = select(huge, angle_of(pair(mul(add(ys, ys), f)), gap, 0xFF), imag);
  }
  imag = mul(imag, splat(0.5));
  const __mmask8 tiny = less(m, splat(kTiny));
  real = select(tiny, ax, real);
  imag = select(tiny, ay, imag);
  re = copy_sign(real, x);
  im = copy_sign(imag, y);
  pole = at_one & y_zero;
  const __mmask8 odd = nonfinite(x, y) | pole;
  if (odd) [[unlikely]]
    fix_lanes(x, y, re, im, odd, Special::arctanh);
}

enum class Fn { Asin, Asinh, Acos, Acosh, Atan, Atanh };

// f(x + iy) for eight elements given as parts; `pole` gets the elements that report a
// singularity.
template <Fn F>
inline void evaluate(V x, V y, V& re, V& im, __mmask8& pole) {
  pole = 0;
  if constexpr (F == Fn::Asin) arcsine<false>(x, y, re, im);
  else if constexpr (F == Fn::Asinh) arcsine<false>(y, x, im, re);
  else if constexpr (F == Fn::Acos) arcsine<true>(x, y, re, im);
  else if constexpr (F == Fn::Atanh) arctanh(x, y, re, im, pole);
  else if constexpr (F == Fn::Atan) arctanh(y, x, im, re, pole);
  else {
    V a, b;
    arcsine<true>(x, y, a, b);
    re = abs(b);
    // the imaginary part takes the sign of y, and is NaN with it
    im = select(unordered(y, y), y, copy_sign(a, y));
  }
}

template <Fn F>
inline constexpr bool kHasPoles = F == Fn::Atan || F == Fn::Atanh;

template <typename C, Fn F>
struct InverseBody : Kernel<C> {
  using R = std::conditional_t<std::is_same_v<C, ZorpComplex16>, __m512d, __m512>;
  static constexpr __mmask8 kElements = std::is_same_v<C, ZorpComplex16> ? 0x0F : 0xFF;

  static R body(R a, __mmask8& special) {
    V x, y, re, im;
    __mmask8 pole;
    split_parts(a, x, y);
    evaluate<F>(x, y, re, im, pole);
    special = pole & kElements;
    return join_parts<R>(re, im);
  }
};

// Atan and Atanh have poles: the callout gives the body's result for the element and reports a
// singularity.
template <typename C, Fn F>
struct WithPoles : InverseBody<C, F> {
  using B = InverseBody<C, F>;
  static int callout(const C* a, C* r) {
    using E = decltype(a->re);
    typename B::R v;
    if constexpr (std::is_same_v<E, double>) v = _mm512_setr_pd(a->re, a->im, 0, 0, 0, 0, 0, 0);
    else v = _mm512_setr_ps(a->re, a->im, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    __mmask8 special;
    alignas(64) E out[64 / sizeof(E)];
    store(out, B::body(v, special));
    *r = {out[0], out[1]};
    return special & 1 ? kStatusSingularity : 0;
  }
};

template <typename C, Fn F>
using InverseK = std::conditional_t<kHasPoles<F>, WithPoles<C, F>, InverseBody<C, F>>;

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
// Both precisions of one function.
#define INVERSE_ROWS(F)                                    \
  VM_KERNELS(c, F, InverseK<ZorpComplex8, Fn::F>)          \
  VM_KERNELS(z, F, InverseK<ZorpComplex16, Fn::F>)
INVERSE_ROWS(Asin)
INVERSE_ROWS(Asinh)
INVERSE_ROWS(Acos)
INVERSE_ROWS(Acosh)
INVERSE_ROWS(Atan)
INVERSE_ROWS(Atanh)
#undef INVERSE_ROWS
