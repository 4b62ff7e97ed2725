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
// EP one table (EP with the short polynomial). Single precision computes in double: HA through
// the double LA body, LA and EP through the double EP body, narrowed once.
//
// Special lanes: acosh below 1 (NaN, domain), atanh at magnitude 1 (infinity, singularity) and
// beyond (NaN, domain). The vector path yields the same values for the "no error" mode.
#include <cmath>
#include <limits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/log_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

enum class Acc { LA, HA, EP };
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
    const __m512d v = div_quiet(a2, d.hi);
    const __m512d rem = fnma_quiet(v, d.lo, fnma_quiet(v, d.hi, a2));
    __m512d c;
    const __m512d w = one_plus(v, c);
    c = add_quiet(c, div_quiet(rem, d.hi));
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
      const DD<__m512d> t2 = two_prod(t, t);
      const DD<__m512d> u = two_sum(add(t, t), t2.hi);
      const DD<__m512d> s = sqrt_pair(u.hi, add_quiet(u.lo, t2.lo));
      const DD<__m512d> v = two_sum(t, s.hi);
      w = one_plus(v.hi, c);
      c = add_quiet(c, add_quiet(v.lo, s.lo));
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

template <Fn F, Acc kAcc>
struct InvD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = special_lanes<F>(x);
    return inverse_hyperbolic<F, kAcc>(x);
  }
  static int callout(const double* a, double* r) { return inverse_callout<F>(a, r); }
};

template <Acc kAcc>
constexpr Acc kInDouble = kAcc == Acc::HA ? Acc::LA : Acc::EP;

template <Fn F, Acc kAcc>
inline __m512 in_double(__m512 x) {
  return narrow(inverse_hyperbolic<F, kInDouble<kAcc>>(widen_low(x)),
                inverse_hyperbolic<F, kInDouble<kAcc>>(widen_high(x)));
}

template <Fn F, Acc kAcc>
struct InvF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = special_lanes<F>(x);
    return in_double<F, kAcc>(x);
  }
  static int callout(const float* a, float* r) { return inverse_callout<F>(a, r); }
};

// Asinh is defined everywhere: no special lanes.
template <Acc kAcc>
struct AsinhD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8&) { return inverse_hyperbolic<Fn::Asinh, kAcc>(x); }
};
template <Acc kAcc>
struct AsinhF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16&) { return in_double<Fn::Asinh, kAcc>(x); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Asinh, AsinhF<Acc::LA>, AsinhF<Acc::HA>, AsinhF<Acc::EP>)
VM_KERNELS(d, Asinh, AsinhD<Acc::LA>, AsinhD<Acc::HA>, AsinhD<Acc::EP>)
VM_KERNELS(s, Acosh, InvF<Fn::Acosh, Acc::LA>, InvF<Fn::Acosh, Acc::HA>, InvF<Fn::Acosh, Acc::EP>)
VM_KERNELS(d, Acosh, InvD<Fn::Acosh, Acc::LA>, InvD<Fn::Acosh, Acc::HA>, InvD<Fn::Acosh, Acc::EP>)
VM_KERNELS(s, Atanh, InvF<Fn::Atanh, Acc::LA>, InvF<Fn::Atanh, Acc::HA>, InvF<Fn::Atanh, Acc::EP>)
VM_KERNELS(d, Atanh, InvD<Fn::Atanh, Acc::LA>, InvD<Fn::Atanh, Acc::HA>, InvD<Fn::Atanh, Acc::EP>)
