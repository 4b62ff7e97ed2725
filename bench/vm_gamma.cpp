// The gamma family and the exponential integral against SLEEF's AVX-512 u10 lgamma and tgamma
// (libmvec has neither, and no peer here has E1), at n = 1,024 (in cache) and 1,000,000
// (memory-bound). LGamma runs on positive arguments log-spaced over its whole finite range and on
// uniform ones in (-20, 20), which take the recurrence and reflection; TGamma up to its overflow
// and over (-20, 20); ExpInt1 log-spaced from 10^-3 to 700.
//
//   bench_vm_gamma --benchmark_min_time=0.1 --benchmark_filter=/1024
#include "vm_bench.h"

namespace {

using vmbench::add;
using vmbench::peer;
using vmbench::Range;

#define WITH_SLEEF(F, fn, rg_s, rg_d)                                     \
  VMBENCH_OURS(one, s, F, rg_s)                                           \
  add<float>("s" #F, "sleef_u10", peer(Sleef_##fn##f16_u10avx512f), rg_s); \
  VMBENCH_OURS(one, d, F, rg_d)                                           \
  add<double>("d" #F, "sleef_u10", peer(Sleef_##fn##d8_u10avx512f), rg_d);

void register_all() {
  using vmbench::log_spaced;
  using vmbench::uniform;
  const Range both = uniform(-20, 20, "both_signs");
  WITH_SLEEF(LGamma, lgamma, log_spaced(1e-3, 1e36), log_spaced(1e-3, 1e300))
  WITH_SLEEF(LGamma, lgamma, both, both)
  WITH_SLEEF(TGamma, tgamma, log_spaced(1e-3, 35), log_spaced(1e-3, 171))
  WITH_SLEEF(TGamma, tgamma, both, both)
  VMBENCH_OURS(one, s, ExpInt1, log_spaced(1e-3, 80))
  VMBENCH_OURS(one, d, ExpInt1, log_spaced(1e-3, 700))
}

}  // namespace

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
