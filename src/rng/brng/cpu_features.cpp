// The processor features that guard the AES and RDRAND generators: CPUID leaf 1, ECX, as the
// host reads it (once; tests can hide bits there to run the refusals of an older processor).
#include "zorp/core.h"
#include "zorp/export.h"
#include "zorp/rng.h"

extern "C" {
ZORP_API int32_t __tarrCPUisAES(void) { return (zorp_serv_cpuid1_ecx() >> 25) & 1; }
ZORP_API int32_t __tarrCPUisRDRAND(void) { return (zorp_serv_cpuid1_ecx() >> 30) & 1; }
// The vector AES instructions come with the integer generation of AVX-512 the host recognises.
ZORP_API int32_t __tarrCPUisVAES(void) { return zorp_serv_cpuisicx(); }
}
