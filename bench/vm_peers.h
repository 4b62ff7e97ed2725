// What the vector-math benchmarks against the peers share: kernels of every calling shape behind
// one signature, the peers' AVX-512 functions applied register by register, the timed loop with
// its counters (cyc/elem, time-stamp counter ticks per element; ns/elem) and its registration at
// n = 1,024 (in cache) and 1,000,000 (memory-bound). Each benchmark program includes it once.
#pragma once
#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <x86intrin.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace vmbench {

// Every kernel takes two argument arrays; one-argument kernels ignore the second.
template <typename T>
using Kernel = std::function<void(int32_t, const T*, const T*, T*)>;

template <typename T>
Kernel<T> one(void (*f)(int32_t, const T*, T*)) {
  return [f](int32_t n, const T* a, const T*, T* r) { f(n, a, r); };
}
template <typename T>
Kernel<T> two(void (*f)(int32_t, const T*, const T*, T*)) {
  return [f](int32_t n, const T* a, const T* b, T* r) { f(n, a, b, r); };
}
template <typename T>
Kernel<T> scalar(void (*f)(int32_t, const T*, T, T*), T b) {
  return [f, b](int32_t n, const T* a, const T*, T* r) { f(n, a, b, r); };
}

// A peer's vector function applied register by register (n is a multiple of the lanes here).
// Both peers live in shared libraries, so the call per register is what any caller pays.
inline Kernel<float> peer(const __m512 (*f)(__m512)) {
  return [f](int32_t n, const float* a, const float*, float* r) {
    for (int32_t i = 0; i < n; i += 16) _mm512_storeu_ps(r + i, f(_mm512_loadu_ps(a + i)));
  };
}
inline Kernel<double> peer(const __m512d (*f)(__m512d)) {
  return [f](int32_t n, const double* a, const double*, double* r) {
    for (int32_t i = 0; i < n; i += 8) _mm512_storeu_pd(r + i, f(_mm512_loadu_pd(a + i)));
  };
}
inline Kernel<float> peer(const __m512 (*f)(__m512, __m512)) {
  return [f](int32_t n, const float* a, const float* b, float* r) {
    for (int32_t i = 0; i < n; i += 16) _mm512_storeu_ps(r + i, f(_mm512_loadu_ps(a + i), _mm512_loadu_ps(b + i)));
  };
}
inline Kernel<double> peer(const __m512d (*f)(__m512d, __m512d)) {
  return [f](int32_t n, const double* a, const double* b, double* r) {
    for (int32_t i = 0; i < n; i += 8) _mm512_storeu_pd(r + i, f(_mm512_loadu_pd(a + i), _mm512_loadu_pd(b + i)));
  };
}
// The same with one exponent in every lane (Powx's peers).
inline Kernel<float> peer_x(const __m512 (*f)(__m512, __m512), float e) {
  return [f, e](int32_t n, const float* a, const float*, float* r) {
    const __m512 b = _mm512_set1_ps(e);
    for (int32_t i = 0; i < n; i += 16) _mm512_storeu_ps(r + i, f(_mm512_loadu_ps(a + i), b));
  };
}
inline Kernel<double> peer_x(const __m512d (*f)(__m512d, __m512d), double e) {
  return [f, e](int32_t n, const double* a, const double*, double* r) {
    const __m512d b = _mm512_set1_pd(e);
    for (int32_t i = 0; i < n; i += 8) _mm512_storeu_pd(r + i, f(_mm512_loadu_pd(a + i), b));
  };
}

// Arguments: a log-spaced over [alo, ahi], b uniform over [blo, bhi].
struct Range {
  double alo, ahi, blo, bhi;
};

template <typename T>
void run(benchmark::State& state, const Kernel<T>& k, Range rg) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<T> a(n), b(n), r(n);
  for (size_t i = 0; i < n; ++i) {
    a[i] = static_cast<T>(std::exp(std::log(rg.alo) + u(rng) * (std::log(rg.ahi) - std::log(rg.alo))));
    b[i] = static_cast<T>(rg.blo + u(rng) * (rg.bhi - rg.blo));
  }
  uint64_t ticks = 0;
  for (auto _ : state) {
    const uint64_t t0 = __rdtsc();
    k(static_cast<int32_t>(n), a.data(), b.data(), r.data());
    ticks += __rdtsc() - t0;
    benchmark::DoNotOptimize(r.data());
    benchmark::ClobberMemory();
  }
  const double elems = static_cast<double>(state.iterations()) * static_cast<double>(n);
  state.counters["cyc/elem"] = static_cast<double>(ticks) / elems;
  state.counters["ns/elem"] = benchmark::Counter(elems, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <typename T>
void add(const std::string& fn, const std::string& who, Kernel<T> k, Range rg) {
  for (long n : {1024L, 1000000L})
    benchmark::RegisterBenchmark((fn + "/" + who).c_str(), [k, rg](benchmark::State& s) { run<T>(s, k, rg); })->Arg(n);
}

#define OURS1(t, F, la, ep, rg)                                      \
  add<T_##t>(#t #F, "zorp_LA", one(_fenn##t##F##_##la), rg);          \
  add<T_##t>(#t #F, "zorp_HA", one(_fenn##t##F##_HA), rg);            \
  add<T_##t>(#t #F, "zorp_EP", one(_fenn##t##F##_##ep), rg);
#define OURS2(t, F, la, ep, rg)                                      \
  add<T_##t>(#t #F, "zorp_LA", two(_fenn##t##F##_##la), rg);          \
  add<T_##t>(#t #F, "zorp_HA", two(_fenn##t##F##_HA), rg);            \
  add<T_##t>(#t #F, "zorp_EP", two(_fenn##t##F##_##ep), rg);
using T_s = float;
using T_d = double;

}  // namespace vmbench
