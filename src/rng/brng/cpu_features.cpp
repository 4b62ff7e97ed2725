// The processor features that guard the AES and RDRAND generators: CPUID leaf 1, ECX. Read once;
// the answer cannot change while the process runs.
#include <cpuid.h>

#include "zorp/core.h"
#include "zorp/export.h"
#include "zorp/rng.h"

namespace {
unsigned leaf1_ecx() {
  static const unsigned ecx = [] {
    unsigned a, b, c = 0, d;
    return __get_cpuid(1, &a, &b, &c, &d) ? c : 0u;
  }();
  return ecx;
}
}  // namespace

extern "C" {
ZORP_API int32_t __tarrCPUisAES(void) { return (leaf1_ecx() >> 25) & 1; }
ZORP_API int32_t __tarrCPUisRDRAND(void) { return (leaf1_ecx() >> 30) & 1; }
// The vector AES instructions come with the integer generation of AVX-512 the host recognises.
ZORP_API int32_t __tarrCPUisVAES(void) { return zorp_serv_cpuisicx(); }
}
