// The block structure of the one-pass moments: shapes that put observations and components on
// every kind of boundary (a single observation, partial sub-blocks, a masked last group of
// components, rows wide enough for the tiled path and for more than one tile, a run of zero
// weights filling a whole sub-block, an index array that changes the path), each in both
// layouts against the compensated long double reference; and the square root helper against
// MPFR.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ss/reference.h"
#include "zorp/ss.h"

namespace {

using namespace zorp::test::ss;

struct Shape {
  const char* name;
  int64_t p, n;
  bool weighted;
  bool every_other;  // index array selecting components 0, 2, 4, ...
};

// Sub-blocks are 1024 observations of one component, or 8192/p' rows (p' = p rounded up to a
// multiple of 8) of all components: 1024 rows for p <= 8, 60 rows for p = 130.
const Shape kShapes[] = {
    {"OneObservation", 3, 1, false, false},
    {"OneComponentZeroWeightSubBlock", 1, 5000, true, false},
    {"MaskedLastGroup", 9, 3001, true, false},
    {"TiledRows", 33, 1500, false, false},
    {"TiledRowsThroughIndexArray", 33, 1500, true, true},
    {"TwoTiles", 130, 700, true, false},
};

class SSBlocks : public testing::TestWithParam<std::tuple<Shape, int>> {};

TEST_P(SSBlocks, MomentsAndMatricesMatchReference) {
  const Shape sh = std::get<0>(GetParam());
  const int storage = std::get<1>(GetParam());
  const Data d = make_data(sh.n, sh.p, 1e6, 1.0, 1.0, 100 + sh.p);
  std::vector<double> w;
  if (sh.weighted) {
    std::mt19937_64 g(sh.n);
    w.resize(sh.n);
    for (auto& v : w) v = std::uniform_real_distribution<double>(0.0, 2.0)(g);
    for (int64_t i = 1024; i < std::min<int64_t>(2048, sh.n); ++i) w[i] = 0;  // a whole sub-block when n > 2048
  }
  const Reference r = reference(d.n, d.p, [&](int64_t i, int64_t j) { return d.at(i, j); }, w.empty() ? nullptr : w.data());
  const int64_t p = sh.p, n = sh.n;
  std::vector<int32_t> idx(p);
  for (int64_t j = 0; j < p; ++j) idx[j] = sh.every_other ? int32_t(j % 2 == 0) : 1;
  const std::vector<double> x = d.layout(storage);
  const int32_t p32 = int32_t(p), n32 = int32_t(n);
  const int32_t st = storage == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2, full = 0;
  std::vector<double> mean(p, kSentinel), r2 = mean, r3 = mean, r4 = mean, c2 = mean, c3 = mean, c4 = mean,
                                          cs2 = mean, cs3 = mean, cs4 = mean, cov(p * p, kSentinel), cor = cov;
  double acc[2] = {0, 0};
  TarrSSTask* t = nullptr;
  ASSERT_EQ(__tarrdSSNewTask(&t, &p32, &n32, &st, x.data(), w.empty() ? nullptr : w.data(), idx.data(), 0), 0);
  __tarrdSSEditMoments(t, mean.data(), r2.data(), r3.data(), r4.data(), c2.data(), c3.data(), c4.data());
  __tarrdSSEditTask(t, TARR_SS_PARAM_CENTRAL_SUM_2, cs2.data());
  __tarrdSSEditTask(t, TARR_SS_PARAM_CENTRAL_SUM_3, cs3.data());
  __tarrdSSEditTask(t, TARR_SS_PARAM_CENTRAL_SUM_4, cs4.data());
  __tarrdSSEditCovCor(t, nullptr, cov.data(), &full, cor.data(), &full);
  __tarrdSSEditTask(t, TARR_SS_PARAM_ACCUM_WEIGHTS, acc);
  const uint64_t est = TARR_SS_MEAN | TARR_SS_RAW_MOMENT_2 | TARR_SS_RAW_MOMENT_3 | TARR_SS_RAW_MOMENT_4 |
                       TARR_SS_CENTRAL_MOMENT_2 | TARR_SS_CENTRAL_MOMENT_3 | TARR_SS_CENTRAL_MOMENT_4 |
                       TARR_SS_CENTRAL_SUM_2 | TARR_SS_CENTRAL_SUM_3 | TARR_SS_CENTRAL_SUM_4 | TARR_SS_COV | TARR_SS_COR;
  ASSERT_EQ(_tarrdSSBasic(t, est, TARR_SS_METHOD_1PASS_CENTRAL), 0);
  __tarrSSDeleteTask(&t);

  EXPECT_LT(rel(acc[0], r.W), 1e-14);
  EXPECT_LT(rel(acc[1], r.W2), 1e-14);
  for (int64_t j = 0; j < p; ++j) {
    if (!idx[j]) {
      EXPECT_EQ(mean[j], kSentinel) << j;
      EXPECT_EQ(c4[j], kSentinel) << j;
      EXPECT_EQ(cov[j + j * p], kSentinel) << j;
      continue;
    }
    EXPECT_LT(rel(mean[j], r.mean[j]), 1e-13) << j;
    EXPECT_LT(rel(r2[j], r.raw2[j]), 1e-13) << j;
    EXPECT_LT(rel(r3[j], r.raw3[j]), 1e-13) << j;
    EXPECT_LT(rel(r4[j], r.raw4[j]), 1e-13) << j;
    if (n == 1) {  // no spread: every central quantity is exactly zero
      EXPECT_EQ(mean[j], d.at(0, j)) << j;
      EXPECT_EQ(cs2[j], 0.0) << j;
      EXPECT_EQ(c3[j], 0.0) << j;
      EXPECT_EQ(c4[j], 0.0) << j;
      continue;
    }
    EXPECT_LT(rel(cs2[j], r.s2[j]), 1e-12) << j;
    EXPECT_LT(rel(c2[j], r.c2(j)), 1e-12) << j;
    EXPECT_LT(rel(c3[j], r.c3(j)), 1e-10) << j;
    EXPECT_LT(rel(c4[j], r.c4(j)), 1e-11) << j;
    EXPECT_LT(rel(cs3[j], r.s3[j]), 1e-10) << j;
    EXPECT_LT(rel(cs4[j], r.s4[j]), 1e-11) << j;
    for (int64_t k = 0; k < p; ++k) {
      if (!idx[k]) {
        EXPECT_EQ(cov[j + k * p], kSentinel);
        continue;
      }
      EXPECT_LT(rel(cov[j + k * p], r.cov(int(j), int(k))), 1e-12) << j << "," << k;
      if (j != k) EXPECT_LT(rel(cor[j + k * p], r.cor(int(j), int(k))), 1e-12) << j << "," << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, SSBlocks, testing::Combine(testing::ValuesIn(kShapes), testing::Values(1, 2)),
                         [](const auto& i) {
                           return std::string(std::get<0>(i.param).name) +
                                  (std::get<1>(i.param) == 1 ? "ByComponent" : "ByObservation");
                         });

// ---- __tarrdSqrt --------------------------------------------------------------------------
TEST(SSSupport, SqrtIsCorrectlyRounded) {
  std::mt19937_64 g(5);
  mpfr_t a;
  mpfr_init2(a, 53);
  std::vector<double> xs = {0.0, 1.0, 2.0, 4.0, 0.25, std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
                            std::nextafter(1.0, 2.0), std::nextafter(4.0, 0.0)};
  for (int k = 0; k < 20000; ++k) {  // random bit patterns: every exponent, subnormals included
    uint64_t b = g() & 0x7FFFFFFFFFFFFFFFull;
    double x;
    std::memcpy(&x, &b, 8);
    if (std::isfinite(x)) xs.push_back(x);
  }
  for (double x : xs) {
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfr_sqrt(a, a, MPFR_RNDN);
    const double want = mpfr_get_d(a, MPFR_RNDN), got = __tarrdSqrt(x);
    ASSERT_EQ(std::memcmp(&got, &want, 8), 0) << x;
  }
  mpfr_clear(a);
  const double nz = __tarrdSqrt(-0.0);
  EXPECT_TRUE(nz == 0.0 && std::signbit(nz));
  EXPECT_TRUE(std::isnan(__tarrdSqrt(-1.0)));
  EXPECT_TRUE(std::isnan(__tarrdSqrt(-std::numeric_limits<double>::denorm_min())));
  EXPECT_TRUE(std::isnan(__tarrdSqrt(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(__tarrdSqrt(std::numeric_limits<double>::infinity()), std::numeric_limits<double>::infinity());
}

}  // namespace
