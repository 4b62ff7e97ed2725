// Interpolation and integration of a natural cubic spline (free ends) against GSL's
// gsl_spline_eval / gsl_spline_eval_integ with an accelerator (the same spline: GSL's cspline is
// the natural one) and against a plain loop (binary search per site, then the block's
// polynomial): per site (or limit pair) wall ns, rdtsc cycles and the thread's CPU ns.
//
//   bench_df_eval --benchmark_min_time=0.2
//
// Interpolation: 1e6 sites, random or sorted, inside the partition; nx = 1e3 and 1e6; uniform and
// non-uniform partitions; one call of the library for all sites, in the calling thread.
// Integration: 1e6 limit pairs at nx = 1e6 whose spans are 10, 1e3, 1e5 and 1e6 cells (the
// library), and the same spans through GSL's integral (which walks the cells) with as many pairs
// as keep a run short; the per-pair time shows the growth with the span.
// After the C++ cases the binary runs bench/df_scipy.py (SciPy's natural CubicSpline on the same
// partitions and as many sites, random and sorted) in the same run; ZORP_BENCH_NO_NUMPY=1 leaves
// it out.
#include <benchmark/benchmark.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_spline.h>
#include <x86intrin.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <random>
#include <vector>

#include "python_peer.h"
#include "zorp/core.h"
#include "zorp/df.h"

namespace {

// The machine is shared: besides wall time (rdtsc cycles, ns) each case reports the CPU time of
// its thread per item, which other processes' load does not stretch.
double thread_cpu_ns() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return 1e9 * static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec);
}

template <typename F>
void timed(benchmark::State& state, int64_t items, F&& body) {
  const uint64_t t0 = __rdtsc();
  const double cpu0 = thread_cpu_ns();
  const auto c0 = std::chrono::steady_clock::now();
  for (auto _ : state) body();
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - c0).count();
  const double e = static_cast<double>(state.iterations()) * static_cast<double>(items);
  state.counters["cycles/item"] = static_cast<double>(__rdtsc() - t0) / e;
  state.counters["ns/item"] = ns / e;
  state.counters["cpu_ns/item"] = (thread_cpu_ns() - cpu0) / e;
}

// A natural cubic of a smooth function on nx points, built by the library and by GSL.
struct Spline {
  int64_t nx;
  bool uniform;
  std::vector<double> x, xe, y, c;
  DFTask* t = nullptr;
  gsl_spline* g = nullptr;
  gsl_interp_accel* acc = nullptr;
  Spline(int64_t n, bool uni) : nx(n), uniform(uni), x(n), y(n), c(4 * (n - 1)) {
    for (int64_t i = 0; i < n; ++i) {
      const double s = static_cast<double>(i) / static_cast<double>(n - 1);
      x[i] = uni ? 10.0 * s : 10.0 * s * (0.6 + 0.4 * s);
      y[i] = std::sin(x[i]) + 0.1 * std::cos(7 * x[i]);
    }
    if (uni) {
      // GSL and the loop read every point; the task only the ends (and places them itself).
      xe = {x.front(), x.back()};
      for (int64_t i = 0; i < n; ++i) x[i] = x.front() + static_cast<double>(i) * ((x.back() - x.front()) / (n - 1));
    } else {
      xe = x;
    }
    zorp_df_kernel_dNewTask1D(&t, n, xe.data(), uni ? DF_UNIFORM_PARTITION : DF_NON_UNIFORM_PARTITION, 1, y.data(),
                              DF_NO_HINT, 0);
    zorp_df_kernel_dEditPPSpline1D(t, DF_PP_CUBIC, DF_PP_NATURAL, DF_BC_FREE_END, nullptr, 0, nullptr, c.data(), 0);
    zorp_df_kernel_dDFNaturalCubicSpline1D(t, 0, 0, nullptr);
    gsl_set_error_handler_off();
    g = gsl_spline_alloc(gsl_interp_cspline, static_cast<size_t>(n));
    gsl_spline_init(g, x.data(), y.data(), static_cast<size_t>(n));
    acc = gsl_interp_accel_alloc();
  }
  ~Spline() {
    zorp_df_kernel_DeleteTask(&t);
    gsl_spline_free(g);
    gsl_interp_accel_free(acc);
  }
};

std::vector<double> sites(const Spline& s, int64_t n, bool sorted) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> u(s.x.front(), s.x.back());
  std::vector<double> v(n);
  for (double& t : v) t = u(gen);
  if (sorted) std::sort(v.begin(), v.end());
  return v;
}

enum Peer { kLib, kGsl, kLoop };

void interpolate(benchmark::State& state) {
  const int64_t nx = state.range(0);
  const bool uniform = state.range(1), sorted = state.range(2);
  const Peer peer = static_cast<Peer>(state.range(3));
  static Spline* sp = nullptr;  // built once per shape: GSL's set-up of 1e6 points is slow
  static int64_t key = -1;
  if (key != nx * 2 + uniform) {
    delete sp;
    sp = new Spline(nx, uniform);
    key = nx * 2 + uniform;
  }
  const int64_t ns = 1000000;
  const std::vector<double> s = sites(*sp, ns, sorted);
  std::vector<double> r(ns);
  const int32_t d = 1;
  timed(state, ns, [&] {
    if (peer == kLib) {
      zorp_df_kernel_dDFInterpolate1D(sp->t, DF_INTERP, 0, ns, s.data(), sorted ? DF_SORTED_DATA : 0, 1, &d, nullptr,
                                      r.data(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr);
    } else if (peer == kGsl) {
      for (int64_t j = 0; j < ns; ++j) r[j] = gsl_spline_eval(sp->g, s[j], sp->acc);
    } else {
      const double* x = sp->x.data();
      for (int64_t j = 0; j < ns; ++j) {
        const int64_t i = std::clamp<int64_t>(std::upper_bound(x, x + nx, s[j]) - x - 1, 0, nx - 2);
        const double* c = sp->c.data() + 4 * i;
        const double u = s[j] - x[i];
        r[j] = c[0] + u * (c[1] + u * (c[2] + u * c[3]));
      }
    }
    benchmark::DoNotOptimize(r.data());
    benchmark::ClobberMemory();
  });
}

// The library with the host's threading table against the same call in the calling thread, at
// sizes around the rule that hands blocks to the threads: run once with ZORP_CORE_NUM_THREADS=1
// and once with the default to see what a second thread gives. Random sites, wall time per site.
void interpolate_threads(benchmark::State& state) {
  const int64_t nx = state.range(0), ns = state.range(1);
  const bool host = state.range(2);
  static Spline* sp = nullptr;
  static int64_t key = -1;
  if (key != nx) {
    delete sp;
    sp = new Spline(nx, false);
    key = nx;
  }
  const std::vector<double> s = sites(*sp, ns, false);
  std::vector<double> r(ns);
  const int32_t d = 1;
  void** threading = host ? zorp_serv_df_threading_table() : nullptr;
  timed(state, ns, [&] {
    zorp_df_kernel_dDFInterpolate1D(sp->t, DF_INTERP, 0, ns, s.data(), 0, 1, &d, nullptr, r.data(), 0, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, threading);
    benchmark::DoNotOptimize(r.data());
    benchmark::ClobberMemory();
  });
}

void integrate(benchmark::State& state) {
  const int64_t span = state.range(0);
  const Peer peer = static_cast<Peer>(state.range(1));
  static Spline sp(1000000, false);
  // GSL walks the cells of every pair: fewer pairs for the long spans keep a run short.
  const int64_t n = peer == kLib ? 1000000 : std::max<int64_t>(10, std::min<int64_t>(1000000, 100000000 / span));
  std::mt19937_64 gen(3);
  std::vector<double> l(n), r(n), out(n);
  for (int64_t q = 0; q < n; ++q) {
    const int64_t i = static_cast<int64_t>(gen() % static_cast<uint64_t>(sp.nx - span));
    l[q] = sp.x[i] + 0.3 * (sp.x[i + 1] - sp.x[i]);
    r[q] = sp.x[i + span - 1] + 0.6 * (sp.x[i + span] - sp.x[i + span - 1]);
  }
  timed(state, n, [&] {
    if (peer == kLib) {
      zorp_df_kernel_dDFIntegrate1D(sp.t, 0, n, l.data(), 0, r.data(), 0, nullptr, nullptr, out.data(), 0, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    } else {
      for (int64_t q = 0; q < n; ++q) out[q] = gsl_spline_eval_integ(sp.g, l[q], r[q], sp.acc);
    }
    benchmark::DoNotOptimize(out.data());
  });
}

BENCHMARK(interpolate)->ArgNames({"nx", "uniform", "sorted", "lib0_gsl1_loop2"})
    ->ArgsProduct({{1000, 1000000}, {0, 1}, {0, 1}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(interpolate_threads)->ArgNames({"nx", "sites", "host_threads"})
    ->ArgsProduct({{1000, 1000000}, {4096, 16384, 65536, 1000000}, {0, 1}})->UseRealTime();
BENCHMARK(integrate)->ArgNames({"span", "lib0_gsl1"})
    ->ArgsProduct({{10, 1000, 100000, 999999}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const int rounds = bench::repetitions(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return bench::run_python_peer("df_scipy.py", "", rounds);
}
