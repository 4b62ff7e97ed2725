// Basic statistics against compensated two-pass references in long double: hard data (mean 1e6,
// spread 1) where a naive sum of squares fails, through every path (both observation layouts,
// weights and a run of zero weights, cumulative calls, packed matrix storage, component indices,
// threads, and block shapes that put observations and components on every kind of boundary);
// 64-bit task integers, float tasks, the sum-to-moment methods, every status code in check
// order, allocation failure; and the minimum/maximum routine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <limits>
#include <vector>

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

// Every path to the moments, covariance and correlation on data with mean 1e6 and spread 1
// reaches the accuracy of the plain one.  Errors of matrix entries are taken relative to
// sqrt(c_ii c_jj).  On the p = 5 paths the plain path is within about 1e-15 and the weighted
// packed paths reach 1.01e-14 in the Windows build, so the bound is 3e-14: a path that loses two
// or three digits (a plain sum of x for the mean, or a continuation that takes the stored,
// rounded mean for the earlier data's own) fails it.  The block shapes (sub-blocks are 1024
// observations of one component, or 8192/p' rows of all components, p' = p rounded up to a
// multiple of 8: 1024 rows for p <= 8, 60 for p = 130) are held to 1e-12, and to 100 and 10
// times that for the third and fourth central sums, which only method 0x100 keeps accurate.
struct Path {
  const char* name;
  int64_t p, n;   // 60,000 is enough to split the observations among threads
  int storage;    // 1, 2, or 0 for both
  bool weighted;  // uniform on (0, 2), observations 1024 .. 2047 weight 0
  int fmt;        // storage word of the covariance, correlation and cross-product
  int index;      // 1: leave component 3 out; 2: every odd component
  int calls;      // the data in one call, or in two (split at 7777)
  uint64_t est;
  uint32_t method;
  double tol_mean, tol;
  bool wide = false;  // 64-bit task integers and indices
};
constexpr uint64_t kCovCor = TARR_SS_COV | TARR_SS_COR;
constexpr uint64_t kWithMoments = kCovCor | TARR_SS_CP | TARR_SS_CENTRAL_MOMENT_2 | TARR_SS_CENTRAL_SUM_2 | TARR_SS_VARIATION;
constexpr uint64_t kBlocks = kMoments | TARR_SS_CENTRAL_SUM_2 | TARR_SS_CENTRAL_SUM_3 | TARR_SS_CENTRAL_SUM_4 | kCovCor;
constexpr uint32_t k1Pass = TARR_SS_METHOD_1PASS, kCentral = TARR_SS_METHOD_1PASS_CENTRAL;
constexpr int kU = TARR_SS_MATRIX_STORAGE_U_PACKED, kL = TARR_SS_MATRIX_STORAGE_L_PACKED;
const Path kPaths[] = {
    {"BothLayouts", 5, 20000, 0, false, 0, 0, 1, kCovCor, k1Pass, 2e-16, 3e-14},
    {"WithMoments", 5, 20000, 1, false, 0, 0, 1, kWithMoments, kCentral, 2e-16, 3e-14},
    {"WeightedByObservationPacked", 5, 20000, 2, true, kU, 0, 1, kWithMoments, k1Pass, 2e-16, 3e-14},
    {"IndexArray", 5, 20000, 1, false, 0, 1, 1, kCovCor | kMoments | kDerived | kSums | TARR_SS_CP, k1Pass, 2e-16, 3e-14},
    {"TwoCallsWeightedPackedByObservation", 5, 20000, 2, true, kL, 1, 2, kWithMoments, k1Pass, 2e-16, 3e-14},
    {"TwoCallsCentralSums", 5, 20000, 0, false, 0, 0, 2, kBlocks | TARR_SS_SUM, k1Pass, 2e-16, 3e-14},
    {"TwoCallsCentralSumsKept", 5, 20000, 0, false, 0, 0, 2, kBlocks | TARR_SS_SUM, kCentral, 1e-13, 1e-12},
    {"Threads", 5, 60000, 1, true, 0, 0, 1, kWithMoments, k1Pass, 2e-16, 3e-14},
    {"ThreadsByObservationIndexArray", 5, 60000, 2, false, kU, 1, 1, kCovCor, kCentral, 2e-16, 3e-14},
    {"WideItems", 3, 5000, 2, false, 0, 2, 1, kMoments | kDerived | kSums | kCovCor | TARR_SS_CP, k1Pass, 2e-16, 3e-14, true},
    {"OneObservation", 3, 1, 0, false, 0, 0, 1, kBlocks, kCentral, 1e-13, 1e-12},
    {"OneComponentZeroWeightSubBlock", 1, 5000, 0, true, 0, 0, 1, kBlocks, kCentral, 1e-13, 1e-12},
    {"MaskedLastGroup", 9, 3001, 0, true, 0, 0, 1, kBlocks, kCentral, 1e-13, 1e-12},
    {"TiledRowsThroughIndexArray", 33, 1500, 0, true, 0, 2, 1, kBlocks, kCentral, 1e-13, 1e-12},
    {"TwoTiles", 130, 700, 0, true, 0, 0, 1, kBlocks, kCentral, 1e-13, 1e-12},
};

void PrintTo(const Path& p, std::ostream* os) { *os << p.name; }

class SSPaths : public testing::TestWithParam<Path> {};

TEST_P(SSPaths, EveryPathReachesFullAccuracy) {
  const Path& pa = GetParam();
  const int64_t p = pa.p;
  const Data d = make_data(pa.n, p, 1e6, 1.0, 1.0, 100 + p);
  std::vector<double> w;
  if (pa.weighted) {
    std::mt19937_64 g(9);
    for (int64_t i = 0; i < d.n; ++i) w.push_back(i >= 1024 && i < 2048 ? 0.0 : std::uniform_real_distribution<double>(0.0, 2.0)(g));
  }
  const Reference r = ref_of(d, &w);
  std::vector<int32_t> idx(p);
  // Any value but 0 selects a component.
  for (int64_t j = 0; j < p; ++j) idx[j] = pa.index == 1 ? 5 * (j != 3) : pa.index == 2 ? 7 * (j % 2 == 0) : 1;
  const std::vector<int64_t> idx64(idx.begin(), idx.end());
  const void* indices = !pa.index ? nullptr : pa.wide ? (const void*)idx64.data() : idx.data();
  const auto has = [&](uint64_t bits) { return (pa.est & bits) == bits; };
  const int64_t h = pa.calls == 2 ? 7777 : d.n;
  const Data first{h, p, std::vector<double>(d.obs.begin(), d.obs.begin() + h * p)};
  const Data rest{d.n - h, p, std::vector<double>(d.obs.begin() + h * p, d.obs.end())};
  const std::vector<double> wfirst(w.begin(), w.begin() + (w.empty() ? 0 : h));
  for (int storage : {1, 2}) {
    if (pa.storage && storage != pa.storage) continue;
    SCOPED_TRACE(testing::Message() << "storage " << storage);
    SSRun<double> run(first, storage, &wfirst, pa.wide, pa.fmt, indices);
    ASSERT_EQ(run.basic(pa.est | TARR_SS_MEAN, pa.method), 0);
    if (pa.calls == 2) {  // continued through the accumulator and the stored results
      run.continue_with(rest, storage, w.empty() ? nullptr : w.data() + h);
      ASSERT_EQ(run.basic(pa.est | TARR_SS_MEAN, pa.method), 0);
      // Method 0x2 loses the third and fourth central sums of the hard data against the
      // reference, but not against one call over all of it.
      SSRun<double> whole(d, storage, &w, pa.wide, pa.fmt, indices);
      ASSERT_EQ(whole.basic(pa.est | TARR_SS_MEAN, pa.method), 0);
      for (int a = 0; a < p; ++a) {
        EXPECT_LT(rel(run.cs3[a], whole.cs3[a]), 1e-10) << a;
        EXPECT_LT(rel(run.cs4[a], whole.cs4[a]), 1e-11) << a;
      }
    }
    EXPECT_LT(rel(run.acc[0], r.W), 1e-14);
    EXPECT_LT(rel(run.acc[1], r.W2), 1e-14);
    for (int a = 0; a < p; ++a) {
      if (!idx[a]) {  // nothing of a component left out is written
        for (auto* v : run.vectors()) EXPECT_EQ((*v)[a], kSentinel) << a;
        for (int b = 0; b < p; ++b) EXPECT_TRUE(run.cov[at(a, b, p, pa.fmt)] == kSentinel && run.cp[at(a, b, p, pa.fmt)] == kSentinel) << a;
        continue;
      }
      EXPECT_LT(rel(run.mean[a], r.mean[a]), pa.tol_mean) << a;
      if (has(TARR_SS_SUM)) EXPECT_LT(rel(run.sum[a], r.mean[a] * r.W), 1e-14) << a;
      if (has(TARR_SS_RAW_MOMENT_4)) {
        EXPECT_LT(rel(run.r2[a], r.raw2[a]), 1e-13) << a;
        EXPECT_LT(rel(run.r3[a], r.raw3[a]), 1e-13) << a;
        EXPECT_LT(rel(run.r4[a], r.raw4[a]), 1e-13) << a;
      }
      if (d.n == 1) {  // no spread: the mean is the observation, every central sum exactly zero
        EXPECT_EQ(run.mean[a], d.at(0, a));
        for (double v : {run.cs2[a], run.c3[a], run.c4[a]}) EXPECT_EQ(v, 0.0) << a;
        continue;
      }
      if (has(TARR_SS_CENTRAL_MOMENT_2)) EXPECT_LT(rel(run.c2[a], r.c2(a)), pa.tol) << a;
      if (has(TARR_SS_CENTRAL_SUM_2)) EXPECT_LT(rel(run.cs2[a], r.s2[a]), pa.tol) << a;
      if (has(TARR_SS_VARIATION)) EXPECT_LT(rel(run.var[a], std::sqrt(r.c2(a)) / r.mean[a]), pa.tol) << a;
      if (pa.method == kCentral && has(kBlocks)) {
        EXPECT_LT(rel(run.c3[a], r.c3(a)), 100 * pa.tol) << a;
        EXPECT_LT(rel(run.cs3[a], r.s3[a]), 100 * pa.tol) << a;
        EXPECT_LT(rel(run.c4[a], r.c4(a)), 10 * pa.tol) << a;
        EXPECT_LT(rel(run.cs4[a], r.s4[a]), 10 * pa.tol) << a;
      }
      for (int b = 0; b < p; ++b) {
        if (!idx[b]) continue;
        const double scale = double(std::sqrt(r.cov(a, a) * r.cov(b, b)));
        const int64_t k = at(a, b, p, pa.fmt);
        EXPECT_LT(std::fabs(run.cov[k] - double(r.cov(a, b))) / scale, pa.tol) << a << "," << b;
        EXPECT_LT(std::fabs(run.cor[k] - double(r.cor(a, b))), pa.tol) << a << "," << b;
        if (has(TARR_SS_CP)) EXPECT_LT(std::fabs(run.cp[k] - double(r.cp[a + p * b])) / (scale * double(r.B())), pa.tol);
      }
    }
    // Packed storage writes nothing beyond its triangle.
    if (pa.fmt) EXPECT_EQ(run.cov[p * (p + 1) / 2], kSentinel);
    if (pa.wide) {  // a zero count read as 64 bits is refused
      run.n64 = 0;
      EXPECT_EQ(run.basic(TARR_SS_MEAN, TARR_SS_METHOD_1PASS), TARR_SS_ERROR_BAD_NOBS);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(HardData, SSPaths, testing::ValuesIn(kPaths), [](const auto& i) { return std::string(i.param.name); });

class SSAccuracy : public testing::TestWithParam<int> {};

// Central moments from raw moments (methods 0x2 and 0x1) on data with a small mean: error
// bounded by the conditioning of r3 - 3 m r2 + 2 m^3 and r4 - 4 m r3 + 6 m^2 r2 - 3 m^4.  (Method
// 0x100, which keeps central sums, is held to full accuracy on the hard data by the block-shape
// tests.)
TEST_P(SSAccuracy, HigherMomentsFollowTheirConditioning) {
  const int storage = GetParam();
  const double eps = std::numeric_limits<double>::epsilon();
  const Data d = make_data(30000, 4, 0.5, 1.0, 1.0, 3);
  const Reference r = ref_of(d);
  for (uint32_t method : {TARR_SS_METHOD_1PASS, TARR_SS_METHOD_FAST}) {
    SCOPED_TRACE(testing::Message() << "method " << method);
    SSRun<double> run(d, storage);
    ASSERT_EQ(run.basic(kMoments | kDerived | TARR_SS_CENTRAL_SUM_2 | TARR_SS_CENTRAL_SUM_4, method), 0);
    for (int j = 0; j < d.p; ++j) {
      const long double m = std::fabs(r.mean[j]), c2 = r.c2(j);
      const long double cond3 = (std::fabs(r.raw3[j]) + 3 * m * r.raw2[j] + 2 * m * m * m) / std::fabs(r.c3(j));
      const long double cond4 =
          (r.raw4[j] + 4 * m * std::fabs(r.raw3[j]) + 6 * m * m * r.raw2[j] + 3 * m * m * m * m) / r.c4(j);
      EXPECT_LT(rel(run.c2[j], c2), 1e-12) << j;
      EXPECT_LT(rel(run.cs2[j], r.s2[j]), 1e-12) << j;
      EXPECT_LT(rel(run.c3[j], r.c3(j)), 16 * eps * double(cond3) + 1e-13) << j;
      EXPECT_LT(rel(run.c4[j], r.c4(j)), 16 * eps * double(cond4) + 1e-13) << j;
      EXPECT_LT(rel(run.cs4[j], r.s4[j]), 16 * eps * double(cond4) + 1e-13) << j;
      EXPECT_LT(rel(run.r3[j], r.raw3[j]), 1e-13);
      EXPECT_LT(rel(run.r4[j], r.raw4[j]), 1e-13);
      EXPECT_LT(rel(run.kurt[j], r.c4(j) / (c2 * c2) - 3), 16 * eps * double(cond4) * 10 + 1e-12);
      EXPECT_LT(rel(run.skew[j], r.c3(j) / std::sqrt(c2 * c2 * c2)), 16 * eps * double(cond3) + 1e-12);
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
    one.continue_with(Data{4, 2, {1, 2, 0, -1, 4, 8, 2, 2}}, storage);
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
  EXPECT_TRUE(std::isfinite(run.mean[5]) && std::isfinite(run.c2[5]));
}

INSTANTIATE_TEST_SUITE_P(Layouts, SSAccuracy, testing::Values(1, 2),
                         [](const auto& i) { return i.param == 1 ? "ByComponent" : "ByObservation"; });

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
const double kBareX[8] = {1, 2, 3, 4, 5, 6, 7, 8};
struct Bare : Task<double> {  // a task with only what each case registers, results into a
  double w[4] = {1, 1, 1, 1}, acc[2] = {0, 0};
  std::vector<double> a = std::vector<double>(64, kSentinel);
  Bare() : Task<double>(2, 4, 2, kBareX) {}
  Bare& with(int param, int k) {
    edit(param, &a[4 * k]);
    return *this;
  }
  Bare& acc_on() {
    edit(TARR_SS_PARAM_ACCUM_WEIGHTS, acc);
    return *this;
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
      {"storage word", TARR_SS_MEAN, 0x2, [](Bare& b) { b.with(7, 0); b.storage = 0x40000; }, TARR_SS_ERROR_BAD_STORAGE},
      {"sum-to-moment methods run", TARR_SS_MEAN, 0x400, [](Bare& b) { b.with(7, 0).with(67, 1); }, 0},
  };
  for (const Case& c : cases) {
    Bare b;
    c.setup(b);
    EXPECT_EQ(_tarrdSSBasic(b.t, c.est, c.method), c.expect) << c.what;
    if (c.expect != 0) EXPECT_TRUE(untouched(b.a)) << c.what;
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
// Both element types (1000 observations reach either type's vector path), both layouts, without
// weights, with observation 17 weighted out (and made the largest), and with every observation
// weighted out, which leaves nothing to report and the arrays as they were.
template <typename T>
class SSMinmax : public testing::Test {};
TYPED_TEST_SUITE(SSMinmax, Precisions);

TYPED_TEST(SSMinmax, ExtremesBothLayoutsWeightsAndContinuation) {
  using T = TypeParam;
  const auto minmax = sizeof(T) == 8 ? _tarrdSSMinmax : _tarrsSSMinmax;
  const Data d = make_data(1000, 3, 0.0, 1.0, 1.0, 15);
  const int32_t idx[3] = {1, 1, 0};
  for (int storage : {1, 2})
    for (int weights : {0, 1, 2}) {
      const std::vector<double> xd = d.layout(storage);
      std::vector<T> w(d.n, T(weights == 2 ? 0 : 1)), x(xd.begin(), xd.end()), lo(3, T(kSentinel)), hi(3, T(kSentinel));
      if (weights == 1) w[17] = 0, x[storage == 1 ? d.n + 17 : 17 * 3 + 1] = T(1e9);
      Task<T> t(3, int32_t(d.n), storage, x.data(), weights ? w.data() : nullptr, idx);
      t.edit({{TARR_SS_PARAM_EXTREME_LOW, lo.data()}, {TARR_SS_PARAM_EXTREME_HIGH, hi.data()}});
      ASSERT_EQ(minmax(t.t, TARR_SS_MIN | TARR_SS_MAX, TARR_SS_METHOD_MINMAX_NEW), 0);
      for (int j = 0; j < 2; ++j) {
        std::vector<T> v;
        for (int64_t i = 0; i < d.n; ++i)
          if (w[i] != 0) v.push_back(x[storage == 1 ? j * d.n + i : i * 3 + j]);
        EXPECT_EQ(lo[j], v.empty() ? T(kSentinel) : *std::min_element(v.begin(), v.end())) << storage << " " << weights;
        EXPECT_EQ(hi[j], v.empty() ? T(kSentinel) : *std::max_element(v.begin(), v.end())) << storage << " " << weights;
      }
      EXPECT_EQ(lo[2], T(kSentinel));
      // continuation merges with the stored values
      lo[0] = T(-1e6), hi[1] = T(1e6);
      const T lo1 = lo[1], hi0 = hi[0];
      ASSERT_EQ(minmax(t.t, TARR_SS_MIN | TARR_SS_MAX, TARR_SS_METHOD_MINMAX_CONTINUE), 0);
      EXPECT_TRUE(lo[0] == T(-1e6) && hi[1] == T(1e6) && lo[1] == lo1 && hi[0] == hi0) << storage << " " << weights;
    }
  // The extremes at each of the first 64 positions (every lane of the four accumulators of the
  // vector path, in either type) and at the last one: each is found.
  std::vector<T> y(1000);
  for (int i = 0; i < 1000; ++i) y[i] = T(i % 7);
  T ylo = 0, yhi = 0;
  Task<T> u(1, 1000, 1, y.data());
  u.edit({{TARR_SS_PARAM_EXTREME_LOW, &ylo}, {TARR_SS_PARAM_EXTREME_HIGH, &yhi}});
  for (int at = 0; at <= 64; ++at) {
    const int hi_at = at < 64 ? at : 999, lo_at = at < 64 ? 63 - at : 998;
    y[hi_at] = T(100), y[lo_at] = T(-100);
    ASSERT_EQ(minmax(u.t, TARR_SS_MIN | TARR_SS_MAX, TARR_SS_METHOD_MINMAX_NEW), 0);
    EXPECT_TRUE(yhi == T(100) && ylo == T(-100)) << "largest at " << hi_at << ", least at " << lo_at;
    y[hi_at] = T(hi_at % 7), y[lo_at] = T(lo_at % 7);
  }
}

TEST(SSMinmaxChecks, InOrderAndFloat) {
  const int32_t n = 40, p = 2, bad = 0x4, zero = 0, st = TARR_SS_MATRIX_STORAGE_1;
  std::vector<float> x(80), lo(2, float(kSentinel)), hi(2, float(kSentinel));
  for (int i = 0; i < 80; ++i) x[i] = float((i * 37) % 80) - 20.0f;
  Task<float> t(p, n, 1, x.data());
  uint64_t est = TARR_SS_MIN;
  uint32_t method = TARR_SS_METHOD_MINMAX_NEW;
  EXPECT_EQ(_tarrsSSMinmax(nullptr, TARR_SS_MIN, 0), TARR_SS_ERROR_NULL_TASK);
  climb([&] { return _tarrsSSMinmax(t.t, est, method); },
        {{TARR_SS_ERROR_NULL_EXTREME_LOW, [&] { t.edit(TARR_SS_PARAM_EXTREME_LOW, lo.data()), est |= TARR_SS_MAX; }},
         {TARR_SS_ERROR_NULL_EXTREME_HIGH, [&] { t.edit(TARR_SS_PARAM_EXTREME_HIGH, hi.data()), method = 0x4; }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = 0, t.set(8, &bad); }},  // the storage before the method
         {TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(8, nullptr), method = TARR_SS_METHOD_MINMAX_NEW; }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.set(8, &st), t.set(3, &zero); }},
         {TARR_SS_ERROR_BAD_NOBS, [&] { t.set(3, &n), t.set(5, nullptr); }},
         {TARR_SS_ERROR_NULL_OBSERVATIONS, [&] { t.set(5, x.data()), t.set(2, &zero); }},
         {TARR_SS_ERROR_BAD_DIMENSION, [&] { t.set(2, &p); }},
         {0, nullptr}},
        [&] { return untouched(lo) && untouched(hi); });
  EXPECT_EQ(lo[0], -20.0f);
  EXPECT_EQ(hi[1], 59.0f);
}

}  // namespace
