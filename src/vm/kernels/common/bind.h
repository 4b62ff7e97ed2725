// Binding kernel descriptions to a catalogue row: one line per (type, function) row,
//
//   VM_KERNELS(s, Exp, ExpLa<float>, ExpHa<float>, ExpEp<float>)
//
// defines the row's dispatch tables zorp_fenn_kernel_sExp_ttab and zorp_fenn_kernel_sExpI_ttab
// and their entries, reading everything else from the row zorp::vm::catalogue::sExp:
//  * the sharing column says how many descriptions the line lists and which slots they fill:
//    ALL one (all three slots), EP1 two (LA and HA, then EP), HA1 two (LA and EP, then HA),
//    DIST three (LA, HA, EP); slots that share a kernel hold the same entry;
//  * the shape picks the entry signatures (the public calling shapes) and how scalar
//    arguments reach the description (LinearFrac's four scalars and Powx's exponent construct
//    it; a scalar-argument description may take a whole call itself, see the VS entries);
//  * the row's name ("vsExp") is what the kernel's reports carry, contiguous and strided (the
//    one exception, Row::strided_name, is zExp's HA strided kernel);
//  * a strided entry whose increments are all 1 calls the contiguous entry through the table,
//    in the slot that owns the same kernel, so a host that patches a slot sees both forms
//    follow; complex rows with one kernel for all slots run their strided loop anyway.
// The element type of each description must be the row's type; the row must be marked built.
//
// Pack and unpack rows take a description with the static entry `contiguous` and have no strided
// table: VM_PACK_KERNELS(s, PackI, PackI<float>).
//
// Each table gets a hidden alias, zorp_vm_local_<t><F>[I]_ttab, through which the exported entry
// thunks (dispatch/entry_tables.cpp) jump without a GOT load.
#pragma once
#include <concepts>
#include <cstdint>
#include <tuple>
#include <type_traits>

#include "vm/dispatch/catalogue.h"
#include "vm/kernels/common/skeleton.h"
#include "zorp/export.h"
#include "zorp/vm_functions.h"

namespace zorp::vm {

using Table = void* [3];

namespace bind {

using catalogue::Row;
using catalogue::Shape;

template <char t>
struct TypeOf;
template <>
struct TypeOf<'s'> {
  using type = float;
};
template <>
struct TypeOf<'d'> {
  using type = double;
};
template <>
struct TypeOf<'c'> {
  using type = ZorpComplex8;
};
template <>
struct TypeOf<'z'> {
  using type = ZorpComplex16;
};

// The entries of one kernel description K in slot kSlot of row R. `Contiguous` is the row's
// contiguous table, for the unit-increment hand-over of the strided entry.
template <const Row& R, Table& Contiguous, typename K, int kSlot, Shape S = R.shape>
struct Entries;

template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::A1R1> {
  using T = typename K::T;
  using O = typename detail::OutOf<K>::type;
  static void contiguous(int32_t n, const T* a, O* r) { run_a1r1(K{}, R.name, static_cast<uint32_t>(n), a, r); }
  static void strided(int32_t n, const T* a, int32_t inca, O* r, int32_t incr) {
    if (R.unit_stride_shortcut() && inca == 1 && incr == 1)
      return reinterpret_cast<decltype(&contiguous)>(Contiguous[kSlot])(n, a, r);
    run_a1r1_strided(K{}, R.strided_name(kSlot), static_cast<uint32_t>(n), a, inca, r, incr);
  }
};
// Complex in, real out: the same entries.
template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::C1R1R> : Entries<R, Contiguous, K, kSlot, Shape::A1R1> {};
// Real in, complex out: the same again.
template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::R1C1> : Entries<R, Contiguous, K, kSlot, Shape::A1R1> {};

template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::A2R1> {
  using T = typename K::T;
  static void contiguous(int32_t n, const T* a, const T* b, T* r) {
    run_a2r1(K{}, R.name, static_cast<uint32_t>(n), a, b, r);
  }
  static void strided(int32_t n, const T* a, int32_t inca, const T* b, int32_t incb, T* r, int32_t incr) {
    if (R.unit_stride_shortcut() && inca == 1 && incb == 1 && incr == 1)
      return reinterpret_cast<decltype(&contiguous)>(Contiguous[kSlot])(n, a, b, r);
    run_a2r1_strided(K{}, R.strided_name(kSlot), static_cast<uint32_t>(n), a, inca, b, incb, r, incr);
  }
};

template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::A1R2> {
  using T = typename K::T;
  static void contiguous(int32_t n, const T* a, T* r1, T* r2) {
    run_a1r2(K{}, R.name, static_cast<uint32_t>(n), a, r1, r2);
  }
  static void strided(int32_t n, const T* a, int32_t inca, T* r1, int32_t incr1, T* r2, int32_t incr2) {
    if (R.unit_stride_shortcut() && inca == 1 && incr1 == 1 && incr2 == 1)
      return reinterpret_cast<decltype(&contiguous)>(Contiguous[kSlot])(n, a, r1, r2);
    run_a1r2_strided(K{}, R.strided_name(kSlot), static_cast<uint32_t>(n), a, inca, r1, incr1, r2, incr2);
  }
};

// (scalea*a + shifta) / (scaleb*b + shiftb): the four scalars construct the description.
template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::LINFRAC> {
  using T = typename K::T;
  static void contiguous(int32_t n, const T* a, const T* b, T sa, T ha, T sb, T hb, T* r) {
    run_a2r1(K(sa, ha, sb, hb), R.name, static_cast<uint32_t>(n), a, b, r);
  }
  static void strided(int32_t n, const T* a, int32_t inca, const T* b, int32_t incb, T sa, T ha, T sb, T hb,
                      T* r, int32_t incr) {
    if (R.unit_stride_shortcut() && inca == 1 && incb == 1 && incr == 1)
      return reinterpret_cast<decltype(&contiguous)>(Contiguous[kSlot])(n, a, b, sa, ha, sb, hb, r);
    run_a2r1_strided(K(sa, ha, sb, hb), R.strided_name(kSlot), static_cast<uint32_t>(n), a, inca, b, incb, r, incr);
  }
};

// Vector and scalar: the scalar b constructs the description. It comes by value, but a double
// complex one by reference (a null reference reads as zero: a host may pass none with n = 0).
// A description may first look at b and take the whole call itself (Powx's fast exponents): its
// static `whole_call(n, a, inca, b, r, incr, strided)` returns true when it did.
template <typename T>
struct ScalarArgument {
  using type = T;
  static T value(T b) { return b; }
};
template <>
struct ScalarArgument<ZorpComplex16> {
  using type = const ZorpComplex16*;
  static ZorpComplex16 value(const ZorpComplex16* b) { return b ? *b : ZorpComplex16{}; }
};

template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::VS> {
  using T = typename K::T;
  using S = typename ScalarArgument<T>::type;
  static constexpr bool kWholeCall = requires(int32_t n, const T* a, T b, T* r) {
    { K::whole_call(n, a, n, b, r, n, false) } -> std::same_as<bool>;
  };
  static void contiguous(int32_t n, const T* a, S b, T* r) {
    if constexpr (kWholeCall)
      if (K::whole_call(n, a, 1, b, r, 1, false)) return;
    run_a1r1(K(ScalarArgument<T>::value(b)), R.name, static_cast<uint32_t>(n), a, r);
  }
  static void strided(int32_t n, const T* a, int32_t inca, S b, T* r, int32_t incr) {
    if (R.unit_stride_shortcut() && inca == 1 && incr == 1)
      return reinterpret_cast<decltype(&contiguous)>(Contiguous[kSlot])(n, a, b, r);
    if constexpr (kWholeCall)
      if (K::whole_call(n, a, inca, b, r, incr, true)) return;
    run_a1r1_strided(K(ScalarArgument<T>::value(b)), R.strided_name(kSlot), static_cast<uint32_t>(n), a, inca, r, incr);
  }
};

// Pack and unpack: the description's own entry `contiguous`; no strided form.
template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::PACK> : K {};
template <const Row& R, Table& Contiguous, typename K, int kSlot>
struct Entries<R, Contiguous, K, kSlot, Shape::UNPACK> : Entries<R, Contiguous, K, kSlot, Shape::PACK> {};

// The description that fills `slot` of a row with the given sharing, from the list the binding
// line gives (one per distinct kernel, in slot order).
template <const Row& R, int kSlot, typename... Ks>
struct SlotKernel {
  static_assert(sizeof...(Ks) == R.kernels(),
                "a binding lists one kernel description per distinct kernel of the row's sharing");
  static constexpr int kOwner = R.owner(kSlot);
  // Position of the owner among the distinct kernels: slots 0, then the next owner, in order.
  static constexpr int kIndex = kOwner == 0 ? 0 : R.kernels() == 3 ? kOwner : 1;
  using type = std::tuple_element_t<kIndex, std::tuple<Ks...>>;
};

template <const Row& R, Table& Contiguous, int kSlot, typename... Ks>
using Slot = Entries<R, Contiguous, typename SlotKernel<R, kSlot, Ks...>::type, SlotKernel<R, kSlot, Ks...>::kOwner>;

template <const Row& R, typename... Ks>
constexpr bool check() {
  static_assert(R.built, "the catalogue row must be marked built when its kernels are bound");
  if constexpr (R.shape == Shape::R1C1)  // real in: the results are of the row's type
    static_assert((std::is_same_v<typename detail::OutOf<Ks>::type, typename TypeOf<R.type>::type> && ...),
                  "every description's result type is the row's type");
  else if constexpr (R.shape != Shape::PACK && R.shape != Shape::UNPACK)
    static_assert((std::is_same_v<typename Ks::T, typename TypeOf<R.type>::type> && ...),
                  "every description's element type is the row's type");
  return true;
}

}  // namespace bind
}  // namespace zorp::vm

#define VM_BIND_TABLE_(name, form, row, contiguous, ...)                                                   \
  extern "C" ZORP_API void* zorp_fenn_kernel_##name##_ttab[3];                                             \
  void* zorp_fenn_kernel_##name##_ttab[3] = {                                                              \
      (void*)&::zorp::vm::bind::Slot<row, contiguous, 0, __VA_ARGS__>::form,                               \
      (void*)&::zorp::vm::bind::Slot<row, contiguous, 1, __VA_ARGS__>::form,                               \
      (void*)&::zorp::vm::bind::Slot<row, contiguous, 2, __VA_ARGS__>::form};                              \
  extern "C" __attribute__((visibility("hidden"), alias("zorp_fenn_kernel_" #name "_ttab"))) void*          \
      zorp_vm_local_##name##_ttab[3];

#define VM_KERNELS(t, F, ...)                                                                              \
  static_assert(::zorp::vm::bind::check<::zorp::vm::catalogue::t##F, __VA_ARGS__>());                     \
  extern "C" ZORP_API void* zorp_fenn_kernel_##t##F##_ttab[3];                                             \
  VM_BIND_TABLE_(t##F, contiguous, ::zorp::vm::catalogue::t##F, zorp_fenn_kernel_##t##F##_ttab, __VA_ARGS__) \
  VM_BIND_TABLE_(t##F##I, strided, ::zorp::vm::catalogue::t##F, zorp_fenn_kernel_##t##F##_ttab, __VA_ARGS__)

#define VM_PACK_KERNELS(t, F, ...)                                                                         \
  static_assert(::zorp::vm::bind::check<::zorp::vm::catalogue::t##F, __VA_ARGS__>());                     \
  extern "C" ZORP_API void* zorp_fenn_kernel_##t##F##_ttab[3];                                             \
  VM_BIND_TABLE_(t##F, contiguous, ::zorp::vm::catalogue::t##F, zorp_fenn_kernel_##t##F##_ttab, __VA_ARGS__)
