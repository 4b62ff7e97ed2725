// Floating-point control: MXCSR and the x87 environment. The instructions are the same on every
// x86-64 operating system, so this header serves both platform implementations.
#pragma once
#include <cstdint>
#include "simd/isa.h"

namespace zorp::fpu {

inline constexpr uint32_t kMxcsrFlags = 0x3F;       // IE DE ZE OE UE PE
inline constexpr uint32_t kMxcsrDaz = 0x0040;       // denormal inputs are zero
inline constexpr uint32_t kMxcsrFtz = 0x8000;       // flush denormal results to zero
inline constexpr uint32_t kMxcsrMasks = 0x1F80;     // all six exceptions masked
inline constexpr uint32_t kMxcsrRound = 0x6000;     // rounding control

inline uint32_t get_mxcsr() { return _mm_getcsr(); }
inline void set_mxcsr(uint32_t v) { _mm_setcsr(v); }

// x87 environment as stored by fnstenv (28 bytes in 32-bit protected-mode layout).
struct X87Env {
  uint16_t control, r0, status, r1, tag, r2;
  uint32_t ip;
  uint16_t cs, opcode;
  uint32_t dp;
  uint16_t ds, r3;
};
static_assert(sizeof(X87Env) == 28, "fnstenv writes 28 bytes");

inline void x87_store_env(X87Env* e) { __asm__ volatile("fnstenv %0" : "=m"(*e)); }
inline void x87_load_env(const X87Env* e) { __asm__ volatile("fldenv %0" : : "m"(*e)); }
inline uint16_t x87_get_control() {
  uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw;
}
inline void x87_set_control(uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }
inline uint16_t x87_get_status() {
  uint16_t sw;
  __asm__ volatile("fnstsw %0" : "=m"(sw));
  return sw;
}
// Clears the x87 exception flags without raising a pending exception.
inline void x87_clear_exceptions() { __asm__ volatile("fnclex"); }
// Raises a pending unmasked x87 exception now, if there is one.
inline void x87_wait() { __asm__ volatile("fwait"); }

}  // namespace zorp::fpu
