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

// The slot parameter S is a Method for double and an Acc for single precision.
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
    return inverse<F, kPiUnits, S>(x);
  }
  static int callout(const T* a, T* r) {
    const T x = *a;
    *r = std::isnan(x) ? x * x : std::numeric_limits<T>::quiet_NaN();
    return result_status<kGrowthReports>(*r, x);
  }
};

}  // namespace
}  // namespace zorp::vm

// Double: LA and EP plain, HA on pairs. Single: one kernel per class.
#define ZORP_INVERSE_SLOTS_d(K, ...)                                                            \
  ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::trig::Method::PlainDouble>,                            \
      ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::trig::Method::Pairs>,                              \
      ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::trig::Method::PlainDouble>
#define ZORP_INVERSE_SLOTS_s(K, ...)                                                            \
  ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::Acc::LA>, ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::Acc::HA>, \
      ::zorp::vm::K<__VA_ARGS__, ::zorp::vm::Acc::EP>
#define ZORP_INVERSE_ROWS(t, T)                                                                       \
  VM_KERNELS(t, Asin, ZORP_INVERSE_SLOTS_##t(ArcK, T, ::zorp::vm::angles::Inv::Asin, false))          \
  VM_KERNELS(t, Acos, ZORP_INVERSE_SLOTS_##t(ArcK, T, ::zorp::vm::angles::Inv::Acos, false))          \
  VM_KERNELS(t, Atan, ZORP_INVERSE_SLOTS_##t(AtanK, T, false))                                        \
  VM_KERNELS(t, Atan2, ZORP_INVERSE_SLOTS_##t(Atan2K, T, false))                                      \
  VM_KERNELS(t, Asinpi, ZORP_INVERSE_SLOTS_##t(ArcK, T, ::zorp::vm::angles::Inv::Asin, true))         \
  VM_KERNELS(t, Acospi, ZORP_INVERSE_SLOTS_##t(ArcK, T, ::zorp::vm::angles::Inv::Acos, true))         \
  VM_KERNELS(t, Atanpi, ZORP_INVERSE_SLOTS_##t(AtanK, T, true))                                       \
  VM_KERNELS(t, Atan2pi, ZORP_INVERSE_SLOTS_##t(Atan2K, T, true))
