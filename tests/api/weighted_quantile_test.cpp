// The weighted quantile through the checked interface: values worked out by hand from the rule
// (the first value of positive weight whose cumulative weight reaches q W, the midpoint where it
// equals q W exactly), its refusals, and the order it keeps surviving a move of the task.
#include <gtest/gtest.h>

#include <vector>

#include "zorp/zorp.hpp"

namespace {

template <class T>
class WeightedQuantile : public ::testing::Test {};
using Types = ::testing::Types<float, double>;
TYPED_TEST_SUITE(WeightedQuantile, Types);

// Two components of four observations, stored component after component.
template <class T>
const std::vector<T> kData = {1, 2, 3, 4, 10, 40, 30, 20};

TYPED_TEST(WeightedQuantile, ValuesByTheRule) {
  using T = TypeParam;
  const std::vector<T> uneven = {0, 1, 3, 0};
  struct Row {
    bool weighted;
    T q, first, second;
  } rows[] = {
      {false, 0.5, 2.5, 25},  // cumulative weight meets q W exactly: the midpoint
      {false, 0.0, 1, 10},
      {false, 1.0, 4, 40},
      {false, 0.6, 3, 30},
      {true, 0.5, 3, 30},     // weights 0, 1, 3, 0: zero-weight values never chosen
      {true, 0.0, 2, 30},
      {true, 1.0, 3, 40},
  };
  for (const Row& row : rows) {
    zorp::ss::task<T> t(kData<T>, 2, 4, zorp::ss::layout::by_component);
    if (row.weighted) t.weights(uneven);
    std::vector<T> r(2, -1);
    ASSERT_EQ(t.weighted_quantile(row.q, r, std::nothrow), 0) << row.q;
    EXPECT_EQ(r[0], row.first) << "q " << row.q << (row.weighted ? " weighted" : "");
    EXPECT_EQ(r[1], row.second) << "q " << row.q << (row.weighted ? " weighted" : "");
  }
}

TYPED_TEST(WeightedQuantile, SizeAndOrderRefusalsWriteNothing) {
  using T = TypeParam;
  zorp::ss::task<T> t(kData<T>, 2, 4, zorp::ss::layout::by_component);
  std::vector<T> r(2, -1);
  std::vector<T> short_r(1, -1);
  EXPECT_EQ(t.weighted_quantile(T(0.5), short_r, std::nothrow), ZORP_ERROR_BAD_SIZE);
  EXPECT_EQ(short_r[0], T(-1));
  // Orders outside [0, 1] are the routine's to refuse (1 itself is a row of ValuesByTheRule).
  EXPECT_LT(t.weighted_quantile(T(1.0001), r, std::nothrow), 0);
  EXPECT_THROW(t.weighted_quantile(T(-0.0001), r), zorp::error);
  EXPECT_EQ(r, std::vector<T>(2, -1));
}

// The task points at the order it was given: after a move, a quantile computed by the moved-to
// task still reads it (the address sanitizer catches a pointer into the moved-from object).
TYPED_TEST(WeightedQuantile, OrderMovesWithTheTask) {
  using T = TypeParam;
  std::vector<T> r(2);
  zorp::ss::task<T> b = [&] {  // the moved-from task is gone before b computes
    zorp::ss::task<T> a(kData<T>, 2, 4, zorp::ss::layout::by_component);
    a.weighted_quantile(T(0.25), r);
    return zorp::ss::task<T>(std::move(a));
  }();
  r.assign(2, -1);
  b.compute(TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES);
  EXPECT_EQ(r, (std::vector<T>{T(1.75), T(17.5)}));  // (n - 1) q = 0.75 between the first two
}

}  // namespace
