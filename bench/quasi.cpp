// The quasi-random generators against GSL's Sobol generator (gsl_qrng_sobol), in one binary:
// nanoseconds per coordinate of double-precision points on [0, 1) at dimensions 1, 8, 40 and
// 1,000, with 4,000 coordinates (whole points) per call, whose 32 KB of results stay in the first
// level cache, and with 64,000 (512 KB), where writing the results costs about as much as making
// them. Timed on the process's own CPU time, which keeps out time given to other programs on a
// shared machine (but also the host's worker threads).
//
//   bench_quasi --benchmark_min_time=0.3 --benchmark_repetitions=5 --benchmark_report_aggregates_only
//
// GSL's Sobol generator stops at 40 dimensions: its case at 1,000 draws 25 points of 40 dimensions
// for each point of 1,000 (the same amount of work per coordinate, not the same sequence). The
// library's Sobol and Niederreiter streams of 1,000 dimensions are seeded with a full matrix of
// direction numbers (the speed does not depend on their values); such a request (more than 63
// points) runs on the host's threads, so ZORP_CORE_NUM_THREADS=1 gives the one-thread figure.
#include <benchmark/benchmark.h>
#include <gsl/gsl_qrng.h>

#include <cstdint>
#include <vector>

#include "zorp/rng.h"

namespace {


// ns/coord from the process's CPU time, so that time given to other programs on a shared machine
// does not count.
template <typename F>
void timed(benchmark::State& state, int64_t n, F&& fill) {
  for (auto _ : state) fill();
  const double elems = static_cast<double>(state.iterations()) * static_cast<double>(n);
  state.counters["ns/coord"] = benchmark::Counter(elems * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::vector<uint32_t> seed_words(uint32_t d) {
  if (d <= 40) return {d};
  std::vector<uint32_t> p = {d, 1, 4};
  uint32_t x = 12345;
  for (uint32_t k = 0; k < 32 * d; ++k) p.push_back(x = x * 1664525u + 1013904223u);
  return p;
}

void BM_Library(benchmark::State& state, uint32_t brng) {
  const auto d = static_cast<uint32_t>(state.range(0));
  const int32_t n = static_cast<int32_t>(state.range(1) / d * d);
  const std::vector<uint32_t> params = seed_words(d);
  StreamState* s = nullptr;
  if (__tarrNewStreamEx(&s, brng, static_cast<int32_t>(params.size()), params.data()) != 0) {
    state.SkipWithError("stream creation failed");
    return;
  }
  uint32_t index = 0;
  const BrngProperties& row = __tarrGetBrngBaseOffset(brng, &index, nullptr)[index];
  std::vector<double> r(static_cast<size_t>(n));
  timed(state, n, [&] {
    // A long run uses up the 2^32 points of a one-dimensional stream: start it again then.
    if (row.dBRng(s, n, r.data(), 0.0, 1.0) == TARR_ERROR_QUASI_EXHAUSTED)
      row.InitStream(TARR_INIT_SEED, s, static_cast<int32_t>(params.size()), params.data());
    benchmark::DoNotOptimize(r.data());
  });
  __tarrDeleteStream(&s);
}

void BM_GslSobol(benchmark::State& state) {
  const auto d = static_cast<uint32_t>(state.range(0));
  const uint32_t each = d <= 40 ? d : 40, copies = d / each;
  const int64_t points = state.range(1) / d;
  std::vector<gsl_qrng*> q(copies);
  for (auto& g : q) g = gsl_qrng_alloc(gsl_qrng_sobol, each);
  std::vector<double> r(static_cast<size_t>(points) * d);
  timed(state, points * d, [&] {
    double* x = r.data();
    for (int64_t p = 0; p < points; ++p)
      for (gsl_qrng* g : q) {
        if (gsl_qrng_get(g, x) != 0) gsl_qrng_init(g);  // past its 2^30 points
        x += each;
      }
    benchmark::DoNotOptimize(r.data());
  });
  for (auto* g : q) gsl_qrng_free(g);
}

void dims(benchmark::internal::Benchmark* b) {
  for (int coords : {4000, 64000})
    for (int d : {1, 8, 40, 1000}) b->Args({d, coords});
}

BENCHMARK_CAPTURE(BM_Library, Sobol, TARR_BRNG_SOBOL)->Apply(dims);
BENCHMARK_CAPTURE(BM_Library, Niederreiter, TARR_BRNG_NIEDERR)->Apply(dims);
BENCHMARK(BM_GslSobol)->Apply(dims);

}  // namespace

BENCHMARK_MAIN();
