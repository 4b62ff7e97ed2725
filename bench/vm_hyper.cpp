// Hyperbolic functions and erf against SLEEF (AVX-512 u10 and, where it exists, u35) and glibc libmvec
// (AVX-512), all in one run, at n = 1,024 (in cache) and 1,000,000 (memory-bound), on arguments
// log-spaced over the range where each function does its ordinary work.
//
//   bench_vm_hyper --benchmark_min_time=0.1 --benchmark_filter=/1024
#include "vm_bench.h"

extern "C" {
#define MVEC(fn) const __m512 _ZGVeN16v_##fn##f(__m512); const __m512d _ZGVeN8v_##fn(__m512d);
MVEC(sinh) MVEC(cosh) MVEC(tanh) MVEC(asinh) MVEC(acosh) MVEC(atanh) MVEC(erf)
#undef MVEC
}

namespace {

using vmbench::add;
using vmbench::peer;
using vmbench::Range;

// Ours in three slots, SLEEF's u10 (and u35 where it has one), libmvec.
#define PEERS(F, fn, rg_s, rg_d)                                                   \
  VMBENCH_OURS(one, s, F, rg_s)                                                    \
  add<float>("s" #F, "sleef_u10", peer(Sleef_##fn##f16_u10avx512f), rg_s);          \
  add<float>("s" #F, "libmvec", peer(_ZGVeN16v_##fn##f), rg_s);                     \
  VMBENCH_OURS(one, d, F, rg_d)                                                    \
  add<double>("d" #F, "sleef_u10", peer(Sleef_##fn##d8_u10avx512f), rg_d);          \
  add<double>("d" #F, "libmvec", peer(_ZGVeN8v_##fn), rg_d);
#define U35(F, fn, rg_s, rg_d)                                                     \
  add<float>("s" #F, "sleef_u35", peer(Sleef_##fn##f16_u35avx512f), rg_s);          \
  add<double>("d" #F, "sleef_u35", peer(Sleef_##fn##d8_u35avx512f), rg_d);

void register_all() {
  using vmbench::log_spaced;
  const Range exp_s = log_spaced(1e-3, 88), exp_d = log_spaced(1e-3, 700), tanh_r = log_spaced(1e-3, 20);
  const Range wide_s = log_spaced(1e-3, 1e30), wide_d = log_spaced(1e-3, 1e300), above1 = log_spaced(1.0001, 1e6);
  const Range inside = log_spaced(1e-3, 0.999), erf_r = log_spaced(1e-3, 6);
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

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
