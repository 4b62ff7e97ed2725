// Arithmetic, rounding and pack kernels against plain loops compiled in this binary (-O3
// -march=native), at n = 1,000 (in cache) and n = 1,000,000 (memory-bound). Reports cycles per
// element from the time-stamp counter and ns per element.
//   bench_vm_arith --benchmark_filter=... --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <x86intrin.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace {

// Arrays on 64-byte boundaries, so that the library and the plain loop see the same alignment
// (with the default allocator it depends on the allocation history of each benchmark).
template <typename T>
struct AlignedAllocator {
  using value_type = T;
  AlignedAllocator() = default;
  template <typename U>
  AlignedAllocator(const AlignedAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(std::aligned_alloc(64, (n * sizeof(T) + 63) / 64 * 64)); }
  void deallocate(T* p, size_t) { std::free(p); }
  friend bool operator==(const AlignedAllocator&, const AlignedAllocator&) { return true; }
};
template <typename T>
using Array = std::vector<T, AlignedAllocator<T>>;

template <typename T>
struct Data {
  Array<T> a, b, r;
  Array<int32_t> idx;
  explicit Data(size_t n) : a(n), b(n), r(n), idx(n) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> u(0.5, 100);
    for (size_t i = 0; i < n; ++i) {
      a[i] = static_cast<T>(u(rng));
      b[i] = static_cast<T>(u(rng));
      idx[i] = static_cast<int32_t>(rng() % n);
    }
  }
};

// Runs `body` per iteration and reports cycles and ns per element.
template <typename Body>
void measure(benchmark::State& state, size_t n, Body body) {
  uint64_t cycles = 0;
  for (auto _ : state) {
    const uint64_t t0 = __rdtsc();
    body();
    cycles += __rdtsc() - t0;
    benchmark::ClobberMemory();
  }
  const double elems = static_cast<double>(state.iterations()) * static_cast<double>(n);
  state.counters["cyc/elem"] = static_cast<double>(cycles) / elems;
  state.counters["ns/elem"] = benchmark::Counter(elems, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// ---- plain loops --------------------------------------------------------------------------
#define PLAIN2(name, expr)                                                                   \
  template <typename T>                                                                      \
  __attribute__((noinline)) void plain_##name(int n, const T* __restrict a, const T* __restrict b, \
                                              T* __restrict r) {                             \
    for (int i = 0; i < n; ++i) r[i] = expr;                                                 \
  }
#define PLAIN1(name, expr)                                                                   \
  template <typename T>                                                                      \
  __attribute__((noinline)) void plain_##name(int n, const T* __restrict a, T* __restrict r) { \
    for (int i = 0; i < n; ++i) r[i] = expr;                                                 \
  }
PLAIN2(add, a[i] + b[i])
PLAIN2(mul, a[i] * b[i])
PLAIN2(div, a[i] / b[i])
PLAIN1(sqrt, std::sqrt(a[i]))
PLAIN1(inv, T(1) / a[i])
PLAIN1(round, std::round(a[i]))
PLAIN1(abs, std::fabs(a[i]))
template <typename T>
__attribute__((noinline)) void plain_packv(int n, const T* __restrict a, const int32_t* __restrict ix,
                                           T* __restrict y) {
  for (int i = 0; i < n; ++i) y[i] = a[ix[i]];
}

// ---- benchmarks ---------------------------------------------------------------------------
#define BENCH2(T, name, kernel, plain)                                                     \
  void BM_##name##_lib(benchmark::State& s) {                                               \
    const int n = static_cast<int>(s.range(0));                                             \
    Data<T> d(n);                                                                           \
    measure(s, n, [&] { kernel(n, d.a.data(), d.b.data(), d.r.data()); });                  \
  }                                                                                         \
  void BM_##name##_plain(benchmark::State& s) {                                             \
    const int n = static_cast<int>(s.range(0));                                             \
    Data<T> d(n);                                                                           \
    measure(s, n, [&] { plain<T>(n, d.a.data(), d.b.data(), d.r.data()); });                \
  }                                                                                         \
  BENCHMARK(BM_##name##_lib)->Arg(1000)->Arg(1000000);                                      \
  BENCHMARK(BM_##name##_plain)->Arg(1000)->Arg(1000000);
#define BENCH1(T, name, kernel, plain)                                                     \
  void BM_##name##_lib(benchmark::State& s) {                                               \
    const int n = static_cast<int>(s.range(0));                                             \
    Data<T> d(n);                                                                           \
    measure(s, n, [&] { kernel(n, d.a.data(), d.r.data()); });                              \
  }                                                                                         \
  void BM_##name##_plain(benchmark::State& s) {                                             \
    const int n = static_cast<int>(s.range(0));                                             \
    Data<T> d(n);                                                                           \
    measure(s, n, [&] { plain<T>(n, d.a.data(), d.r.data()); });                            \
  }                                                                                         \
  BENCHMARK(BM_##name##_lib)->Arg(1000)->Arg(1000000);                                      \
  BENCHMARK(BM_##name##_plain)->Arg(1000)->Arg(1000000);

BENCH2(double, dAdd, _fenndAdd, plain_add)
BENCH2(float, sAdd, _fennsAdd, plain_add)
BENCH2(double, dMul, _fenndMul, plain_mul)
BENCH2(double, dDiv_HA, _fenndDiv, plain_div)
BENCH2(double, dDiv_LA, _fenndDiv_50, plain_div)
BENCH2(float, sDiv_HA, _fennsDiv, plain_div)
BENCH1(double, dSqrt_HA, _fenndSqrt, plain_sqrt)
BENCH1(double, dInv_HA, _fenndInv, plain_inv)
BENCH1(float, sInv_HA, _fennsInv, plain_inv)
BENCH1(double, dRound, _fenndRound, plain_round)
BENCH1(float, sAbs, _fennsAbs, plain_abs)
BENCH1(double, dAbs, _fenndAbs, plain_abs)

void BM_dPackV_lib(benchmark::State& s) {
  const int n = static_cast<int>(s.range(0));
  Data<double> d(n);
  measure(s, n, [&] { _fenndPackV(n, d.a.data(), d.idx.data(), d.r.data(), 1); });
}
void BM_dPackV_plain(benchmark::State& s) {
  const int n = static_cast<int>(s.range(0));
  Data<double> d(n);
  measure(s, n, [&] { plain_packv<double>(n, d.a.data(), d.idx.data(), d.r.data()); });
}
BENCHMARK(BM_dPackV_lib)->Arg(1000)->Arg(1000000);
BENCHMARK(BM_dPackV_plain)->Arg(1000)->Arg(1000000);

}  // namespace

int main(int argc, char** argv) {
  _fennSetMode(0x1A02);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
