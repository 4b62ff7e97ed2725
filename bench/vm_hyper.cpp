// Hyperbolic functions and erf against SLEEF (AVX-512 u10 and, where it exists, u35) and glibc libmvec
// (AVX-512), all in one run, at n = 1,024 (in cache) and 1,000,000 (memory-bound), on arguments
// log-spaced over the range where each function does its ordinary work.
//
//   bench_vm_hyper --benchmark_min_time=0.1 --benchmark_filter=/1024
#include <sleef.h>

#include "vm_peers.h"

extern "C" {
#define MVEC(fn) const __m512 _ZGVeN16v_##fn##f(__m512); const __m512d _ZGVeN8v_##fn(__m512d);
MVEC(sinh) MVEC(cosh) MVEC(tanh) MVEC(asinh) MVEC(acosh) MVEC(atanh) MVEC(erf)
#undef MVEC
}

namespace {

using namespace vmbench;

// Ours in three slots, SLEEF's u10 (and u35 where it has one), libmvec.
#define PEERS(F, fn, rg_s, rg_d)                                                   \
  OURS1(s, F, 21, 11, rg_s)                                                        \
  add<float>("s" #F, "sleef_u10", peer(Sleef_##fn##f16_u10avx512f), rg_s);          \
  add<float>("s" #F, "libmvec", peer(_ZGVeN16v_##fn##f), rg_s);                     \
  OURS1(d, F, 50, 26, rg_d)                                                        \
  add<double>("d" #F, "sleef_u10", peer(Sleef_##fn##d8_u10avx512f), rg_d);          \
  add<double>("d" #F, "libmvec", peer(_ZGVeN8v_##fn), rg_d);
#define U35(F, fn, rg_s, rg_d)                                                     \
  add<float>("s" #F, "sleef_u35", peer(Sleef_##fn##f16_u35avx512f), rg_s);          \
  add<double>("d" #F, "sleef_u35", peer(Sleef_##fn##d8_u35avx512f), rg_d);

void register_all() {
  const Range exp_s{1e-3, 88, 0, 0}, exp_d{1e-3, 700, 0, 0}, tanh_r{1e-3, 20, 0, 0};
  const Range wide_s{1e-3, 1e30, 0, 0}, wide_d{1e-3, 1e300, 0, 0}, above1{1.0001, 1e6, 0, 0};
  const Range inside{1e-3, 0.999, 0, 0}, erf_r{1e-3, 6, 0, 0};
  PEERS(Sinh, sinh, exp_s, exp_d)
  U35(Sinh, sinh, exp_s, exp_d)
  PEERS(Cosh, cosh, exp_s, exp_d)
  U35(Cosh, cosh, exp_s, exp_d)
  PEERS(Tanh, tanh, tanh_r, tanh_r)
  U35(Tanh, tanh, tanh_r, tanh_r)
  PEERS(Asinh, asinh, wide_s, wide_d)
  PEERS(Acosh, acosh, above1, above1)
  PEERS(Atanh, atanh, inside, inside)
  PEERS(Erf, erf, erf_r, erf_r)
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
