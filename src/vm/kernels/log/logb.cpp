// Logb: the unbiased exponent of x as a floating value. The get-exponent instruction gives it
// exactly for normal and subnormal arguments alike, +inf for infinities and NaN for NaN (no
// status); only a zero argument goes to the callout, which stores -inf and reports a domain
// error (status 1) rather than a singularity. Exact, so one kernel fills all three slots.
#include <limits>

#include "vm/kernels/common/bind.h"
#include "simd/vec.h"
#include "vm/kernels/common/callout.h"

namespace zorp::vm {
namespace {

// Logb's -inf at zero is a domain error, not a pole.
inline constexpr Reports kLogbReports{kStatusDomain, false};

template <typename T>
struct LogbK : Kernel<T> {
  static simd::Vec<T> body(simd::Vec<T> x, simd::Mask<T>& special) {
    special = simd::classify<simd::kClassZero>(x);
    return simd::exponent_of(x);
  }
  static int callout(const T* a, T* r) {
    *r = -std::numeric_limits<T>::infinity();
    return result_status<kLogbReports>(*r, *a);
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Logb, LogbK<float>)
VM_KERNELS(d, Logb, LogbK<double>)
