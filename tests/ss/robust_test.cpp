// Robust mean and covariance: contaminated Gaussian samples (10% and 30% of the observations far
// away) whose clean part's mean and covariance, computed here in long double, the estimate must
// recover while the plain covariance of all of them does not; affine equivariance; both
// layouts, every result storage, both precisions; the status codes in check order with the
// boundaries of n and of every parameter; singular data; allocation and eigen-decomposition
// failures through the host core's fault hooks.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "ss/task/task.h"
#include "ss/reference.h"
#include "ss/task_util.h"
#include "zorp/core.h"
#include "zorp/ss.h"

namespace {

using namespace zorp::test::ss;
using zorp::ss::kSlotRCovNParams;
using zorp::ss::kSlotRCovParams;
using zorp::ss::kSlotStorage;

template <typename T>
class SSRobust : public testing::Test {};
TYPED_TEST_SUITE(SSRobust, Precisions);

template <typename T>
int robust(TarrSSTask* t, uint32_t method = TARR_SS_METHOD_ROBUST_COV) {
  return Fn<T>::robust(t, 0, method);
}

// n observations of p components: the first `clean` Gaussian with a random mean m and
// covariance L L' (L lower triangular, diagonal 0.5 .. 2, correlating entries below), the rest
// a tight cluster (spread 0.1) `offset` of the clean deviations away along (1, -1, 1, ...).
struct Sample : Data {
  int64_t clean;
};
Sample make_sample(int64_t p, int64_t n, double bad, double offset, uint64_t seed) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> m(p), L(p * p, 0.0), away(p), spread(p * p, 0.0);
  for (int64_t j = 0; j < p; ++j) {
    m[j] = 10.0 * u(g) - 5.0;
    L[j + j * p] = 0.5 + 1.5 * u(g);
    for (int64_t k = 0; k < j; ++k) L[j + k * p] = u(g) - 0.5;
    away[j] = m[j] + offset * L[j + j * p] * (j % 2 ? -1.0 : 1.0), spread[j + j * p] = 0.1;
  }
  const int64_t clean = n - int64_t(std::lround(bad * double(n)));
  Sample s{{n, p, gaussian(clean, m, L, g)}, clean};
  const std::vector<double> rest = gaussian(n - clean, away, spread, g);
  s.obs.insert(s.obs.end(), rest.begin(), rest.end());
  return s;
}

// The estimate of a sample in the given layout and result storage, read back as a full matrix.
template <typename T>
struct Run {
  int status = 0;
  std::vector<double> mean, cov;
  bool guard = true;  // nothing written past the storage's entries
};
template <typename T>
Run<T> estimate(const Sample& s, int layout, int fmt, const std::vector<T>& params = {},
                const std::function<void()>& arm = nullptr) {
  const int64_t p = s.p, n = s.n;
  const std::vector<T> x = in_layout<T>(s.obs, p, layout);
  const int64_t size = fmt ? p * (p + 1) / 2 : p * p;
  // A guard as long as a full matrix after the storage's own entries: nothing may reach it.
  std::vector<T> mean(p, T(kSentinel)), cov(size + p * p, T(kSentinel));
  const int32_t word = fmt, count = int32_t(params.size());
  Task<T> t(int32_t(p), int32_t(n), layout, x.data());
  t.edit({{TARR_SS_PARAM_RCOV_MEAN, mean.data()}, {TARR_SS_PARAM_RCOV, cov.data()},
          {TARR_SS_PARAM_RCOV_STORAGE, &word}});
  if (count) {
    t.edit({{TARR_SS_PARAM_RCOV_NPARAMS, &count}, {TARR_SS_PARAM_RCOV_PARAMS, params.data()}});
  }
  Run<T> r;
  if (arm) arm();  // a fault hook set just before the call
  r.status = robust<T>(t.t);
  r.mean.assign(mean.begin(), mean.end());
  r.cov.resize(p * p);
  for (int64_t a = 0; a < p; ++a)
    for (int64_t b = 0; b < p; ++b) r.cov[a + b * p] = double(cov[at(a, b, p, fmt)]);
  r.guard = untouched(std::vector<T>(cov.begin() + size, cov.end()));
  return r;
}

// ---- contaminated samples --------------------------------------------------------------------
// The estimate against the clean part's own mean and covariance, in standard deviations and in
// units of sqrt(c_jj c_kk).  An S-estimate of breakdown 0.5 keeps about half the efficiency of
// the plain covariance at the normal law, so with 300 clean observations and more its entries
// stray a few hundredths from the clean part's, hence 0.1; the plain estimate of all the data is
// off by several standard deviations in the mean and by tens in the covariance.  Without
// contamination (bad = 0) the estimate is consistent: within 0.05 and 0.08 of the plain one.
// The rows go through both layouts and every result storage: each storage writes exactly its
// own entries, none left at the sentinel, none beyond.
TYPED_TEST(SSRobust, RecoversCleanPartOfContaminatedSamples) {
  using T = TypeParam;
  struct Row {
    int64_t p, n;
    double bad;
    int layout, fmt;
  };
  const Row rows[] = {{2, 400, 0.1, 2, 0}, {3, 600, 0.3, 2, 2}, {10, 3000, 0.3, 1, 1}, {1, 4000, 0, 1, 2}, {8, 4000, 0, 2, 0}};
  uint64_t seed = 11;
  for (const Row& c : rows) {
    SCOPED_TRACE(testing::Message() << "p " << c.p << " n " << c.n << " contamination " << c.bad << " layout "
                                    << c.layout << " storage " << c.fmt);
    const Sample s = make_sample(c.p, c.n, c.bad, c.bad ? 30.0 : 0.0, seed++);
    // The plain mean and covariance (divisor count - 1) of the clean part and of all of it.
    const Reference clean = ref_of(s, nullptr, s.clean), all = ref_of(s);
    const std::vector<double> cm(clean.mean.begin(), clean.mean.end()), cc = clean.covariance();
    const std::vector<double> am(all.mean.begin(), all.mean.end()), ac = all.covariance();
    const Run<T> r = estimate<T>(s, c.layout, c.fmt);
    ASSERT_EQ(r.status, 0);
    EXPECT_LT(mean_error(r.mean, cm, cc), c.bad ? 0.1 : 0.05);
    EXPECT_LT(cov_error(r.cov, cc), c.bad ? 0.1 : 0.08);
    for (double v : r.cov) EXPECT_NE(v, kSentinel);
    EXPECT_TRUE(r.guard);
    if (c.bad) {  // the plain estimates miss by far more than the tolerance
      EXPECT_GT(mean_error(am, cm, cc), 2.0);
      EXPECT_GT(cov_error(ac, cc), 10.0);
    }
  }
}

// ---- equivariance --------------------------------------------------------------------------------
// y = A x + b with A lower triangular (not orthogonal, not diagonal): the estimate of y is A
// times the estimate of x plus b, and its covariance A C A'.  The stopping rule is invariant,
// so both runs stop at the same step; a tight accuracy makes what is left rounding.
TYPED_TEST(SSRobust, AffineEquivariant) {
  using T = TypeParam;
  const double tol = sizeof(T) == 8 ? 1e-8 : 2e-4;
  const std::vector<T> params = {T(0.5), T(0.001), T(1e-10), T(1000)};
  for (int64_t p : {2, 4}) {
    SCOPED_TRACE(testing::Message() << "p " << p);
    const Sample s = make_sample(p, 500, 0.2, 25.0, 7 + p);
    std::vector<double> A(p * p, 0.0), b(p);
    for (int64_t j = 0; j < p; ++j) {
      A[j + j * p] = 3.0 - 0.5 * double(j);
      b[j] = 100.0 * double(j + 1);
      for (int64_t k = 0; k < j; ++k) A[j + k * p] = 1.0 + 0.25 * double(k);
    }
    Sample y = s;
    for (int64_t i = 0; i < s.n; ++i)
      for (int64_t j = 0; j < p; ++j) {
        double v = b[j];
        for (int64_t k = 0; k < p; ++k) v += A[j + k * p] * s.at(i, k);
        y.obs[i * p + j] = v;
      }
    const Run<T> rx = estimate<T>(s, 2, 0, params), ry = estimate<T>(y, 2, 0, params);
    ASSERT_EQ(rx.status, 0);
    ASSERT_EQ(ry.status, 0);
    std::vector<double> m(p), c(p * p);
    for (int64_t j = 0; j < p; ++j) {
      m[j] = b[j];
      for (int64_t k = 0; k < p; ++k) m[j] += A[j + k * p] * rx.mean[k];
    }
    for (int64_t a = 0; a < p; ++a)
      for (int64_t d = 0; d < p; ++d) {
        double v = 0;
        for (int64_t k = 0; k < p; ++k)
          for (int64_t l = 0; l < p; ++l) v += A[a + k * p] * rx.cov[k + l * p] * A[d + l * p];
        c[a + d * p] = v;
      }
    EXPECT_LT(mean_error(ry.mean, m, c), tol);
    EXPECT_LT(cov_error(ry.cov, c), tol);
  }
}

// ---- status codes ----------------------------------------------------------------------------------
TYPED_TEST(SSRobust, ChecksInOrder) {
  using T = TypeParam;
  const int64_t p = 2;
  const Sample s = make_sample(p, 2 * p + 1, 0.0, 0.0, 5);
  const std::vector<T> x(s.obs.begin(), s.obs.end());
  std::vector<T> mean(p, T(kSentinel)), cov(p * p, T(kSentinel));
  const std::vector<T> bad_params = {T(0.5), T(0.001), T(0)}, params = {T(0.5), T(0.001), T(1e-6)};
  const int32_t zero = 0, two = int32_t(p), at_2p = int32_t(2 * p), above = int32_t(2 * p + 1),
                mixed = TARR_SS_MATRIX_STORAGE_1 | TARR_SS_MATRIX_STORAGE_2, rows = TARR_SS_MATRIX_STORAGE_2,
                word3 = 3, word2 = 2, five = 5, three = 3, minus = -1;
  const int64_t live = zorp_core_live_allocations();
  Task<T> t(int32_t(p), int32_t(2 * p + 1), 2, x.data());
  uint32_t method = 0;
  auto call = [&] { return robust<T>(t.t, method); };
  auto unchanged = [&] { return untouched(mean) && untouched(cov) && zorp_core_live_allocations() == live + 1; };
  t.set(zorp::ss::kSlotP, &zero);
  climb(call,
        {{TARR_SS_ERROR_BAD_DIMENSION, [&] { t.set(zorp::ss::kSlotP, &two), t.set(zorp::ss::kSlotN, &at_2p); }},
         {TARR_SS_ERROR_BAD_NOBS, [&] { t.set(zorp::ss::kSlotN, &above), t.set(zorp::ss::kSlotX, nullptr); }},
         {TARR_SS_ERROR_NULL_OBSERVATIONS, [&] { t.set(zorp::ss::kSlotX, x.data()), t.set(kSlotStorage, nullptr); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.set(kSlotStorage, &mixed); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(kSlotStorage, &rows); }},
         {TARR_SS_ERROR_NULL_RCOV_MEAN, [&] { t.edit(TARR_SS_PARAM_RCOV_MEAN, mean.data()); }},
         {TARR_SS_ERROR_NULL_RCOV, [&] { t.edit(TARR_SS_PARAM_RCOV, cov.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.edit(TARR_SS_PARAM_RCOV_STORAGE, &minus); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { t.edit(TARR_SS_PARAM_RCOV_STORAGE, &word3); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { t.edit(TARR_SS_PARAM_RCOV_STORAGE, &word2); }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_ROBUST_COV | TARR_SS_METHOD_COR_REPAIR; }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_ROBUST_COV, t.edit(TARR_SS_PARAM_RCOV_NPARAMS, &five); }},
         {TARR_SS_ERROR_NULL_RCOV_NPARAMS, [&] { t.edit(TARR_SS_PARAM_RCOV_NPARAMS, &three); }},
         {TARR_SS_ERROR_NULL_RCOV_PARAMS, [&] { t.edit(TARR_SS_PARAM_RCOV_PARAMS, bad_params.data()); }},
         {TARR_SS_ERROR_NULL_RCOV_PARAMS, [&] { t.edit(TARR_SS_PARAM_RCOV_PARAMS, params.data()), zorp_core_fail_allocation(1); }},
         {TARR_SS_ERROR_ALLOCATION, nullptr},
         {0, nullptr}},
        unchanged);
  zorp_core_fail_allocation(0);
  // n = 2p + 1, the least accepted, in the last rung: a finite estimate.
  for (T v : mean) EXPECT_TRUE(std::isfinite(double(v)));
  for (T v : cov) EXPECT_TRUE(std::isfinite(double(v)));
}

// Each parameter at the first refused and the last accepted value (and NaN), with the counts
// around the accepted 0..4.
TYPED_TEST(SSRobust, ParameterBoundaries) {
  using T = TypeParam;
  const Sample s = make_sample(3, 200, 0.1, 20.0, 9);
  const T above_half = std::nextafter(T(0.5), T(1)), below_one = std::nextafter(T(1), T(0));
  const T nan = std::numeric_limits<T>::quiet_NaN(), tiny = std::numeric_limits<T>::denorm_min();
  struct Row {
    std::vector<T> params;
    int want;
  };
  const int kBad = TARR_SS_ERROR_NULL_RCOV_PARAMS;
  const Row rows[] = {
      {{T(0.5)}, 0}, {{above_half}, kBad}, {{T(0)}, kBad}, {{T(0.25)}, 0}, {{nan}, kBad}, {{T(0.5), T(0)}, kBad},
      {{T(0.5), T(1)}, kBad}, {{T(0.5), below_one}, 0}, {{T(0.5), T(0.2)}, 0}, {{T(0.5), T(0.001), T(0)}, kBad},
      {{T(0.5), T(0.001), tiny}, 0}, {{T(0.5), T(0.001), T(INFINITY)}, kBad}, {{T(0.5), T(0.001), T(0.01), T(0)}, kBad},
      {{T(0.5), T(0.001), T(0.01), T(1)}, 0}, {{T(0.5), T(0.001), T(0.01), T(1.5)}, kBad},
      {{T(0.5), T(0.001), T(0.01), T(20)}, 0}, {{T(0.5), T(0.001), T(0.01), T(1e9)}, 0},
      {{T(0.5), T(0.001), T(0.01), std::nextafter(T(1e9), T(INFINITY))}, kBad}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "parameters " << r.params.size() << " first " << r.params[0]);
    const Run<T> got = estimate<T>(s, 2, 0, r.params);
    EXPECT_EQ(got.status, r.want);
    if (r.want) {
      EXPECT_TRUE(untouched(std::vector<T>(got.mean.begin(), got.mean.end())));
    }
  }
  // Counts: -1 and 5 refused before the array is read.
  const std::vector<T> x(s.obs.begin(), s.obs.end());
  std::vector<T> mean(3), cov(9);
  const int32_t full = 0;
  Task<T> t(3, 200, 2, x.data());
  t.edit({{TARR_SS_PARAM_RCOV_MEAN, mean.data()}, {TARR_SS_PARAM_RCOV, cov.data()},
          {TARR_SS_PARAM_RCOV_STORAGE, &full}});
  for (int32_t count : {-1, 0, 4, 5}) {
    t.edit(TARR_SS_PARAM_RCOV_NPARAMS, &count);
    t.set(kSlotRCovParams, nullptr);
    EXPECT_EQ(robust<T>(t.t), count == 0 ? 0 : count == 4 ? TARR_SS_ERROR_NULL_RCOV_PARAMS : TARR_SS_ERROR_NULL_RCOV_NPARAMS)
        << count;
  }
  t.set(kSlotRCovNParams, nullptr);  // no count at all: the defaults
  EXPECT_EQ(robust<T>(t.t), 0);
}

// A constant component, or observations on a plane, have no full-rank scatter: the rank test's
// status and nothing written, whatever the contamination.
TYPED_TEST(SSRobust, SingularScatterRefused) {
  using T = TypeParam;
  for (int kind : {0, 1}) {
    SCOPED_TRACE(kind ? "plane" : "constant component");
    Sample s = make_sample(3, 300, 0.1, 20.0, 21);
    for (int64_t i = 0; i < s.n; ++i) {
      if (kind == 0) s.obs[i * 3 + 1] = 2.5;
      else s.obs[i * 3 + 2] = s.at(i, 0) - 2.0 * s.at(i, 1);
    }
    const Run<T> r = estimate<T>(s, 1, 1);
    EXPECT_EQ(r.status, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE);
    for (double v : r.mean) EXPECT_EQ(v, kSentinel);
    for (int64_t a = 0; a < 3; ++a)
      for (int64_t b = a; b < 3; ++b) EXPECT_EQ(r.cov[a + b * 3], kSentinel);
  }
}

// ---- failures ------------------------------------------------------------------------------------------
// Every allocation, then every LAPACK call, of the call in turn fails: an allocation -4000, a
// failed eigen-decomposition -4072, a failed factor of the rank test or the inverse -5010 (or
// -5011); nothing is written and nothing left allocated, until the call has all it needs.
TYPED_TEST(SSRobust, AllocationAndLapackFailures) {
  using T = TypeParam;
  const Sample s = make_sample(3, 120, 0.2, 20.0, 31);
  Run<T> r;
  std::map<int, int> seen;
  for (auto hook : {zorp_core_fail_allocation, zorp_core_fail_lapack}) {
    const bool lapack = hook == zorp_core_fail_lapack;
    const auto call = [&](const std::function<void()>& arm) { return (r = estimate<T>(s, lapack ? 1 : 2, 2, {}, arm)).status; };
    walk_failures(hook, 1000, call, [&](int k, int code) {
      ++seen[code];
      if (!lapack) ASSERT_EQ(code, TARR_SS_ERROR_ALLOCATION) << k;
      else ASSERT_TRUE(code == TARR_SS_ERROR_EIGEN_FAILED || code == TARR_SS_ERROR_NOT_POSITIVE_DEFINITE ||
                       code == TARR_SS_ERROR_INVERSION_FAILED) << k << " " << code;
      for (double v : r.mean) ASSERT_EQ(v, kSentinel) << k;
      for (double v : r.cov) ASSERT_EQ(v, kSentinel) << k;
    });
  }
  EXPECT_GT(seen[TARR_SS_ERROR_ALLOCATION], 10);  // each basic and quantile call, each rank test
  EXPECT_GT(seen[TARR_SS_ERROR_EIGEN_FAILED], 1);
  EXPECT_GT(seen[TARR_SS_ERROR_NOT_POSITIVE_DEFINITE] + seen[TARR_SS_ERROR_INVERSION_FAILED], 1);
}

}  // namespace
