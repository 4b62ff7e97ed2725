// Pow and Powr in single and double precision on the blocks of common/pow_core.h.
//
// Double LA and HA carry the logarithm as a double-double; LA gains nothing from a cheaper sum,
// since an error of 2^-52 in ln x is already 2^10 ulp of the result at |y ln x| = 700, so the
// two slots share the extended method. Double EP sums the logarithm in double. Single precision
// computes the plain method in double (both arguments widened, the result rounded once), which
// meets HA in every slot. Lanes the vector path leaves (zeros, infinities and NaN in either
// argument, negative bases, results outside the normal range) take C's special cases and the
// whole-range scalar path; Powr refuses negative bases, 0^0, inf^0 and 1^inf.
#include "simd/complex.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/pow_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

template <bool kPowr, typename T>
int pow_callout(const T* a, const T* b, T* r) {
  return kPowr ? powscalar::powr<T>(*a, *b, r) : powscalar::pow<T>(*a, *b, r);
}

template <bool kPowr, bool kExtended>
struct PowD : Kernel<double> {
  static __m512d body(__m512d a, __m512d b, __mmask8& special) {
    return pow_vector<kPowr, kExtended>(a, b, ExpTraits<double>::kFastBound, special);
  }
  static int callout(const double* a, const double* b, double* r) { return pow_callout<kPowr>(a, b, r); }
};

template <bool kPowr>
struct PowF : Kernel<float> {
  static __m512 body(__m512 a, __m512 b, __mmask16& special) {
    constexpr double kBound = ExpTraits<float>::kFastBound;
    __mmask8 low, high;
    const __m512d rl = pow_vector<kPowr, false>(widen_low(a), widen_low(b), kBound, low);
    const __m512d rh = pow_vector<kPowr, false>(widen_high(a), widen_high(b), kBound, high);
    special = static_cast<__mmask16>(low | (high << 8));
    return narrow(rl, rh);
  }
  static int callout(const float* a, const float* b, float* r) { return pow_callout<kPowr>(a, b, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Pow, PowF<false>, PowF<false>, PowF<false>)
VM_KERNELS(d, Pow, PowD<false, true>, PowD<false, true>, PowD<false, false>)
VM_KERNELS(s, Powr, PowF<true>, PowF<true>, PowF<true>)
VM_KERNELS(d, Powr, PowD<true, true>, PowD<true, true>, PowD<true, false>)
