// What the vector-math benchmarks share: one kernel shape for our exports and the peers, the
// argument ranges, the timed loop with its counters and the registration at the two sizes.
//
// Every kernel takes two argument arrays and two result arrays; one-argument, one-result kernels
// ignore what they don't use. Sizes: n = 1,024 (in cache) and 1,000,000 (memory-bound).
// Counters: cyc/elem (time-stamp counter ticks per element) and ns/elem.
#pragma once

#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <sleef.h>
#include <x86intrin.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "side_by_side.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace vmbench {

template <typename T>
using Kernel = std::function<void(int32_t, const T*, const T*, T*, T*)>;

template <typename T>
Kernel<T> one(void (*f)(int32_t, const T*, T*)) {
  return [f](int32_t n, const T* a, const T*, T* r, T*) { f(n, a, r); };
}
template <typename T>
Kernel<T> two(void (*f)(int32_t, const T*, const T*, T*)) {
  return [f](int32_t n, const T* a, const T* b, T* r, T*) { f(n, a, b, r); };
}
template <typename T>
Kernel<T> scalar(void (*f)(int32_t, const T*, T, T*), T b) {
  return [f, b](int32_t n, const T* a, const T*, T* r, T*) { f(n, a, b, r); };
}
template <typename T>
Kernel<T> two_out(void (*f)(int32_t, const T*, T*, T*)) {
  return [f](int32_t n, const T* a, const T*, T* r, T* r2) { f(n, a, r, r2); };
}

// A peer's vector function applied register by register (n is a multiple of the lanes here).
// The peers live in shared libraries, so the call per register is what any caller pays.
template <typename T>
struct Lanes;
template <>
struct Lanes<float> {
  using V = __m512;
  static constexpr int32_t kN = 16;
  static V load(const float* p) { return _mm512_loadu_ps(p); }
  static void store(float* p, V v) { _mm512_storeu_ps(p, v); }
};
template <>
struct Lanes<double> {
  using V = __m512d;
  static constexpr int32_t kN = 8;
  static V load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, V v) { _mm512_storeu_pd(p, v); }
};

template <typename V, typename T = std::conditional_t<std::is_same_v<V, __m512>, float, double>>
Kernel<T> peer(const V (*f)(V)) {
  using L = Lanes<T>;
  return [f](int32_t n, const T* a, const T*, T* r, T*) {
    for (int32_t i = 0; i < n; i += L::kN) L::store(r + i, f(L::load(a + i)));
  };
}
template <typename V, typename T = std::conditional_t<std::is_same_v<V, __m512>, float, double>>
Kernel<T> peer(const V (*f)(V, V)) {
  using L = Lanes<T>;
  return [f](int32_t n, const T* a, const T* b, T* r, T*) {
    for (int32_t i = 0; i < n; i += L::kN) L::store(r + i, f(L::load(a + i), L::load(b + i)));
  };
}
// The same with one second argument in every lane (Powx's peers).
template <typename V, typename T = std::conditional_t<std::is_same_v<V, __m512>, float, double>>
Kernel<T> peer_x(const V (*f)(V, V), T e) {
  using L = Lanes<T>;
  return [f, e](int32_t n, const T* a, const T*, T* r, T*) {
    const V b = std::is_same_v<T, float> ? V(_mm512_set1_ps(float(e))) : V(_mm512_set1_pd(double(e)));
    for (int32_t i = 0; i < n; i += L::kN) L::store(r + i, f(L::load(a + i), b));
  };
}
// A peer returning two vectors in a pair (SLEEF's sincos).
template <typename P, typename V, typename T = std::conditional_t<std::is_same_v<V, __m512>, float, double>>
Kernel<T> peer_pair(P (*f)(V)) {
  using L = Lanes<T>;
  return [f](int32_t n, const T* a, const T*, T* r, T* r2) {
    for (int32_t i = 0; i < n; i += L::kN) {
      const P p = f(L::load(a + i));
      L::store(r + i, p.x);
      L::store(r2 + i, p.y);
    }
  };
}

// One argument's distribution: uniform over [lo, hi] or log-spaced (lo > 0).
struct Axis {
  double lo = 0, hi = 0;
  bool log_spaced = false;
};
// The arguments of a benchmark; `tag`, when a function runs over several ranges, goes into the name.
struct Range {
  Axis a, b;
  std::string tag;
};
inline Range uniform(double lo, double hi, std::string tag = "") { return {{lo, hi, false}, {}, std::move(tag)}; }
inline Range log_spaced(double lo, double hi) { return {{lo, hi, true}, {}, ""}; }

template <typename T>
std::vector<T> inputs(size_t n, Axis ax, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<T> v(n);
  for (auto& x : v) {
    const double t = u(rng);
    x = static_cast<T>(ax.log_spaced ? std::exp(std::log(ax.lo) + t * (std::log(ax.hi) - std::log(ax.lo)))
                                     : ax.lo + t * (ax.hi - ax.lo));
  }
  return v;
}

// The arguments and results of one kernel at one size. kParts values per element: 2 for complex
// elements, whose parts are drawn independently.
template <typename T, int kParts = 1>
struct Arrays {
  Arrays(size_t n, Range rg) : n(n) {
    std::mt19937_64 rng(1);
    a = inputs<T>(n * kParts, rg.a, rng);
    b = inputs<T>(n * kParts, rg.b, rng);
    r.resize(n * kParts);
    r2.resize(n * kParts);
  }
  // One call, in time-stamp counter ticks.
  uint64_t once(const Kernel<T>& k) {
    const uint64_t t0 = __rdtsc();
    k(static_cast<int32_t>(n), a.data(), b.data(), r.data(), r2.data());
    const uint64_t t = __rdtsc() - t0;
    benchmark::DoNotOptimize(r.data());
    benchmark::DoNotOptimize(r2.data());
    benchmark::ClobberMemory();
    return t;
  }
  size_t n;
  std::vector<T> a, b, r, r2;
};

template <typename T, int kParts = 1>
void run(benchmark::State& state, const Kernel<T>& k, Range rg) {
  const size_t n = static_cast<size_t>(state.range(0));
  Arrays<T, kParts> arrays(n, rg);
  uint64_t ticks = 0;
  for (auto _ : state) ticks += arrays.once(k);
  const double elems = static_cast<double>(state.iterations()) * static_cast<double>(n);
  state.counters["cyc/elem"] = static_cast<double>(ticks) / elems;
  state.counters["ns/elem"] = benchmark::Counter(elems, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

inline constexpr long kSizes[] = {1024L, 1000000L};

template <typename T, int kParts = 1>
void add(const std::string& fn, const std::string& who, Kernel<T> k, Range rg) {
  for (long n : kSizes)
    benchmark::RegisterBenchmark((fn + rg.tag + "/" + who).c_str(), [k, rg](benchmark::State& s) {
      run<T, kParts>(s, k, rg);
    })->Arg(n);
  side::entries().push_back({fn + rg.tag, who, [k, rg](size_t n) -> side::Run {
                               auto arrays = std::make_shared<Arrays<T, kParts>>(n, rg);
                               return [k, arrays] { return arrays->once(k); };
                             }});
}

inline int main(int argc, char** argv, void (*register_all)()) {
  register_all();
  if (const side::Options o = side::parse(argc, argv); o.on) return side::run(o, {kSizes[0], kSizes[1]});
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace vmbench

// Our three slots of one function (the accuracy codes from the public header), wrapped by `wrap`
// (one, two, two_out) and named "<t><F>/zorp_<slot>".
#define VMBENCH_T_s float
#define VMBENCH_T_d double
#define VMBENCH_OURS(wrap, t, F, rg)                                                                     \
  vmbench::add<VMBENCH_T_##t>(#t #F, "zorp_LA", vmbench::wrap(ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_LA_##t)), rg); \
  vmbench::add<VMBENCH_T_##t>(#t #F, "zorp_HA", vmbench::wrap(ZORP_VM_CAT3(_fenn, t##F, _HA)), rg);            \
  vmbench::add<VMBENCH_T_##t>(#t #F, "zorp_EP", vmbench::wrap(ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_EP_##t)), rg);
