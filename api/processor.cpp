// Whether this processor runs the kernel library: the question a host asks before loading it.
//
// The release build's kernels use AVX-512 F, DQ, BW and VL, which also need the operating system
// to save the opmask and upper vector registers (XCR0 bits 5 to 7 beside SSE and AVX state).
// The emulated test build (ZORP_EMULATE_AVX512) runs the same kernels as AVX2 code, so there the
// question is whether the AVX2 set it was compiled for is present: that build then runs on the
// machines it is made for, and the refusal below stays reachable there too.
//
// Leaf 1's ECX comes through the host core's reader, whose test hook hides bits: hiding OSXSAVE
// (bit 27) makes either build see a processor it cannot use, which is how the tests reach the
// refusal on a machine that has everything.
#include <cpuid.h>

#include <cstdint>

#include "api/loader.h"
#include "zorp/core.h"

namespace zorp::api {
namespace {

constexpr uint32_t kOsxsave = 1u << 27;

uint64_t enabled_state() {
  uint32_t lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (uint64_t{hi} << 32) | lo;
}

}  // namespace

bool processor_runs_kernels() {
  const uint32_t ecx1 = zorp_serv_cpuid1_ecx();
  if (!(ecx1 & kOsxsave)) return false;
  unsigned a, b, c, d;
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, a, b, c, d);
#if defined(ZORP_EMULATE_AVX512)
  // AVX, FMA, POPCNT, F16C in leaf 1; AVX2, BMI1, BMI2 in leaf 7; LZCNT in leaf 0x80000001.
  constexpr uint32_t kLeaf1 = (1u << 28) | (1u << 12) | (1u << 23) | (1u << 29);
  constexpr uint32_t kLeaf7 = (1u << 5) | (1u << 3) | (1u << 8);
  constexpr uint64_t kState = 0x6;  // SSE and AVX registers
  unsigned ea, eb, ec, ed;
  if (!__get_cpuid(0x80000001, &ea, &eb, &ec, &ed) || !(ec & (1u << 5))) return false;
  if ((ecx1 & kLeaf1) != kLeaf1) return false;
#else
  constexpr uint32_t kLeaf7 = (1u << 16) | (1u << 17) | (1u << 30) | (1u << 31);  // F DQ BW VL
  constexpr uint64_t kState = 0xE6;  // SSE, AVX, opmask and both upper halves of the zmm file
#endif
  if ((b & kLeaf7) != kLeaf7) return false;
  return (enabled_state() & kState) == kState;
}

}  // namespace zorp::api
