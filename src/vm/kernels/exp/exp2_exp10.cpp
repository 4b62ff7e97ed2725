// 2^x and 10^x in single and double precision, one body each for both precisions (the
// constants in Exp2Traits and Exp10Traits, common/exp_core.h). Each is accurate to below one
// unit in every slot, so one kernel serves LA, HA and EP.
//
// 2^x: the argument is already in octaves. The range-reduction instruction gives
// r = x - floor(16x)/16 exactly, the low four bits of x + 1.5*2^(p-4) added toward -inf index
// the sixteen (high, low) pairs of 2^(i/16), and the scale instruction multiplies by
// 2^floor(x). 10^x: k = x*log2(10) cut onto a grid, r = x - k*log10(2) with log10(2) in two
// parts, and a polynomial in r for 10^r - 1.
//
// The callouts finish lanes beyond the fast path in double precision (the argument clamped
// where the result is infinite or zero anyway); the status follows from the result.
#include <algorithm>
#include <cmath>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// 2^x or 10^x through its scalar parts; NaN and infinite arguments need no arithmetic.
template <typename T, double (*kParts)(double, int&)>
int scaled_callout(const T* a, T* r, double clamp) {
  const T x = *a;
  if (std::isnan(x)) {
    *r = x + x;
  } else if (std::isinf(x)) {
    *r = x > 0 ? x : T(0);
  } else {
    int m;
    const double y = kParts(std::clamp(static_cast<double>(x), -clamp, clamp), m);
    *r = static_cast<T>(expscalar::scale_once(y, m));
  }
  return result_status<kGrowthReports>(*r, x);
}

template <typename T>
struct Exp2K : Kernel<T, 32> {
  using V = Vec<T>;
  using E = Exp2Traits<T>;
  static V body(V x, Mask<T>& special) {
    special = E::special(x);
    const __m512i j = bits(add_toward_minus_inf(x, splat(E::kShifter)));
    const V th = lookup(j, ExpTraits<T>::kH16);
    const V tl = lookup(j, ExpTraits<T>::kL16Abs);
    const V r = fraction_below_grid<4>(x);
    return scale_pair(th, tl, mul_quiet(horner_from<1>(r, E::kPoly), r), x);
  }
  static int callout(const T* a, T* r) { return scaled_callout<T, expscalar::exp2_parts>(a, r, E::kCalloutClamp); }
};

template <typename T>
struct Exp10K : Kernel<T, 32> {
  using V = Vec<T>;
  using E = Exp10Traits<T>;
  static V body(V x, Mask<T>& special) {
    special = abs_at_least(x, splat(E::kFastBound));
    const Grid<V> g = grid_toward_zero(x, E::kLog2of10, E::kShifter);
    const V h = lookup(g.index, E::kHigh);
    const V l = lookup(g.index, E::kLowAbs);
    const V r = reduce(x, g.k, E::kLog10of2Hi, E::kLog10of2Lo);
    return scale_pair(h, l, mul_quiet(horner_from<1>(r, E::kPoly), r), g.k);
  }
  static int callout(const T* a, T* r) { return scaled_callout<T, expscalar::exp10_parts>(a, r, E::kCalloutClamp); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Exp2, Exp2K<float>)
VM_KERNELS(d, Exp2, Exp2K<double>)
VM_KERNELS(s, Exp10, Exp10K<float>)
VM_KERNELS(d, Exp10, Exp10K<double>)
