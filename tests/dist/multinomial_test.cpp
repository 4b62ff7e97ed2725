// The multinomial on both of its paths (trial by trial below 17 trials, a Poisson start above):
// every vector's counts add up to ntrial, a category's count is binomial, and the parameter
// checks refuse at their boundaries with nothing written.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "streams.h"

namespace {

using namespace zorp::test;
constexpr int32_t kBadProbabilities = TARR_ERROR_BAD_PROBABILITIES;

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
  Stream s = mt_stream(17 + c.ntrial);
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
    const auto fit = chi_square(*seen, 0, c.ntrial, [&](int64_t j) { return binomial_pmf(c.ntrial, p, j); });
    if (fit.df > 0) { EXPECT_LT(fit.stat, chi_square_bound(fit.df, 1e-6)) << "p " << p; }
  }
}
INSTANTIATE_TEST_SUITE_P(Paths, Multinomial, testing::ValuesIn(cases()), name);

// Below 17 trials each vector is its trials placed one by one: trial t takes the next uniform of
// the stream and goes to the first category whose cumulative probability reaches it. From 17 the
// Poisson start draws first, and a vector matches that rule only by chance.
TEST(MultinomialPaths, FewTrialsArePlacedOneByOne) {
  const double p[3] = {0.25, 0.5, 0.25};  // cumulative 0.25, 0.75, 1, all exact
  const int32_t n = 200;
  for (int32_t ntrial : {16, 17}) {
    Stream s = mt_stream(8), copy = s.copy();
    std::vector<int32_t> r(3 * n);
    std::vector<double> u(static_cast<size_t>(n) * ntrial);
    ASSERT_EQ(_tarriRngMultinomial(0, s, n, r.data(), ntrial, 3, p), 0);
    ASSERT_EQ(_tarrdRngUniform(0, copy, n * ntrial, u.data(), 0.0, 1.0), 0);
    int32_t placed = 0;  // vectors that are their trials placed one by one
    for (int32_t v = 0; v < n; ++v) {
      int32_t want[3] = {};
      for (int32_t t = 0; t < ntrial; ++t) {
        const double x = u[static_cast<size_t>(v) * ntrial + t];
        if (x > 0) ++want[x <= 0.25 ? 0 : x <= 0.75 ? 1 : 2];
      }
      placed += std::equal(want, want + 3, &r[3 * v]);
    }
    if (ntrial < 17) {
      EXPECT_EQ(placed, n);
    } else {
      EXPECT_LT(placed, n / 2);
    }
  }
}

TEST(MultinomialChecks, RefuseAtTheirBoundariesAndWriteNothing) {
  Stream s = mt_stream(9);
  struct Row {
    const char* what;
    int32_t n, ntrial;
    std::vector<double> p;
    int32_t status;
  };
  const Row rows[] = {
      // The sum's documented range [0.999, 1.001]: its ends and the doubles just outside.
      {"sum 1.001 accepted", 3, 10, {1.001}, 0},
      {"sum past 1.001 refused", 3, 10, {std::nextafter(1.001, 2.0)}, kBadProbabilities},
      {"sum 0.999 accepted", 3, 10, {0.5, 0.499}, 0},
      {"sum below 0.999 refused", 3, 10, {std::nextafter(0.999, 0.0)}, kBadProbabilities},
      {"negative p refused", 3, 10, {1.1, -0.1}, kBadProbabilities},
      {"NaN p refused", 3, 10, {NAN, 1.0}, kBadProbabilities},
      {"zero p accepted", 3, 10, {0.0, 1.0}, 0},
      {"no category refused", 3, 10, {}, kBadProbabilities},
      {"n = 0 writes nothing", 0, 10, {0.5, 0.5}, 0},
      {"n = -1 writes nothing", -1, 10, {0.5, 0.5}, 0},
      {"n = 0 ends the call before the checks", 0, 10, {2.0}, 0},
      {"no trials: zeros, whatever the probabilities", 2, 0, {2, 2, 2}, 0},
  };
  for (const Row& row : rows) {
    const int32_t k = static_cast<int32_t>(row.p.size());
    GuardedArray<int32_t> r(8);
    for (int i = 0; i < 8; ++i) r[i] = -5;
    EXPECT_EQ(_tarriRngMultinomial(0, s, row.n, r.data(), row.ntrial, k, row.p.data()), row.status) << row.what;
    const int written = row.status == 0 && row.n > 0 ? row.n * k : 0;
    for (int i = 0; i < 8; ++i) {
      if (i < written) EXPECT_TRUE(r[i] >= 0 && r[i] <= row.ntrial) << row.what << ", element " << i;
      else EXPECT_EQ(r[i], -5) << row.what << ", element " << i;
    }
  }
}

// The work array's allocation failing gives -4; a stream error in the Poisson start (which
// allocates nothing of its own) gives the stream's status; either way nothing is left allocated.
TEST(MultinomialChecks, FailuresGiveTheirStatusAndLeakNothing) {
  const int64_t at_start = zorp_core_live_allocations();
  Stream s = mt_stream(4);
  const double p[3] = {0.2, 0.3, 0.5};
  GuardedArray<int32_t> r(6);
  const int64_t live = zorp_core_live_allocations();
  zorp_core_fail_allocation(1);
  EXPECT_EQ(_tarriRngMultinomial(0, s, 2, r.data(), 50, 3, p), TARR_ERROR_NO_MEMORY);
  zorp_core_fail_allocation(0);
  EXPECT_EQ(zorp_core_live_allocations(), live);
  EXPECT_EQ(_tarriRngMultinomial(0, s, 2, r.data(), 50, 3, p), 0);
  s = Stream();
  EXPECT_EQ(_tarriRngMultinomial(0, scripted_stream(5, 1), 2, r.data(), 50, 3, p), kInjected);
  EXPECT_EQ(zorp_core_live_allocations(), at_start);
}

}  // namespace
