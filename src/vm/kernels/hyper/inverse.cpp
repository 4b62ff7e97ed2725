// Asinh, Acosh and Atanh in single and double precision, as logarithms of arguments formed as
// unevaluated pairs, on the logarithm's blocks (common/log_core.h, ln_pair):
//
//   asinh a = ln(w),  w = a + sqrt(a^2 + 1)
//   acosh x = ln(w),  w = 1 + (t + sqrt(t (t + 2))),  t = x - 1 (exact)
//   atanh a = ln(w)/2, w = 1 + 2a/(1 - a)
//
// with a = |x| and the sign restored afterwards. Each w is carried as hi + lo: the square root
// of a pair is corrected by one Newton step on its remainder, the quotient by its remainder, so
// that w is good to well beyond double precision and near w = 1 (small arguments, and acosh
// near 1) the logarithm still sees every bit of w - 1: its reduced argument y*m - 1 is exact and
// the low part joins it as y*lo. No polynomial of their own, no cancellation anywhere.
// Above 2^28, sqrt(a^2 + 1) is a to double precision: w = 2a, taken as a with one more octave
// (a^2 would overflow long before the largest arguments).
//
// The double HA kernels take the logarithm's two-part table and keep r apart to the end; LA and
// EP one table (EP with the short polynomial). Single precision computes in float (below), but
// for Asinh and Acosh HA, which compute in double (hyper/forms.h).
//
// Special lanes: acosh below 1 (NaN, domain), atanh at magnitude 1 (infinity, singularity) and
// beyond (NaN, domain). The vector path yields the same values for the "no error" mode.
#include <cmath>
#include <limits>

#include "simd/exact.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/log_core.h"
#include "vm/kernels/hyper/forms.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

enum class Fn { Asinh, Acosh, Atanh };

constexpr double kBig = 0x1p28;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// sqrt(hi + lo) as a pair, hi > 0.
inline DD<__m512d> sqrt_pair(__m512d hi, __m512d lo) {
  const __m512d s = sqrt(hi);
  const __m512d rem = add_quiet(fnma_quiet(s, s, hi), lo);
  return {s, div_quiet(rem, add(s, s))};
}

// 1/d to 28 bits: the 14-bit estimate and one Newton step.
inline __m512d reciprocal_refined(__m512d d) {
  const __m512d y0 = reciprocal_estimate(d);
  return fma_quiet(y0, fnma_quiet(d, y0, splat(1.0)), y0);
}

// sqrt(q) for positive normal finite q to within about an ulp, without the square-root unit:
// g = q y and h = y/2 from the 14-bit reciprocal-root estimate y, one coupled Newton step
// (28 bits), and g corrected by its remainder. (acosh's q = t (t + 2) is 0 only at x = 1, whose
// result is set apart, and beyond the range only in the lanes above 2^28, which take a instead.)
inline __m512d root_refined(__m512d q) {
  const __m512d y = reciprocal_sqrt_estimate(q);
  __m512d g = mul_quiet(q, y), h = mul_quiet(y, splat(0.5));
  const __m512d e = fnma_quiet(g, h, splat(0.5));
  g = fma_quiet(g, e, g);
  h = fma_quiet(h, e, h);
  return fma_quiet(fnma_quiet(g, g, q), h, g);
}

template <Acc kAcc>
inline __m512d ln_of(__m512d w, __m512d c, __m512d extra) {
  return ln_pair<kAcc == Acc::HA, kAcc == Acc::EP>(w, c, extra);
}

template <Fn F, Acc kAcc>
inline __m512d inverse_hyperbolic(__m512d x) {
  const __m512d one = splat(1.0), nothing = zero<__m512d>();
  const __m512d a = abs(x);
  if constexpr (F == Fn::Atanh) {
    // w = 1 + v with v = 2a/(1 - a): the quotient's remainder is taken at the scale of v, not
    // of w, so that for small a nothing of size 1 cancels in it.
    const __m512d a2 = add(a, a);
    const DD<__m512d> d = fast_two_sum(one, sub(nothing, a));
    __m512d c, w, rem;
    if constexpr (kAcc == Acc::HA) {
      const __m512d v = div_quiet(a2, d.hi);
      rem = fnma_quiet(v, d.lo, fnma_quiet(v, d.hi, a2));
      w = one_plus(v, c);
      c = add_quiet(c, div_quiet(rem, d.hi));
    } else {
      // 1/(1 - a) from the 14-bit estimate and one Newton step (28 bits) instead of two
      // divisions: v is good to 28 bits, and its remainder, divided by the same reciprocal, puts
      // the other 28 into the low part.
      const __m512d y = reciprocal_refined(d.hi);
      const __m512d v = mul_quiet(a2, y);
      rem = fnma_quiet(v, d.lo, fnma_quiet(v, d.hi, a2));
      w = one_plus(v, c);
      c = fma_quiet(rem, y, c);
    }
    __m512d y = mul_quiet(ln_of<kAcc>(w, c, nothing), splat(0.5));
    y = select(equal(a, one), splat(kInf), y);
    y = select(less(one, a), splat(kNaN), y);
    return copy_sign(y, x);
  } else {
    const __mmask8 big = less(splat(kBig), a);
    __m512d w, c;
    if constexpr (F == Fn::Asinh) {
      const DD<__m512d> a2 = two_prod(a, a);
      const DD<__m512d> t = two_sum(one, a2.hi);
      const DD<__m512d> s = sqrt_pair(t.hi, add_quiet(t.lo, a2.lo));
      const DD<__m512d> v = fast_two_sum(s.hi, a);
      w = v.hi;
      c = add_quiet(v.lo, s.lo);
    } else {
      const __m512d t = sub(x, one);
      if constexpr (kAcc == Acc::HA) {
        const DD<__m512d> t2 = two_prod(t, t);
        const DD<__m512d> u = two_sum(add(t, t), t2.hi);
        const DD<__m512d> s = sqrt_pair(u.hi, add_quiet(u.lo, t2.lo));
        const DD<__m512d> v = two_sum(t, s.hi);
        w = one_plus(v.hi, c);
        c = add_quiet(c, add_quiet(v.lo, s.lo));
      } else {
        // t (t + 2) rounded once and its root from the estimate: sqrt(2t) dominates v near 1,
        // where a relative error of the root is one of acosh; only 1 + v needs its low part.
        const DD<__m512d> v = fast_two_sum(root_refined(fma_quiet(t, t, add(t, t))), t);
        w = one_plus(v.hi, c);
        c = add_quiet(c, v.lo);
      }
    }
    w = select(big, a, w);
    c = select(big, nothing, c);
    __m512d y = ln_of<kAcc>(w, c, select(big, one, nothing));
    y = select(equal(a, splat(kInf)), a, y);
    if constexpr (F == Fn::Asinh) return copy_sign(y, x);
    y = select(equal(x, one), nothing, y);
    return select(less(x, one), splat(kNaN), y);
  }
}

// ---- single precision in float: LA and EP, and Atanh HA ----------------------------------------
// The same functions as logarithms of 1 + v, on the single Ln kernels' piecewise logarithm, with
// the argument's low part c joining its reduced argument (as Log1p does):
//
//   asinh a = ln(w + c),      w + c = a + sqrt(1 + a^2)
//   acosh x = ln(1 + v),      v = t + sqrt(t^2 + 2t),  t = x - 1 (exact)
//   atanh a = ln(1 + v)/2,    v = 2a/(1 - a)
//
// Nothing of size 1 is subtracted from w, so near the small-argument end (w near 1) the
// logarithm's u = (m - 1) + c sees v itself and no polynomial of the functions' own is needed.
// Square roots and the quotient come from the 14-bit estimates and one Newton step; LA carries
// the rounding errors of the root, of 1 + a^2 (t^2 + 2t) and of 1 - a into the low part, EP
// only what the small-argument end needs (see asinh), and its quotient is the estimate alone.
// Atanh HA adds the quotient's own remainder to the low part and takes the single HA logarithm
// (ln_ha).
// Above 2^12, sqrt(1 + a^2) and a differ by less than a part in 2^25: w = 2a, taken as a with
// one more octave (a^2 overflows long before the largest arguments).

// ln(w + c) + extra*ln2 for w > 0 finite (and +inf), c well below w.
template <Acc kAcc>
inline __m512 ln_piece(__m512 w, __m512 c, __m512 extra) {
  __m512 e;
  const __m512 m = mantissa_near_one(w, e);
  const __m512i idx = shift_right<19, float>(bits(m));
  const __m512 u = add_quiet(sub_quiet(m, splat(1.0f)), scale_by_pow2(c, sub(zero<__m512>(), e)));
  const __m512 p = kAcc == Acc::LA ? horner_pieces(u, idx, logpoly::kLnLaPieces)
                                   : horner_pieces(u, idx, logpoly::kLnEpPieces);
  return fma_quiet(u, p, mul_quiet(add(e, extra), splat(LogTraits<float>::kLn2)));
}

// sqrt(q) from the reciprocal-root estimate y, one Newton step; q > 0.
struct RootStep {
  __m512 s, half_y;
};
inline RootStep root_step(__m512 q) {
  const __m512 y = reciprocal_sqrt_estimate(q);
  const __m512 s0 = mul_quiet(q, y), hy = mul_quiet(y, splat(0.5f));
  return {fma_quiet(fnma_quiet(s0, s0, q), hy, s0), hy};
}

// HA: ln(w + c) on the single HA logarithm's reduction (log/log.cpp, LogHaF): y = 1/w rounded to
// 32 steps per octave, r = y*w - 1 exact, y*c joining the low part, the table's two parts and
// ln2's, so that only the last addition rounds noticeably. w in [1, 2^26) here: y is a normal
// number and its table covers it.
inline __m512 ln_ha(__m512 w, __m512 c) {
  using L = LogTraits<float>;
  const __m512i yb = bit_and(iadd<float>(bits(reciprocal_estimate(w)), isplat<float>(0x20000)),
                             isplat<float>(0xFFFC0000u));
  const __m512 y = as_float(yb);
  const __m512i idx = shift_right<18, float>(yb);
  const __m512 ne = sub(zero<__m512>(), exponent_of(y));
  const __m512 r = fma_quiet(y, w, splat(-1.0f));
  const __m512 rc = mul_quiet(y, c);
  const __m512 rp = add_quiet(r, rc);
  const __m512 r2 = mul_quiet(rp, rp);
  const __m512 p = horner_from<3>(rp, logpoly::kLnHaF);
  const __m512 th = lookup(idx, L::ha_high<Base::E>());
  const __m512 tl = add_quiet(lookup(idx, L::ha_low<Base::E>()), rc);
  __m512 poly = fma_quiet(mul_quiet(r2, rp), p, tl);
  poly = fma_quiet(splat(logpoly::kLnHaF[2]), r2, poly);  // T_low + y c - r^2/2 + r^3 p
  const __m512 hi = fma_quiet(ne, splat(L::kLn2Hi), th);
  const __m512 lo = fma_quiet(ne, splat(L::kLn2Lo), poly);
  return add_quiet(hi, add_quiet(r, lo));
}

template <Fn F, Acc kAcc>
inline __m512 inverse_hyperbolic_f(__m512 x) {
  constexpr bool kLa = kAcc == Acc::LA;
  const __m512 one = splat(1.0f), nothing = zero<__m512>();
  const __m512 a = abs(x);
  if constexpr (F == Fn::Atanh) {
    // d = 1 - a as a pair (exact), v = 2a/d by the reciprocal estimate and one step on the
    // remainder; EP takes the estimate's 14 bits as they are (v's relative error reaches the
    // result no larger).
    const __m512 a2 = add(a, a);
    const __m512 d = sub_quiet(one, a);
    const __m512 r = reciprocal_estimate(d);
    __m512 v = mul_quiet(a2, r);
    __m512 dl = nothing;
    if constexpr (kAcc != Acc::EP) {
      dl = sub_quiet(sub_quiet(one, d), a);
      v = fma_quiet(fnma_quiet(v, dl, fnma_quiet(v, d, a2)), r, v);
    }
    __m512 c;
    const __m512 w = one_plus(v, c);
    __m512 y;
    if constexpr (kAcc == Acc::HA) {
      // v's own remainder, 2a - v (d + dl), divided by the estimate: v + c to about 2^-38.
      c = fma_quiet(fnma_quiet(v, dl, fnma_quiet(v, d, a2)), r, c);
      y = mul_quiet(ln_ha(w, c), splat(0.5f));
    } else {
      y = mul_quiet(ln_piece<kAcc>(w, c, nothing), splat(0.5f));
    }
    y = select(equal(a, one), splat(std::numeric_limits<float>::infinity()), y);
    y = select(less(one, a), splat(std::numeric_limits<float>::quiet_NaN()), y);
    return copy_sign(y, x);
  } else {
    const __m512 big = splat(0x1p12f);
    __m512 w, c;
    if constexpr (F == Fn::Asinh) {
      const __m512 q = fma_quiet(a, a, one);
      const RootStep s = root_step(q);
      w = add_quiet(s.s, a);  // s >= a: the fast two-sum
      c = sub_quiet(a, sub_quiet(w, s.s));
      // The root's remainder joins c in both slots: near a = 0, s is 1 to an ulp of 1, which
      // would be all of a's bits below 2^-12. LA adds the rounding error of 1 + a^2 as well.
      __m512 rem = fnma_quiet(s.s, s.s, q);
      if constexpr (kLa) rem = add_quiet(rem, fma_quiet(a, a, sub_quiet(one, q)));  // 1 - q exact
      c = fma_quiet(rem, s.half_y, c);
    } else {
      const __m512 t = sub_quiet(x, one);
      const __m512 t2 = add(t, t);
      const __m512 q = fma_quiet(t, t, t2);
      const RootStep s = root_step(q);
      const __m512 v = add_quiet(s.s, t);  // s >= t
      __m512 vl = sub_quiet(t, sub_quiet(v, s.s));
      if constexpr (kLa) {
        // q's rounding error: 2t - q is exact while t <= 2 (q <= 4t), where it matters.
        const __m512 ql = fma_quiet(t, t, sub_quiet(t2, q));
        vl = fma_quiet(add_quiet(fnma_quiet(s.s, s.s, q), ql), s.half_y, vl);
      }
      w = one_plus(v, c);
      c = add_quiet(c, vl);
    }
    const __mmask16 huge = less(big, a);
    w = select(huge, a, w);
    c = select(huge, nothing, c);
    __m512 y = ln_piece<kAcc>(w, c, zero_unless(huge, one));
    y = select(equal(a, splat(std::numeric_limits<float>::infinity())), a, y);
    if constexpr (F == Fn::Asinh) return copy_sign(y, x);
    y = select(equal(x, one), nothing, y);
    return select(less(x, one), splat(std::numeric_limits<float>::quiet_NaN()), y);
  }
}

template <Fn F, typename T>
int inverse_callout(const T* a, T* r) {
  const T x = *a;
  if (F == Fn::Atanh && std::fabs(x) == T(1)) *r = x / T(0);
  else *r = std::numeric_limits<T>::quiet_NaN();
  return result_status<kPoleReports>(*r, x);
}

template <Fn F, typename V>
inline auto special_lanes(V x) {
  if constexpr (F == Fn::Acosh) return less(x, splat(Elem<V>(1)));
  else return abs_at_least(x, splat(Elem<V>(1)));
}

// The record of each function; Acosh and Atanh have their domain edges as special lanes.
template <Fn F>
struct Inverse {
  template <Acc kAcc>
  static __m512d eval(__m512d x) { return inverse_hyperbolic<F, kAcc>(x); }
  template <Acc kAcc>
    requires(kAcc != Acc::HA || F == Fn::Atanh)
  static __m512 eval(__m512 x) { return inverse_hyperbolic_f<F, kAcc>(x); }
  template <typename V>
  static auto special(V x) { return special_lanes<F>(x); }
  template <typename T>
  static int callout(const T* a, T* r) { return inverse_callout<F>(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
using hyper::Guarded, hyper::Plain;
HYPER_KERNELS(s, float, Asinh, Plain, Inverse<Fn::Asinh>)
HYPER_KERNELS(d, double, Asinh, Plain, Inverse<Fn::Asinh>)
HYPER_KERNELS(s, float, Acosh, Guarded, Inverse<Fn::Acosh>)
HYPER_KERNELS(d, double, Acosh, Guarded, Inverse<Fn::Acosh>)
HYPER_KERNELS(s, float, Atanh, Guarded, Inverse<Fn::Atanh>)
HYPER_KERNELS(d, double, Atanh, Guarded, Inverse<Fn::Atanh>)
