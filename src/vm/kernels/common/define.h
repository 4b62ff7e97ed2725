// Defining the kernel symbols of one catalogue slot from a kernel description K.
//
//   VM_DEFINE_A1R1(s, Exp, ha, ExpHA<float>)
// defines zorp_vmk_sExp_ha (contiguous) and zorp_vmk_sExpI_ha (strided). The strided kernel
// with all increments 1 does no work of its own: it calls the contiguous kernel through the
// function's table, in the slot that holds the same kernel (la is slot 0, ha 1, ep 2), so that a
// host patching a slot sees both forms follow. The complex functions with one kernel for all
// slots (Conj and the like) run their strided loop whatever the increments: the _LOOP variants.
#pragma once
#include <cstdint>

#include "vm/dispatch/ttab.h"
#include "vm/kernels/common/skeleton.h"

#define VM_SLOT_INDEX_la 0
#define VM_SLOT_INDEX_ha 1
#define VM_SLOT_INDEX_ep 2

#define VM_IN_T(...) __VA_ARGS__::T
#define VM_OUT_T(...) zorp::vm::detail::OutOf<__VA_ARGS__>::type

// Unit increments: through the table (shortcut) or the strided loop anyway (loop).
#define VM_UNIT_shortcut(t, F, slot, cond, Fn, ...) \
  if (cond) return reinterpret_cast<Fn>(VM_TTAB(t##F)[VM_SLOT_INDEX_##slot])(__VA_ARGS__);
#define VM_UNIT_loop(t, F, slot, cond, Fn, ...)

#define VM_DEFINE_A1R1_(unit, t, F, slot, ...)                                                   \
  VM_DECLARE_TTAB(t##F)                                                                          \
  extern "C" void zorp_vmk_##t##F##_##slot(int32_t n, const VM_IN_T(__VA_ARGS__) * a,           \
                                           VM_OUT_T(__VA_ARGS__) * r) {                          \
    zorp::vm::run_a1r1<__VA_ARGS__>(static_cast<uint32_t>(n), a, r);                            \
  }                                                                                              \
  extern "C" void zorp_vmk_##t##F##I_##slot(int32_t n, const VM_IN_T(__VA_ARGS__) * a,          \
                                            int32_t inca, VM_OUT_T(__VA_ARGS__) * r,             \
                                            int32_t incr) {                                      \
    using Fn [[maybe_unused]] = void (*)(int32_t, const VM_IN_T(__VA_ARGS__)*, VM_OUT_T(__VA_ARGS__)*);          \
    VM_UNIT_##unit(t, F, slot, inca == 1 && incr == 1, Fn, n, a, r)                              \
    zorp::vm::run_a1r1_strided<__VA_ARGS__>(static_cast<uint32_t>(n), a, inca, r, incr);        \
  }

#define VM_DEFINE_A2R1_(unit, t, F, slot, ...)                                                   \
  VM_DECLARE_TTAB(t##F)                                                                          \
  extern "C" void zorp_vmk_##t##F##_##slot(int32_t n, const VM_IN_T(__VA_ARGS__) * a,           \
                                           const VM_IN_T(__VA_ARGS__) * b,                       \
                                           VM_IN_T(__VA_ARGS__) * r) {                           \
    zorp::vm::run_a2r1<__VA_ARGS__>(static_cast<uint32_t>(n), a, b, r);                         \
  }                                                                                              \
  extern "C" void zorp_vmk_##t##F##I_##slot(int32_t n, const VM_IN_T(__VA_ARGS__) * a,          \
                                            int32_t inca, const VM_IN_T(__VA_ARGS__) * b,        \
                                            int32_t incb, VM_IN_T(__VA_ARGS__) * r,              \
                                            int32_t incr) {                                      \
    using Fn [[maybe_unused]] = void (*)(int32_t, const VM_IN_T(__VA_ARGS__)*, const VM_IN_T(__VA_ARGS__)*,      \
                        VM_IN_T(__VA_ARGS__)*);                                                  \
    VM_UNIT_##unit(t, F, slot, inca == 1 && incb == 1 && incr == 1, Fn, n, a, b, r)              \
    zorp::vm::run_a2r1_strided<__VA_ARGS__>(static_cast<uint32_t>(n), a, inca, b, incb, r, incr); \
  }

#define VM_DEFINE_A1R2_(unit, t, F, slot, ...)                                                   \
  VM_DECLARE_TTAB(t##F)                                                                          \
  extern "C" void zorp_vmk_##t##F##_##slot(int32_t n, const VM_IN_T(__VA_ARGS__) * a,           \
                                           VM_IN_T(__VA_ARGS__) * r1, VM_IN_T(__VA_ARGS__) * r2) { \
    zorp::vm::run_a1r2<__VA_ARGS__>(static_cast<uint32_t>(n), a, r1, r2);                       \
  }                                                                                              \
  extern "C" void zorp_vmk_##t##F##I_##slot(int32_t n, const VM_IN_T(__VA_ARGS__) * a,          \
                                            int32_t inca, VM_IN_T(__VA_ARGS__) * r1,             \
                                            int32_t incr1, VM_IN_T(__VA_ARGS__) * r2,            \
                                            int32_t incr2) {                                     \
    using Fn [[maybe_unused]] = void (*)(int32_t, const VM_IN_T(__VA_ARGS__)*, VM_IN_T(__VA_ARGS__)*,            \
                        VM_IN_T(__VA_ARGS__)*);                                                  \
    VM_UNIT_##unit(t, F, slot, inca == 1 && incr1 == 1 && incr2 == 1, Fn, n, a, r1, r2)          \
    zorp::vm::run_a1r2_strided<__VA_ARGS__>(static_cast<uint32_t>(n), a, inca, r1, incr1, r2,   \
                                            incr2);                                              \
  }

#define VM_DEFINE_A1R1(t, F, slot, ...) VM_DEFINE_A1R1_(shortcut, t, F, slot, __VA_ARGS__)
#define VM_DEFINE_A2R1(t, F, slot, ...) VM_DEFINE_A2R1_(shortcut, t, F, slot, __VA_ARGS__)
#define VM_DEFINE_A1R2(t, F, slot, ...) VM_DEFINE_A1R2_(shortcut, t, F, slot, __VA_ARGS__)
#define VM_DEFINE_A1R1_LOOP(t, F, slot, ...) VM_DEFINE_A1R1_(loop, t, F, slot, __VA_ARGS__)
#define VM_DEFINE_A2R1_LOOP(t, F, slot, ...) VM_DEFINE_A2R1_(loop, t, F, slot, __VA_ARGS__)
