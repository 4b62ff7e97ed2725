// Order statistics at n = 1,000,000: quantiles of five orders of p = 8 components against a
// std::nth_element loop per component in the same binary (copy the component, then for each
// order ascending nth_element from the previous rank on, and the least value above it when the
// order falls between two ranks), both in double, both layouts; and the streaming summary's
// throughput (epsilon 0.01, the data fed in blocks of 100,000 observations, a new stream per
// iteration).  Counters: ms per call, observations per second.
//
// Sorting: __tarr?QSort against std::sort on the same normal values, n = 1,024 to 1e6, float and
// double; each iteration copies the next n of a pool of unsorted values into the work array
// first, on both sides.
// Run with --benchmark_enable_random_interleaving=true and repetitions, so that both sides see
// the same spells of the machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "zorp/ss.h"

namespace {

constexpr int64_t kN = 1000000, kP = 8;
const double kOrders[5] = {0.05, 0.25, 0.5, 0.75, 0.95};

const std::vector<double>& data(int layout) {
  static std::vector<double> cache[2];
  std::vector<double>& x = cache[layout - 1];
  if (x.empty()) {
    x.resize(kN * kP);
    std::mt19937_64 g(42);
    std::normal_distribution<double> z;
    for (int64_t i = 0; i < kN; ++i)
      for (int64_t j = 0; j < kP; ++j) x[layout == 1 ? j * kN + i : i * kP + j] = 1e3 + z(g);
  }
  return x;
}

void Quantiles(benchmark::State& st) {
  const int layout = int(st.range(0));
  const std::vector<double>& x = data(layout);
  const int32_t p = kP, n = kN, count = 5;
  const int32_t storage = layout == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2;
  std::vector<double> q(kP * 5);
  TarrSSTask* t = nullptr;
  __tarrdSSNewTask(&t, &p, &n, &storage, x.data(), nullptr, nullptr, 0);
  __tarrdSSEditQuantiles(t, &count, const_cast<double*>(kOrders), q.data(), nullptr, nullptr);
  for (auto _ : st) {
    if (_tarrdSSQuantiles(t, TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES) != 0) st.SkipWithError("quantiles failed");
    benchmark::DoNotOptimize(q.data());
  }
  __tarrSSDeleteTask(&t);
  st.SetItemsProcessed(st.iterations() * kN * kP);
}

void NthElementLoop(benchmark::State& st) {
  const int layout = int(st.range(0));
  const std::vector<double>& x = data(layout);
  std::vector<double> v(kN), q(kP * 5);
  for (auto _ : st) {
    for (int64_t j = 0; j < kP; ++j) {
      for (int64_t i = 0; i < kN; ++i) v[i] = layout == 1 ? x[j * kN + i] : x[i * kP + j];
      int64_t from = 0;
      for (int o = 0; o < 5; ++o) {
        const double pos = double(kN - 1) * kOrders[o];
        const int64_t r = int64_t(pos);
        const double f = pos - double(r);
        std::nth_element(v.begin() + from, v.begin() + r, v.end());
        const double lo = v[r], hi = f > 0 ? *std::min_element(v.begin() + r + 1, v.end()) : lo;
        q[j * 5 + o] = std::fma(f, hi - lo, lo);
        from = r;
      }
    }
    benchmark::DoNotOptimize(q.data());
  }
  st.SetItemsProcessed(st.iterations() * kN * kP);
}

void StreamQuantiles(benchmark::State& st) {
  const int64_t p = st.range(0), block = 100000;
  const std::vector<double>& x = data(2);  // observation-major: a block is a contiguous run
  const int32_t pp = int32_t(p), nb = int32_t(block), count = 5, one = 1;
  const int32_t storage = TARR_SS_MATRIX_STORAGE_2;
  const double eps = 0.01;
  std::vector<double> q(p * 5), rows(block * p);
  TarrSSTask* t = nullptr;
  __tarrdSSNewTask(&t, &pp, &nb, &storage, rows.data(), nullptr, nullptr, 0);
  __tarrdSSEditStreamQuantiles(t, &count, const_cast<double*>(kOrders), q.data(), &one, const_cast<double*>(&eps));
  for (auto _ : st) {
    __tarrSQuantilesFreeBuffers(t);
    for (int64_t at = 0; at < kN; at += block) {
      st.PauseTiming();
      for (int64_t i = 0; i < block; ++i)
        for (int64_t j = 0; j < p; ++j) rows[i * p + j] = x[(at + i) * kP + j];
      st.ResumeTiming();
      if (_tarrdSSStreamQuantiles(t, 0, TARR_SS_METHOD_SQUANTS) != 0) st.SkipWithError("stream failed");
    }
    benchmark::DoNotOptimize(q.data());
  }
  __tarrSSDeleteTask(&t);
  st.SetItemsProcessed(st.iterations() * kN * p);
}

// A pool of 2^20 normal values; a call sorts the next n of them, so that small sorts do not
// repeat one array, whose branches a predictor would learn after a few calls.
template <typename T>
const std::vector<T>& unsorted() {
  static std::vector<T> x;
  if (x.empty()) {
    x.resize(int64_t(1) << 20);
    std::mt19937_64 g(7);
    std::normal_distribution<double> z;
    for (T& v : x) v = T(z(g));
  }
  return x;
}

// who: 0 the library, 1 std::sort.
template <typename T>
void Sort(benchmark::State& st) {
  const int64_t n = st.range(0);
  const bool library = st.range(1) == 0;
  const std::vector<T>& x = unsorted<T>();
  std::vector<T> w(n);
  int64_t from = 0;
  for (auto _ : st) {
    std::memcpy(w.data(), x.data() + from, n * sizeof(T));
    from = from + 2 * n <= int64_t(x.size()) ? from + n : 0;
    if (!library) std::sort(w.begin(), w.end());
    else if constexpr (sizeof(T) == 8) __tarrdQSort(int(n), w.data());
    else __tarrsQSort(int(n), w.data());
    benchmark::DoNotOptimize(w.data());
  }
  if (!std::is_sorted(w.begin(), w.end())) st.SkipWithError("not sorted");
  st.SetItemsProcessed(st.iterations() * n);
}

// The statistics' Sort of p components of n observations (layout 1, a sorted copy), so that the
// rule that puts components on the host's threads can be timed with ZORP_CORE_NUM_THREADS=1
// against the default. Reported per value.
void SortTask(benchmark::State& st) {
  const int32_t p = int32_t(st.range(0)), n = int32_t(st.range(1));
  const int32_t storage = TARR_SS_MATRIX_STORAGE_1;
  const std::vector<double>& pool = unsorted<double>();
  std::vector<double> x(pool.begin(), pool.begin() + int64_t(p) * n), out(x.size());
  TarrSSTask* t = nullptr;
  __tarrdSSNewTask(&t, &p, &n, &storage, x.data(), nullptr, nullptr, 0);
  __tarrdSSEditTask(t, TARR_SS_PARAM_SORTED, out.data());
  __tarriSSEditTask(t, TARR_SS_PARAM_SORTED_STORAGE, &storage);
  for (auto _ : st) {
    if (_tarrdSSSort(t, 0, TARR_SS_METHOD_SORT) != 0) st.SkipWithError("sort failed");
    benchmark::DoNotOptimize(out.data());
  }
  __tarrSSDeleteTask(&t);
  st.SetItemsProcessed(st.iterations() * int64_t(p) * n);
}

BENCHMARK(SortTask)->ArgsProduct({{2, 8}, {4096, 16384, 65536, 262144}})->ArgNames({"p", "n"})->UseRealTime();
BENCHMARK(Sort<double>)->ArgsProduct({{1024, 10000, 1000000}, {0, 1}})->ArgNames({"n", "lib0_std1"});
BENCHMARK(Sort<float>)->ArgsProduct({{1024, 10000, 1000000}, {0, 1}})->ArgNames({"n", "lib0_std1"});
BENCHMARK(Quantiles)->Arg(1)->Arg(2)->ArgName("layout")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(NthElementLoop)->Arg(1)->Arg(2)->ArgName("layout")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(StreamQuantiles)->Arg(1)->Arg(8)->ArgName("p")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
