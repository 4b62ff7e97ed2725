// The multinomial on both of its paths (trial by trial below 17 trials, a Poisson start above):
// every vector's counts add up to ntrial, a category's count is binomial, and the parameter
// checks refuse at their boundaries with nothing written.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cdf.h"
#include "common/guarded.h"
#include "zorp/core.h"
#include "zorp/rng.h"

namespace {

using zorp::test::GuardedArray;
constexpr int32_t kBadProbabilities = TARR_ERROR_BAD_PROBABILITIES;

StreamState* stream(uint32_t seed) {
  StreamState* s = nullptr;
  EXPECT_EQ(__tarrNewStreamEx(&s, TARR_BRNG_MT19937, 1, &seed), 0);
  return s;
}

struct Case {
  int32_t ntrial;
  std::vector<double> p;
};
std::string name(const testing::TestParamInfo<Case>& i) {
  return "ntrial" + std::to_string(i.param.ntrial) + "_k" + std::to_string(i.param.p.size());
}
std::vector<Case> cases() {
  std::vector<double> many(40);
  for (int j = 0; j < 40; ++j) many[j] = (j % 4 + 1) / 100.0;  // sums to 1
  return {{1, {0.25, 0.75}},  {16, {0.5, 0.25, 0.125, 0.125}}, {17, {0.5, 0.25, 0.125, 0.125}},
          {40, many},         {100, {0.1, 0.2, 0.3, 0.4}},      {5000, {0.625, 0.375}},
          {30, {1.0}},        {1000, many}};
}

class Multinomial : public testing::TestWithParam<Case> {};
TEST_P(Multinomial, CountsAddUpAndEachCategoryIsBinomial) {
  const Case& c = GetParam();
  const int32_t k = static_cast<int32_t>(c.p.size()), n = 20000;
  StreamState* s = stream(17 + c.ntrial);
  GuardedArray<int32_t> r(static_cast<size_t>(n) * k);
  ASSERT_EQ(_tarriRngMultinomial(0, s, n, r.data(), c.ntrial, k, c.p.data()), 0);
  // Category 0 and the last one: the first and last cumulative step of the placement.
  std::vector<int64_t> first, last;
  for (int32_t v = 0; v < n; ++v) {
    int64_t sum = 0;
    for (int32_t j = 0; j < k; ++j) {
      ASSERT_GE(r[v * k + j], 0);
      sum += r[v * k + j];
    }
    ASSERT_EQ(sum, c.ntrial) << "vector " << v;
    first.push_back(r[v * k]);
    last.push_back(r[v * k + k - 1]);
  }
  for (auto [seen, p] : {std::pair{&first, c.p[0]}, std::pair{&last, c.p[k - 1]}}) {
    if (p >= 1) continue;  // one category: the sum test above is the whole distribution
    const auto fit = zorp::test::chi_square(*seen, 0, c.ntrial, [&](int64_t j) { return zorp::test::binomial_pmf(c.ntrial, p, j); });
    if (fit.df > 0) EXPECT_LT(fit.stat, zorp::test::chi_square_bound(fit.df, 1e-6)) << "p " << p;
  }
  __tarrDeleteStream(&s);
}
INSTANTIATE_TEST_SUITE_P(Paths, Multinomial, testing::ValuesIn(cases()), name);

TEST(MultinomialChecks, RefuseAtTheirBoundariesAndWriteNothing) {
  StreamState* s = stream(9);
  struct Row {
    const char* what;
    int32_t n, ntrial;
    std::vector<double> p;
    int32_t status;
  };
  const Row rows[] = {
      {"sum 1.0005 accepted", 3, 10, {0.5, 0.5005}, 0},
      {"sum 0.9995 accepted", 3, 10, {0.5, 0.4995}, 0},
      {"sum 1.002 refused", 3, 10, {0.5, 0.502}, kBadProbabilities},
      {"sum 0.998 refused", 3, 10, {0.5, 0.498}, kBadProbabilities},
      {"negative p refused", 3, 10, {1.1, -0.1}, kBadProbabilities},
      {"NaN p refused", 3, 10, {NAN, 1.0}, kBadProbabilities},
      {"zero p accepted", 3, 10, {0.0, 1.0}, 0},
      {"no category refused", 3, 10, {}, kBadProbabilities},
      {"n = 0 writes nothing", 0, 10, {0.5, 0.5}, 0},
      {"n = -1 writes nothing", -1, 10, {0.5, 0.5}, 0},
  };
  for (const Row& row : rows) {
    const int32_t k = static_cast<int32_t>(row.p.size());
    GuardedArray<int32_t> r(8);
    for (int i = 0; i < 8; ++i) r[i] = -5;
    EXPECT_EQ(_tarriRngMultinomial(0, s, row.n, r.data(), row.ntrial, k, row.p.data()), row.status) << row.what;
    const int written = row.status == 0 && row.n > 0 ? row.n * k : 0;
    for (int i = 0; i < 8; ++i) {
      if (i < written) EXPECT_GE(r[i], 0) << row.what << ", element " << i;
      else EXPECT_EQ(r[i], -5) << row.what << ", element " << i;
    }
  }
  // No trials: zeros, whatever the probabilities.
  GuardedArray<int32_t> r(6);
  for (int i = 0; i < 6; ++i) r[i] = -5;
  const double bad[3] = {2, 2, 2};
  EXPECT_EQ(_tarriRngMultinomial(0, s, 2, r.data(), 0, 3, bad), 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r[i], 0) << "element " << i;
  __tarrDeleteStream(&s);
}

TEST(MultinomialChecks, AllocationFailureGivesNoMemoryAndLeaksNothing) {
  const int64_t at_start = zorp_core_live_allocations();
  StreamState* s = stream(4);
  const double p[3] = {0.2, 0.3, 0.5};
  GuardedArray<int32_t> r(6);
  const int64_t live = zorp_core_live_allocations();
  zorp_core_fail_allocation(1);
  EXPECT_EQ(_tarriRngMultinomial(0, s, 2, r.data(), 50, 3, p), TARR_ERROR_NO_MEMORY);
  zorp_core_fail_allocation(0);
  EXPECT_EQ(zorp_core_live_allocations(), live);
  EXPECT_EQ(_tarriRngMultinomial(0, s, 2, r.data(), 50, 3, p), 0);
  __tarrDeleteStream(&s);  // and with it the Poisson start's set-up chunk
  EXPECT_EQ(zorp_core_live_allocations(), at_start);
}

}  // namespace
