// Pow and Powr in single and double precision on the blocks of common/pow_core.h.
//
// Double LA and HA carry the logarithm as a double-double: an error of 2^-52 in ln x is already
// 2^10 ulp of the result at |y ln x| = 700. LA takes the cheaper exponential of pow_core.h. Double EP sums the logarithm in double. Single precision
// computes the plain method in double (both arguments widened, the result rounded once), which
// meets HA in every slot. Lanes the vector path leaves (zeros, infinities and NaN in either
// argument, negative bases, results outside the normal range) take C's special cases and the
// whole-range scalar path; Powr refuses negative bases, 0^0, inf^0 and 1^inf.
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/pow_core.h"

namespace zorp::vm {
namespace {

template <typename T, bool kPowr, bool kExtended = false, bool kLa = false>
struct PowK : Kernel<T> {
  static simd::Vec<T> body(simd::Vec<T> a, simd::Vec<T> b, simd::Mask<T>& special) {
    return pow_body<kPowr, kExtended, kLa>(a, b, special);
  }
  static int callout(const T* a, const T* b, T* r) {
    return kPowr ? powscalar::powr<T>(*a, *b, r) : powscalar::pow<T>(*a, *b, r);
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Pow, PowK<float, false>, PowK<float, false>, PowK<float, false>)
VM_KERNELS(d, Pow, PowK<double, false, true, true>, PowK<double, false, true>, PowK<double, false>)
VM_KERNELS(s, Powr, PowK<float, true>, PowK<float, true>, PowK<float, true>)
VM_KERNELS(d, Powr, PowK<double, true, true>, PowK<double, true, true>, PowK<double, true>)
