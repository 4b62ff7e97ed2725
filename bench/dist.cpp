// The continuous generators against C++ <random> (std::mt19937_64 with the matching std::
// distribution), GSL (gsl_ran_* on gsl_rng_mt19937) and numpy's Generator(MT19937), n = 1e6
// values per call, ns per value. The library draws from an MT19937 stream. Where a peer has no
// such distribution (<random> has no Laplace, Rayleigh or Beta; GSL no single precision) the row
// has no entry for it.
//
// The README's table is one run of
//
//   bench_dist --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//              --benchmark_report_aggregates_only=true
//
// which interleaves the repetitions of every case in random order and reports medians; after
// the C++ cases the binary runs bench/dist_numpy.py (beside this file) with the same n and number
// of rounds, so numpy is measured in the same run (its rounds interleaved across distributions
// too, medians printed). ZORP_BENCH_NO_NUMPY=1 leaves it out.
#include <benchmark/benchmark.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "python_peer.h"
#include "zorp/rng.h"

namespace {

constexpr uint32_t kSeed = 20261206u;

template <typename F>
void timed(benchmark::State& state, int64_t n, F&& fill) {
  const auto c0 = std::chrono::steady_clock::now();
  for (auto _ : state) fill();
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - c0).count();
  const double elems = static_cast<double>(state.iterations()) * static_cast<double>(n);
  state.counters["ns/value"] = ns / elems;
  state.SetItemsProcessed(static_cast<int64_t>(elems));
}

// ---- the library --------------------------------------------------------------------------
template <typename T>
using Call = std::function<int32_t(StreamState*, int32_t, T*)>;

template <typename T>
void BM_Library(benchmark::State& state, Call<T> call) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  StreamState* s = nullptr;
  if (__tarrNewStreamEx(&s, TARR_BRNG_MT19937, 1, &kSeed) != 0) {
    state.SkipWithError("stream creation failed");
    return;
  }
  std::vector<T> r(n);
  timed(state, n, [&] {
    if (call(s, n, r.data()) != 0) state.SkipWithError("generator failed");
    benchmark::DoNotOptimize(r.data());
  });
  __tarrDeleteStream(&s);
}

// ---- C++ <random> -------------------------------------------------------------------------
template <typename Dist>
void BM_Std(benchmark::State& state, Dist d) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::mt19937_64 e(kSeed);
  std::vector<typename Dist::result_type> r(n);
  timed(state, static_cast<int64_t>(n), [&] {
    for (size_t i = 0; i < n; ++i) r[i] = d(e);
    benchmark::DoNotOptimize(r.data());
  });
}

// ---- GSL ------------------------------------------------------------------------------------
void BM_Gsl(benchmark::State& state, std::function<double(const gsl_rng*)> draw) {
  const size_t n = static_cast<size_t>(state.range(0));
  gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
  gsl_rng_set(g, kSeed);
  std::vector<double> r(n);
  timed(state, static_cast<int64_t>(n), [&] {
    for (size_t i = 0; i < n; ++i) r[i] = draw(g);
    benchmark::DoNotOptimize(r.data());
  });
  gsl_rng_free(g);
}

template <typename T>
void library(const std::string& name, Call<T> call) {
  benchmark::RegisterBenchmark(((sizeof(T) == 8 ? "d/" : "s/") + name + "/library").c_str(), BM_Library<T>, call)
      ->Arg(1000000)
      ->Unit(benchmark::kMillisecond);
}
template <typename Dist>
void std_peer(const std::string& name, Dist d) {
  const char* p = sizeof(typename Dist::result_type) == 8 ? "d/" : "s/";
  benchmark::RegisterBenchmark((p + name + "/std").c_str(), BM_Std<Dist>, d)->Arg(1000000)->Unit(benchmark::kMillisecond);
}
void gsl_peer(const std::string& name, std::function<double(const gsl_rng*)> draw) {
  benchmark::RegisterBenchmark(("d/" + name + "/gsl").c_str(), BM_Gsl, draw)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

// Both precisions of the library with the same parameters.
#define ZORP_LIB(name, Entry, ...)                                                                 \
  library<double>(name, [](StreamState* s, int32_t n, double* r) { return _tarrdRng##Entry(__VA_ARGS__); }); \
  library<float>(name, [](StreamState* s, int32_t n, float* r) { return _tarrsRng##Entry(__VA_ARGS__); })

int register_all() {
  ZORP_LIB("Uniform", Uniform, 0, s, n, r, 0, 1);
  std_peer("Uniform", std::uniform_real_distribution<double>(0, 1));
  std_peer("Uniform", std::uniform_real_distribution<float>(0, 1));
  gsl_peer("Uniform", [](const gsl_rng* g) { return gsl_ran_flat(g, 0, 1); });

  ZORP_LIB("Gaussian0", Gaussian, 0, s, n, r, 0, 1);
  ZORP_LIB("Gaussian1", Gaussian, 1, s, n, r, 0, 1);
  ZORP_LIB("Gaussian2", Gaussian, 2, s, n, r, 0, 1);
  std_peer("Gaussian", std::normal_distribution<double>(0, 1));
  std_peer("Gaussian", std::normal_distribution<float>(0, 1));
  gsl_peer("Gaussian", [](const gsl_rng* g) { return gsl_ran_gaussian_ziggurat(g, 1); });

  ZORP_LIB("Exponential", Exponential, 0, s, n, r, 0, 1);
  std_peer("Exponential", std::exponential_distribution<double>(1));
  std_peer("Exponential", std::exponential_distribution<float>(1));
  gsl_peer("Exponential", [](const gsl_rng* g) { return gsl_ran_exponential(g, 1); });

  ZORP_LIB("Laplace", Laplace, 0, s, n, r, 0, 1);
  gsl_peer("Laplace", [](const gsl_rng* g) { return gsl_ran_laplace(g, 1); });

  ZORP_LIB("Weibull", Weibull, 0, s, n, r, 1.5, 0, 1);
  std_peer("Weibull", std::weibull_distribution<double>(1.5, 1));
  std_peer("Weibull", std::weibull_distribution<float>(1.5, 1));
  gsl_peer("Weibull", [](const gsl_rng* g) { return gsl_ran_weibull(g, 1, 1.5); });

  ZORP_LIB("Cauchy", Cauchy, 0, s, n, r, 0, 1);
  std_peer("Cauchy", std::cauchy_distribution<double>(0, 1));
  std_peer("Cauchy", std::cauchy_distribution<float>(0, 1));
  gsl_peer("Cauchy", [](const gsl_rng* g) { return gsl_ran_cauchy(g, 1); });

  ZORP_LIB("Rayleigh", Rayleigh, 0, s, n, r, 0, 1);
  gsl_peer("Rayleigh", [](const gsl_rng* g) { return gsl_ran_rayleigh(g, 1); });

  ZORP_LIB("Lognormal", Lognormal, 0, s, n, r, 0, 1, 0, 1);
  std_peer("Lognormal", std::lognormal_distribution<double>(0, 1));
  std_peer("Lognormal", std::lognormal_distribution<float>(0, 1));
  gsl_peer("Lognormal", [](const gsl_rng* g) { return gsl_ran_lognormal(g, 0, 1); });

  // The library's Gumbel is the distribution of the minimum, std's and GSL's type-1 the
  // maximum: the mirror image, at the same cost.
  ZORP_LIB("Gumbel", Gumbel, 0, s, n, r, 0, 1);
  std_peer("Gumbel", std::extreme_value_distribution<double>(0, 1));
  std_peer("Gumbel", std::extreme_value_distribution<float>(0, 1));
  gsl_peer("Gumbel", [](const gsl_rng* g) { return gsl_ran_gumbel1(g, 1, 1); });

  for (double shape : {0.5, 2.5}) {
    const std::string name = "Gamma(" + std::to_string(shape).substr(0, 3) + ")";
    library<double>(name, [shape](StreamState* s, int32_t n, double* r) { return _tarrdRngGamma(0, s, n, r, shape, 0, 1); });
    library<float>(name, [shape](StreamState* s, int32_t n, float* r) {
      return _tarrsRngGamma(0, s, n, r, static_cast<float>(shape), 0, 1);
    });
    std_peer(name, std::gamma_distribution<double>(shape, 1));
    std_peer(name, std::gamma_distribution<float>(static_cast<float>(shape), 1));
    gsl_peer(name, [shape](const gsl_rng* g) { return gsl_ran_gamma(g, shape, 1); });
  }

  const double shapes[][2] = {{2, 3}, {0.5, 0.5}, {0.5, 3}};
  for (const auto& sh : shapes) {
    const double p = sh[0], q = sh[1];
    const std::string name = "Beta(" + std::to_string(p).substr(0, 3) + "," + std::to_string(q).substr(0, 3) + ")";
    library<double>(name, [p, q](StreamState* s, int32_t n, double* r) { return _tarrdRngBeta(0, s, n, r, p, q, 0, 1); });
    library<float>(name, [p, q](StreamState* s, int32_t n, float* r) {
      return _tarrsRngBeta(0, s, n, r, static_cast<float>(p), static_cast<float>(q), 0, 1);
    });
    gsl_peer(name, [p, q](const gsl_rng* g) { return gsl_ran_beta(g, p, q); });
  }

  for (int32_t v : {4, 5}) {
    const std::string name = "ChiSquare(" + std::to_string(v) + ")";
    library<double>(name, [v](StreamState* s, int32_t n, double* r) { return _tarrdRngChiSquare(0, s, n, r, v); });
    library<float>(name, [v](StreamState* s, int32_t n, float* r) { return _tarrsRngChiSquare(0, s, n, r, v); });
    std_peer(name, std::chi_squared_distribution<double>(v));
    std_peer(name, std::chi_squared_distribution<float>(static_cast<float>(v)));
    gsl_peer(name, [v](const gsl_rng* g) { return gsl_ran_chisq(g, v); });
  }

  // The report's scaling plot (tools/report.py): one distribution from 1e2 to 1e7 values per call.
  benchmark::RegisterBenchmark("scaling/dRngGaussian method 0", BM_Library<double>,
                               Call<double>([](StreamState* s, int32_t n, double* r) {
                                 return _tarrdRngGaussian(0, s, n, r, 0, 1);
                               }))
      ->RangeMultiplier(10)->Range(100, 10000000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  const int rounds = bench::repetitions(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return bench::run_python_peer("dist_numpy.py", "--n 1000000", rounds);
}
