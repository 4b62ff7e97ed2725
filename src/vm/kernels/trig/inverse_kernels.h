// The kernel records and catalogue rows of the inverse trigonometric functions, shared by the
// double source (inverse.cpp) and the single one (inverse_single.cpp). Each source defines its
// methods, inverse<F, kPiUnits, S>(x) and angles::atan2_of<kPiUnits, S>(y, x), and then
// includes this header and names its rows with ZORP_INVERSE_ROWS.
#pragma once
#include <cmath>
#include <limits>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"

namespace zorp::vm {
namespace {

using namespace zorp::vm::angles;

// The slot parameter S is the accuracy slot (Acc).
// Atan: no special lanes.
template <typename T, bool kPiUnits, auto S>
struct AtanK : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> x, Mask<T>&) { return inverse<Inv::Atan, kPiUnits, S>(x); }
};

template <typename T, bool kPiUnits, auto S>
struct Atan2K : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> y, Vec<T> x, Mask<T>&) { return atan2_of<kPiUnits, S>(y, x); }
};

// Asin and Acos: arguments beyond [-1, 1] (and NaN, which reports nothing) go to the callout.
template <typename T, Inv F, bool kPiUnits, auto S>
struct ArcK : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> x, Mask<T>& special) {
    special = not_less_equal(abs(x), splat(T(1)));
    const Vec<T> r = inverse<F, kPiUnits, S>(x);
    // Those lanes are settled here, off the common path, so the methods need not keep them
    // apart: NaN beyond [-1, 1], a NaN argument quieted. Without error reporting these are the
    // stored results.
    if (special) [[unlikely]]
      return select(special, select(unordered(x, x), add(x, x), splat(std::numeric_limits<T>::quiet_NaN())), r);
    return r;
  }
  static int callout(const T* a, T* r) {
    const T x = *a;
    *r = std::isnan(x) ? x * x : std::numeric_limits<T>::quiet_NaN();
    return result_status<kGrowthReports>(*r, x);
  }
};

}  // namespace
}  // namespace zorp::vm

// One kernel per accuracy slot (Acc) in both precisions.
#define ZORP_INVERSE_SLOTS(K, ...)                                                                   \
  ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::Acc::LA>, ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::Acc::HA>, \
      ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::Acc::EP>
#define ZORP_INVERSE_ROWS(t, T)                                                                       \
  VM_KERNELS(t, Asin, ZORP_INVERSE_SLOTS(ArcK, T, ::zorp::vm::angles::Inv::Asin, false))          \
  VM_KERNELS(t, Acos, ZORP_INVERSE_SLOTS(ArcK, T, ::zorp::vm::angles::Inv::Acos, false))          \
  VM_KERNELS(t, Atan, ZORP_INVERSE_SLOTS(AtanK, T, false))                                        \
  VM_KERNELS(t, Atan2, ZORP_INVERSE_SLOTS(Atan2K, T, false))                                      \
  VM_KERNELS(t, Asinpi, ZORP_INVERSE_SLOTS(ArcK, T, ::zorp::vm::angles::Inv::Asin, true))         \
  VM_KERNELS(t, Acospi, ZORP_INVERSE_SLOTS(ArcK, T, ::zorp::vm::angles::Inv::Acos, true))         \
  VM_KERNELS(t, Atanpi, ZORP_INVERSE_SLOTS(AtanK, T, true))                                       \
  VM_KERNELS(t, Atan2pi, ZORP_INVERSE_SLOTS(Atan2K, T, true))
