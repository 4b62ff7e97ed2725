// Sinpi, Cospi, Tanpi, SinCospi (of pi x) and Sind, Cosd, Tand (of x degrees) in single and
// double precision.
//
// The argument is reduced exactly in its own units: n = x / Q rounded to an integer for the
// quarter turn Q (1/2 or 90), f = x - n Q with one fused multiply-add, which is exact (f is a
// multiple of x's last place and below Q in magnitude); n mod 4 is the quadrant. Only then is f
// scaled to radians, as a pair f C_hi + (its rounding error + f C_lo) with C = pi or pi/180, and
// the sine and cosine of the pair come from the accurate core (below one ulp). Degrees at or
// above 2^52 are integers whose remainder modulo 360 is taken exactly first, from the
// significand's remainder and 2^e mod 360 (periodic in e).
//
// Exact cases come out exact: f = 0 gives zeros of the sign the IEEE pi functions give (sinpi(n)
// the sign of n, cospi(n + 1/2) = +0, tanpi(n) the sign of n for even n and the opposite for odd
// n) and the poles of the tangents, infinities of the sign of the side reached from below for even
// n, reported as singularities (status 2); |f| = 45 degrees (1/4 turn) gives tangents of exactly
// +-1 and 30 degrees sines of exactly +-1/2. The double HA slots take the sine and cosine of the
// pair from the accurate core; the LA and EP slots take them plainly from the rounded head, and
// so do the single Tanpi, Sind, Cosd and Tand, which run the double registers on their widened
// halves and round once (single Sinpi, Cospi and SinCospi are in sincos_single.cpp). SinCospi
// reduces once for both results.
#include <array>
#include <cmath>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/sincos_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using namespace zorp::vm::trig;

// 2^i mod 360 for i < 15; from i = 3 on it repeats with period 12 (2^i mod 45 does, and 8
// divides 2^i), so 2^e mod 360 = table[e < 3 ? e : 3 + (e - 3) mod 12].
constexpr std::array<double, 16> kPow2Mod360 = [] {
  std::array<double, 16> t{};
  int v = 1;
  for (int i = 0; i < 15; ++i, v = v * 2 % 360) t[i] = v;
  return t;
}();
constexpr double kPow2Mod360Table[16] = {kPow2Mod360[0],  kPow2Mod360[1],  kPow2Mod360[2],  kPow2Mod360[3],
                                         kPow2Mod360[4],  kPow2Mod360[5],  kPow2Mod360[6],  kPow2Mod360[7],
                                         kPow2Mod360[8],  kPow2Mod360[9],  kPow2Mod360[10], kPow2Mod360[11],
                                         kPow2Mod360[12], kPow2Mod360[13], kPow2Mod360[14], 0};

// The integer image whose low bits hold the small non-negative integer v.
inline __m512i small_int(__m512d v) { return bits(add(v, splat(0x1p52))); }

// v mod m for integers 0 <= v < 2^53, exactly: a quotient that may be one off, the remainder by
// one fused multiply-add (exact: an integer of a few bits), and one correction.
inline __m512d mod(__m512d v, double m) {
  const __m512d q = round_integral<_MM_FROUND_TO_ZERO>(mul(v, splat(1 / m)));
  __m512d r = fma(q, splat(-m), v);
  r = add(r, less(r, zero<__m512d>()), r, splat(m));
  return add(r, greater_equal(r, splat(m)), r, splat(-m));
}

// |x| mod 360 with the sign of x, for integers |x| >= 2^52: |x| = m 2^e.
inline __m512d degrees_mod_360(__m512d x) {
  const __m512d e = sub(exponent_of(x), splat(52.0));
  const __m512d m = scale_by_pow2(abs(x), sub(zero<__m512d>(), e));
  const __m512d j = sub(e, splat(3.0));
  const __m512d index = select(less(e, splat(3.0)), e, add(splat(3.0), mod(j, 12.0)));
  const __m512d p = lookup(small_int(index), kPow2Mod360Table);
  return copy_sign(mod(mul(mod(m, 360.0), p), 360.0), x);
}

template <bool kDegrees>
struct Units;
template <>
struct Units<false> {  // pi x
  static constexpr double kQuarter = 0.5, kInverse = 2.0;
  static constexpr double kHi = 0x1.921fb54442d18p+1, kLo = 0x1.1a62633145c07p-53;  // pi
};
template <>
struct Units<true> {  // x degrees
  static constexpr double kQuarter = 90.0, kInverse = 1.0 / 90;
  static constexpr double kHi = 0x1.1df46a2529d39p-6, kLo = 0x1.5c1d8becdd291p-62;  // pi/180
};

// The argument reduced in its own units, scaled to radians, with the sine and cosine of the
// remainder (unrounded pairs, or plain values with a zero tail).
struct ScaledArg {
  __m512d f;
  __m512i q;
  DD<__m512d> s, c;
};

template <bool kDegrees, Method M>
ScaledArg reduce_scaled(__m512d x) {
  using U = Units<kDegrees>;
  // A whole number of turns off first, exactly: x mod 2 for pi x (2x would overflow near the
  // largest doubles), x mod 360 for the integers of at least 2^52 degrees.
  __m512d y;
  if constexpr (kDegrees) {
    y = x;
    if (const __mmask8 big = abs_at_least(x, splat(0x1p52)) & ~classify<kClassInf | kClassNaN>(x))
      y = select(big, degrees_mod_360(x), x);
  } else {
    y = fma(round_integral<_MM_FROUND_TO_ZERO>(mul(x, splat(0.5))), splat(-2.0), x);
  }
  const __m512d n = round_integral<_MM_FROUND_TO_NEAREST_INT>(mul(y, splat(U::kInverse)));
  const __m512d f = fma(n, splat(-U::kQuarter), y);
  const __m512d quarter = sub(n, mul(splat(4.0), round_integral<_MM_FROUND_TO_NEG_INF>(mul(n, splat(0.25)))));
  const __m512d hi = mul(f, splat(U::kHi));
  const __m512d lo = fma(f, splat(U::kLo), fms(f, splat(U::kHi), hi));
  if constexpr (M == Method::Pairs) {
    return {f, small_int(quarter), sin_pair(hi, lo), cos_pair(hi, lo)};
  } else {
    __m512d sv, cv;
    sin_cos_plain<std::conditional_t<M == Method::PlainSingle, float, double>>(hi, lo, sv, cv);
    return {f, small_int(quarter), {sv, zero<__m512d>()}, {cv, zero<__m512d>()}};
  }
}

template <Fn F, bool kDegrees>
__m512d scaled_from(__m512d x, const ScaledArg& a) {
  using U = Units<kDegrees>;
  const __m512d f = a.f;
  const __m512i q = a.q;
  const DD<__m512d>& s = a.s;
  const DD<__m512d>& c = a.c;
  const __m512d af = abs(f);
  const __mmask8 zero_f = equal(f, zero<__m512d>());
  const __mmask8 odd = iequal<double>(bit_and(q, isplat<double>(1)), isplat<double>(1));
  const __mmask8 two = iequal<double>(bit_and(q, isplat<double>(3)), isplat<double>(2));
  const __m512d sign_x = bit_and(x, splat(-0.0));
  // Arguments so small that the pair's low word would fall among the subnormals (sin and tan
  // are x C there): the product rounded once, taken at a scale of 2^200 and scaled back.
  const __mmask8 tiny = F == Fn::Cos ? 0 : less(abs(x), splat(0x1p-960));
  __m512d tiny_r = zero<__m512d>();
  if (tiny) {
    const __m512d xs = mul(x, splat(0x1p200));
    const DD<__m512d> p = two_prod(xs, splat(U::kHi));
    tiny_r = mul(add(p.hi, fma(xs, splat(U::kLo), p.lo)), splat(0x1p-200));
  }
  __m512d r;
  if constexpr (F == Fn::Tan) {
    r = select(tiny, tiny_r, tan_by_quadrant(q, s, c));
    r = select(equal(af, splat(U::kQuarter / 2)), copy_sign(splat(1.0), r), r);
    // Zeros: the sign of x, flipped for n = 2 mod 4; poles: +inf for n = 1 mod 4, -inf for 3.
    const __m512d zero_sign = select(two, flip_bits(sign_x, uint64_t(1) << 63), sign_x);
    const __m512d pole = select(iequal<double>(bit_and(q, isplat<double>(3)), isplat<double>(1)),
                                splat(HUGE_VAL), splat(-HUGE_VAL));
    r = select(zero_f, select(odd, pole, zero_sign), r);
  } else {
    __m512d sv = add(s.hi, s.lo);
    if constexpr (kDegrees) sv = select(equal(af, splat(30.0)), copy_sign(splat(0.5), f), sv);
    r = select(tiny, tiny_r, by_quadrant<F == Fn::Cos>(q, sv, add(c.hi, c.lo)));
    if constexpr (F == Fn::Sin) r = select(zero_f & ~odd, sign_x, r);
    else r = select(zero_f & odd, zero<__m512d>(), r);
  }
  return select(classify<kClassInf | kClassNaN>(x), mul(x, zero<__m512d>()), r);
}

template <Fn F, bool kDegrees, Method M>
__m512d scaled(__m512d x) {
  return scaled_from<F, kDegrees>(x, reduce_scaled<kDegrees, M>(x));
}
// Single precision on the widened halves, plainly, rounded once.
template <Fn F, bool kDegrees, Method>
__m512 scaled(__m512 x) {
  constexpr Method M = Method::PlainSingle;
  return narrow(scaled<F, kDegrees, M>(widen_low(x)), scaled<F, kDegrees, M>(widen_high(x)));
}

// Sine and cosine of pi x from one reduction.
template <Method M>
void scaled_sincos(__m512d x, __m512d& s, __m512d& c) {
  const ScaledArg a = reduce_scaled<false, M>(x);
  s = scaled_from<Fn::Sin, false>(x, a);
  c = scaled_from<Fn::Cos, false>(x, a);
}
template <Method>
void scaled_sincos(__m512 x, __m512& s, __m512& c) {
  __m512d s0, c0, s1, c1;
  scaled_sincos<Method::PlainSingle>(widen_low(x), s0, c0);
  scaled_sincos<Method::PlainSingle>(widen_high(x), s1, c1);
  s = narrow(s0, s1);
  c = narrow(c0, c1);
}

// Lanes a callout finishes: non-finite arguments, and the poles of the tangents.
template <Fn F, bool kDegrees, typename V>
Mask<Elem<V>> special_of(V x, V y) {
  Mask<Elem<V>> m = classify<kClassInf | kClassNaN>(x);
  if constexpr (F == Fn::Tan) m |= classify<kClassInf>(y);
  return m;
}

// The callout runs the vector method on one lane: the same bits, and the status of the result.
template <typename T, Fn F, bool kDegrees, Method M>
int scaled_callout(const T* a, T* r) {
  const T x = *a;
  *r = std::isnan(x) ? x * x : lane<0>(scaled<F, kDegrees, M>(splat(x)));
  return F == Fn::Tan ? result_status<kPoleReports>(*r, x) : result_status<kTrigReports>(*r, x);
}

template <typename T, Fn F, bool kDegrees, Method M>
struct ScaledK : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> x, Mask<T>& special) {
    const Vec<T> y = scaled<F, kDegrees, M>(x);
    special = special_of<F, kDegrees>(x, y);
    return y;
  }
  static int callout(const T* a, T* r) { return scaled_callout<T, F, kDegrees, M>(a, r); }
};

// SinCospi: r1 the sine, r2 the cosine, as SinCos.
template <typename T, Method M>
struct SinCospiK : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> x, Vec<T>& cos_x, Mask<T>& special) {
    special = classify<kClassInf | kClassNaN>(x);
    Vec<T> sin_x;
    scaled_sincos<M>(x, sin_x, cos_x);
    return sin_x;
  }
  static int callout(const T* a, T* s, T* c) {
    const T x = *a;
    *s = std::isnan(x) ? x * x : lane<0>(scaled<Fn::Sin, false, M>(splat(x)));
    *c = std::isnan(x) ? x * x : lane<0>(scaled<Fn::Cos, false, M>(splat(x)));
    return result_status<kTrigReports>(*s, x);
  }
};


}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
// LA and EP plain, HA on pairs (single precision is plain in every slot).
#define ZORP_SCALED_SLOTS(T, F, kDegrees)                                              \
  ScaledK<T, F, kDegrees, Method::PlainDouble>, ScaledK<T, F, kDegrees, Method::Pairs>, \
      ScaledK<T, F, kDegrees, Method::PlainDouble>
// Single Sinpi, Cospi and SinCospi are computed in float: sincos_single.cpp.
#define ZORP_SCALED_ROWS(t, T)                                                     \
  VM_KERNELS(t, Tanpi, ZORP_SCALED_SLOTS(T, Fn::Tan, false))                           \
  VM_KERNELS(t, Sind, ZORP_SCALED_SLOTS(T, Fn::Sin, true))                             \
  VM_KERNELS(t, Cosd, ZORP_SCALED_SLOTS(T, Fn::Cos, true))                             \
  VM_KERNELS(t, Tand, ZORP_SCALED_SLOTS(T, Fn::Tan, true))
ZORP_SCALED_ROWS(s, float)
ZORP_SCALED_ROWS(d, double)
VM_KERNELS(d, Sinpi, ZORP_SCALED_SLOTS(double, Fn::Sin, false))
VM_KERNELS(d, Cospi, ZORP_SCALED_SLOTS(double, Fn::Cos, false))
VM_KERNELS(d, SinCospi, SinCospiK<double, Method::Pairs>)
