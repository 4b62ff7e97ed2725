// Complex arithmetic: Add, Sub, Conj, Mul, MulByConj, Div, Sqrt, Abs for single (c) and double
// (z) precision complex elements, (re, im) pairs in adjacent lanes.
//
// Accuracy and range: Mul, MulByConj and Abs must neither overflow nor underflow on the way to a
// representable result, and each result component must be within its class of the exact one.
//  * Single precision works in double: the products of floats are exact there and no float
//    input can overflow or underflow a double product, so one rounding to double and one to
//    float leave every component within an ulp.
//  * Double precision Mul computes each component ac - bd as an exact sum of two products
//    (product plus its fma error term, then a compensated sum), so even cancelling components
//    keep their accuracy. Elements with components outside 2^±450 (where products or their
//    error terms could leave the normal range), infinities or NaN take a scalar path that
//    separates the exponents before multiplying.
//  * Double precision Abs scales the element by a power of 2 taken from its larger component,
//    so the squares can neither overflow nor underflow; zeros, infinities (which win over NaN,
//    as in hypot) and NaN are set afterwards. A modulus beyond the result type's range (either
//    precision) is the one reported case: overflow.
// The accuracy slots share these kernels: the catalogue's separate slot symbols are
// instantiations of the same templates.
#include "simd/isa.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/complex/complex_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// x*y for double-complex lanes with plain rounding: each component one fma after one product.
// Exact enough for widened floats, whose products are exact in double.
inline __m512d mul_widened(__m512d x, __m512d y) {
  return fma(real_parts(x), y, mul(imag_parts(x), negate_real(swap_parts(y))));
}

// a*b + c*d for doubles, exactly up to the last rounding: (hi + lo) * 2^e, with hi + lo the
// double-double sum of the two products formed on a common exponent. Each factor is split into
// mantissa and exponent first, so nothing overflows or underflows on the way, whatever the
// operands' exponents. Operands must be finite. A zero product takes no part in choosing the
// common exponent; when both are zero the sum is (0, 0) on an exponent far below any other.
struct ScaledSum {
  double hi, lo;
  int e;
};
inline ScaledSum sum_of_products(double a, double b, double c, double d) {
  constexpr int kNoExponent = -(1 << 20);
  int ea, eb, ec, ed;
  const double ma = std::frexp(a, &ea), mb = std::frexp(b, &eb), mc = std::frexp(c, &ec),
               md = std::frexp(d, &ed);
  const double p1 = ma * mb, e1 = std::fma(ma, mb, -p1);  // |p1| in [1/4, 1) unless zero
  const double p2 = mc * md, e2 = std::fma(mc, md, -p2);
  const int x1 = p1 == 0 ? kNoExponent : ea + eb, x2 = p2 == 0 ? kNoExponent : ec + ed;
  const int x = x1 > x2 ? x1 : x2;
  // Shift the smaller product down; whatever falls below the double range is far below the
  // last bit of the larger one (cancellation needs exponents within one of each other).
  const double q1 = std::ldexp(p1, x1 - x), f1 = std::ldexp(e1, x1 - x);
  const double q2 = std::ldexp(p2, x2 - x), f2 = std::ldexp(e2, x2 - x);
  const double s = q1 + q2, bb = s - q1;
  const double err = ((q1 - (s - bb)) + (q2 - bb)) + (f1 + f2);
  const double hi = s + err, hb = hi - s;
  return {hi, (s - (hi - hb)) + (err - hb), x};
}

// ac - bd for doubles, accurately and without intermediate overflow or underflow, rounded once
// and put back on its exponent. With an infinite or NaN factor, a product of two finite factors
// is finite even where it passes the double range, so it never cancels the other product's
// infinity: (inf - 1.8e308 i)(-1.5 - 0.5 i) has imaginary part -inf, not NaN from inf - inf.
double diff_of_products(double a, double c, double b, double d) {
  if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c) || !std::isfinite(d)) {
    if (std::isfinite(a) && std::isfinite(c)) return -(b * d);
    if (std::isfinite(b) && std::isfinite(d)) return a * c;
    return a * c - b * d;
  }
  if (a == 0 || b == 0 || c == 0 || d == 0) return a * c - b * d;
  const ScaledSum r = sum_of_products(a, c, -b, d);
  return std::ldexp(r.hi, r.e);
}

// x*y for double-complex lanes as an unevaluated sum s + err per part: each part is a sum of two
// products, formed with their exact errors (fma) and summed compensated, so s + err carries the
// exact part to well below an ulp.
inline DD<__m512d> complex_product_parts(__m512d x, __m512d y) {
  const __m512d x1 = real_parts(x), y1 = y;
  const __m512d x2 = imag_parts(x), y2 = negate_real(swap_parts(y));
  const __m512d p1 = mul(x1, y1), e1 = fms(x1, y1, p1);
  const __m512d p2 = mul(x2, y2), e2 = fms(x2, y2, p2);
  const __m512d s = add(p1, p2), sb = sub(s, p1);
  const __m512d t = add(sub(p1, sub(s, sb)), sub(p2, sb));
  return {s, add(t, add(e1, e2))};
}

// re^2 + im^2 of each element, in both of its lanes, as a double-double: exact squares and a
// compensated sum.
inline DD<__m512d> squared_modulus(__m512d x) {
  const __m512d sq = mul(x, x), sql = fms(x, x, sq);
  const __m512d sq2 = swap_parts(sq);
  const __m512d h = add(sq, sq2), bb = sub(h, sq);
  return {h, add(add(sub(sq, sub(h, bb)), sub(sq2, bb)), add(sql, swap_parts(sql)))};
}


// The stored result of a division by a zero complex divisor: each part of the dividend divided
// by the divisor's real zero (±inf, or NaN for a zero part). Status 2.
template <typename C>
int divide_by_zero_divisor(const C* a, const C* b, C* r) {
  r->re = a->re / b->re;
  r->im = a->im / b->re;
  return 2;
}

// ---- kernels ------------------------------------------------------------------------------------
// The vector of a complex element type: pairs of floats or of doubles in one register.
template <typename C>
using CVec = std::conditional_t<sizeof(C) == 8, __m512, __m512d>;

template <typename C, int kOp>  // 0 Add, 1 Sub
struct AddSubK : Kernel<C> {
  static CVec<C> body(CVec<C> a, CVec<C> b, __mmask8&) { return kOp == 0 ? add(a, b) : sub(a, b); }
};

template <typename C>
struct ConjK : Kernel<C> {
  static CVec<C> body(CVec<C> a, __mmask8&) { return negate_imag(a); }
};

// One element's product, for the elements the vector formula cannot take (parts far apart,
// infinities, NaN). Infinite and NaN parts follow C's annex for complex arithmetic: where the
// formula gives NaN in both parts, an infinite factor still makes an infinite product. Each
// infinite factor's parts become +-1 (infinite) or +-0 (finite), the other factor's NaN parts
// +-0, and the product of those is scaled by infinity: (inf + NaN i) times (NaN + inf i) is
// (NaN, +inf), not (NaN, NaN). (b is already conjugated for MulByConj.)
inline void element_product(double a, double b, double c, double d, double& re, double& im) {
  re = diff_of_products(a, c, b, d);
  im = diff_of_products(a, d, -b, c);
  if (!(std::isnan(re) && std::isnan(im))) return;
  bool recover = false;
  auto box = [](double& x, double& y) {  // an infinite pair to +-1 / +-0
    x = std::copysign(std::isinf(x) ? 1.0 : 0.0, x);
    y = std::copysign(std::isinf(y) ? 1.0 : 0.0, y);
  };
  auto unnan = [](double& x) {
    if (std::isnan(x)) x = std::copysign(0.0, x);
  };
  if (std::isinf(a) || std::isinf(b)) {
    box(a, b), unnan(c), unnan(d);
    recover = true;
  }
  if (std::isinf(c) || std::isinf(d)) {
    box(c, d), unnan(a), unnan(b);
    recover = true;
  }
  if (!recover) return;
  const double inf = std::numeric_limits<double>::infinity();
  re = inf * (a * c - b * d);
  im = inf * (a * d + b * c);
}

// Mul (kConj false) and MulByConj (a times the conjugate of b).
template <typename C, bool kConj>
struct MulK;

template <bool kConj>
struct MulK<ZorpComplex8, kConj> : Kernel<ZorpComplex8, 16> {
  static __m512 body(__m512 a, __m512 b, __mmask8&) {
    if (kConj) b = negate_imag(b);
    __m512 r = narrow(mul_widened(widen_low(a), widen_low(b)), mul_widened(widen_high(a), widen_high(b)));
    const __mmask8 odd = either_lane(classify<kClassInf | kClassNaN>(a) | classify<kClassInf | kClassNaN>(b));
    if (odd) [[unlikely]]
      r = redo_rare_elements(a, b, r, odd, element_product);
    return r;
  }
};

template <bool kConj>
struct MulK<ZorpComplex16, kConj> : Kernel<ZorpComplex16, 8> {
  // Components whose products and error terms stay normal: |x| in [2^-450, 2^450) or zero.
  static __mmask8 moderate(__m512d v) {
    const __m512d e = abs(exponent_of(v));
    return less(e, splat(double(450))) | classify<0x06>(v);
  }
  static __m512d body(__m512d a, __m512d b, __mmask8&) {
    if (kConj) b = negate_imag(b);
    // r = re(a)*b + im(a)*(-im b, re b), each product with its exact error, summed compensated
    const DD<__m512d> product = complex_product_parts(a, b);
    __m512d r = add(product.hi, product.lo);
    const __mmask8 ok = moderate(a) & moderate(b);
    if (ok != 0xFF) {
      r = redo_elements(a, b, r, static_cast<__mmask8>(~both_lanes(ok) & 0xF), element_product);
    }
    return r;
  }
};

// ---- double-precision Div -------------------------------------------------------------------
// a/b = a*conj(b) / |b|^2, each part to within an ulp of the exact part, even where the
// numerator cancels, and with no intermediate overflow or underflow.
//
// Vector path: a and b are each scaled by a power of 2 from their larger part, so that part
// lies in [1, 2). Elements whose smaller part then stays above 2^-400 (or is zero) have all
// products and their fma error terms in the normal range, so the numerator parts come out as
// exact double-double sums and |b'|^2 as a double-double in [1, 8). One division of the high
// parts, corrected by the exact remainder and the low parts, leaves the quotient within a
// little over half an ulp; it is put back on its exponent by one scaling, which rounds once
// more only where the result is subnormal.
//
// Scalar path (other elements; rare): the same computation on mantissas and exponents taken
// apart by frexp, valid for every finite pair. Non-finite elements follow the C99 Annex G
// conventions for complex division:
//  * a zero divisor (both parts zero): each part of a divided by the divisor's real zero, so
//    ±inf, or NaN for a zero or NaN part. This is the one reported element, status 2, and the
//    stored result is the same whether or not the error mode lets the callout run;
//  * an infinite a (a part infinite, the other anything) over a finite nonzero b: an infinity.
//    Infinite parts of a count as ±1 and the others as ±0; each result part is infinite with
//    the sign of that part of a'*conj(b), and NaN where that part is zero;
//  * a finite a over an infinite b: zero, each part with the sign the same product rule gives;
//  * everything else with an infinity or a NaN: NaN in both parts.
namespace zdiv {

constexpr double kMaxSpread = 400;  // vector path: smaller part above 2^-400 of the larger

inline double project(double x) { return std::copysign(std::isinf(x) ? 1.0 : 0.0, x); }

// The quotient of one element; any operands.
inline void divide(double ar, double ai, double br, double bi, double& qr, double& qi) {
  if (br == 0 && bi == 0) {
    qr = ar / br;
    qi = ai / br;
    return;
  }
  const bool a_finite = std::isfinite(ar) && std::isfinite(ai);
  const bool b_finite = std::isfinite(br) && std::isfinite(bi);
  if (!a_finite || !b_finite) {
    const bool a_inf = std::isinf(ar) || std::isinf(ai), b_inf = std::isinf(br) || std::isinf(bi);
    const double inf = std::numeric_limits<double>::infinity();
    if (a_inf && b_finite) {
      const double pr = project(ar), pi = project(ai);
      qr = inf * (pr * br + pi * bi);  // 0 * inf: NaN, direction undetermined
      qi = inf * (pi * br - pr * bi);
    } else if (b_inf && a_finite) {
      const double pr = project(br), pi = project(bi);
      qr = std::copysign(0.0, ar * pr + ai * pi);
      qi = std::copysign(0.0, ai * pr - ar * pi);
    } else {
      qr = qi = std::numeric_limits<double>::quiet_NaN();
    }
    return;
  }
  const ScaledSum d = sum_of_products(br, br, bi, bi);
  auto part = [&](const ScaledSum& n) {
    const double q0 = n.hi / d.hi;
    const double rem = std::fma(-q0, d.hi, n.hi) + n.lo - q0 * d.lo;
    return std::ldexp(q0 + rem / d.hi, n.e - d.e);
  };
  qr = part(sum_of_products(ar, br, ai, bi));
  qi = part(sum_of_products(ai, br, -ar, bi));
}

// Per lane: the part is zero, or within kMaxSpread binades of its element's larger part
// (whose exponent is k, in both lanes).
inline __mmask8 close_parts(__m512d v, __m512d k) {
  const __m512d e = exponent_of(v);
  return greater_equal(e, sub(k, splat(kMaxSpread))) |
         classify<0x06>(v);
}

}  // namespace zdiv

struct DivZ : Kernel<ZorpComplex16, 8> {
  static __m512d body(__m512d a, __m512d b, __mmask8& special) {
    const __m512d aa = abs(a), ab = abs(b);
    const __m512d ma = max(aa, swap_parts(aa)), mb = max(ab, swap_parts(ab));
    const __mmask8 a_zero = equal(ma, simd::zero<__m512d>());
    const __m512d ka = zero_unless(static_cast<__mmask8>(~a_zero), exponent_of(ma));
    const __m512d kb = exponent_of(mb);
    const __m512d x = scale_by_pow2(a, sub(simd::zero<__m512d>(), ka));
    const __m512d y = scale_by_pow2(b, sub(simd::zero<__m512d>(), kb));
    // numerator x*conj(y) = re(x)*(yr, -yi) + im(x)*(yi, yr): exact products, compensated sum,
    // kept as a double-double (nh, nl)
    const DD<__m512d> product = complex_product_parts(x, negate_imag(y));
    const __m512d s = product.hi, err = product.lo;
    const __m512d nh = add(s, err), nb = sub(nh, s);
    const __m512d nl = add(sub(s, sub(nh, nb)), sub(err, nb));
    // |y|^2 as a double-double (dh, dl), dh in [1, 8)
    const DD<__m512d> modulus2 = squared_modulus(y);
    const __m512d dh = modulus2.hi, dl = modulus2.lo;
    // quotient: q0 corrected by (nh - q0*dh + nl - q0*dl) / dh; the correction is some 2^-53
    // of q0, so the 14-bit reciprocal estimate divides it finely enough
    const __m512d q0 = div(nh, dh);
    const __m512d rem = fnma(q0, dl, add(fnma(q0, dh, nh), nl));
    const __m512d q = fma(rem, reciprocal_estimate(dh), q0);
    __m512d r = scale_by_pow2(q, sub(ka, kb));

    const __mmask8 nonfinite = classify<0x99>(a) | classify<0x99>(b);
    const __mmask8 b_zero = equal(mb, simd::zero<__m512d>());
    const __mmask8 fast = zdiv::close_parts(a, ka) & zdiv::close_parts(b, kb) & static_cast<__mmask8>(~(nonfinite | b_zero));
    const __mmask8 slow = static_cast<__mmask8>(~both_lanes(fast) & 0xF);
    special = both_lanes(b_zero);
    if (slow) [[unlikely]]
      r = redo_rare_elements(a, b, r, slow, zdiv::divide);
    return r;
  }
  static int callout(const T* a, const T* b, T* r) { return divide_by_zero_divisor(a, b, r); }
};

// ---- double-precision Sqrt ------------------------------------------------------------------
// Principal square root, each part within an ulp (HA; the LA slot shares the kernel): with
// t = sqrt((|z| + |x|) / 2) and u = y / (2t), the root is (t, u) for x >= 0 (x = -0 included)
// and (|u|, t with the sign of y) for x < 0; a zero element gives (+0, y).
//
// z is scaled by 2^-2j with j = floor(k/2), k the exponent of its larger part, so that part lies
// in [1, 4); |z'| is formed as a double-double (exact squares, compensated sum, root corrected
// by its exact residual), then (|z'| + |x'|)/2 as a double-double and t' from it the same way,
// so t' is within a little over half an ulp and t = t' * 2^j exactly (t' >= sqrt(1/2), so t
// stays normal even for the least subnormal z). u is y*2^-j / (2t'), the quotient corrected by
// its exact remainder and the low part of t'; y*2^-j rather than y*2^-2j keeps a small y from
// losing bits to the subnormal range while its result part is still normal.
//
// Elements with an infinite or NaN part follow C99 Annex G (conjugate symmetry holds
// throughout; none of them is reported):
//   y = ±inf: (+inf, y), even for a NaN x;        x = +inf, finite y: (+inf, ±0 with y's sign);
//   x = -inf, finite y: (+0, ±inf with y's sign); x = +inf, NaN y: (+inf, NaN);
//   x = -inf, NaN y: (NaN, +inf);                 any other NaN: (NaN, NaN).
namespace zsqrt {

inline void root_of_nonfinite(double x, double y, double& rr, double& ri) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  if (std::isinf(y)) {
    rr = inf;
    ri = y;
  } else if (x == inf) {
    rr = inf;
    ri = std::isnan(y) ? y : std::copysign(0.0, y);
  } else if (x == -inf) {
    rr = std::isnan(y) ? nan : 0.0;
    ri = std::isnan(y) ? inf : std::copysign(inf, y);
  } else {
    rr = ri = nan;
  }
}

// As redo_elements wants it: the second argument is the first again.
inline void root_of_nonfinite_element(double x, double y, double, double, double& rr, double& ri) {
  root_of_nonfinite(x, y, rr, ri);
}

}  // namespace zsqrt

struct SqrtZ : Kernel<ZorpComplex16, 8> {
  static __m512d body(__m512d a, __mmask8&) {
    const __m512d half = splat(0.5);
    const __m512d aa = abs(a);
    const __m512d m = max(aa, swap_parts(aa));
    const __mmask8 zero = equal(m, simd::zero<__m512d>());
    const __m512d k = zero_unless(static_cast<__mmask8>(~zero), exponent_of(m));
    const __m512d j = round_integral<_MM_FROUND_TO_NEG_INF>(mul(k, half));
    const __m512d z = scale_by_pow2(a, mul(j, splat(-2.0)));  // larger part in [1, 4)
    const __m512d w = scale_by_pow2(a, sub(simd::zero<__m512d>(), j));
    // |z'| as (root + corr)
    const __m512d sq = mul(z, z), sql = fms(z, z, sq);
    const __m512d sq2 = swap_parts(sq);
    const __m512d h = add(sq, sq2), hb = sub(h, sq);
    const __m512d l = add(add(sub(sq, sub(h, hb)), sub(sq2, hb)), add(sql, swap_parts(sql)));
    const __m512d root = sqrt(h);
    // the corrections are some 2^-53 of what they correct: a 14-bit reciprocal is enough
    const __m512d corr = mul(add(fnma(root, root, h), l), mul(half, reciprocal_estimate(root)));
    // (|z'| + |x'|) / 2 as (sh, sl)
    const __m512d ax = real_parts(abs(z));
    const __m512d s = add(root, ax), sb = sub(s, root);
    const __m512d se = add(add(sub(root, sub(s, sb)), sub(ax, sb)), corr);
    const __m512d s2 = add(s, se);
    const __m512d sh = mul(s2, half), sl = mul(sub(se, sub(s2, s)), half);
    // t' = t0 + tc
    const __m512d t0 = sqrt(sh);
    const __m512d tc = mul(add(fnma(t0, t0, sh), sl), mul(half, reciprocal_estimate(t0)));
    const __m512d t = scale_by_pow2(add(t0, tc), j);
    // u = y'' / (2 t0 + 2 tc)
    const __m512d yy = imag_parts(w);
    const __m512d d0 = add(t0, t0), dc = add(tc, tc);
    const __m512d u0 = div(yy, d0);
    const __m512d urem = fnma(u0, dc, fnma(u0, d0, yy));
    // u carries the sign of y, a zero y's too (the correction can only turn -0 into +0)
    const __m512d u = copy_sign(fma(urem, reciprocal_estimate(d0), u0), yy);

    const __m512d re = real_parts(a), im = imag_parts(a);
    const __mmask8 odd = 0xAA;
    const __mmask8 nonneg = greater_equal(re, simd::zero<__m512d>());
    const __m512d pos = select(odd, u, t);
    const __m512d neg = select(odd, bit_or(t, bit_and(im, splat(-0.0))), abs(u));
    __m512d r = select(nonneg, pos, neg);
    r = select(zero & ~odd, simd::zero<__m512d>(), r);
    r = select(zero & odd, im, r);
    const __mmask8 nonfinite = classify<0x99>(a);
    if (nonfinite) [[unlikely]] {
      r = redo_rare_elements(a, a, r, either_lane(nonfinite), zsqrt::root_of_nonfinite_element);
    }
    return r;
  }
};

// ---- single-precision Div and Sqrt -------------------------------------------------------------
// They work in double, where the products, squares and sums of float parts are exact or rounded
// once, so each result part is within an ulp after narrowing. Zero divisors and elements with
// infinite or NaN parts get the double-precision kernels' scalar results, widened and narrowed:
// the same conventions in both precisions.
//
// Div reports status 2 for a zero divisor (both parts zero) and stores each part of the dividend
// divided by the divisor's real zero: ±inf, or NaN for a zero part; the vector body stores the
// same, so the result does not depend on whether the error mode lets the callout run.

struct DivC : Kernel<ZorpComplex8, 16> {
  static __m512d div_widened(__m512d x, __m512d y) {
    const __m512d num = mul_widened(x, negate_imag(y));
    const __m512d sq = mul(y, y);
    return div(num, add(sq, swap_parts(sq)));
  }
  static __m512 body(__m512 a, __m512 b, __mmask8& special) {
    const uint32_t zero_lanes = classify<0x06>(b);
    special = both_lanes(zero_lanes);
    const __m512 q = narrow(div_widened(widen_low(a), widen_low(b)), div_widened(widen_high(a), widen_high(b)));
    // zero divisors (the callout's result also where no callout runs) and non-finite parts
    const uint32_t odd = classify<0x99>(a) | classify<0x99>(b);
    const __mmask8 slow = special | either_lane(odd);
    if (slow) [[unlikely]]
      return redo_rare_elements(a, b, q, slow, zdiv::divide);
    return q;
  }
  static int callout(const T* a, const T* b, T* r) { return divide_by_zero_divisor(a, b, r); }
};

// Principal square root: with t = sqrt((|z| + |re z|) / 2), (t, im/(2t)) for re z >= 0 and
// (|im|/(2t), ±t with the sign of im) otherwise; a zero element gives (+0, im z); infinities and
// NaN as in zSqrt.
struct SqrtC : Kernel<ZorpComplex8, 16> {
  static __m512d sqrt_widened(__m512d x) {
    const __m512d sq = mul(x, x);
    const __m512d modulus = sqrt(add(sq, swap_parts(sq)));
    const __m512d re = real_parts(x), im = imag_parts(x);
    const __m512d t = sqrt(mul(add(modulus, abs(re)), splat(0.5)));
    const __m512d u = div(im, add(t, t));  // im / (2t)
    const __mmask8 odd = 0xAA;
    const __mmask8 nonneg = greater_equal(re, simd::zero<__m512d>());
    // re z >= 0: (t, u); re z < 0: (|u|, t with the sign of im)
    const __m512d sign_im = bit_and(im, splat(-0.0));
    const __m512d pos = select(odd, u, t);
    const __m512d neg = select(odd, bit_or(t, sign_im), abs(u));
    __m512d r = select(nonneg, pos, neg);
    const __mmask8 zero = equal(t, simd::zero<__m512d>());
    r = select(zero & ~odd, simd::zero<__m512d>(), r);
    return select(zero & odd, im, r);
  }
  static __m512 body(__m512 a, __mmask8&) {
    const __m512 r = narrow(sqrt_widened(widen_low(a)), sqrt_widened(widen_high(a)));
    const uint32_t odd = classify<0x99>(a);
    if (odd) [[unlikely]]
      return redo_rare_elements(a, a, r, either_lane(odd), zsqrt::root_of_nonfinite_element);
    return r;
  }
};

// |a| of complex elements; real results. An element of finite parts whose modulus exceeds the
// largest finite value of the result type gets +inf and is reported as an overflow (status 3);
// an infinite part gives +inf (over a NaN part too, as in hypot) without a report.
template <typename C>
struct AbsK;

template <>
struct AbsK<ZorpComplex8> : Kernel<ZorpComplex8, 16> {
  using Out = float;
  // sqrt(re^2 + im^2) in double for 4 elements; the result sits in both lanes of each element.
  static __m512d abs_widened(__m512d x) {
    const __m512d sq = mul(x, x);
    return sqrt(add(sq, swap_parts(sq)));
  }
  static __m256 body(__m512 a, __mmask8& special) {
    const __m512d lo = abs_widened(widen_low(a)), hi = abs_widened(widen_high(a));
    const __m512i even = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
    const __m256 r = _mm512_cvtpd_ps(_mm512_permutex2var_pd(lo, even, hi));
    // an infinite part wins over a NaN part, as in hypot
    const uint32_t inf_lanes = classify<0x18>(a);
    const __mmask8 inf = either_lane(inf_lanes);
    special = overflowed(r, inf);
    return _mm256_mask_mov_ps(r, inf, _mm256_set1_ps(std::numeric_limits<float>::infinity()));
  }
  // The modulus of finite parts came out infinite: it exceeds the largest float.
  static __mmask8 overflowed(__m256 r, __mmask8 inf) {
    return _mm256_cmp_ps_mask(r, _mm256_set1_ps(std::numeric_limits<float>::infinity()), _CMP_EQ_OQ) &
           static_cast<__mmask8>(~inf);
  }
  static int callout(const T*, float* r) {
    *r = std::numeric_limits<float>::infinity();
    return 3;
  }
};

template <>
struct AbsK<ZorpComplex16> : Kernel<ZorpComplex16, 8> {
  using Out = double;
  static __m256d body(__m512d a, __mmask8& special) {
    const __m512d m = max(abs(a), abs(swap_parts(a)));
    const __m512d k = exponent_of(m);
    const __m512d x = scale_by_pow2(a, sub(simd::zero<__m512d>(), k));
    // x^2 + y^2 as a double-double (h, l), then sqrt(h) corrected by one Newton step on the
    // exact residual: within an ulp where a plain sum and root reach about 1.0x ulp.
    const DD<__m512d> modulus2 = squared_modulus(x);
    const __m512d h = modulus2.hi, l = modulus2.lo;
    const __m512d root = sqrt(h);
    const __m512d residual = add(fnma(root, root, h), l);
    const __m512d corrected = fma(residual, div(splat(0.5), root), root);
    __m512d r = scale_by_pow2(corrected, k);
    // zeros, NaN, then infinities (an infinite part wins over a NaN part). A NaN part with a
    // zero beside it has left m = 0 (max(NaN, 0) gives 0) and the scalings by 2^-k and 2^k with
    // k = -inf have made a NaN infinite and then zero, so NaN is put back explicitly.
    r = select(equal(m, simd::zero<__m512d>()), simd::zero<__m512d>(), r);
    r = select(unordered(a, swap_parts(a)), add_quiet(a, swap_parts(a)), r);
    const __m512d infinity = splat(std::numeric_limits<double>::infinity());
    const __mmask8 inf = classify<0x18>(a) | classify<0x18>(swap_parts(a));
    // the modulus of finite parts came out infinite: it exceeds the largest double
    special = static_cast<__mmask8>(_pext_u32(equal(r, infinity) & ~inf, 0x55u));
    r = select(inf, infinity, r);
    return _mm512_castpd512_pd256(_mm512_permutexvar_pd(_mm512_setr_epi64(0, 2, 4, 6, 0, 0, 0, 0), r));
  }
  static int callout(const T*, double* r) {
    *r = std::numeric_limits<double>::infinity();
    return 3;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(c, Add, AddSubK<ZorpComplex8, 0>, AddSubK<ZorpComplex8, 0>)
VM_KERNELS(z, Add, AddSubK<ZorpComplex16, 0>, AddSubK<ZorpComplex16, 0>)
VM_KERNELS(c, Sub, AddSubK<ZorpComplex8, 1>, AddSubK<ZorpComplex8, 1>)
VM_KERNELS(z, Sub, AddSubK<ZorpComplex16, 1>, AddSubK<ZorpComplex16, 1>)
VM_KERNELS(c, Conj, ConjK<ZorpComplex8>)
VM_KERNELS(z, Conj, ConjK<ZorpComplex16>)
VM_KERNELS(c, Mul, MulK<ZorpComplex8, false>, MulK<ZorpComplex8, false>)
VM_KERNELS(z, Mul, MulK<ZorpComplex16, false>, MulK<ZorpComplex16, false>)
VM_KERNELS(c, MulByConj, MulK<ZorpComplex8, true>, MulK<ZorpComplex8, true>)
VM_KERNELS(z, MulByConj, MulK<ZorpComplex16, true>, MulK<ZorpComplex16, true>)
VM_KERNELS(c, Div, DivC, DivC)
VM_KERNELS(z, Div, DivZ, DivZ)
VM_KERNELS(c, Sqrt, SqrtC, SqrtC)
VM_KERNELS(z, Sqrt, SqrtZ, SqrtZ)
VM_KERNELS(c, Abs, AbsK<ZorpComplex8>, AbsK<ZorpComplex8>, AbsK<ZorpComplex8>)
VM_KERNELS(z, Abs, AbsK<ZorpComplex16>, AbsK<ZorpComplex16>, AbsK<ZorpComplex16>)
