// Exponential and logarithm kernels against SLEEF (AVX-512 u10 and u35) and glibc libmvec
// (AVX-512 variants), all in one run.
//
//   bench_vm_explog --benchmark_min_time=0.1
#include "vm_bench.h"

extern "C" {
const __m512 _ZGVeN16v_expf(__m512);
const __m512 _ZGVeN16v_exp2f(__m512);
const __m512 _ZGVeN16v_exp10f(__m512);
const __m512 _ZGVeN16v_expm1f(__m512);
const __m512 _ZGVeN16v_logf(__m512);
const __m512 _ZGVeN16v_log2f(__m512);
const __m512 _ZGVeN16v_log10f(__m512);
const __m512 _ZGVeN16v_log1pf(__m512);
const __m512d _ZGVeN8v_exp(__m512d);
const __m512d _ZGVeN8v_exp2(__m512d);
const __m512d _ZGVeN8v_exp10(__m512d);
const __m512d _ZGVeN8v_expm1(__m512d);
const __m512d _ZGVeN8v_log(__m512d);
const __m512d _ZGVeN8v_log2(__m512d);
const __m512d _ZGVeN8v_log10(__m512d);
const __m512d _ZGVeN8v_log1p(__m512d);
}

namespace {

using vmbench::add;
using vmbench::Range;

#define OURS1(t, F, rg) add<VMBENCH_T_##t>(#t #F, "zorp", vmbench::one(_fenn##t##F), rg);
#define SLEEF_S(F, name, u, rg) add<float>("s" #F, "sleef_" #u, vmbench::peer(Sleef_##name##f16_##u##avx512f), rg);
#define SLEEF_D(F, name, u, rg) add<double>("d" #F, "sleef_" #u, vmbench::peer(Sleef_##name##d8_##u##avx512f), rg);
#define MVEC_S(F, name, rg) add<float>("s" #F, "libmvec", vmbench::peer(_ZGVeN16v_##name##f), rg);
#define MVEC_D(F, name, rg) add<double>("d" #F, "libmvec", vmbench::peer(_ZGVeN8v_##name), rg);

void register_all() {
  const Range exp_s = vmbench::uniform(-80, 80), exp_d = vmbench::uniform(-700, 700);
  const Range exp2_s = vmbench::uniform(-120, 120), exp2_d = vmbench::uniform(-1000, 1000);
  const Range exp10_s = vmbench::uniform(-37, 37), exp10_d = vmbench::uniform(-300, 300);
  const Range expm1_r = vmbench::uniform(-10, 10);
  const Range log_s = vmbench::log_spaced(1e-30, 1e30), log_d = vmbench::log_spaced(1e-300, 1e300);
  const Range log1p_r = vmbench::uniform(-0.9, 100);

  VMBENCH_OURS(one, s, Exp, exp_s) SLEEF_S(Exp, exp, u10, exp_s) MVEC_S(Exp, exp, exp_s)
  VMBENCH_OURS(one, d, Exp, exp_d) SLEEF_D(Exp, exp, u10, exp_d) MVEC_D(Exp, exp, exp_d)
  VMBENCH_OURS(one, s, Ln, log_s) SLEEF_S(Ln, log, u10, log_s) SLEEF_S(Ln, log, u35, log_s) MVEC_S(Ln, log, log_s)
  VMBENCH_OURS(one, d, Ln, log_d) SLEEF_D(Ln, log, u10, log_d) SLEEF_D(Ln, log, u35, log_d) MVEC_D(Ln, log, log_d)
  OURS1(s, Exp2, exp2_s) SLEEF_S(Exp2, exp2, u10, exp2_s) SLEEF_S(Exp2, exp2, u35, exp2_s) MVEC_S(Exp2, exp2, exp2_s)
  OURS1(d, Exp2, exp2_d) SLEEF_D(Exp2, exp2, u10, exp2_d) SLEEF_D(Exp2, exp2, u35, exp2_d) MVEC_D(Exp2, exp2, exp2_d)
  OURS1(s, Exp10, exp10_s) SLEEF_S(Exp10, exp10, u10, exp10_s) SLEEF_S(Exp10, exp10, u35, exp10_s) MVEC_S(Exp10, exp10, exp10_s)
  OURS1(d, Exp10, exp10_d) SLEEF_D(Exp10, exp10, u10, exp10_d) SLEEF_D(Exp10, exp10, u35, exp10_d) MVEC_D(Exp10, exp10, exp10_d)
  VMBENCH_OURS(one, s, Expm1, expm1_r) SLEEF_S(Expm1, expm1, u10, expm1_r) MVEC_S(Expm1, expm1, expm1_r)
  VMBENCH_OURS(one, d, Expm1, expm1_r) SLEEF_D(Expm1, expm1, u10, expm1_r) MVEC_D(Expm1, expm1, expm1_r)
  VMBENCH_OURS(one, s, Log2, log_s) SLEEF_S(Log2, log2, u10, log_s) SLEEF_S(Log2, log2, u35, log_s) MVEC_S(Log2, log2, log_s)
  VMBENCH_OURS(one, d, Log2, log_d) SLEEF_D(Log2, log2, u10, log_d) SLEEF_D(Log2, log2, u35, log_d) MVEC_D(Log2, log2, log_d)
  VMBENCH_OURS(one, s, Log10, log_s) SLEEF_S(Log10, log10, u10, log_s) MVEC_S(Log10, log10, log_s)
  VMBENCH_OURS(one, d, Log10, log_d) SLEEF_D(Log10, log10, u10, log_d) MVEC_D(Log10, log10, log_d)
  VMBENCH_OURS(one, s, Log1p, log1p_r) SLEEF_S(Log1p, log1p, u10, log1p_r) MVEC_S(Log1p, log1p, log1p_r)
  VMBENCH_OURS(one, d, Log1p, log1p_r) SLEEF_D(Log1p, log1p, u10, log1p_r) MVEC_D(Log1p, log1p, log1p_r)
  OURS1(s, Logb, log_s)
  OURS1(d, Logb, log_d)

  // How the cost per element grows with n, for the report's scaling plot (tools/report.py):
  // one kernel from 100 elements, where the call's overhead shows, to 1e7, far past the caches.
  benchmark::RegisterBenchmark("scaling/dExp HA", [exp_d](benchmark::State& s) {
    vmbench::run<double>(s, vmbench::one(_fenndExp_HA), exp_d);
  })->RangeMultiplier(10)->Range(100, 10000000);
}

}  // namespace

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
