// Spline construction against a plain scalar implementation of the same spline written here and
// against one streaming pass over x, y and the coefficients (the memory yardstick): cycles per
// cell (rdtsc ticks) and ns per cell.
//
//   bench_df --benchmark_min_time=0.2
//
// Cases: natural cubic, not-a-knot, nx = 1,000,000 ny = 1 and nx = 10,000 ny = 64; Akima, free
// end, nx = 1,000,000; all in double precision; and the natural cubic nx = 1,000,000 ny = 1 in
// single precision.  All single-threaded (null threading table).
#include <benchmark/benchmark.h>
#include <x86intrin.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "zorp/df.h"

namespace {

template <typename F>
void timed(benchmark::State& state, int64_t cells, F&& body) {
  const uint64_t t0 = __rdtsc();
  const auto c0 = std::chrono::steady_clock::now();
  for (auto _ : state) body();
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - c0).count();
  const double e = static_cast<double>(state.iterations()) * static_cast<double>(cells);
  state.counters["cycles/cell"] = static_cast<double>(__rdtsc() - t0) / e;
  state.counters["ns/cell"] = ns / e;
}

template <typename T>
struct Data {
  int64_t nx, ny;
  std::vector<T> x, y, c;
  Data(int64_t n, int64_t m) : nx(n), ny(m), x(n), y(n * m), c(4 * (n - 1) * m) {
    for (int64_t i = 0; i < n; ++i) x[i] = static_cast<T>(i + 0.25 * std::sin(0.1 * i));
    for (int64_t f = 0; f < m; ++f)
      for (int64_t i = 0; i < n; ++i) y[f * n + i] = static_cast<T>(std::sin(0.01 * x[i] + f));
  }
};

// Plain scalar not-a-knot cubic: Thomas algorithm on the derivative system.
template <typename T>
void scalar_natural(Data<T>& d, std::vector<T>& w) {
  const int64_t n = d.nx;
  w.resize(4 * n);
  T *a = w.data(), *b = a + n, *cc = b + n, *r = cc + n;
  for (int64_t f = 0; f < d.ny; ++f) {
    const T* y = d.y.data() + f * n;
    auto h = [&](int64_t i) { return d.x[i + 1] - d.x[i]; };
    auto m = [&](int64_t i) { return (y[i + 1] - y[i]) / h(i); };
    const T h0 = h(0), h1 = h(1), H = h0 + h1;
    b[0] = 1, cc[0] = H / h1, r[0] = ((2 * H + h0) * h1 * m(0) + h0 * h0 * m(1)) / (H * h1);
    for (int64_t i = 1; i < n - 1; ++i)
      a[i] = h(i), b[i] = 2 * (h(i - 1) + h(i)), cc[i] = h(i - 1), r[i] = 3 * (h(i) * m(i - 1) + h(i - 1) * m(i));
    const T hl = h(n - 2), hb = h(n - 3), G = hl + hb;
    a[n - 1] = G / hb, b[n - 1] = 1, r[n - 1] = ((2 * G + hl) * hb * m(n - 2) + hl * hl * m(n - 3)) / (G * hb);
    for (int64_t i = 1; i < n; ++i) {
      const T k = a[i] / b[i - 1];
      b[i] -= k * cc[i - 1];
      r[i] -= k * r[i - 1];
    }
    r[n - 1] /= b[n - 1];
    for (int64_t i = n - 2; i >= 0; --i) r[i] = (r[i] - cc[i] * r[i + 1]) / b[i];
    T* c = d.c.data() + f * 4 * (n - 1);
    for (int64_t i = 0; i < n - 1; ++i) {
      const T hi = h(i), mi = m(i);
      c[4 * i] = y[i], c[4 * i + 1] = r[i], c[4 * i + 2] = (3 * mi - 2 * r[i] - r[i + 1]) / hi;
      c[4 * i + 3] = (r[i] + r[i + 1] - 2 * mi) / (hi * hi);
    }
  }
}

// Plain scalar Akima with the free-end formula.
void scalar_akima(Data<double>& d, std::vector<double>& w) {
  const int64_t n = d.nx;
  w.resize(2 * n);
  double *m = w.data(), *dd = m + n;
  const double* y = d.y.data();
  for (int64_t i = 0; i < n - 1; ++i) m[i] = (y[i + 1] - y[i]) / (d.x[i + 1] - d.x[i]);
  for (int64_t j = 1; j < n - 1; ++j) {
    const double wj = j == n - 2 ? std::fabs(m[n - 2] - m[n - 3]) : std::fabs(m[j + 1] - m[j]);
    const double wl = j == 1 ? std::fabs(m[1] - m[0]) : std::fabs(m[j - 1] - m[j - 2]);
    dd[j] = wj + wl < 1e-10 ? (m[j - 1] + m[j]) / 2 : (wj * m[j - 1] + wl * m[j]) / (wj + wl);
  }
  dd[0] = 1.5 * m[0] - 0.5 * dd[1];
  dd[n - 1] = 1.5 * m[n - 2] - 0.5 * dd[n - 2];
  double* c = d.c.data();
  for (int64_t i = 0; i < n - 1; ++i) {
    const double hi = d.x[i + 1] - d.x[i];
    c[4 * i] = y[i], c[4 * i + 1] = dd[i], c[4 * i + 2] = (3 * m[i] - 2 * dd[i] - dd[i + 1]) / hi;
    c[4 * i + 3] = (dd[i] + dd[i + 1] - 2 * m[i]) / (hi * hi);
  }
}

// Yardstick: read x and y once, write four coefficients per cell.
template <typename T>
void streaming(Data<T>& d) {
  const int64_t n = d.nx;
  for (int64_t f = 0; f < d.ny; ++f) {
    const T* y = d.y.data() + f * n;
    T* c = d.c.data() + f * 4 * (n - 1);
    for (int64_t i = 0; i < n - 1; ++i) {
      const T s = y[i + 1] - y[i], h = d.x[i + 1] - d.x[i];
      c[4 * i] = y[i], c[4 * i + 1] = s, c[4 * i + 2] = h, c[4 * i + 3] = s + h;
    }
  }
  benchmark::DoNotOptimize(d.c.data());
}

enum Which { kLib, kScalar, kStream };

template <typename T>
void run(benchmark::State& state, int64_t type, int64_t bct) {
  const int64_t nx = state.range(0), ny = state.range(1);
  const Which which = static_cast<Which>(state.range(2));
  Data<T> d(nx, ny);
  DFTask* t = nullptr;
  using Fn = int (*)(DFTask*, int64_t, int64_t, void**);
  Fn fn;
  if constexpr (sizeof(T) == 8) {
    zorp_df_kernel_dNewTask1D(&t, nx, d.x.data(), 1, ny, d.y.data(), 16, 0);
    zorp_df_kernel_dEditPPSpline1D(t, 4, type, bct, nullptr, 0, nullptr, d.c.data(), 0);
    fn = type == DF_PP_AKIMA ? zorp_df_kernel_dDFAkimaCubicSpline1D : zorp_df_kernel_dDFNaturalCubicSpline1D;
  } else {
    zorp_df_kernel_sNewTask1D(&t, nx, d.x.data(), 1, ny, d.y.data(), 16, 0);
    zorp_df_kernel_sEditPPSpline1D(t, 4, type, bct, nullptr, 0, nullptr, d.c.data(), 0);
    fn = zorp_df_kernel_sDFNaturalCubicSpline1D;
  }
  std::vector<T> w;
  int rc = 0;
  timed(state, (nx - 1) * ny, [&] {
    if (which == kLib) rc |= fn(t, 0, 0, nullptr);
    else if (which == kStream) streaming(d);
    else if constexpr (sizeof(T) == 8) type == DF_PP_AKIMA ? scalar_akima(d, w) : scalar_natural(d, w);
    else scalar_natural(d, w);
    benchmark::ClobberMemory();
  });
  if (rc) state.SkipWithError("construction failed");
  zorp_df_kernel_DeleteTask(&t);
}

void natural(benchmark::State& s) { run<double>(s, DF_PP_NATURAL, DF_BC_NOT_A_KNOT); }
void akima(benchmark::State& s) { run<double>(s, DF_PP_AKIMA, DF_BC_FREE_END); }
void natural_float(benchmark::State& s) { run<float>(s, DF_PP_NATURAL, DF_BC_NOT_A_KNOT); }

BENCHMARK(natural)->ArgNames({"nx", "ny", "lib0_scalar1_stream2"})
    ->Args({1000000, 1, 0})->Args({1000000, 1, 1})->Args({1000000, 1, 2})
    ->Args({10000, 64, 0})->Args({10000, 64, 1})->Args({10000, 64, 2});
BENCHMARK(akima)->ArgNames({"nx", "ny", "lib0_scalar1_stream2"})
    ->Args({1000000, 1, 0})->Args({1000000, 1, 1})->Args({1000000, 1, 2});
// The report's scaling plot (tools/report.py): the natural cubic from 1e2 to 1e7 points.
BENCHMARK(natural)->Name("scaling/natural cubic construction")
    ->ArgsProduct({{100, 1000, 10000, 100000, 1000000, 10000000}, {1}, {0}});
BENCHMARK(natural_float)->ArgNames({"nx", "ny", "lib0_scalar1_stream2"})
    ->Args({1000000, 1, 0})->Args({1000000, 1, 1})->Args({1000000, 1, 2});

}  // namespace

BENCHMARK_MAIN();
