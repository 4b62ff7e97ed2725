// Defining the kernel symbols of one catalogue slot from a kernel description K.
//
//   VM_DEFINE_A1R1(s, Exp, ha, ExpHA<float>)
// defines zorp_vmk_sExp_ha (contiguous) and zorp_vmk_sExpI_ha (strided). The strided kernel
// with all increments 1 does no work of its own: it calls the contiguous kernel through the
// function's table, in the slot that holds the same kernel (la is slot 0, ha 1, ep 2), so that a
// host patching a slot sees both forms follow.
#pragma once
#include <cstdint>

#include "vm/dispatch/ttab.h"
#include "vm/kernels/common/skeleton.h"

#define VM_SLOT_INDEX_la 0
#define VM_SLOT_INDEX_ha 1
#define VM_SLOT_INDEX_ep 2

#define VM_DEFINE_A1R1(t, F, slot, ...)                                                          \
  VM_DECLARE_TTAB(t##F)                                                                          \
  extern "C" void zorp_vmk_##t##F##_##slot(int32_t n, const __VA_ARGS__::T* a,                  \
                                           __VA_ARGS__::T* r) {                                  \
    zorp::vm::run_a1r1<__VA_ARGS__>(static_cast<uint32_t>(n), a, r);                            \
  }                                                                                              \
  extern "C" void zorp_vmk_##t##F##I_##slot(int32_t n, const __VA_ARGS__::T* a, int32_t inca,   \
                                            __VA_ARGS__::T* r, int32_t incr) {                   \
    using Fn = void (*)(int32_t, const __VA_ARGS__::T*, __VA_ARGS__::T*);                       \
    if (inca == 1 && incr == 1)                                                                  \
      return reinterpret_cast<Fn>(VM_TTAB(t##F)[VM_SLOT_INDEX_##slot])(n, a, r);                 \
    zorp::vm::run_a1r1_strided<__VA_ARGS__>(static_cast<uint32_t>(n), a, inca, r, incr);        \
  }

#define VM_DEFINE_A2R1(t, F, slot, ...)                                                          \
  VM_DECLARE_TTAB(t##F)                                                                          \
  extern "C" void zorp_vmk_##t##F##_##slot(int32_t n, const __VA_ARGS__::T* a,                  \
                                           const __VA_ARGS__::T* b, __VA_ARGS__::T* r) {         \
    zorp::vm::run_a2r1<__VA_ARGS__>(static_cast<uint32_t>(n), a, b, r);                         \
  }                                                                                              \
  extern "C" void zorp_vmk_##t##F##I_##slot(int32_t n, const __VA_ARGS__::T* a, int32_t inca,   \
                                            const __VA_ARGS__::T* b, int32_t incb,               \
                                            __VA_ARGS__::T* r, int32_t incr) {                   \
    using Fn = void (*)(int32_t, const __VA_ARGS__::T*, const __VA_ARGS__::T*, __VA_ARGS__::T*); \
    if (inca == 1 && incb == 1 && incr == 1)                                                     \
      return reinterpret_cast<Fn>(VM_TTAB(t##F)[VM_SLOT_INDEX_##slot])(n, a, b, r);              \
    zorp::vm::run_a2r1_strided<__VA_ARGS__>(static_cast<uint32_t>(n), a, inca, b, incb, r, incr); \
  }
