// Exponential and logarithm kernels against SLEEF (AVX-512 u10 and u35) and glibc libmvec
// (AVX-512 variants), all in one run, at n = 1,024 (in cache) and 1,000,000 (memory-bound).
// Counters: cyc/elem (time-stamp counter ticks per element) and ns/elem.
//
//   bench_vm_explog --benchmark_min_time=0.1
#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <sleef.h>
#include <x86intrin.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "zorp/vm.h"
#include "zorp/vm_functions.h"

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

template <typename T>
using Kernel = std::function<void(int32_t, const T*, T*)>;

// A peer's vector function applied register by register (n is a multiple of the lanes here).
// Both peers live in shared libraries, so the call per register is what any caller pays.
inline Kernel<float> peer_s(const __m512 (*f)(__m512)) {
  return [f](int32_t n, const float* a, float* r) {
    for (int32_t i = 0; i < n; i += 16) _mm512_storeu_ps(r + i, f(_mm512_loadu_ps(a + i)));
  };
}
inline Kernel<double> peer_d(const __m512d (*f)(__m512d)) {
  return [f](int32_t n, const double* a, double* r) {
    for (int32_t i = 0; i < n; i += 8) _mm512_storeu_pd(r + i, f(_mm512_loadu_pd(a + i)));
  };
}

template <typename T>
std::vector<T> inputs(size_t n, double lo, double hi, bool log_spaced) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<T> v(n);
  for (auto& x : v) {
    const double t = u(rng);
    x = static_cast<T>(log_spaced ? std::exp(std::log(lo) + t * (std::log(hi) - std::log(lo))) : lo + t * (hi - lo));
  }
  return v;
}

template <typename T>
void run(benchmark::State& state, Kernel<T> k, double lo, double hi, bool log_spaced) {
  const size_t n = static_cast<size_t>(state.range(0));
  const std::vector<T> a = inputs<T>(n, lo, hi, log_spaced);
  std::vector<T> r(n);
  uint64_t ticks = 0;
  for (auto _ : state) {
    const uint64_t t0 = __rdtsc();
    k(static_cast<int32_t>(n), a.data(), r.data());
    ticks += __rdtsc() - t0;
    benchmark::DoNotOptimize(r.data());
    benchmark::ClobberMemory();
  }
  const double elems = static_cast<double>(state.iterations()) * static_cast<double>(n);
  state.counters["cyc/elem"] = static_cast<double>(ticks) / elems;
  state.counters["ns/elem"] = benchmark::Counter(elems, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

struct Range {
  double lo, hi;
  bool log_spaced;
};

template <typename T>
void add(const std::string& fn, const std::string& who, Kernel<T> k, Range rg) {
  for (long n : {1024L, 1000000L}) {
    benchmark::RegisterBenchmark((fn + "/" + who).c_str(),
                                 [k, rg](benchmark::State& s) { run<T>(s, k, rg.lo, rg.hi, rg.log_spaced); })
        ->Arg(n);
  }
}

#define OURS3(t, F, la, ep, rg)                                   \
  add<T_##t>(#t #F, "zorp_LA", _fenn##t##F##_##la, rg);            \
  add<T_##t>(#t #F, "zorp_HA", _fenn##t##F##_HA, rg);              \
  add<T_##t>(#t #F, "zorp_EP", _fenn##t##F##_##ep, rg);
#define OURS1(t, F, rg) add<T_##t>(#t #F, "zorp_ALL", _fenn##t##F, rg);
#define SLEEF_S(F, name, u, rg) add<float>("s" #F, "sleef_" #u, peer_s(Sleef_##name##f16_##u##avx512f), rg);
#define SLEEF_D(F, name, u, rg) add<double>("d" #F, "sleef_" #u, peer_d(Sleef_##name##d8_##u##avx512f), rg);
#define MVEC_S(F, name, rg) add<float>("s" #F, "libmvec", peer_s(_ZGVeN16v_##name##f), rg);
#define MVEC_D(F, name, rg) add<double>("d" #F, "libmvec", peer_d(_ZGVeN8v_##name), rg);

using T_s = float;
using T_d = double;

void register_all() {
  const Range exp_s{-80, 80, false}, exp_d{-700, 700, false};
  const Range exp2_s{-120, 120, false}, exp2_d{-1000, 1000, false};
  const Range exp10_s{-37, 37, false}, exp10_d{-300, 300, false};
  const Range expm1_r{-10, 10, false};
  const Range log_s{1e-30, 1e30, true}, log_d{1e-300, 1e300, true};
  const Range log1p_r{-0.9, 100, false};

  OURS3(s, Exp, 21, 11, exp_s) SLEEF_S(Exp, exp, u10, exp_s) MVEC_S(Exp, exp, exp_s)
  OURS3(d, Exp, 50, 26, exp_d) SLEEF_D(Exp, exp, u10, exp_d) MVEC_D(Exp, exp, exp_d)
  OURS3(s, Ln, 21, 11, log_s) SLEEF_S(Ln, log, u10, log_s) SLEEF_S(Ln, log, u35, log_s) MVEC_S(Ln, log, log_s)
  OURS3(d, Ln, 50, 26, log_d) SLEEF_D(Ln, log, u10, log_d) SLEEF_D(Ln, log, u35, log_d) MVEC_D(Ln, log, log_d)
  OURS1(s, Exp2, exp2_s) SLEEF_S(Exp2, exp2, u10, exp2_s) SLEEF_S(Exp2, exp2, u35, exp2_s) MVEC_S(Exp2, exp2, exp2_s)
  OURS1(d, Exp2, exp2_d) SLEEF_D(Exp2, exp2, u10, exp2_d) SLEEF_D(Exp2, exp2, u35, exp2_d) MVEC_D(Exp2, exp2, exp2_d)
  OURS1(s, Exp10, exp10_s) SLEEF_S(Exp10, exp10, u10, exp10_s) SLEEF_S(Exp10, exp10, u35, exp10_s) MVEC_S(Exp10, exp10, exp10_s)
  OURS1(d, Exp10, exp10_d) SLEEF_D(Exp10, exp10, u10, exp10_d) SLEEF_D(Exp10, exp10, u35, exp10_d) MVEC_D(Exp10, exp10, exp10_d)
  OURS3(s, Expm1, 21, 11, expm1_r) SLEEF_S(Expm1, expm1, u10, expm1_r) MVEC_S(Expm1, expm1, expm1_r)
  OURS3(d, Expm1, 50, 26, expm1_r) SLEEF_D(Expm1, expm1, u10, expm1_r) MVEC_D(Expm1, expm1, expm1_r)
  OURS3(s, Log2, 21, 11, log_s) SLEEF_S(Log2, log2, u10, log_s) SLEEF_S(Log2, log2, u35, log_s) MVEC_S(Log2, log2, log_s)
  OURS3(d, Log2, 50, 26, log_d) SLEEF_D(Log2, log2, u10, log_d) SLEEF_D(Log2, log2, u35, log_d) MVEC_D(Log2, log2, log_d)
  OURS3(s, Log10, 21, 11, log_s) SLEEF_S(Log10, log10, u10, log_s) MVEC_S(Log10, log10, log_s)
  OURS3(d, Log10, 50, 26, log_d) SLEEF_D(Log10, log10, u10, log_d) MVEC_D(Log10, log10, log_d)
  OURS3(s, Log1p, 21, 11, log1p_r) SLEEF_S(Log1p, log1p, u10, log1p_r) MVEC_S(Log1p, log1p, log1p_r)
  OURS3(d, Log1p, 50, 26, log1p_r) SLEEF_D(Log1p, log1p, u10, log1p_r) MVEC_D(Log1p, log1p, log1p_r)
  OURS1(s, Logb, log_s)
  OURS1(d, Logb, log_d)
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
