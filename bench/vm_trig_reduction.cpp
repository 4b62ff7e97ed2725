// The trigonometric argument reductions of vm/kernels/common/trig_reduce.h on arrays of 1,024
// arguments (in cache): remainder (both words where there are two) and quadrant stored per
// element. Counters: cyc/elem (time-stamp counter ticks per element) and ns/elem.
//
//   bench_vm_trig_reduction --benchmark_min_time=0.2
#include <benchmark/benchmark.h>
#include <x86intrin.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "vm/kernels/common/trig_reduce.h"

namespace {

using namespace zorp::vm::trig;
namespace simd = zorp::simd;

constexpr size_t kN = 1024;

// Uniform on [-hi, hi], or with magnitudes log-uniform on [1, hi] and random signs.
template <typename T>
std::vector<T> inputs(double hi, bool log_spaced) {
  std::mt19937_64 g(1);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<T> v(kN);
  for (auto& x : v) {
    const double t = u(g), sign = u(g) < 0.5 ? -1 : 1;
    x = static_cast<T>(log_spaced ? sign * std::exp(t * std::log(hi)) : hi * (2 * t - 1));
  }
  return v;
}

// body(x, hi, lo, quadrant) reduces the kN arguments of x.
template <typename T, typename Q>
using Body = std::function<void(const T*, T*, T*, Q*)>;

// The loop over kN elements, `step` at a time, inlined into each body.
template <size_t kStep, typename F>
inline void each(F f) {
  for (size_t i = 0; i < kN; i += kStep) f(i);
}

template <typename T, typename Q>
void run(benchmark::State& state, Body<T, Q> body, double hi, bool log_spaced) {
  const std::vector<T> x = inputs<T>(hi, log_spaced);
  std::vector<T> r_hi(kN), r_lo(kN);
  std::vector<Q> q(kN);
  uint64_t ticks = 0;
  for (auto _ : state) {
    const uint64_t t0 = __rdtsc();
    body(x.data(), r_hi.data(), r_lo.data(), q.data());
    ticks += __rdtsc() - t0;
    benchmark::DoNotOptimize(r_hi.data());
    benchmark::DoNotOptimize(r_lo.data());
    benchmark::DoNotOptimize(q.data());
    benchmark::ClobberMemory();
  }
  const double elems = static_cast<double>(state.iterations()) * kN;
  state.counters["cyc/elem"] = static_cast<double>(ticks) / elems;
  state.counters["ns/elem"] = benchmark::Counter(elems, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <typename T, typename Q>
void add(const std::string& name, Body<T, Q> body, double hi, bool log_spaced) {
  benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) { run<T, Q>(s, body, hi, log_spaced); });
}

void register_all() {
  // Cody-Waite, eight doubles per register
  const Body<double, int64_t> single_d = [](const double* x, double* hi, double*, int64_t* q) {
    each<8>([&](size_t i) {
      const Reduction<__m512d> r = reduce_half_pi(simd::load(x + i));
      simd::store(hi + i, r.r), _mm512_storeu_si512(q + i, quadrant_of(r.k));
    });
  };
  const Body<double, int64_t> pair_d = [](const double* x, double* hi, double* lo, int64_t* q) {
    each<8>([&](size_t i) {
      const PairReduction<__m512d> r = reduce_half_pi_pair(simd::load(x + i));
      simd::store(hi + i, r.r.hi), simd::store(lo + i, r.r.lo), _mm512_storeu_si512(q + i, quadrant_of(r.k));
    });
  };
  const Body<float, int32_t> single_f = [](const float* x, float* hi, float*, int32_t* q) {
    each<16>([&](size_t i) {
      const Reduction<__m512> r = reduce_half_pi(simd::load(x + i));
      simd::store(hi + i, r.r), _mm512_storeu_si512(q + i, quadrant_of(r.k));
    });
  };
  // Payne-Hanek
  const Body<double, int64_t> huge_d = [](const double* x, double* hi, double* lo, int64_t* q) {
    each<8>([&](size_t i) {
      const HugeReduction<__m512d> r = reduce_half_pi_huge(simd::load(x + i));
      simd::store(hi + i, r.r.hi), simd::store(lo + i, r.r.lo), _mm512_storeu_si512(q + i, r.quadrant);
    });
  };
  const Body<float, int32_t> huge_f = [](const float* x, float* hi, float*, int32_t* q) {
    each<16>([&](size_t i) {
      const HugeReduction<__m512> r = reduce_half_pi_huge(simd::load(x + i));
      simd::store(hi + i, r.r), _mm512_storeu_si512(q + i, r.quadrant);
    });
  };
  const Body<double, int64_t> huge_scalar = [](const double* x, double* hi, double* lo, int64_t* q) {
    each<1>([&](size_t i) {
      const QuadrantReduction r = reduce_half_pi_huge(x[i]);
      hi[i] = r.hi, lo[i] = r.lo, q[i] = r.quadrant;
    });
  };
  const Body<double, int64_t> callout = [](const double* x, double* hi, double* lo, int64_t* q) {
    each<1>([&](size_t i) {
      const QuadrantReduction r = reduce_half_pi_scalar(x[i]);
      hi[i] = r.hi, lo[i] = r.lo, q[i] = r.quadrant;
    });
  };
  add("d_single/vector/[-1e6,1e6]", single_d, 1e6, false);
  add("d_pair/vector/[-1e6,1e6]", pair_d, 1e6, false);
  add("s_single/vector/[-1e5,1e5]", single_f, 1e5, false);
  add("d_huge/vector/[-1e6,1e6]", huge_d, 1e6, false);
  add("d_huge/vector/|x|_in_[1,1e300]", huge_d, 1e300, true);
  add("s_huge/vector/|x|_in_[1,1e38]", huge_f, 1e38, true);
  add("d_huge/scalar/[-1e6,1e6]", huge_scalar, 1e6, false);
  add("d_huge/scalar/|x|_in_[1,1e300]", huge_scalar, 1e300, true);
  add("d_callout/scalar/[-1e6,1e6]", callout, 1e6, false);
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
