// Asin, Acos, Atan, Atan2 and their pi-scaled forms in single precision, in float on sixteen
// lanes (common/atan_core.h's single section): arcsine and arccosine from the same split at 1/2
// as double, atan from one quotient, each accuracy slot with its own polynomial; HA adds the
// rounding error of the square root or quotient and reduces atan once more, LA and EP take the
// root and the quotient from the hardware estimates. Apart from the
// double source so that the two compile as separate units.
//
// Asin and Acos beyond [-1, 1] give NaN and report a domain error (status 1); nothing else
// reports.
#include <limits>

#include "simd/exact.h"
#include "simd/poly.h"
#include "vm/kernels/common/atan_core.h"
#include "vm/kernels/common/slots.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using namespace zorp::vm::angles;

// atan x for the HA slots, below one ulp, without the general angle's scalings and divider.
// With a = |x|, one quotient t in [-1/2, 1/2] and a base:
//   a <= 1/2:                t = a,                 base 0
//   a up to tan(3pi/8):      t = (a - 1)/(a + 1),   base pi/4
//   beyond:                  t = -1/a,              base pi/2
// and atan a = base + t + (t u A(u) + t_lo (1 - u)), u = t^2, t_lo the quotient's error (its
// share of atan is t_lo/(1 + u)). The middle interval starts at 1/2 rather than tan(pi/8) so
// that a - 1 is exact over it (below 1/2 a has a bit that a - 1 cannot hold, and dropping it
// cost 1.25 ulps); a + 1 keeps its rounding error as den_lo (there a + 1 - 1 is exact). The
// quotient: r the 14-bit reciprocal estimate, q = n r corrected once by its residual (some
// 2^-28 before rounding), so t is within about an ulp and n - t d is exact by the fused step;
// that residual less t den_lo, times r, is t_lo to some 2^-14 of itself. base + t is exact as a pair (|t| < pi/4 where the base is
// nonzero) and rounded once with the rest, at most 0.08 of the angle. The base's low part is
// the head times the ratio of pi's two parts (its own rounding is some 2^-50 of the angle). a
// is capped at 2^40, where atan already rounds to pi/2, so an infinity takes the same path and
// no step meets 0 times infinity; min keeps a NaN, which runs through to the result.
template <bool kPiUnits>
[[gnu::always_inline]] inline __m512 atan_high(__m512 x) {
  constexpr float kTanThreeEighthsPiF = 0x1.3504f4p+1f;
  const __m512 a = abs(x), one = splat(1.0f);
  const __mmask16 mid = less(splat(0.5f), a), big = less(splat(kTanThreeEighthsPiF), a);
  const __m512 above = add(a, one);
  const __m512 num = select(big, splat(-1.0f), add(a, mid, a, splat(-1.0f)));
  const __m512 den = select(big, min(a, splat(0x1p40f)), select(mid, above, one));
  const __m512 den_lo = sub_zero(mid & ~big, a, sub(above, one));
  const __m512 r0 = reciprocal_estimate(den);
  const __m512 q0 = mul(num, r0);
  const __m512 t = fma(fnma(q0, den, num), r0, q0);
  const __m512 t_lo = mul(fnma(t, den_lo, fnma(t, den, num)), r0);
  const __m512 u = mul(t, t);
  const __m512 base = select(big, splat(2 * kQuarterPiHiF), zero_unless(mid, splat(kQuarterPiHiF)));
  const __m512 base_lo_and_t_lo = fma(base, splat(kQuarterPiLoF / kQuarterPiHiF), fnma(t_lo, u, t_lo));
  const __m512 rest = fma(mul(t, u), horner(u, trigpoly::kAtanHalfHaF), base_lo_and_t_lo);
  const DD<__m512> s = fast_two_sum(base, t);
  __m512 r;
  if constexpr (kPiUnits) {
    const DD<__m512> p = two_prod(s.hi, splat(kInvPiHiF));
    r = add(p.hi, fma(s.hi, splat(kInvPiLoF), fma(add(s.lo, rest), splat(kInvPiHiF), p.lo)));
    // Below 2^-60 atan a is a, and a/pi falls near or among the subnormals, where p.hi would
    // already be rounded once before the sum rounds again (0.999 ulp measured): those lanes
    // take a/pi at 2^64 times its size and round once when scaled back.
    const __mmask16 tiny = less(a, splat(0x1p-60f));
    if (tiny) [[unlikely]] {
      const __m512 as = mul(a, splat(0x1p64f));
      const DD<__m512> q = two_prod(as, splat(kInvPiHiF));
      r = select(tiny, mul(add(q.hi, fma(as, splat(kInvPiLoF), q.lo)), splat(0x1p-64f)), r);
    }
  } else {
    r = add(s.hi, add(s.lo, rest));
  }
  return copy_sign(r, x);
}

// Single precision. Atan: atan_high above (HA), a short form of its own (LA, in radians), or
// the angle of (|x|, 1) with |x| capped. Asin and Acos, LA and EP: arc_short
// (common/atan_core.h), shared with double. HA: with a = |x|, up to 1/2 asin a = a + a u A(u)
// (u = a^2); above, s = sqrt(z), z = (1 - a)/2 exact, and asin a = pi/2 - 2 asin s;
// acos x = pi/2 - x, 2 asin s (x > 1/2) or pi - 2 asin s (x < -1/2), each base + c (v + rest)
// for compose, with the root's rounding error, (z - s^2)/(2s), added to rest: s alone is half
// an ulp off, which 2 asin s doubles.
template <Inv F, bool kPiUnits, Acc A>
[[gnu::always_inline]] inline __m512 inverse(__m512 x) {
  const __m512 a = abs(x);
  __m512 r;
  if constexpr (F == Inv::Atan) {
    if constexpr (A == Acc::HA) {
      return atan_high<kPiUnits>(x);
    } else if constexpr (A == Acc::LA && !kPiUnits) {
      // The angle's general form (swap, base and sign factors, composed) costs a third of this
      // kernel's instructions for the one case atan needs. With a = |x|: atan a = t + t u A(u)
      // for t = a up to 1, and pi/2 + that for t = -1/a beyond, where -1/a = r (a r - 2) is
      // the 14-bit estimate r refined once (2^-28 before its two roundings), taken in those
      // lanes alone; the sum rounds atan t and then adds pi/2 (whose head is 0.37 ulp off):
      // 2.21 ulps at worst over all floats, inside LA. a is capped at 2^40, where atan already
      // rounds to pi/2, so that an infinity's refinement is not 0 times infinity; min keeps a
      // NaN, which then runs through.
      const __m512 ac = min(splat(0x1p40f), a);
      const __mmask16 swap = less(splat(1.0f), ac);
      const __m512 r0 = reciprocal_estimate(ac);
      const __m512 t = mul(ac, swap, r0, fms(ac, r0, splat(2.0f)));
      const __m512 u = mul(t, t);
      const __m512 at = fma(mul(t, u), horner(u, AnglePolysF<A>::kAtan), t);
      return copy_sign(add(at, swap, at, splat(2 * kQuarterPiHiF)), x);
    } else {
      // An infinity (any side beyond 2^100) as 2^100: the quotient 2^-100 leaves pi/2 as it is.
      r = angle_single<A, kPiUnits>(min(a, splat(0x1p100f)), splat(1.0f), 0);
    }
    r = copy_sign(r, x);
  } else if constexpr (A != Acc::HA) {
    return arc_short<F, kPiUnits, A>(x);
  } else {
    const __m512 ac = select(less(splat(1.0f), a), splat(1.0f), a);  // beyond 1 the lane is NaN below
    const __mmask16 big = less(splat(0.5f), ac);
    const __m512 z = mul(sub(splat(1.0f), ac), splat(0.5f));  // exact for a >= 1/2
    // The root from the 14-bit estimate y of 1/sqrt(z) refined once (h = z y, within about an
    // ulp) rather than the square-root instruction, and its error from the exact residual
    // z - root^2 times y/2 (to some 2^-14 of itself), instead of dividing by 2 root: the two
    // instructions' throughput bounded the kernel. y is capped so that z = 0 gives 0.
    const __m512 y = min(reciprocal_sqrt_estimate(z), splat(0x1p60f));
    const __m512 h = mul(z, y), y_half = mul(y, splat(0.5f));
    const __m512 root = fma(h, fnma(y_half, h, splat(0.5f)), h);
    // asinpi of a tiny argument at 2^64 times its size (compose's scaled lanes).
    const __mmask16 scaled = A == Acc::HA && kPiUnits ? less(ac, splat(0x1p-60f)) : 0;
    const __m512 s = mul(select(big, root, ac), select(scaled, splat(0x1p64f), splat(1.0f)));
    const __m512 u = select(big, z, mul(ac, ac));
    __m512 s_lo = zero<__m512>();
    if constexpr (A == Acc::HA) s_lo = mul(s_lo, big, fnma(root, root, z), y_half);
    const __m512 rest = fma(mul(s, u), horner(u, AnglePolysF<A>::kAsin), s_lo);
    __m512 m, c;  // m eighths of a turn
    if constexpr (F == Inv::Asin) {
      m = zero_unless(big, splat(2.0f));
      c = select(big, splat(-2.0f), splat(1.0f));
    } else {
      const __mmask16 negative = less(x, zero<__m512>());
      m = select(big, zero_unless(negative, splat(4.0f)), splat(2.0f));
      c = select(big, select(negative, splat(-2.0f), splat(2.0f)), select(negative, splat(1.0f), splat(-1.0f)));
    }
    r = compose<A, kPiUnits>(m, c, s, rest, scaled);
    if constexpr (F == Inv::Asin) r = copy_sign(r, x);  // asin(-0) = -0
    return r;  // NaN and |x| > 1: settled by the kernel
  }
  return select(classify<kClassNaN>(x), add(x, x), r);
}

}  // namespace
}  // namespace zorp::vm

#include "vm/kernels/trig/inverse_kernels.h"

ZORP_INVERSE_ROWS(s, float)
