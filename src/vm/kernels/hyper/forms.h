// The kernel descriptions the hyperbolic family shares, built from a function record:
//
//   struct Record {
//     template <Acc kAcc> static __m512d eval(__m512d x);      the double result of every lane
//     template <Acc kAcc> static __m512 eval(__m512 x);        the float result (optional, per slot)
//     template <typename V> static auto special(V x);          the callout's lanes (Guarded only)
//     template <typename T> static int callout(const T*, T*);  their results and statuses
//   };
//
// Plain<Record, T, kAcc> has no special lanes, Guarded<Record, T, kAcc> adds them. Double
// kernels evaluate the record in the slot's own accuracy, and so do single kernels whose record
// has a float evaluation for the slot. The others evaluate it in double on the two halves of
// the register and narrow once, HA through the double LA evaluation, LA and EP through the
// double EP one (whose 28 and more correct bits leave the single result within an ulp).
#pragma once
#include <concepts>
#include <type_traits>

#include "simd/complex.h"
#include "vm/kernels/common/skeleton.h"
#include "vm/kernels/common/slots.h"

namespace zorp::vm::hyper {

template <Acc kAcc>
constexpr Acc kInDouble = kAcc == Acc::HA ? Acc::LA : Acc::EP;

// The record computes this single slot in float itself.
template <typename Record, Acc kAcc>
concept InFloat = requires(__m512 x) {
  { Record::template eval<kAcc>(x) } -> std::same_as<__m512>;
};

// The bodies are inlined whole, callees and all: these methods are long enough that the compiler
// would otherwise keep the evaluation as a call, which spills every live register of the main
// loop and reloads the constants on each register of arguments (a third of dErfc LA's time).
template <typename Record, typename T, Acc kAcc>
struct Plain : Kernel<T> {
  [[gnu::always_inline, gnu::flatten]] static simd::Vec<T> body(simd::Vec<T> x, simd::Mask<T>&) {
    if constexpr (std::is_same_v<T, double> || InFloat<Record, kAcc>) {
      return Record::template eval<kAcc>(x);
    } else {
      constexpr Acc kD = kInDouble<kAcc>;
      return simd::narrow(Record::template eval<kD>(simd::widen_low(x)), Record::template eval<kD>(simd::widen_high(x)));
    }
  }
};

template <typename Record, typename T, Acc kAcc>
struct Guarded : Kernel<T> {
  [[gnu::always_inline]] static simd::Vec<T> body(simd::Vec<T> x, simd::Mask<T>& special) {
    special = Record::special(x);
    return Plain<Record, T, kAcc>::body(x, special);
  }
  static int callout(const T* a, T* r) { return Record::callout(a, r); }
};

}  // namespace zorp::vm::hyper

// The three slots of one (type, function) row from one form and record.
#define HYPER_KERNELS(t, T, Func, Form, Record)                                                   \
  VM_KERNELS(t, Func, Form<Record, T, ::zorp::vm::Acc::LA>, Form<Record, T, ::zorp::vm::Acc::HA>, \
             Form<Record, T, ::zorp::vm::Acc::EP>)
