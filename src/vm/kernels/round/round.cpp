// Rounding members: Ceil, Floor, Trunc, Rint, NearbyInt, Round, Frac, Modf. All are exact and
// raise no exception (the rounding instruction runs with exceptions suppressed), so one kernel
// serves the three accuracy slots. Rint and NearbyInt round to nearest even: the kernel's
// control word always rounds to nearest, whatever the caller's.
#include <cstdint>

#include "simd/vec.h"
#include "vm/kernels/common/bind.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

template <typename V>
inline V trunc(V a) {
  return round_integral<_MM_FROUND_TO_ZERO>(a);
}
// a - trunc(a) with the sign of a OR-ed in, so that -3 gives -0 and -2.5 gives -0.5.
template <typename V>
inline V frac(V a) {
  return copy_sign(sub_quiet(a, trunc(a)), a);
}

template <typename T, int kDirection>
struct DirectedK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>&) { return round_integral<kDirection>(a); }
};

// Halfway cases away from zero: round |a| to nearest even, add 1 where |a| - that is exactly 0.5,
// then put the sign of a back (so -0.4 gives -0).
template <typename T>
struct RoundK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>&) {
    const Vec<T> y = abs(a);
    Vec<T> t = round_integral<_MM_FROUND_TO_NEAREST_INT>(y);
    const Mask<T> half = equal(sub_quiet(y, t), splat(T(0.5)));
    t = select(half, add_quiet(t, splat(T(1))), t);
    return copy_sign(t, a);
  }
};

template <typename T>
struct FracK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>&) { return frac(a); }
};

template <typename T>
struct ModfK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T>& fraction, Mask<T>&) {
    fraction = frac(a);
    return trunc(a);
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Ceil, DirectedK<float, _MM_FROUND_TO_POS_INF>)
VM_KERNELS(d, Ceil, DirectedK<double, _MM_FROUND_TO_POS_INF>)
VM_KERNELS(s, Floor, DirectedK<float, _MM_FROUND_TO_NEG_INF>)
VM_KERNELS(d, Floor, DirectedK<double, _MM_FROUND_TO_NEG_INF>)
VM_KERNELS(s, Trunc, DirectedK<float, _MM_FROUND_TO_ZERO>)
VM_KERNELS(d, Trunc, DirectedK<double, _MM_FROUND_TO_ZERO>)
// Rint and NearbyInt both round to nearest even: the kernel's control word always rounds to
// nearest, and the instruction raises nothing either way.
VM_KERNELS(s, Rint, DirectedK<float, _MM_FROUND_TO_NEAREST_INT>)
VM_KERNELS(d, Rint, DirectedK<double, _MM_FROUND_TO_NEAREST_INT>)
VM_KERNELS(s, NearbyInt, DirectedK<float, _MM_FROUND_TO_NEAREST_INT>)
VM_KERNELS(d, NearbyInt, DirectedK<double, _MM_FROUND_TO_NEAREST_INT>)
VM_KERNELS(s, Round, RoundK<float>)
VM_KERNELS(d, Round, RoundK<double>)
VM_KERNELS(s, Frac, FracK<float>)
VM_KERNELS(d, Frac, FracK<double>)
VM_KERNELS(s, Modf, ModfK<float>)
VM_KERNELS(d, Modf, ModfK<double>)
