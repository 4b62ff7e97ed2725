// Asin, Acos, Atan, Atan2 and their pi-scaled forms Asinpi, Acospi, Atanpi, Atan2pi in double
// precision: every one is an angle atan2(n, d) of common/atan_core.h (atan: |x| and
// 1; asin: |x| and sqrt(1 - x^2); acos: sqrt(1 - x^2) and |x|; atan2: |y| and |x|), with the sign
// of the argument (of y) applied at the end and x < 0 (its sign bit, so -0 too) turning theta
// into pi - theta. The double HA slots form it on pairs, below one ulp; there 1 - x^2 is taken
// as 1 - (x^2 as an exact product) with the error of the subtraction kept, which keeps acos
// accurate next to 1, and the pi-scaled forms multiply the pair by 1/pi as a pair: asinpi(1) =
// 1/2, atan2pi(1, 1) = 1/4 exactly. The LA and EP arcsine and arccosine have a short method
// sized to each class, shared with single precision (common/atan_core.h, arc_short); the LA
// and EP arctangents form the angle plainly.
//
// Single precision has its own source, inverse_single.cpp.
//
// Asin and Acos beyond [-1, 1] give NaN and report a domain error (status 1); nothing else
// reports. Those lanes and NaN arguments are settled by the kernel (inverse_kernels.h) after
// the method, which may leave anything there.
#include <cmath>
#include <limits>

#include "simd/exact.h"
#include "simd/poly.h"
#include "vm/kernels/common/atan_core.h"
#include "vm/kernels/trig/generated/trig_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using namespace zorp::vm::angles;

// Arcsine and arccosine of x, |x| <= 1, as a pair (plain: a zero tail). With a = |x|: up to 1/2,
// asin a = a + a u A(u) with u = a^2; above, asin a = pi/2 - 2 asin s with s = sqrt((1 - a)/2)
// (1 - a is exact there), s carried as a pair on the pairs' method. Then
//   asin x = sign(x) asin a;   acos x = pi/2 - asin x (a <= 1/2), 2 asin s (x > 1/2),
//   pi - 2 asin s (x < -1/2),
// each formed as a pair and rounded once. No division, and one square root.
template <bool kCos, Method M>
inline P arc(V x) {
  constexpr bool kPairs = M == Method::Pairs;
  const V a = abs(x);
  const __mmask8 big = less(splat(0.5), a);
  const V z = mul(sub(splat(1.0), a), splat(0.5));  // exact for a >= 1/2
  const V root = sqrt(z);
  const V s = select(big, root, a);
  const V u = select(big, z, mul(a, a));
  V s_lo = zero<V>();
  if constexpr (kPairs) s_lo = zero_unless(big & less(zero<V>(), root), trig::low_quotient(fnma(root, root, z), add(root, root)));
  const P as = {s, fma(mul(s, u), horner(u, trigpoly::kAsinTailD), s_lo)};  // asin s, unrounded
  const P twice = {add(as.hi, as.hi), add(as.lo, as.lo)};
  const __mmask8 negative = less(x, zero<V>());
  if constexpr (!kCos) {
    // asin a: small as it is, big pi/2 - 2 asin s; then the sign of x.
    const P far = minus(kPiHi / 2, kPiLo / 2, twice);
    const P r = select_pair(big, far, as);
    return select_pair(negative, {sub(zero<V>(), r.hi), sub(zero<V>(), r.lo)}, r);
  } else {
    const P signed_as = select_pair(negative, {sub(zero<V>(), as.hi), sub(zero<V>(), as.lo)}, as);
    const P near = minus(kPiHi / 2, kPiLo / 2, signed_as);
    const P far = select_pair(negative, minus(kPiHi, kPiLo, twice), twice);
    return select_pair(big, far, near);
  }
}

// The kernels' method by slot: HA on pairs; the LA and EP arcsine and arccosine short
// (arc_short), their arctangent plain. Always inlined into the kernel's loop (out of line, the
// HA atan measured a sixth slower: one call per register, none of them interleaved).
template <Inv F, bool kPiUnits, Acc A>
[[gnu::always_inline]] inline V inverse(V x) {
  if constexpr (F != Inv::Atan && A != Acc::HA) {
    return arc_short<F, kPiUnits, A>(x);
  } else if constexpr (F == Inv::Atan) {
    const V a = abs(x);
    const __mmask8 inf = classify<kClassInf>(x);
    const V n = select(inf, splat(1.0), a), d = select(inf, zero<V>(), splat(1.0));
    V r;
    if constexpr (A == Acc::HA) r = small_angle<kPiUnits>(n, d, finish<kPiUnits>(angle(pair(n), pair(d), 0)));
    else r = angle_short<A, kPiUnits>(n, d, 0);
    r = copy_sign(r, x);
    return select(classify<kClassNaN>(x), add(x, x), r);
  } else {
    const V xm = max(min(x, splat(1.0)), splat(-1.0));
    V r = finish<kPiUnits>(arc<F == Inv::Acos, Method::Pairs>(xm));
    // asinpi of arguments whose share of pi falls among the subnormals: rounded once at scale.
    if constexpr (F == Inv::Asin) r = copy_sign(small_angle<kPiUnits>(abs(xm), splat(1.0), abs(r)), x);
    return r;
  }
}

}  // namespace
}  // namespace zorp::vm

#include "vm/kernels/trig/inverse_kernels.h"

ZORP_INVERSE_ROWS(d, double)
