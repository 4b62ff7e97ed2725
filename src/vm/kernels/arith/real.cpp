// Real arithmetic: Abs, Add, Sub, Mul, Sqr, Div, Inv, Sqrt, LinearFrac, single and double
// precision, as kernel descriptions for the shared driver.
//
// Exact operations (Abs, Add, Sub, Mul, Sqr) have one kernel for every accuracy slot; where the
// catalogue keeps separate slot kernels (dAbs) they are instantiations of the same template.
// Div, Inv and Sqrt keep separate slot symbols, as the catalogue asks, but each slot's result
// already meets HA (see the kernels for why that costs nothing), so the slots share one template.
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/vec.h"
#include "vm/kernels/common/bind.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// Abs clears the sign bit and then adds +0 with round to nearest and exceptions suppressed: a
// signalling NaN comes out quiet, -0 becomes +0, and with the flushing mode the addition sees a
// denormal input as zero (MXCSR DAZ), so it gives +0 too.
template <typename T>
struct AbsK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>&) { return add_quiet(abs(a), zero<Vec<T>>()); }
};

template <typename T>
struct AddK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>&) { return add(a, b); }
};
template <typename T>
struct SubK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>&) { return sub(a, b); }
};
template <typename T>
struct MulK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>&) { return mul(a, b); }
};
template <typename T>
struct SqrK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>&) { return mul(a, a); }
};

// Div reports a zero divisor (status 2) for every dividend but NaN; the stored result is the
// IEEE quotient (±inf, or NaN for 0/0). Every slot uses the correctly rounded instruction: on
// the cores we measured (bench_vm_arith), the pipelined divider beats a reciprocal estimate
// refined far enough for LA, so LA and EP have nothing to gain from a cheaper formula. The main
// loop marks every zero divisor with one compare; the callout leaves out NaN dividends, which
// are rare, instead of a second compare per register.
template <typename T>
struct DivK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>& special) {
    special = equal(b, splat(T(0)));
    return div(a, b);
  }
  static int callout(const T* a, const T* b, T* r) {
    *r = *a / *b;
    return std::isnan(*a) ? 0 : 2;
  }
};

// Inv: 1/a; status 2 where a is zero (result ±inf).
//
// Single precision starts from the 14-bit reciprocal estimate y and takes one Newton step,
// y + y(1 - ay), whose error before its single rounding is about 2^-28 relative: within an ulp,
// which serves every slot. Lanes with |a| outside [2^-125, 2^125] (zeros, subnormals, huge
// values whose reciprocal is subnormal, infinities, NaN) use the division instead; zeros are
// looked for only in registers that have such lanes. Double precision uses the correctly
// rounded division, faster here than the two or three Newton steps it would need.
template <typename T>
struct InvK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>& special) {
    const Vec<T> one = splat(T(1));
    if constexpr (sizeof(T) == 8) {
      special = equal(a, splat(T(0)));
      return div(one, a);
    } else {
      const Vec<T> y0 = reciprocal_estimate(a);
      Vec<T> y = fma(y0, fnma(a, y0, one), y0);
      const Vec<T> m = abs(a);
      const Mask<T> safe = less(m, splat(0x1p125f)) & less_equal(splat(0x1p-125f), m);
      if (safe != all_lanes<T>()) [[unlikely]] {
        y = div(y, static_cast<Mask<T>>(~safe), one, a);
        special = equal(a, splat(T(0)));
      }
      return y;
    }
  }
  static int callout(const T* a, T* r) {
    *r = T(1) / *a;
    return 2;
  }
};

// Sqrt: status 1 where a < 0 (result NaN); -0 gives -0 without a report.
template <typename T>
struct SqrtK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>& special) {
    special = less(a, splat(T(0)));
    return sqrt(a);
  }
  static int callout(const T*, T* r) {
    *r = std::numeric_limits<T>::quiet_NaN();
    return 1;
  }
};

// LinearFrac: (scalea*a + shifta) / (scaleb*b + shiftb), each sum with one rounding, the
// quotient correctly rounded. Nothing is reported: a zero denominator gives the IEEE result.
// It has no callout, but guards the x87 unit at entry all the same, as every kernel that may
// be handed a caller's unmasked x87 state does before doing floating-point work of its own.
template <typename T>
struct LinearFracK : Kernel<T, 128 / sizeof(T)> {
  static constexpr bool kGuardX87AtEntry = true;
  Vec<T> scalea, shifta, scaleb, shiftb;
  LinearFracK(T sa, T ha, T sb, T hb) : scalea(splat(sa)), shifta(splat(ha)), scaleb(splat(sb)), shiftb(splat(hb)) {}
  Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>&) const { return div(fma(scalea, a, shifta), fma(scaleb, b, shiftb)); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Abs, AbsK<float>)
VM_KERNELS(d, Abs, AbsK<double>, AbsK<double>)
VM_KERNELS(s, Add, AddK<float>)
VM_KERNELS(d, Add, AddK<double>)
VM_KERNELS(s, Sub, SubK<float>)
VM_KERNELS(d, Sub, SubK<double>)
VM_KERNELS(s, Mul, MulK<float>)
VM_KERNELS(d, Mul, MulK<double>)
VM_KERNELS(s, Sqr, SqrK<float>)
VM_KERNELS(d, Sqr, SqrK<double>)
VM_KERNELS(s, Div, DivK<float>, DivK<float>, DivK<float>)
VM_KERNELS(d, Div, DivK<double>, DivK<double>, DivK<double>)
VM_KERNELS(s, Inv, InvK<float>, InvK<float>)
VM_KERNELS(d, Inv, InvK<double>, InvK<double>)
VM_KERNELS(s, Sqrt, SqrtK<float>, SqrtK<float>, SqrtK<float>)
VM_KERNELS(d, Sqrt, SqrtK<double>, SqrtK<double>, SqrtK<double>)
VM_KERNELS(s, LinearFrac, LinearFracK<float>)
VM_KERNELS(d, LinearFrac, LinearFracK<double>)
