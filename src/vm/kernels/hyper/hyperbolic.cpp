// Sinh, Cosh and Tanh in single and double precision, on the exponential's blocks
// (common/exp_core.h).
//
// Double precision: e^|x|/2 and e^-|x|/2 come as two unevaluated pairs from one reduction each
// (half_exp_pair), and the functions combine them before anything rounds: cosh is their sum,
// sinh their difference, tanh the quotient of the two, the HA kernels through exact two-sums
// and a corrected quotient, so that only the last operation rounds noticeably. Where the
// difference cancels (|x| below 1 for sinh, 1/2 for tanh) the odd series x + x u P(u), u = x^2,
// takes over (tools/fit, hyper/generated/hyper_polys.inc). tanh needs no exponential beyond
// |x| = 20, where it rounds to 1 in either precision, so its argument is clamped there and the
// kernel has no special lanes at all.
//
// Single precision computes in double (hyper/forms.h): HA by the double LA evaluation, LA and EP
// by the double EP one, narrowed once.
//
// Sinh and Cosh overflow just above ln(2 * largest value); arguments beyond that bound (and the
// infinities) are the special lanes, whose callout writes the infinity and reports an overflow
// for finite arguments. The vector path yields the same infinities, for the "no error" mode.
#include <cmath>
#include <limits>

#include <type_traits>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/hyper/forms.h"
#include "vm/kernels/hyper/generated/hyper_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

enum class Fn { Sinh, Cosh, Tanh };

// The largest arguments whose sinh and cosh round to a finite value.
constexpr double kOverflowBoundD = 710.4758600739439;  // 0x1.633ce8fb9f87dp+9
constexpr float kOverflowBoundF = 89.41598510742188f;   // 0x1.65a9f8p+6
constexpr double kTanhSmall = 0.5, kSinhSmall = 1.0, kTanhOne = 20.0;

inline constexpr Reports kOverflowOnly{kStatusOverflow, false};

template <Fn F, typename T>
int overflow_callout(const T* a, T* r) {
  const T x = *a;
  *r = F == Fn::Cosh ? std::numeric_limits<T>::infinity() : std::copysign(std::numeric_limits<T>::infinity(), x);
  return result_status<kOverflowOnly>(*r, x);
}

template <Acc kAcc>
constexpr const auto& sinh_tail() {
  if constexpr (kAcc == Acc::HA) return hyperpoly::kSinhTailHaD;
  else if constexpr (kAcc == Acc::LA) return hyperpoly::kSinhTailLaD;
  else return hyperpoly::kSinhTailEpD;
}
template <Acc kAcc>
constexpr const auto& tanh_tail() {
  if constexpr (kAcc == Acc::HA) return hyperpoly::kTanhTailHaD;
  else if constexpr (kAcc == Acc::LA) return hyperpoly::kTanhTailLaD;
  else return hyperpoly::kTanhTailEpD;
}

// a + a u P(u) for a = |x| near zero.
template <typename C>
inline __m512d odd_series(__m512d a, const C& tail) {
  const __m512d u = mul_quiet(a, a);
  return fma_quiet(mul_quiet(a, u), horner(u, tail), a);
}

// The double result of f(x) for every lane; the overflow lanes of sinh and cosh come out
// infinite. Single precision calls this with the widened arguments.
template <Fn F, Acc kAcc>
inline __m512d hyperbolic(__m512d x) {
  constexpr bool kAccurate = kAcc != Acc::EP;
  constexpr bool kHa = kAcc == Acc::HA;
  // min keeps a NaN (its second operand) and caps the infinities and huge arguments, whose
  // results are fixed below.
  const __m512d a = min(splat(F == Fn::Tanh ? kTanhOne : 711.0), abs(x));
  const DD<__m512d> p = half_exp_pair<kAccurate>(a);
  const DD<__m512d> m = half_exp_pair<kAccurate>(sub(zero<__m512d>(), a));
  __m512d y;
  if constexpr (F == Fn::Cosh) {
    if constexpr (kHa) {
      const DD<__m512d> s = two_sum(p.hi, m.hi);
      y = add_quiet(s.hi, add_quiet(s.lo, add_quiet(p.lo, m.lo)));
    } else {
      y = add_quiet(add_quiet(p.hi, m.hi), add_quiet(p.lo, m.lo));
    }
    return select(abs_greater(x, splat(kOverflowBoundD)), splat(std::numeric_limits<double>::infinity()), y);
  } else if constexpr (F == Fn::Sinh) {
    if constexpr (kHa) {
      const DD<__m512d> s = fast_two_sum(p.hi, sub(zero<__m512d>(), m.hi));
      y = add_quiet(s.hi, add_quiet(s.lo, sub_quiet(p.lo, m.lo)));
    } else {
      y = add_quiet(sub_quiet(p.hi, m.hi), sub_quiet(p.lo, m.lo));
    }
    y = select(less(a, splat(kSinhSmall)), odd_series(a, sinh_tail<kAcc>()), y);
    y = select(abs_greater(x, splat(kOverflowBoundD)), splat(std::numeric_limits<double>::infinity()), y);
    return copy_sign(y, x);
  } else {
    // (P - M)/(P + M) with both as pairs; HA corrects the quotient by its exact remainder.
    const DD<__m512d> s = fast_two_sum(p.hi, sub(zero<__m512d>(), m.hi));
    const DD<__m512d> c = two_sum(p.hi, m.hi);
    const __m512d s_lo = add_quiet(s.lo, sub_quiet(p.lo, m.lo));
    const __m512d c_lo = add_quiet(c.lo, add_quiet(p.lo, m.lo));
    if constexpr (kHa) {
      // The low parts reach a twentieth of the high ones: renormalise before dividing.
      const DD<__m512d> num = fast_two_sum(s.hi, s_lo), den = fast_two_sum(c.hi, c_lo);
      const __m512d q = div_quiet(num.hi, den.hi);
      const __m512d rem = add_quiet(fnma_quiet(q, den.hi, num.hi), fnma_quiet(q, den.lo, num.lo));
      y = add_quiet(q, div_quiet(rem, den.hi));
    } else {
      y = div_quiet(add_quiet(s.hi, s_lo), add_quiet(c.hi, c_lo));
    }
    y = select(less(a, splat(kTanhSmall)), odd_series(a, tanh_tail<kAcc>()), y);
    return copy_sign(y, x);
  }
}

// The record of each function; Sinh and Cosh have their overflow lanes as special lanes.
template <Fn F>
struct Hyper {
  template <Acc kAcc>
  static __m512d eval(__m512d x) { return hyperbolic<F, kAcc>(x); }
  template <typename V>
  static auto special(V x) {
    if constexpr (std::is_same_v<V, __m512d>) return abs_greater(x, splat(kOverflowBoundD));
    else return abs_greater(x, splat(kOverflowBoundF));
  }
  template <typename T>
  static int callout(const T* a, T* r) { return overflow_callout<F>(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
using hyper::Guarded, hyper::Plain;
HYPER_KERNELS(s, float, Cosh, Guarded, Hyper<Fn::Cosh>)
HYPER_KERNELS(d, double, Cosh, Guarded, Hyper<Fn::Cosh>)
HYPER_KERNELS(s, float, Tanh, Plain, Hyper<Fn::Tanh>)
HYPER_KERNELS(d, double, Tanh, Plain, Hyper<Fn::Tanh>)
HYPER_KERNELS(s, float, Sinh, Guarded, Hyper<Fn::Sinh>)
// Double Sinh: LA and EP share one kernel.
VM_KERNELS(d, Sinh, Guarded<Hyper<Fn::Sinh>, double, Acc::LA>, Guarded<Hyper<Fn::Sinh>, double, Acc::HA>)
