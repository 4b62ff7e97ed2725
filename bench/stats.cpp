// Basic statistics: mean+variance and covariance of n = 1,000,000 observations, p = 8 and 64,
// both layouts, against peers in the same binary: one streaming read of the data (the floor),
// a straightforward two-pass loop, and host BLAS syrk on the same data.
// Figures: ns and TSC cycles per element (element = one observation of one component).
#include <benchmark/benchmark.h>
#include <x86intrin.h>

#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "zorp/core.h"
#include "zorp/ss.h"

namespace {

constexpr int64_t kN = 1000000;

struct Data {
  int64_t p;
  int storage;  // 1: component-major, 2: observation-major
  std::vector<double> x;
};

const Data& data(int64_t p, int storage) {
  static Data cache[2][2];
  Data& d = cache[p == 64][storage - 1];
  if (d.x.empty()) {
    d.p = p;
    d.storage = storage;
    d.x.resize(kN * p);
    std::mt19937_64 g(42);
    std::normal_distribution<double> z;
    for (auto& v : d.x) v = 1e3 + z(g);
  }
  return d;
}

inline double at(const Data& d, int64_t i, int64_t j) {
  return d.storage == 1 ? d.x[j * kN + i] : d.x[i * d.p + j];
}

// Cycles and nanoseconds of the timed region only (set-up outside it is excluded).
struct Clock {
  uint64_t cyc = 0;
  double ns = 0;
  uint64_t c0 = 0;
  std::chrono::steady_clock::time_point t0;
  void start() {
    t0 = std::chrono::steady_clock::now();
    c0 = __rdtsc();
  }
  void stop() {
    cyc += __rdtsc() - c0;
    ns += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
  }
};

void finish(benchmark::State& st, int64_t p, const Clock& c) {
  const double elems = double(kN) * double(p) * double(st.iterations());
  st.counters["ns/elem"] = c.ns / elems;
  st.counters["cyc/elem"] = double(c.cyc) / elems;
}

// ---- the floor: one streaming read --------------------------------------------------------
void StreamRead(benchmark::State& st) {
  const Data& d = data(st.range(0), int(st.range(1)));
  const double* x = d.x.data();
  const int64_t total = kN * d.p;
  Clock clk;
  for (auto _ : st) {
    clk.start();
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0, s6 = 0, s7 = 0;
    for (int64_t i = 0; i < total; i += 8) {
      s0 += x[i]; s1 += x[i + 1]; s2 += x[i + 2]; s3 += x[i + 3];
      s4 += x[i + 4]; s5 += x[i + 5]; s6 += x[i + 6]; s7 += x[i + 7];
    }
    benchmark::DoNotOptimize(s0 + s1 + s2 + s3 + s4 + s5 + s6 + s7);
    clk.stop();
  }
  finish(st, d.p, clk);
}

// ---- the library ---------------------------------------------------------------------------
void Library(benchmark::State& st, bool covariance) {
  const Data& d = data(st.range(0), int(st.range(1)));
  const int64_t p = d.p, n = kN;
  const int64_t storage = d.storage == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2;
  const int64_t full = TARR_SS_MATRIX_STORAGE_FULL;
  std::vector<double> mean(p), r2(p), c2(p), cov(p * p);
  double acc[2];
  TarrSSTask* t = nullptr;
  __tarrdSSNewTask(&t, &p, &n, &storage, d.x.data(), nullptr, nullptr, 1);
  __tarrdSSEditMoments(t, mean.data(), r2.data(), nullptr, nullptr, c2.data(), nullptr, nullptr);
  __tarrdSSEditCovCor(t, nullptr, cov.data(), &full, nullptr, nullptr);
  __tarrdSSEditTask(t, TARR_SS_PARAM_ACCUM_WEIGHTS, acc);
  const uint64_t est = covariance ? TARR_SS_COV | TARR_SS_MEAN : TARR_SS_MEAN | TARR_SS_CENTRAL_MOMENT_2;
  Clock clk;
  for (auto _ : st) {
    acc[0] = acc[1] = 0;
    clk.start();
    if (_tarrdSSBasic(t, est, TARR_SS_METHOD_1PASS) != 0) st.SkipWithError("basic failed");
    clk.stop();
    benchmark::DoNotOptimize(cov.data());
  }
  __tarrSSDeleteTask(&t);
  finish(st, p, clk);
}
void MeanVar(benchmark::State& st) { Library(st, false); }
void Covariance(benchmark::State& st) { Library(st, true); }

// ---- straightforward two-pass loops ---------------------------------------------------------
void TwoPassMeanVar(benchmark::State& st) {
  const Data& d = data(st.range(0), int(st.range(1)));
  const int64_t p = d.p;
  std::vector<double> m(p), v(p);
  Clock clk;
  for (auto _ : st) {
    clk.start();
    std::fill(m.begin(), m.end(), 0.0);
    std::fill(v.begin(), v.end(), 0.0);
    if (d.storage == 1) {
      for (int64_t j = 0; j < p; ++j) {
        const double* x = d.x.data() + j * kN;
        double s = 0;
        for (int64_t i = 0; i < kN; ++i) s += x[i];
        m[j] = s / kN;
        double q = 0;
        for (int64_t i = 0; i < kN; ++i) q += (x[i] - m[j]) * (x[i] - m[j]);
        v[j] = q / (kN - 1);
      }
    } else {
      for (int64_t i = 0; i < kN; ++i)
        for (int64_t j = 0; j < p; ++j) m[j] += d.x[i * p + j];
      for (int64_t j = 0; j < p; ++j) m[j] /= kN;
      for (int64_t i = 0; i < kN; ++i)
        for (int64_t j = 0; j < p; ++j) {
          const double e = d.x[i * p + j] - m[j];
          v[j] += e * e;
        }
      for (int64_t j = 0; j < p; ++j) v[j] /= kN - 1;
    }
    clk.stop();
    benchmark::DoNotOptimize(v.data());
  }
  finish(st, p, clk);
}

void TwoPassCovariance(benchmark::State& st) {
  const Data& d = data(st.range(0), int(st.range(1)));
  const int64_t p = d.p;
  std::vector<double> m(p), c(p * p), e(p);
  Clock clk;
  for (auto _ : st) {
    clk.start();
    std::fill(m.begin(), m.end(), 0.0);
    std::fill(c.begin(), c.end(), 0.0);
    for (int64_t i = 0; i < kN; ++i)
      for (int64_t j = 0; j < p; ++j) m[j] += at(d, i, j);
    for (int64_t j = 0; j < p; ++j) m[j] /= kN;
    for (int64_t i = 0; i < kN; ++i) {
      for (int64_t j = 0; j < p; ++j) e[j] = at(d, i, j) - m[j];
      for (int64_t b = 0; b < p; ++b)
        for (int64_t a = 0; a <= b; ++a) c[a + b * p] += e[a] * e[b];
    }
    for (auto& v : c) v /= kN - 1;
    clk.stop();
    benchmark::DoNotOptimize(c.data());
  }
  finish(st, p, clk);
}

// ---- host BLAS syrk on the same data (uncentred cross-product, one call) --------------------
void HostSyrk(benchmark::State& st) {
  const Data& d = data(st.range(0), int(st.range(1)));
  const int pn = int(d.p), nn = int(kN);
  std::vector<double> c(d.p * d.p);
  const double one = 1.0, zero = 0.0;
  Clock clk;
  for (auto _ : st) {
    clk.start();
    if (d.storage == 2)
      zorp_blas_dsyrk("U", "N", &pn, &nn, &one, d.x.data(), &pn, &zero, c.data(), &pn);
    else
      zorp_blas_dsyrk("U", "T", &pn, &nn, &one, d.x.data(), &nn, &zero, c.data(), &pn);
    clk.stop();
    benchmark::DoNotOptimize(c.data());
  }
  finish(st, d.p, clk);
}

// ---- the report's scaling plot (tools/report.py) -------------------------------------------
// Mean and variance of one component from 1e2 to 1e7 observations: the first n of one sample.
void MeanVarScaling(benchmark::State& st) {
  static const std::vector<double> x = [] {
    std::vector<double> v(10000000);
    std::mt19937_64 g(42);
    std::normal_distribution<double> z;
    for (auto& e : v) e = 1e3 + z(g);
    return v;
  }();
  const int64_t p = 1, n = st.range(0), storage = TARR_SS_MATRIX_STORAGE_1;
  double mean = 0, r2 = 0, c2 = 0, acc[2];
  TarrSSTask* t = nullptr;
  __tarrdSSNewTask(&t, &p, &n, &storage, x.data(), nullptr, nullptr, 1);
  __tarrdSSEditMoments(t, &mean, &r2, nullptr, nullptr, &c2, nullptr, nullptr);
  __tarrdSSEditTask(t, TARR_SS_PARAM_ACCUM_WEIGHTS, acc);
  for (auto _ : st) {
    acc[0] = acc[1] = 0;
    if (_tarrdSSBasic(t, TARR_SS_MEAN | TARR_SS_CENTRAL_MOMENT_2, TARR_SS_METHOD_1PASS) != 0)
      st.SkipWithError("basic failed");
    benchmark::DoNotOptimize(c2);
  }
  __tarrSSDeleteTask(&t);
}

void Args(benchmark::internal::Benchmark* b) {
  for (int p : {8, 64})
    for (int s : {1, 2}) b->Args({p, s});
  b->ArgNames({"p", "storage"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(StreamRead)->Apply(Args);
BENCHMARK(MeanVar)->Apply(Args);
BENCHMARK(TwoPassMeanVar)->Apply(Args);
BENCHMARK(Covariance)->Apply(Args);
BENCHMARK(HostSyrk)->Apply(Args);
BENCHMARK(TwoPassCovariance)->Apply(Args)->Iterations(1);
BENCHMARK(MeanVarScaling)->Name("scaling/mean+variance p=1")->RangeMultiplier(10)->Range(100, 10000000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
