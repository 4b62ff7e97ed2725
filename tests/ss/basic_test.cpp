// Basic statistics against compensated two-pass references in long double: hard data (mean 1e6,
// spread 1) where a naive sum of squares fails, both observation layouts, weights, cumulative
// calls, packed matrix storage, component indices, 64-bit task integers, float tasks, the
// sum-to-moment methods, every status code in check order, allocation failure; and the
// minimum/maximum routine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <cstring>
#include <limits>
#include <vector>

#include "common/portable.h"
#include "ss/reference.h"
#include "zorp/core.h"
#include "zorp/ss.h"

namespace {

using namespace zorp::test::ss;
constexpr uint64_t kMoments = TARR_SS_MEAN | TARR_SS_RAW_MOMENT_2 | TARR_SS_RAW_MOMENT_3 | TARR_SS_RAW_MOMENT_4 |
                              TARR_SS_CENTRAL_MOMENT_2 | TARR_SS_CENTRAL_MOMENT_3 | TARR_SS_CENTRAL_MOMENT_4;
constexpr uint64_t kSums = TARR_SS_SUM | TARR_SS_RAW_SUM_2 | TARR_SS_RAW_SUM_3 | TARR_SS_RAW_SUM_4 |
                           TARR_SS_CENTRAL_SUM_2 | TARR_SS_CENTRAL_SUM_3 | TARR_SS_CENTRAL_SUM_4;
constexpr uint64_t kMatrices = TARR_SS_COV | TARR_SS_COR | TARR_SS_CP;
constexpr uint64_t kDerived = TARR_SS_KURTOSIS | TARR_SS_SKEWNESS | TARR_SS_VARIATION;

// A task with every basic result array registered.
template <typename T>
struct SSRun {
  int64_t p, n;
  int storage;
  bool wide;
  int32_t p32, n32, st32, fmt32[3];
  int64_t p64, n64, st64, fmt64[3];
  std::vector<T> x, w;
  std::vector<T> mean, r2, r3, r4, c2, c3, c4, kurt, skew, var, sum, rs2, rs3, rs4, cs2, cs3, cs4, cov, cor, cp;
  T acc[2] = {0, 0};
  TarrSSTask* t = nullptr;

  SSRun(const Data& d, int storage_, const std::vector<double>* weights = nullptr, bool wide_ = false,
      const int fmt[3] = nullptr, const void* indices = nullptr)
      : p(d.p), n(d.n), storage(storage_), wide(wide_) {
    p32 = int32_t(p), n32 = int32_t(n), p64 = p, n64 = n;
    st32 = st64 = storage == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2;
    for (int k = 0; k < 3; ++k) fmt32[k] = fmt64[k] = fmt ? fmt[k] : 0;
    const std::vector<double> xs = d.layout(storage);
    x.assign(xs.begin(), xs.end());
    if (weights) w.assign(weights->begin(), weights->end());
    for (auto* v : {&mean, &r2, &r3, &r4, &c2, &c3, &c4, &kurt, &skew, &var, &sum, &rs2, &rs3, &rs4, &cs2, &cs3, &cs4})
      v->assign(p, T(kSentinel));
    for (auto* v : {&cov, &cor, &cp}) v->assign(p * p, T(kSentinel));
    const void* pp = wide ? (const void*)&p64 : &p32;
    const void* np = wide ? (const void*)&n64 : &n32;
    const void* sp = wide ? (const void*)&st64 : &st32;
    const T* wp = w.empty() ? nullptr : w.data();
    if constexpr (sizeof(T) == 8) EXPECT_EQ(__tarrdSSNewTask(&t, pp, np, sp, x.data(), wp, indices, wide), 0);
    else EXPECT_EQ(__tarrsSSNewTask(&t, pp, np, sp, x.data(), wp, indices, wide), 0);
    auto edit = [&](int param, T* v) {
      if constexpr (sizeof(T) == 8) EXPECT_EQ(__tarrdSSEditTask(t, param, v), 0);
      else EXPECT_EQ(__tarrsSSEditTask(t, param, v), 0);
    };
    // Parameters 7 .. 13 are the moments from the mean on, 67 .. 73 the sums.
    std::vector<T>* const moments[] = {&mean, &r2, &r3, &r4, &c2, &c3, &c4}, *const sums[] = {&sum, &rs2, &rs3, &rs4, &cs2, &cs3, &cs4};
    for (int k = 0; k < 7; ++k) edit(TARR_SS_PARAM_MEAN + k, moments[k]->data()), edit(TARR_SS_PARAM_SUM + k, sums[k]->data());
    for (auto [param, v] : {std::pair{TARR_SS_PARAM_COV, &cov}, {TARR_SS_PARAM_COR, &cor}, {TARR_SS_PARAM_CP, &cp},
                            {TARR_SS_PARAM_KURTOSIS, &kurt}, {TARR_SS_PARAM_SKEWNESS, &skew}, {TARR_SS_PARAM_VARIATION, &var}})
      edit(param, v->data());
    edit(TARR_SS_PARAM_ACCUM_WEIGHTS, acc);
    const int storage_params[3] = {TARR_SS_PARAM_COV_STORAGE, TARR_SS_PARAM_COR_STORAGE, TARR_SS_PARAM_CP_STORAGE};
    for (int k = 0; k < 3; ++k) EXPECT_EQ(__tarriSSEditTask(t, storage_params[k], wide ? (const void*)&fmt64[k] : &fmt32[k]), 0);
  }
  ~SSRun() { __tarrSSDeleteTask(&t); }
  int basic(uint64_t est, uint32_t method) {
    if constexpr (sizeof(T) == 8) return _tarrdSSBasic(t, est, method);
    else return _tarrsSSBasic(t, est, method);
  }
};

Reference ref_of(const Data& d, const std::vector<double>* w = nullptr) {
  return reference(d.n, d.p, [&](int64_t i, int64_t j) { return d.at(i, j); }, w ? w->data() : nullptr);
}

// Every path to the mean, covariance and correlation reaches the accuracy of the plain one on
// data with mean 1e6 and spread 1 (p = 5, n = 20,000): layouts, packed storage, weights, index
// arrays, two calls, several threads, with and without the other moments.  Errors of matrix
// entries are taken relative to sqrt(c_ii c_jj).  The plain path is within about 1e-15 here and
// the weighted packed paths reach 1.01e-14 in the Windows build, so the bound is 3e-14: a path
// that loses two or three digits (a plain sum of x for the mean, or a continuation that takes
// the stored, rounded mean for the earlier data's own) fails it.
constexpr double kPathTolerance = 3e-14;
struct Path {
  const char* name;
  int storage;
  bool weighted;
  int fmt;      // storage word of the covariance, correlation and cross-product
  bool index;   // leave component 3 out
  int calls;    // the data in one call, or in two (split at 7777)
  int64_t n;    // 60,000 is enough to split the observations among threads
  uint64_t est;
  uint32_t method;
};
constexpr uint64_t kCovCor = TARR_SS_COV | TARR_SS_COR;
constexpr uint64_t kWithMoments = kCovCor | TARR_SS_CP | TARR_SS_CENTRAL_MOMENT_2 | TARR_SS_CENTRAL_SUM_2 | TARR_SS_VARIATION;
const Path kPaths[] = {
    {"ByComponent", 1, false, 0, false, 1, 20000, kCovCor, TARR_SS_METHOD_1PASS},
    {"ByObservation", 2, false, 0, false, 1, 20000, kCovCor, TARR_SS_METHOD_1PASS},
    {"WithMoments", 1, false, 0, false, 1, 20000, kWithMoments, TARR_SS_METHOD_1PASS_CENTRAL},
    {"UpperPacked", 1, false, TARR_SS_MATRIX_STORAGE_U_PACKED, false, 1, 20000, kCovCor | TARR_SS_CP, TARR_SS_METHOD_1PASS},
    {"LowerPacked", 2, false, TARR_SS_MATRIX_STORAGE_L_PACKED, false, 1, 20000, kCovCor, TARR_SS_METHOD_1PASS},
    {"Weighted", 1, true, 0, false, 1, 20000, kCovCor, TARR_SS_METHOD_1PASS},
    {"WeightedByObservationPacked", 2, true, TARR_SS_MATRIX_STORAGE_U_PACKED, false, 1, 20000, kWithMoments, TARR_SS_METHOD_1PASS},
    {"IndexArray", 1, false, 0, true, 1, 20000, kCovCor | kMoments | kDerived | kSums | TARR_SS_CP, TARR_SS_METHOD_1PASS},
    {"IndexArrayByObservationWeighted", 2, true, 0, true, 1, 20000, kWithMoments, TARR_SS_METHOD_1PASS},
    {"TwoCalls", 1, false, 0, false, 2, 20000, kCovCor, TARR_SS_METHOD_1PASS},
    {"TwoCallsWeightedPackedByObservation", 2, true, TARR_SS_MATRIX_STORAGE_L_PACKED, true, 2, 20000, kWithMoments, TARR_SS_METHOD_1PASS},
    {"Threads", 1, true, 0, false, 1, 60000, kWithMoments, TARR_SS_METHOD_1PASS},
    {"ThreadsByObservationIndexArray", 2, false, TARR_SS_MATRIX_STORAGE_U_PACKED, true, 1, 60000, kCovCor, TARR_SS_METHOD_1PASS_CENTRAL},
};

void PrintTo(const Path& p, std::ostream* os) { *os << p.name; }

class SSPaths : public testing::TestWithParam<Path> {};

TEST_P(SSPaths, EveryPathReachesFullStorageAccuracy) {
  const Path& pa = GetParam();
  const Data d = make_data(pa.n, 5, 1e6, 1.0, 0.0, 2);
  std::vector<double> w(d.n, 1.0);
  std::mt19937_64 g(9);
  if (pa.weighted)
    for (auto& v : w) v = std::uniform_real_distribution<double>(0.0, 2.0)(g);
  const Reference r = ref_of(d, pa.weighted ? &w : nullptr);
  const int32_t idx[5] = {1, 1, 1, 0, 1};
  const int fmt[3] = {pa.fmt, pa.fmt, pa.fmt};
  const int64_t h = pa.calls == 2 ? 7777 : d.n;
  const Data first{h, d.p, std::vector<double>(d.obs.begin(), d.obs.begin() + h * d.p)};
  const std::vector<double> wfirst(w.begin(), w.begin() + h);
  SSRun<double> run(first, pa.storage, pa.weighted ? &wfirst : nullptr, false, fmt, pa.index ? idx : nullptr);
  ASSERT_EQ(run.basic(pa.est | TARR_SS_MEAN, pa.method), 0);
  std::vector<double> x2;
  if (pa.calls == 2) {
    const Data rest{d.n - h, d.p, std::vector<double>(d.obs.begin() + h * d.p, d.obs.end())};
    x2 = rest.layout(pa.storage);
    const int32_t n2 = int32_t(rest.n);
    ASSERT_EQ(__tarriSSEditTask(run.t, TARR_SS_PARAM_NOBS, &n2), 0);
    ASSERT_EQ(__tarrdSSEditTask(run.t, TARR_SS_PARAM_OBSERVATIONS, x2.data()), 0);
    if (pa.weighted) ASSERT_EQ(__tarrdSSEditTask(run.t, TARR_SS_PARAM_WEIGHTS, w.data() + h), 0);
    ASSERT_EQ(run.basic(pa.est | TARR_SS_MEAN, pa.method), 0);
  }
  EXPECT_LT(rel(run.acc[0], r.W), 1e-15);
  EXPECT_LT(rel(run.acc[1], r.W2), 1e-15);
  auto pos = [&](int a, int b) -> int64_t {
    if (pa.fmt == TARR_SS_MATRIX_STORAGE_U_PACKED) return std::min(a, b) + std::max(a, b) * (std::max(a, b) + 1) / 2;
    if (pa.fmt == TARR_SS_MATRIX_STORAGE_L_PACKED) return std::max(a, b) + std::min(a, b) * (10 - std::min(a, b) - 1) / 2;
    return a + b * 5;
  };
  for (int a = 0; a < 5; ++a) {
    if (pa.index && !idx[a]) {  // nothing of a component left out is written
      for (auto* v : {&run.mean, &run.r2, &run.r3, &run.r4, &run.c2, &run.c3, &run.c4, &run.kurt, &run.skew, &run.var,
                      &run.sum, &run.rs2, &run.rs3, &run.rs4, &run.cs2, &run.cs3, &run.cs4})
        EXPECT_EQ((*v)[a], kSentinel) << a;
      for (int b = 0; b < 5; ++b) EXPECT_TRUE(run.cov[pos(a, b)] == kSentinel && run.cp[pos(a, b)] == kSentinel) << a;
      continue;
    }
    EXPECT_LT(rel(run.mean[a], r.mean[a]), 2e-16) << a;
    if (pa.est & TARR_SS_CENTRAL_MOMENT_2) {
      EXPECT_LT(rel(run.c2[a], r.c2(a)), kPathTolerance) << a;
      EXPECT_LT(rel(run.cs2[a], r.s2[a]), kPathTolerance) << a;
      EXPECT_LT(rel(run.var[a], std::sqrt(r.c2(a)) / r.mean[a]), kPathTolerance) << a;
    }
    for (int b = 0; b < 5; ++b) {
      if (pa.index && !idx[b]) continue;
      const double scale = double(std::sqrt(r.cov(a, a) * r.cov(b, b)));
      EXPECT_LT(std::fabs(run.cov[pos(a, b)] - double(r.cov(a, b))) / scale, kPathTolerance) << a << "," << b;
      EXPECT_LT(std::fabs(run.cor[pos(a, b)] - double(r.cor(a, b))), kPathTolerance) << a << "," << b;
      if (pa.est & TARR_SS_CP)
        EXPECT_LT(std::fabs(run.cp[pos(a, b)] - double(r.cp[a + 5 * b])) / (scale * double(r.B())), kPathTolerance);
    }
  }
  // Packed storage writes nothing beyond its triangle.
  if (pa.fmt) EXPECT_EQ(run.cov[15], kSentinel);
}

INSTANTIATE_TEST_SUITE_P(HardData, SSPaths, testing::ValuesIn(kPaths), [](const auto& i) { return std::string(i.param.name); });

class SSAccuracy : public testing::TestWithParam<int> {};

// Central moments 3 and 4 from raw moments (method 0x2): error bounded by the conditioning of
// r3 - 3 m r2 + 2 m^3 and r4 - 4 m r3 + 6 m^2 r2 - 3 m^4.  (Method 0x100, which keeps central
// sums, is held to full accuracy on the hard data by the block-shape tests.)
TEST_P(SSAccuracy, HigherMomentsFollowTheirConditioning) {
  const int storage = GetParam();
  const double eps = std::numeric_limits<double>::epsilon();
  const Data d = make_data(30000, 4, 0.5, 1.0, 1.0, 3);
  const Reference r = ref_of(d);
  SSRun<double> run(d, storage);
  ASSERT_EQ(run.basic(kMoments | kDerived, TARR_SS_METHOD_1PASS), 0);
  for (int j = 0; j < d.p; ++j) {
    const long double m = std::fabs(r.mean[j]);
    const long double cond3 = (std::fabs(r.raw3[j]) + 3 * m * r.raw2[j] + 2 * m * m * m) / std::fabs(r.c3(j));
    const long double cond4 =
        (r.raw4[j] + 4 * m * std::fabs(r.raw3[j]) + 6 * m * m * r.raw2[j] + 3 * m * m * m * m) / r.c4(j);
    EXPECT_LT(rel(run.c3[j], r.c3(j)), 16 * eps * double(cond3) + 1e-13) << j;
    EXPECT_LT(rel(run.c4[j], r.c4(j)), 16 * eps * double(cond4) + 1e-13) << j;
    EXPECT_LT(rel(run.r3[j], r.raw3[j]), 1e-13);
    EXPECT_LT(rel(run.r4[j], r.raw4[j]), 1e-13);
    const long double c2 = r.c2(j);
    EXPECT_LT(rel(run.kurt[j], r.c4(j) / (c2 * c2) - 3), 16 * eps * double(cond4) * 10 + 1e-12);
    EXPECT_LT(rel(run.skew[j], r.c3(j) / std::sqrt(c2 * c2 * c2)), 16 * eps * double(cond3) + 1e-12);
  }
}

// Two calls on halves continue through the accumulator and the stored results.
TEST_P(SSAccuracy, TwoHalvesEqualTheWhole) {
  const int storage = GetParam();
  const Data d = make_data(30000, 4, 1e6, 1.0, 1.0, 6);
  const int64_t h = 11111;
  Data first{h, d.p, std::vector<double>(d.obs.begin(), d.obs.begin() + h * d.p)};
  Data second{d.n - h, d.p, std::vector<double>(d.obs.begin() + h * d.p, d.obs.end())};
  const uint64_t est = TARR_SS_MEAN | TARR_SS_RAW_MOMENT_2 | TARR_SS_CENTRAL_MOMENT_2 | TARR_SS_CENTRAL_SUM_3 |
                       TARR_SS_CENTRAL_SUM_4 | TARR_SS_COV | TARR_SS_COR | TARR_SS_SUM;
  for (uint32_t method : {TARR_SS_METHOD_1PASS, TARR_SS_METHOD_1PASS_CENTRAL}) {
    SSRun<double> whole(d, storage);
    ASSERT_EQ(whole.basic(est, method), 0);
    SSRun<double> halves(first, storage);
    ASSERT_EQ(halves.basic(est, method), 0);
    const std::vector<double> x2 = second.layout(storage);
    const int32_t n2 = int32_t(second.n);
    ASSERT_EQ(__tarriSSEditTask(halves.t, TARR_SS_PARAM_NOBS, &n2), 0);
    ASSERT_EQ(__tarrdSSEditTask(halves.t, TARR_SS_PARAM_OBSERVATIONS, x2.data()), 0);
    ASSERT_EQ(halves.basic(est, method), 0);
    EXPECT_EQ(halves.acc[0], whole.acc[0]);
    for (int j = 0; j < d.p; ++j) {
      EXPECT_LT(rel(halves.mean[j], whole.mean[j]), 1e-14);
      EXPECT_LT(rel(halves.sum[j], whole.sum[j]), 1e-14);
      EXPECT_LT(rel(halves.r2[j], whole.r2[j]), 1e-14);
      EXPECT_LT(rel(halves.c2[j], whole.c2[j]), 1e-12);
      EXPECT_LT(rel(halves.cs3[j], whole.cs3[j]), 1e-10);
      EXPECT_LT(rel(halves.cs4[j], whole.cs4[j]), 1e-11);
      for (int k = 0; k < d.p; ++k) {
        EXPECT_LT(rel(halves.cov[j + k * d.p], whole.cov[j + k * d.p]), 1e-12);
        EXPECT_LT(rel(halves.cor[j + k * d.p], whole.cor[j + k * d.p]), 1e-12);
      }
    }
  }
}

// Degenerate data give what the definitions give (zorp/ss.h): no weight, no mean (NaN moments,
// empty sums, and the next call starts afresh); infinite observations an infinite mean of their
// sign and NaN central quantities, on one thread or several; one observation a NaN spread, and a
// later call continues from it.
TEST_P(SSAccuracy, DegenerateDataGiveTheDocumentedValues) {
  const int storage = GetParam();
  const uint64_t est = kMoments | kSums | kDerived | TARR_SS_COV | TARR_SS_CP;
  const double inf = std::numeric_limits<double>::infinity();
  for (uint32_t method : {TARR_SS_METHOD_1PASS, TARR_SS_METHOD_1PASS_CENTRAL}) {
    SCOPED_TRACE(testing::Message() << "method " << method);
    std::vector<double> w(3, 0.0);
    SSRun<double> none(Data{3, 2, {1, 2, 3, 4, 5, 6}}, storage, &w);
    ASSERT_EQ(none.basic(est, method), 0);
    EXPECT_EQ(none.acc[0], 0.0);
    for (int j = 0; j < 2; ++j) {
      for (double v : {none.mean[j], none.r2[j], none.r4[j], none.c2[j], none.c3[j], none.c4[j], none.kurt[j],
                       none.skew[j], none.var[j], none.cov[3 * j]})
        EXPECT_TRUE(std::isnan(v)) << j;
      for (double v : {none.sum[j], none.rs2[j], none.cs2[j], none.cs4[j], none.cp[3 * j]}) EXPECT_EQ(v, 0.0) << j;
    }
    std::fill(none.w.begin(), none.w.end(), 1.0);
    ASSERT_EQ(none.basic(est, method), 0);
    EXPECT_EQ(none.mean[0], 3.0);
    EXPECT_EQ(none.mean[1], 4.0);
    EXPECT_NEAR(none.c2[1], 4.0, 1e-15);

    // One observation, then four more; no central sums, so the second call reads the spread
    // back from central moment 2.
    const uint64_t est1 = kMoments | kDerived | TARR_SS_COV;
    SSRun<double> one(Data{1, 2, {3, -5}}, storage);
    ASSERT_EQ(one.basic(est1, method), 0);
    EXPECT_EQ(one.mean[0], 3.0);
    EXPECT_EQ(one.r2[1], 25.0);
    for (double v : {one.c2[0], one.cov[0], one.kurt[0], one.skew[0], one.var[0]}) EXPECT_TRUE(std::isnan(v));
    const Data rest{4, 2, {1, 2, 0, -1, 4, 8, 2, 2}};
    const std::vector<double> xr = rest.layout(storage);
    const int32_t n4 = 4;
    ASSERT_EQ(__tarriSSEditTask(one.t, TARR_SS_PARAM_NOBS, &n4), 0);
    ASSERT_EQ(__tarrdSSEditTask(one.t, TARR_SS_PARAM_OBSERVATIONS, xr.data()), 0);
    ASSERT_EQ(one.basic(est1, method), 0);
    const Data all{5, 2, {3, -5, 1, 2, 0, -1, 4, 8, 2, 2}};
    const Reference r = ref_of(all);
    for (int j = 0; j < 2; ++j) {
      EXPECT_LT(rel(one.mean[j], r.mean[j]), 1e-15) << j;
      EXPECT_LT(rel(one.c2[j], r.c2(j)), 1e-14) << j;
      EXPECT_LT(rel(one.cov[j * 3], r.cov(j, j)), 1e-14) << j;
    }
  }
  // Infinities in long data (several threads, several blocks): +inf twice far apart, -inf as
  // the first observation, both signs, a NaN; component 5 stays finite.
  Data d = make_data(40000, 8, 1.0, 1.0, 0.0, 9);
  auto put = [&](int64_t i, int64_t j, double v) { d.obs[i * d.p + j] = v; };
  put(5, 0, inf), put(39000, 0, inf), put(0, 1, -inf), put(10, 2, inf), put(30000, 2, -inf);
  put(7, 3, std::nan(""));
  SSRun<double> run(d, storage);
  ASSERT_EQ(run.basic(TARR_SS_MEAN | TARR_SS_RAW_MOMENT_2 | TARR_SS_CENTRAL_MOMENT_2 | TARR_SS_SUM,
                      TARR_SS_METHOD_1PASS),
            0);
  EXPECT_EQ(run.mean[0], inf);
  EXPECT_EQ(run.sum[0], inf);
  EXPECT_EQ(run.mean[1], -inf);
  EXPECT_EQ(run.r2[1], inf);
  EXPECT_TRUE(std::isnan(run.mean[2]));
  EXPECT_TRUE(std::isnan(run.mean[3]));
  for (int j = 0; j < 4; ++j) EXPECT_TRUE(std::isnan(run.c2[j])) << j;
  Data finite{d.n, 1, std::vector<double>(d.n)};
  for (int64_t i = 0; i < d.n; ++i) finite.obs[i] = d.at(i, 5);
  const Reference r = ref_of(finite);
  EXPECT_LT(rel(run.mean[5], r.mean[0]), 1e-13);
  EXPECT_LT(rel(run.c2[5], r.c2(0)), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SSAccuracy, testing::Values(1, 2),
                         [](const auto& i) { return i.param == 1 ? "ByComponent" : "ByObservation"; });

TEST(SSBasic, WideTaskGivesTheSameResults) {
  const Data d = make_data(5000, 3, 2.0, 1.0, 0.5, 10);
  const int64_t idx64[3] = {1, 0, 7};
  const int32_t idx32[3] = {1, 0, 7};
  SSRun<double> narrow(d, 2, nullptr, false, nullptr, idx32);
  SSRun<double> wide(d, 2, nullptr, true, nullptr, idx64);
  const uint64_t est = kMoments | kDerived | kSums | kMatrices;
  ASSERT_EQ(narrow.basic(est, TARR_SS_METHOD_1PASS), 0);
  ASSERT_EQ(wide.basic(est, TARR_SS_METHOD_1PASS), 0);
  EXPECT_EQ(std::memcmp(narrow.mean.data(), wide.mean.data(), 3 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(narrow.c4.data(), wide.c4.data(), 3 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(narrow.cov.data(), wide.cov.data(), 9 * sizeof(double)), 0);
  EXPECT_EQ(wide.mean[1], kSentinel);
  SSRun<double> w2(d, 2, nullptr, true);
  w2.n64 = 0;
  EXPECT_EQ(w2.basic(TARR_SS_MEAN, TARR_SS_METHOD_1PASS), TARR_SS_ERROR_BAD_NOBS);
}

TEST(SSBasic, FloatTaskMatchesReference) {
  const Data d = make_data(20000, 4, 10.0, 1.0, 0.5, 11);
  for (int storage : {1, 2}) {
    SSRun<float> run(d, storage);
    ASSERT_EQ(run.basic(TARR_SS_MEAN | TARR_SS_RAW_MOMENT_2 | TARR_SS_CENTRAL_MOMENT_2 | kMatrices,
                        TARR_SS_METHOD_1PASS),
              0);
    // inputs are rounded to float: the reference of the rounded data is what we can match
    const Reference rf = reference(d.n, d.p, [&](int64_t i, int64_t j) { return double(float(d.at(i, j))); }, nullptr);
    for (int j = 0; j < d.p; ++j) {
      EXPECT_LT(rel(run.mean[j], rf.mean[j]), 2e-7);
      EXPECT_LT(rel(run.c2[j], rf.c2(j)), 1e-5);
      for (int k = 0; k < d.p; ++k) EXPECT_LT(rel(run.cov[j + 4 * k], rf.cov(j, k)), 1e-4);
    }
  }
}

// Method 0x1 makes central quantities from raw moments: fine on data with a small mean.
TEST(SSBasic, RawMethodOnWellConditionedData) {
  const Data d = make_data(10000, 3, 0.2, 1.0, 1.0, 12);
  const Reference r = ref_of(d);
  SSRun<double> run(d, 2);
  ASSERT_EQ(run.basic(kMoments | TARR_SS_CENTRAL_SUM_2 | TARR_SS_CENTRAL_SUM_4, TARR_SS_METHOD_FAST), 0);
  for (int j = 0; j < d.p; ++j) {
    EXPECT_LT(rel(run.c2[j], r.c2(j)), 1e-12);
    EXPECT_LT(rel(run.cs2[j], r.s2[j]), 1e-12);
    EXPECT_LT(rel(run.c3[j], r.c3(j)), 1e-10);
    EXPECT_LT(rel(run.cs4[j], r.s4[j]), 1e-11);
  }
}

// Sums kept in the task turn into moments without reading the observations.
TEST(SSBasic, SumsTurnIntoMoments) {
  const Data d = make_data(8000, 3, 1.0, 1.0, 1.0, 13);
  std::vector<double> w(d.n);
  for (int64_t i = 0; i < d.n; ++i) w[i] = 1 + double(i % 3);
  const Reference r = ref_of(d, &w);
  SSRun<double> run(d, 1, &w);
  ASSERT_EQ(run.basic(kSums, TARR_SS_METHOD_1PASS), 0);
  const std::vector<double> cs2 = run.cs2, cs4 = run.cs4;
  std::fill(run.x.begin(), run.x.end(), std::nan(""));  // must not be read
  ASSERT_EQ(run.basic(kMoments | kDerived, TARR_SS_METHOD_SUM_TO_MOM), 0);
  for (int j = 0; j < d.p; ++j) {
    EXPECT_LT(rel(run.mean[j], r.mean[j]), 1e-13);
    EXPECT_LT(rel(run.r4[j], r.raw4[j]), 1e-13);
    EXPECT_LT(rel(run.c2[j], r.c2(j)), 1e-12);
    EXPECT_LT(rel(run.c4[j], r.c4(j)), 1e-12);
    EXPECT_LT(rel(run.kurt[j], r.c4(j) / (r.c2(j) * r.c2(j)) - 3), 1e-11);
  }
  EXPECT_LT(rel(run.acc[0], r.W), 1e-15);  // the accumulator is not advanced
  ASSERT_EQ(run.basic(TARR_SS_CENTRAL_MOMENT_2, TARR_SS_METHOD_SUM_TO_MOM_FREQ), 0);
  for (int j = 0; j < d.p; ++j) EXPECT_LT(rel(run.c2[j], cs2[j] / (r.W - 1)), 1e-14);
}

// ---- status codes in check order -------------------------------------------------------
struct Bare {  // a task with only what each case registers
  int32_t p = 2, n = 4, st = TARR_SS_MATRIX_STORAGE_2;
  double x[8] = {1, 2, 3, 4, 5, 6, 7, 8}, w[4] = {1, 1, 1, 1}, acc[2] = {0, 0};
  double a[16][4];
  TarrSSTask* t = nullptr;
  Bare() {
    for (auto& r : a)
      for (double& v : r) v = kSentinel;
    __tarrdSSNewTask(&t, &p, &n, &st, x, nullptr, nullptr, 0);
  }
  ~Bare() { __tarrSSDeleteTask(&t); }
  Bare& with(int param, int k) {
    EXPECT_EQ(__tarrdSSEditTask(t, param, a[k]), 0);
    return *this;
  }
  Bare& acc_on() {
    __tarrdSSEditTask(t, TARR_SS_PARAM_ACCUM_WEIGHTS, acc);
    return *this;
  }
  void set(int slot, const void* v) { reinterpret_cast<const void**>(t)[slot] = v; }
  bool untouched() const {
    for (auto& r : a)
      for (double v : r)
        if (v != kSentinel) return false;
    return true;
  }
};

TEST(SSBasic, ChecksInOrder) {
  EXPECT_EQ(_tarrdSSBasic(nullptr, TARR_SS_MEAN, TARR_SS_METHOD_1PASS), TARR_SS_ERROR_NULL_TASK);
  struct Case {
    const char* what;
    uint64_t est;
    uint32_t method;
    void (*setup)(Bare&);
    int expect;
  };
  const Case cases[] = {
      {"no method", TARR_SS_MEAN, 0, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_BAD_METHOD},
      {"two exclusive methods", TARR_SS_MEAN, 0x3, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_BAD_METHOD},
      {"0x2 and 0x100", TARR_SS_MEAN, 0x102, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_BAD_METHOD},
      {"unknown bit only", TARR_SS_MEAN, 0x8, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_BAD_METHOD},
      {"method before missing mean", TARR_SS_MEAN, 0, [](Bare&) {}, TARR_SS_ERROR_BAD_METHOD},
      {"sum under 0x200", TARR_SS_SUM, 0x200, [](Bare& b) { b.with(67, 0); }, TARR_SS_ERROR_BAD_METHOD},
      {"cp under 0x400", TARR_SS_CP, 0x400, [](Bare& b) { b.with(74, 0).with(7, 1); }, TARR_SS_ERROR_BAD_METHOD},
      {"mean missing", TARR_SS_MEAN, 0x2, [](Bare&) {}, TARR_SS_ERROR_NULL_MEAN},
      {"c2 needs raw 2 first", TARR_SS_CENTRAL_MOMENT_2, 0x2, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_NULL_RAW_MOMENT_2},
      {"c2 needs mean first", TARR_SS_CENTRAL_MOMENT_2, 0x2, [](Bare&) {}, TARR_SS_ERROR_NULL_MEAN},
      {"c2 slot", TARR_SS_CENTRAL_MOMENT_2, 0x2, [](Bare& b) { b.with(7, 0).with(8, 1); }, TARR_SS_ERROR_NULL_CENTRAL_MOMENT_2},
      {"c4 needs raw 4", TARR_SS_CENTRAL_MOMENT_4, 0x100, [](Bare& b) { b.with(7, 0).with(8, 1).with(9, 2).with(13, 3); }, TARR_SS_ERROR_NULL_RAW_MOMENT_4},
      {"kurtosis needs c2", TARR_SS_KURTOSIS, 0x2, [](Bare& b) { b.with(7, 0).with(8, 1).with(9, 2).with(10, 3).with(13, 4).with(14, 5); }, TARR_SS_ERROR_NULL_CENTRAL_MOMENT_2},
      {"skewness slot", TARR_SS_SKEWNESS, 0x2, [](Bare& b) { b.with(7, 0).with(8, 1).with(9, 2).with(11, 3).with(12, 4); }, TARR_SS_ERROR_NULL_SKEWNESS},
      {"variation slot", TARR_SS_VARIATION, 0x2, [](Bare& b) { b.with(7, 0).with(8, 1).with(11, 2); }, TARR_SS_ERROR_NULL_VARIATION},
      {"cov slot", TARR_SS_COV, 0x2, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_NULL_COV},
      {"cor slot", TARR_SS_COR | TARR_SS_COV, 0x2, [](Bare& b) { b.with(7, 0).with(19, 1); }, TARR_SS_ERROR_NULL_COR},
      {"sum slot", TARR_SS_SUM, 0x2, [](Bare&) {}, TARR_SS_ERROR_NULL_SUM},
      {"raw sums", TARR_SS_RAW_SUM_2 | TARR_SS_RAW_SUM_3 | TARR_SS_RAW_SUM_4, 0x2, [](Bare& b) { b.with(68, 0); }, TARR_SS_ERROR_NULL_RAW_SUM_3},
      {"raw sum 4", TARR_SS_RAW_SUM_4, 0x2, [](Bare&) {}, TARR_SS_ERROR_NULL_RAW_SUM_4},
      {"raw sum 2", TARR_SS_RAW_SUM_2, 0x1, [](Bare&) {}, TARR_SS_ERROR_NULL_RAW_SUM_2},
      {"central sum 2 under 0x2", TARR_SS_CENTRAL_SUM_2, 0x2, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_NULL_CENTRAL_SUM_2},
      {"central sum 2 under 0x1 needs raw 2", TARR_SS_CENTRAL_SUM_2, 0x1, [](Bare& b) { b.with(7, 0).with(71, 1); }, TARR_SS_ERROR_NULL_RAW_MOMENT_2},
      {"central sum 3 under 0x1 needs raw 3", TARR_SS_CENTRAL_SUM_3, 0x1, [](Bare& b) { b.with(7, 0).with(8, 1).with(72, 2); }, TARR_SS_ERROR_NULL_RAW_MOMENT_3},
      {"central sum 3", TARR_SS_CENTRAL_SUM_3, 0x100, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_NULL_CENTRAL_SUM_3},
      {"central sum 4", TARR_SS_CENTRAL_SUM_4, 0x2, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_NULL_CENTRAL_SUM_4},
      {"cross-product", TARR_SS_CP, 0x2, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_NULL_CP},
      {"mean under 0x200 needs the sum", TARR_SS_MEAN, 0x200, [](Bare& b) { b.with(7, 0); }, TARR_SS_ERROR_NULL_SUM},
      {"c2 under 0x400 needs central sum 2", TARR_SS_CENTRAL_MOMENT_2, 0x400, [](Bare& b) { b.with(7, 0).with(8, 1).with(11, 2).with(67, 3).with(68, 4); }, TARR_SS_ERROR_NULL_CENTRAL_SUM_2},
      {"weights without accumulator", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0).set(6, b.w); }, TARR_SS_ERROR_NULL_ACCUM_WEIGHTS},
      {"no n and no accumulator", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0).set(3, nullptr); }, TARR_SS_ERROR_NULL_ACCUM_WEIGHTS},
      {"estimate before accumulator", TARR_SS_MEAN, 0x2, [](Bare& b) { b.set(6, b.w); }, TARR_SS_ERROR_NULL_MEAN},
      {"n null", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0).acc_on().set(3, nullptr); }, TARR_SS_ERROR_BAD_NOBS},
      {"n zero", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0); b.n = 0; }, TARR_SS_ERROR_BAD_NOBS},
      {"n before x", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0); b.n = -1; b.set(5, nullptr); }, TARR_SS_ERROR_BAD_NOBS},
      {"x missing", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0).set(5, nullptr); b.set(8, nullptr); }, TARR_SS_ERROR_NULL_OBSERVATIONS},
      {"storage missing", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0).set(8, nullptr); }, TARR_SS_ERROR_NULL_STORAGE_ITEM},
      {"storage word", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0); b.st = 0x40000; }, TARR_SS_ERROR_BAD_STORAGE},
      {"sum-to-moment methods run", TARR_SS_MEAN, 0x400, [](Bare& b) { b.with(7, 0).with(67, 1); }, 0},
  };
  for (const Case& c : cases) {
    Bare b;
    c.setup(b);
    EXPECT_EQ(_tarrdSSBasic(b.t, c.est, c.method), c.expect) << c.what;
    if (c.expect != 0) EXPECT_TRUE(b.untouched()) << c.what;
  }
}

// The work block and the record a call leaves for the next one (freed with the task): either
// failing leaves every result as it was and nothing allocated.
TEST(SSBasic, AllocationFailureLeavesResultsAndNoLeak) {
  const Data d = make_data(30000, 4, 5.0, 1.0, 0.5, 14);
  const int64_t before = zorp_core_live_allocations();
  {
    SSRun<double> run(d, 1);
    const int64_t live = zorp_core_live_allocations();
    for (int k : {1, 2}) {
      zorp_core_fail_allocation(k);
      EXPECT_EQ(run.basic(kMoments | kMatrices, TARR_SS_METHOD_1PASS), TARR_SS_ERROR_ALLOCATION) << k;
      zorp_core_fail_allocation(0);
      EXPECT_EQ(zorp_core_live_allocations(), live);
      for (int j = 0; j < d.p; ++j) EXPECT_EQ(run.mean[j], kSentinel);
      EXPECT_EQ(run.cov[0], kSentinel);
      EXPECT_EQ(run.acc[0], 0.0);
    }
    ASSERT_EQ(run.basic(kMoments | kMatrices, TARR_SS_METHOD_1PASS), 0);
    ASSERT_EQ(run.basic(kMoments | kMatrices, TARR_SS_METHOD_1PASS), 0);
    EXPECT_EQ(zorp_core_live_allocations(), live + 1);
  }
  EXPECT_EQ(zorp_core_live_allocations(), before);
}

// ---- minimum and maximum ---------------------------------------------------------------
TEST(SSMinmax, ExtremesBothLayoutsWeightsAndContinuation) {
  const Data d = make_data(1000, 3, 0.0, 1.0, 1.0, 15);
  for (int storage : {1, 2}) {
    for (bool weighted : {false, true}) {
      std::vector<double> w(d.n, 1.0);
      if (weighted) w[17] = 0;  // the weighted-out observation is skipped
      std::vector<double> x = d.layout(storage);
      const int64_t at = storage == 1 ? 1 * d.n + 17 : 17 * d.p + 1;
      x[at] = weighted ? 1e9 : x[at];
      const int32_t p = 3, n = int32_t(d.n), st = storage == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2;
      const int32_t idx[3] = {1, 1, 0};
      TarrSSTask* t = nullptr;
      ASSERT_EQ(__tarrdSSNewTask(&t, &p, &n, &st, x.data(), weighted ? w.data() : nullptr, idx, 0), 0);
      double lo[3] = {kSentinel, kSentinel, kSentinel}, hi[3] = {kSentinel, kSentinel, kSentinel};
      __tarrdSSEditTask(t, TARR_SS_PARAM_EXTREME_LOW, lo);
      __tarrdSSEditTask(t, TARR_SS_PARAM_EXTREME_HIGH, hi);
      ASSERT_EQ(_tarrdSSMinmax(t, TARR_SS_MIN | TARR_SS_MAX, TARR_SS_METHOD_MINMAX_NEW), 0);
      for (int j = 0; j < 2; ++j) {
        double l = 1e300, h = -1e300;
        for (int64_t i = 0; i < d.n; ++i) {
          if (weighted && w[i] == 0) continue;
          const double v = storage == 1 ? x[j * d.n + i] : x[i * 3 + j];
          l = std::min(l, v), h = std::max(h, v);
        }
        EXPECT_EQ(lo[j], l);
        EXPECT_EQ(hi[j], h);
      }
      EXPECT_EQ(lo[2], kSentinel);
      // continuation merges with the stored values
      lo[0] = -1e6;
      hi[1] = 1e6;
      const double lo1 = lo[1], hi0 = hi[0];
      ASSERT_EQ(_tarrdSSMinmax(t, TARR_SS_MIN | TARR_SS_MAX, TARR_SS_METHOD_MINMAX_CONTINUE), 0);
      EXPECT_EQ(lo[0], -1e6);
      EXPECT_EQ(hi[1], 1e6);
      EXPECT_EQ(lo[1], lo1);
      EXPECT_EQ(hi[0], hi0);
      __tarrSSDeleteTask(&t);
    }
  }
}

TEST(SSMinmax, FloatAndChecks) {
  const int32_t p = 2, n = 40, st = TARR_SS_MATRIX_STORAGE_1;
  std::vector<float> x(80);
  for (int i = 0; i < 80; ++i) x[i] = float((i * 37) % 80) - 20.0f;
  TarrSSTask* t = nullptr;
  ASSERT_EQ(__tarrsSSNewTask(&t, &p, &n, &st, x.data(), nullptr, nullptr, 0), 0);
  float lo[2], hi[2];
  EXPECT_EQ(_tarrsSSMinmax(t, TARR_SS_MIN, 1), TARR_SS_ERROR_NULL_EXTREME_LOW);
  __tarrsSSEditTask(t, TARR_SS_PARAM_EXTREME_LOW, lo);
  EXPECT_EQ(_tarrsSSMinmax(t, TARR_SS_MIN | TARR_SS_MAX, 1), TARR_SS_ERROR_NULL_EXTREME_HIGH);
  __tarrsSSEditTask(t, TARR_SS_PARAM_EXTREME_HIGH, hi);
  EXPECT_EQ(_tarrsSSMinmax(t, TARR_SS_MIN | TARR_SS_MAX, 0x4), TARR_SS_ERROR_BAD_METHOD);
  int32_t bad = 0x4;
  reinterpret_cast<const void**>(t)[8] = &bad;
  EXPECT_EQ(_tarrsSSMinmax(nullptr, TARR_SS_MIN, 0), TARR_SS_ERROR_NULL_TASK);
  EXPECT_EQ(_tarrsSSMinmax(t, TARR_SS_MIN | TARR_SS_MAX, 0), TARR_SS_ERROR_BAD_STORAGE);  // storage first
  reinterpret_cast<const void**>(t)[8] = nullptr;
  EXPECT_EQ(_tarrsSSMinmax(t, TARR_SS_MIN, 1), TARR_SS_ERROR_NULL_STORAGE_ITEM);
  reinterpret_cast<const void**>(t)[8] = &st;
  ASSERT_EQ(_tarrsSSMinmax(t, TARR_SS_MIN | TARR_SS_MAX, 1), 0);
  EXPECT_EQ(lo[0], -20.0f);
  EXPECT_EQ(hi[1], 59.0f);
  int32_t zero = 0;
  reinterpret_cast<const void**>(t)[3] = &zero;
  EXPECT_EQ(_tarrsSSMinmax(t, TARR_SS_MIN, 1), TARR_SS_ERROR_BAD_NOBS);
  reinterpret_cast<const void**>(t)[3] = &n;
  reinterpret_cast<const void**>(t)[5] = nullptr;
  EXPECT_EQ(_tarrsSSMinmax(t, TARR_SS_MIN, 1), TARR_SS_ERROR_NULL_OBSERVATIONS);
  __tarrSSDeleteTask(&t);
}

}  // namespace

// ---- one thread against several ----------------------------------------------------------
// The thread count is fixed when the host pool starts, so the one-thread run is this binary run
// again with ZORP_CORE_NUM_THREADS=1; it writes its results to a file that the parent compares.
namespace {
std::vector<double> threaded_results() {
  const Data d = make_data(50000, 6, 1e6, 1.0, 1.0, 16);
  std::vector<double> out;
  for (int storage : {1, 2}) {
    SSRun<double> run(d, storage);
    EXPECT_EQ(run.basic(kMoments | kDerived | kSums | kMatrices, TARR_SS_METHOD_1PASS_CENTRAL), 0);
    for (auto* v : {&run.mean, &run.r4, &run.c2, &run.c3, &run.c4, &run.kurt, &run.cs4, &run.cov, &run.cor, &run.cp})
      out.insert(out.end(), v->begin(), v->end());
  }
  return out;
}
}  // namespace

TEST(SSThreads, OneAndSeveralThreadsAgree) {
  if (const char* dump = std::getenv("ZORP_SS_DUMP")) {
    const std::vector<double> r = threaded_results();
    FILE* f = std::fopen(dump, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(r.data(), sizeof(double), r.size(), f);
    std::fclose(f);
    return;
  }
  if (zorp_tarr_serv_threader_get_num_threads_limit() < 2) GTEST_SKIP() << "one thread only on this host";
  const std::vector<double> many = threaded_results();
  const std::string self = zorp::test::self_path();
  ASSERT_FALSE(self.empty());
  const std::string path = testing::TempDir() + "ss_one_thread.bin";
  // The child inherits both variables; this process read its thread count long ago.
  zorp::test::set_env("ZORP_CORE_NUM_THREADS", "1");
  zorp::test::set_env("ZORP_SS_DUMP", path.c_str());
  const std::string cmd = self + " --gtest_filter=SSThreads.OneAndSeveralThreadsAgree > " + zorp::test::null_device();
  const int rc = std::system(cmd.c_str());
  zorp::test::unset_env("ZORP_CORE_NUM_THREADS");
  zorp::test::unset_env("ZORP_SS_DUMP");
  ASSERT_EQ(rc, 0);
  std::vector<double> one(many.size());
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fread(one.data(), sizeof(double), one.size(), f), one.size());
  std::fclose(f);
  std::remove(path.c_str());
  int differ = 0;
  for (size_t k = 0; k < one.size(); ++k) {
    EXPECT_LT(rel(many[k], one[k]), 1e-11) << k;
    differ += many[k] != one[k];
  }
  // The split must really have happened: some results differ in their last bits.
  EXPECT_GT(differ, 0);
}
