// Processor-generation queries.
//
// Both queries read CPUID directly and also require that the operating system saves the
// full AVX-512 register state (XCR0 bits 1, 2, 5, 6 and 7), since an instruction set the OS
// does not preserve across context switches is unusable.
//
//   zorp_serv_cpuisicx: the integer/byte-manipulation generation of AVX-512. Nonzero when the
//     processor has AVX-512 F, CD, BW, DQ and VL plus IFMA, VBMI, VBMI2, VNNI, BITALG and
//     VPOPCNTDQ (the set first shipped together in Ice Lake class server cores).
//   zorp_serv_cpuiscpx: the deep-learning generation. Nonzero when the processor has AVX-512
//     F, CD, BW, DQ and VL plus VNNI and BF16 (the set of Cooper Lake class cores).
//
// The two are independent: a processor may belong to one, both or neither.
#include <zorp/core.h>

#include <cpuid.h>
#include <immintrin.h>

#include <atomic>

namespace {
struct Leaf7 {
  unsigned ebx = 0, ecx = 0, edx = 0, eax1 = 0;  // eax1: subleaf 1 EAX
  bool base = false;                             // AVX-512 F/CD/BW/DQ/VL usable
};

Leaf7 read_features() {
  Leaf7 f;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
  const bool osxsave = (c & (1u << 27)) != 0;
  if (!osxsave) return f;
  unsigned xlo, xhi;
  __asm__ volatile("xgetbv" : "=a"(xlo), "=d"(xhi) : "c"(0));
  const unsigned need = (1u << 1) | (1u << 2) | (1u << 5) | (1u << 6) | (1u << 7);
  if ((xlo & need) != need) return f;
  unsigned maxleaf = __get_cpuid_max(0, nullptr);
  if (maxleaf < 7) return f;
  __cpuid_count(7, 0, a, b, c, d);
  f.ebx = b;
  f.ecx = c;
  f.edx = d;
  const unsigned subleaves = a;
  if (subleaves >= 1) {
    __cpuid_count(7, 1, a, b, c, d);
    f.eax1 = a;
  }
  const unsigned base = (1u << 16) | (1u << 17) | (1u << 28) | (1u << 30) | (1u << 31);  // F DQ CD BW VL
  f.base = (f.ebx & base) == base;
  return f;
}

const Leaf7& features() {
  static const Leaf7 f = read_features();
  return f;
}

constexpr unsigned kIfma = 1u << 21;         // leaf 7 EBX
constexpr unsigned kVbmi = 1u << 1;          // leaf 7 ECX
constexpr unsigned kVbmi2 = 1u << 6;         // leaf 7 ECX
constexpr unsigned kVnni = 1u << 11;         // leaf 7 ECX
constexpr unsigned kBitalg = 1u << 12;       // leaf 7 ECX
constexpr unsigned kVpopcntdq = 1u << 14;    // leaf 7 ECX
constexpr unsigned kBf16 = 1u << 5;          // leaf 7 subleaf 1 EAX
}  // namespace

extern "C" int zorp_serv_cpuisicx(void) {
  const Leaf7& f = features();
  const unsigned ecx = kVbmi | kVbmi2 | kVnni | kBitalg | kVpopcntdq;
  return f.base && (f.ebx & kIfma) && (f.ecx & ecx) == ecx;
}

extern "C" int zorp_serv_cpuiscpx(void) {
  const Leaf7& f = features();
  return f.base && (f.ecx & kVnni) && (f.eax1 & kBf16);
}

// CPUID leaf 1 ECX (the AES and RDRAND bits among others), read once. Tests hide bits with
// zorp_core_mask_cpuid1_ecx to run the paths of a processor that lacks a feature.
namespace {
std::atomic<unsigned> g_hidden_leaf1_ecx{0};
}  // namespace

extern "C" uint32_t zorp_serv_cpuid1_ecx(void) {
  static const unsigned ecx = [] {
    unsigned a, b, c = 0, d;
    return __get_cpuid(1, &a, &b, &c, &d) ? c : 0u;
  }();
  return ecx & ~g_hidden_leaf1_ecx.load(std::memory_order_relaxed);
}

extern "C" void zorp_core_mask_cpuid1_ecx(uint32_t bits) { g_hidden_leaf1_ecx.store(bits, std::memory_order_relaxed); }

// One RDRAND step. A real processor reports no value only when its entropy source is drained for a
// moment, which tests cannot bring about, so they make the next k steps report none with
// zorp_core_fail_rdrand(k); the countdown is taken with a compare-and-swap, as the allocation one.
namespace {
std::atomic<int64_t> g_rdrand_failures{0};
}  // namespace

extern "C" __attribute__((target("rdrnd"))) int zorp_serv_rdrand64(uint64_t* v) {
  int64_t k = g_rdrand_failures.load(std::memory_order_relaxed);
  while (k > 0)
    if (g_rdrand_failures.compare_exchange_weak(k, k - 1, std::memory_order_relaxed)) return 0;
  unsigned long long x;
  if (!_rdrand64_step(&x)) return 0;
  *v = x;
  return 1;
}

extern "C" void zorp_core_fail_rdrand(int64_t k) { g_rdrand_failures.store(k > 0 ? k : 0, std::memory_order_relaxed); }
