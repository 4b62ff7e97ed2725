// The complementary error function family and the inverse error function against SLEEF (AVX-512
// erfc u15) and glibc libmvec (AVX-512 erfc) where they have the function, at n = 1,024 (in
// cache) and 1,000,000 (memory-bound). Erfcx, CdfNorm and ErfInv have no peer there and run alone.
//
//   bench_vm_special --benchmark_min_time=0.1 --benchmark_filter=/1024
#include "vm_bench.h"

extern "C" {
const __m512 _ZGVeN16v_erfcf(__m512);
const __m512d _ZGVeN8v_erfc(__m512d);
}

namespace {

using vmbench::add;
using vmbench::peer;
using vmbench::Range;

void register_all() {
  using vmbench::log_spaced;
  // erfc's arguments up to its tail (9 single, 26 double), Erfcx's also past its series switch.
  const Range erfc_s = log_spaced(1e-3, 9), erfc_d = log_spaced(1e-3, 26), erfcx_r = log_spaced(1e-3, 100);
  const Range cdf_r = log_spaced(1e-3, 8), inv_r = log_spaced(1e-6, 0.999999);
  VMBENCH_OURS(one, s, Erfc, erfc_s)
  add<float>("sErfc", "sleef_u15", peer(Sleef_erfcf16_u15avx512f), erfc_s);
  add<float>("sErfc", "libmvec", peer(_ZGVeN16v_erfcf), erfc_s);
  VMBENCH_OURS(one, d, Erfc, erfc_d)
  add<double>("dErfc", "sleef_u15", peer(Sleef_erfcd8_u15avx512f), erfc_d);
  add<double>("dErfc", "libmvec", peer(_ZGVeN8v_erfc), erfc_d);
  VMBENCH_OURS(one, s, Erfcx, erfcx_r)
  VMBENCH_OURS(one, d, Erfcx, erfcx_r)
  VMBENCH_OURS(one, s, CdfNorm, cdf_r)
  VMBENCH_OURS(one, d, CdfNorm, cdf_r)
  VMBENCH_OURS(one, s, ErfInv, inv_r)
  VMBENCH_OURS(one, d, ErfInv, inv_r)
}

}  // namespace

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
