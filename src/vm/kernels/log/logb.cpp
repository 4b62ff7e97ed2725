// Logb: the unbiased exponent of x as a floating value. The get-exponent instruction gives it
// exactly for normal and subnormal arguments alike, +inf for infinities and NaN for NaN (no
// status); only a zero argument goes to the callout, which stores -inf and reports a domain
// error (status 1) rather than a singularity. Exact, so one kernel fills all three slots.
#include <cstring>
#include <limits>

#include "vm/kernels/common/bind.h"
#include "simd/vec.h"

namespace zorp::vm {
namespace {

constexpr int kZeros = 0x06;  // fpclass: +0, -0

template <typename T>
int logb_callout(const T*, T* r) {
  *r = -std::numeric_limits<T>::infinity();
  return 1;
}

struct LogbF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = simd::classify<kZeros>(x);
    return simd::exponent_of(x);
  }
  static int callout(const float* a, float* r) { return logb_callout(a, r); }
};

struct LogbD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = simd::classify<kZeros>(x);
    return simd::exponent_of(x);
  }
  static int callout(const double* a, double* r) { return logb_callout(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Logb, LogbF)
VM_KERNELS(d, Logb, LogbD)
