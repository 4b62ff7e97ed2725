// Basic generators of the kernel library against the C++ <random> peers and a plain scalar
// MRG32k3a, in one binary: cycles per element (rdtsc ticks) and ns per element.
//
//   bench_rng --benchmark_min_time=0.2
//
// The twisters' figures in docs/figures.md: MT19937 doubles against std::mt19937 with
// uniform_real_distribution<double>, SFMT19937 32-bit words, MT2203 against MT19937, n = 1e6:
//
//   bench_rng --benchmark_filter='(BRng/(MT19937|MT2203|SFMT19937)|peer/mt19937.*)/1000000$'
//
// Philox4x32-10 32-bit words against the authors' Random123 philox4x32-10 (Debian's
// librandom123-dev; the peer is left out without it), n = 1e6:
//
//   bench_rng --benchmark_filter='(iBRng/Philox|peer/Random123).*/1000000$'
//
// ARS-5 against Philox4x32-10: bench_rng --benchmark_filter='BRng/(Philox|ARS).*/1000000$'
//
// Every case fills an array of n results per iteration (n = 1,000 and 1,000,000).
#include <benchmark/benchmark.h>
#include <x86intrin.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "zorp/rng.h"

#if __has_include(<Random123/philox.h>)
#include <Random123/philox.h>
#define ZORP_HAVE_RANDOM123 1
#endif

namespace {

template <typename F>
void timed(benchmark::State& state, int64_t n, F&& fill) {
  const uint64_t t0 = __rdtsc();
  const auto c0 = std::chrono::steady_clock::now();
  for (auto _ : state) fill();
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - c0).count();
  const double elems = static_cast<double>(state.iterations()) * static_cast<double>(n);
  state.counters["cycles/elem"] = static_cast<double>(__rdtsc() - t0) / elems;
  state.counters["ns/elem"] = ns / elems;
  state.SetItemsProcessed(static_cast<int64_t>(elems));
}

struct Gen {
  uint32_t brng;
  int words;
};

template <char Kind>
void BM_Library(benchmark::State& state, Gen g) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  StreamState* s = nullptr;
  const uint32_t seed[6] = {12345, 6789, 101112, 131415, 161718, 192021};
  if (__tarrNewStreamEx(&s, g.brng, 6, seed) != 0) {
    state.SkipWithError("stream creation failed");
    return;
  }
  uint32_t index = 0;
  const BrngProperties& row = __tarrGetBrngBaseOffset(g.brng, &index, nullptr)[index];
  if constexpr (Kind == 'i') {
    std::vector<uint32_t> r(static_cast<size_t>(n) * g.words);
    timed(state, n, [&] {
      row.iBRng(s, n, r.data());
      benchmark::DoNotOptimize(r.data());
    });
  } else if constexpr (Kind == 'd') {
    std::vector<double> r(n);
    timed(state, n, [&] {
      row.dBRng(s, n, r.data(), 0.0, 1.0);
      benchmark::DoNotOptimize(r.data());
    });
  } else {
    std::vector<float> r(n);
    timed(state, n, [&] {
      row.sBRng(s, n, r.data(), 0.0f, 1.0f);
      benchmark::DoNotOptimize(r.data());
    });
  }
  __tarrDeleteStream(&s);
}

template <class Engine>
void BM_StdDouble(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  Engine e(12345);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> r(n);
  timed(state, static_cast<int64_t>(n), [&] {
    for (size_t i = 0; i < n; ++i) r[i] = u(e);
    benchmark::DoNotOptimize(r.data());
  });
}

template <class Engine>
void BM_StdRaw(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  Engine e(12345);
  std::vector<uint32_t> r(n);
  timed(state, static_cast<int64_t>(n), [&] {
    for (size_t i = 0; i < n; ++i) r[i] = static_cast<uint32_t>(e());
    benchmark::DoNotOptimize(r.data());
  });
}

// The textbook MRG32k3a recurrence, one value at a time, as a peer of the vector loop.
void BM_ScalarMrg32k3aDouble(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  constexpr int64_t m1 = 4294967087, m2 = 4294944443;
  int64_t x1[3] = {12345, 6789, 101112}, x2[3] = {131415, 161718, 192021};
  std::vector<double> r(n);
  timed(state, static_cast<int64_t>(n), [&] {
    for (size_t i = 0; i < n; ++i) {
      const int64_t y1 = (1403580 * x1[1] + 810728 * (m1 - x1[0])) % m1;
      const int64_t y2 = (527612 * x2[2] + 1370589 * (m2 - x2[0])) % m2;
      x1[0] = x1[1], x1[1] = x1[2], x1[2] = y1;
      x2[0] = x2[1], x2[1] = x2[2], x2[2] = y2;
      const int64_t z = y1 > y2 ? y1 - y2 : y1 - y2 + m1;
      r[i] = static_cast<double>(z) * (1.0 / 4294967087.0);
    }
    benchmark::DoNotOptimize(r.data());
  });
}

#ifdef ZORP_HAVE_RANDOM123
// Raw words of Random123's philox4x32-10, one counter block at a time, as its users write it.
void BM_Random123Philox(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  using P = r123::Philox4x32_R<10>;
  P g;
  P::key_type key = {{12345, 6789}};
  P::ctr_type ctr = {{101112, 131415, 161718, 192021}};
  std::vector<uint32_t> r(n);
  timed(state, static_cast<int64_t>(n), [&] {
    for (size_t i = 0; i < n; i += 4) {
      const P::ctr_type b = g(ctr, key);
      for (size_t k = 0; k < 4 && i + k < n; ++k) r[i + k] = b[k];
      ctr.incr();
    }
    benchmark::DoNotOptimize(r.data());
  });
}
#endif

const struct {
  const char* name;
  Gen g;
} kGens[] = {{"MCG31m1", {TARR_BRNG_MCG31, 1}},
             {"MCG59", {TARR_BRNG_MCG59, 2}},
             {"MRG32k3a", {TARR_BRNG_MRG32K3A, 1}},
             {"R250", {TARR_BRNG_R250, 1}},
             {"WH", {TARR_BRNG_WH, 4}},
             {"MT19937", {TARR_BRNG_MT19937, 1}},
             {"MT2203", {TARR_BRNG_MT2203, 1}},
             {"SFMT19937", {TARR_BRNG_SFMT19937, 1}},
             {"Philox4x32-10", {TARR_BRNG_PHILOX4X32X10, 1}},
             {"ARS-5", {TARR_BRNG_ARS5, 1}}};

int register_all() {
  for (const auto& k : kGens) {
    const std::string base = k.name;
    benchmark::RegisterBenchmark(("iBRng/" + base).c_str(), BM_Library<'i'>, k.g)->Arg(1000)->Arg(1000000);
    benchmark::RegisterBenchmark(("dBRng/" + base).c_str(), BM_Library<'d'>, k.g)->Arg(1000)->Arg(1000000);
    benchmark::RegisterBenchmark(("sBRng/" + base).c_str(), BM_Library<'s'>, k.g)->Arg(1000)->Arg(1000000);
  }
  benchmark::RegisterBenchmark("peer/minstd_rand+uniform_real<double>", BM_StdDouble<std::minstd_rand>)->Arg(1000)->Arg(1000000);
  benchmark::RegisterBenchmark("peer/mt19937+uniform_real<double>", BM_StdDouble<std::mt19937>)->Arg(1000)->Arg(1000000);
  benchmark::RegisterBenchmark("peer/minstd_rand raw", BM_StdRaw<std::minstd_rand>)->Arg(1000)->Arg(1000000);
  benchmark::RegisterBenchmark("peer/mt19937 raw", BM_StdRaw<std::mt19937>)->Arg(1000)->Arg(1000000);
  benchmark::RegisterBenchmark("peer/scalar MRG32k3a double", BM_ScalarMrg32k3aDouble)->Arg(1000)->Arg(1000000);
#ifdef ZORP_HAVE_RANDOM123
  benchmark::RegisterBenchmark("peer/Random123 philox4x32-10 raw", BM_Random123Philox)->Arg(1000)->Arg(1000000);
#endif
  // The report's scaling plot (tools/report.py): one generator from 1e2 to 1e7 values per call.
  benchmark::RegisterBenchmark("scaling/dBRng MT19937", BM_Library<'d'>, Gen{TARR_BRNG_MT19937, 1})
      ->RangeMultiplier(10)->Range(100, 10000000);
  return 0;
}
const int kRegistered = register_all();

}  // namespace

BENCHMARK_MAIN();
