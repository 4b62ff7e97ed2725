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
// EP one table (EP with the short polynomial). Single precision computes in double
// (hyper/forms.h).
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

// The record of each function; Acosh and Atanh have their domain edges as special lanes.
template <Fn F>
struct Inverse {
  template <Acc kAcc>
  static __m512d eval(__m512d x) { return inverse_hyperbolic<F, kAcc>(x); }
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
