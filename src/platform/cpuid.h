// CPUID access, identical on every x86-64 operating system.
#pragma once
#include <cpuid.h>
#include <cstdint>

namespace zorp::platform {

struct CpuidRegs {
  uint32_t eax, ebx, ecx, edx;
};

inline CpuidRegs cpuid(uint32_t leaf, uint32_t subleaf = 0) {
  CpuidRegs r{};
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

// True when the processor and the operating system support AVX-512 F, DQ, BW and VL (the
// operating system must save the opmask and ZMM state: XCR0 bits 1, 2, 5, 6, 7).
inline bool has_avx512_fdqbwvl() {
  if (cpuid(0).eax < 7) return false;
  const CpuidRegs l1 = cpuid(1);
  if (!(l1.ecx & (1u << 27))) return false;  // OSXSAVE
  uint32_t lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  if ((lo & 0xE6u) != 0xE6u) return false;
  const CpuidRegs l7 = cpuid(7, 0);
  const uint32_t need = (1u << 16) | (1u << 17) | (1u << 30) | (1u << 31);  // F DQ BW VL
  return (l7.ebx & need) == need;
}

}  // namespace zorp::platform
