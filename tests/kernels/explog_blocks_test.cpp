// The shared building blocks of the exponential and logarithm kernels, where the kernels'
// own suites cannot see them: the callouts' status rule, the single-precision callouts' exact
// logarithm, and the HA Expm1 kernels in the band where their polynomials are stretched most.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <limits>
#include <vector>

#include "accuracy/rows.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/log_core.h"
#include "zorp/vm_functions.h"

namespace {

using namespace zorp::test;
using accuracy::set_exact;
using accuracy::round_to;
using zorp::vm::kGrowthReports;
using zorp::vm::kPoleReports;

template <typename T>
class BlocksTyped : public testing::Test {};
using Precisions = testing::Types<float, double>;
TYPED_TEST_SUITE(BlocksTyped, Precisions);

// One row per branch of the rule, in both precisions: result, argument, expected status for a
// function that overflows and underflows (e^x) and for one with a pole (ln x).
TYPED_TEST(BlocksTyped, CalloutStatusFollowsTheResult) {
  using T = TypeParam;
  using L = std::numeric_limits<T>;
  struct Row {
    T y, x;
    int growth, pole;
  };
  const Row rows[] = {
      {L::quiet_NaN(), L::quiet_NaN(), 0, 0},    // NaN in: never reported
      {L::quiet_NaN(), T(-1), 1, 1},             // NaN from a number: domain
      {L::quiet_NaN(), -L::infinity(), 1, 1},    // ln(-inf) is outside the domain too
      {L::infinity(), T(100), 3, 2},             // overflow, or the pole
      {-L::infinity(), T(0), 3, 2},
      {L::infinity(), L::infinity(), 0, 0},      // infinite in, infinite out
      {T(0), -L::infinity(), 0, 0},
      {T(0), T(-200), 4, 0},                     // total underflow; ln(1) = 0 is exact
      {L::denorm_min(), T(-100), 4, 0},
      {L::min(), T(-80), 0, 0},                  // the smallest normal result is no underflow
      {T(2.5), T(1), 0, 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ((zorp::vm::result_status<kGrowthReports>(r.y, r.x)), r.growth) << r.y << " from " << r.x;
    EXPECT_EQ((zorp::vm::result_status<kPoleReports>(r.y, r.x)), r.pole) << r.y << " from " << r.x;
  }
}

// A value of MPFR at the reference precision.
struct Mp {
  mpfr_t v;
  Mp() { mpfr_init2(v, accuracy::kRefPrecision); }
  ~Mp() { mpfr_clear(v); }
};

// n floats spread evenly over the bit patterns of [lo, hi] (both positive).
std::vector<float> spread_bits(size_t n, float lo, float hi, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<uint32_t> d(bits(lo), bits(hi));
  std::vector<float> v(n);
  for (float& x : v) x = std::bit_cast<float>(d(rng));
  return v;
}

template <typename R>
Sample<R> sample_of(const std::vector<R>& xs) {
  Sample<R> s;
  s.a = s.b = xs;
  s.n = xs.size();
  return s;
}

constexpr int kHa = 1;  // the HA slot

// ln x correctly rounded to single precision, from the callouts' double path.
float ln_rounded(float x) {
  Mp m;
  set_exact(m.v, x);
  mpfr_log(m.v, m.v, MPFR_RNDN);
  return round_to<float>(m.v);
}

// Every float within 2^-7 of 1 (the polynomial branch and both its edges), every slice of the
// 128-entry table in two binades, and arguments across the whole range, subnormals included:
// the callout's result is the correctly rounded logarithm.
TEST(LnExact, SinglePrecisionResultsAreCorrectlyRounded) {
  std::vector<float> xs;
  for (float x = 1.0f - 0x1p-7f - 0x1p-20f; x <= 1.0f + 0x1p-7f + 0x1p-19f; x = std::nextafter(x, 2.0f))
    xs.push_back(x);
  for (int i = 0; i < 128; ++i)
    for (int k = 0; k < 64; ++k)
      for (float binade : {0.5f, 1.0f}) xs.push_back(binade * (1.0f + (i + k / 64.0f) / 128.0f));
  for (float x : spread_bits(20000, std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max(), 3))
    xs.push_back(x);
  size_t wrong = 0;
  for (float x : xs) {
    float r;
    EXPECT_EQ((zorp::vm::log_callout<zorp::vm::Base::E, false>(&x, &r)), 0);
    if (r != ln_rounded(x) && wrong++ < 5) ADD_FAILURE() << "ln(" << x << ") gave " << r << ", not " << ln_rounded(x);
  }
  EXPECT_EQ(wrong, 0u) << "of " << xs.size();
}

// Subnormal doubles are scaled into the normal range first: still full double accuracy.
TEST(LnExact, DoubleSubnormalsAreScaledFirst) {
  for (double x : {std::numeric_limits<double>::denorm_min(), 0x1.8p-1060, 0x1.fffffp-1023}) {
    Mp m;
    set_exact(m.v, x);
    mpfr_log(m.v, m.v, MPFR_RNDN);
    const double r = zorp::vm::logscalar::ln_exact(x);
    EXPECT_LT((accuracy::error_of<double>(r, m.v, round_to<double>(m.v), false).first), 1.0) << x;
  }
}

// The HA kernels send subnormal and huge arguments (whose rounded reciprocal is not a normal
// number) to the callout: the results there are the correctly rounded logarithms in every base.
TEST(LnExact, SingleHaKernelsRoundTheSlowPathOnce) {
  std::vector<float> xs = spread_bits(2000, std::numeric_limits<float>::denorm_min(), 1e-38f, 5);
  for (float x : spread_bits(2000, 0x1p126f, std::numeric_limits<float>::max(), 6)) xs.push_back(x);
  for (const char* name : {"vsLn", "vsLog2", "vsLog10", "vsLog1p"}) {
    const accuracy::Stats<float> st = sweep<float>(row_named(name), kHa, sample_of(xs));
    EXPECT_TRUE(st.meets(accuracy::Class::CR)) << st.describe(name, accuracy::Class::CR);
  }
}

// The HA Expm1 polynomials carry one Taylor term beyond their published coefficients. Where
// r = x - k*ln2 nears ln2/16 with k = 1/16 (x about 0.086) the shorter sets reach 1.05 ulp
// (single) and 1.03 ulp (double); with the extra term both stay below one ulp.
TYPED_TEST(BlocksTyped, Expm1HaStaysBelowOneUlpWherePolynomialsStretch) {
  using T = TypeParam;
  std::mt19937_64 rng(21);
  std::vector<T> xs;
  for (int i = 0; i < 300000; ++i)
    xs.push_back(i % 3 ? std::uniform_real_distribution<T>(T(0.08), T(0.09))(rng)
                       : std::uniform_real_distribution<T>(T(-0.09), T(-0.08))(rng));
  const std::string name = sizeof(T) == 4 ? "vsExpm1" : "vdExpm1";
  const accuracy::Stats<T> st = sweep<T>(row_named(name), kHa, sample_of(xs));
  EXPECT_TRUE(st.meets(accuracy::Class::HA)) << st.describe(name, accuracy::Class::HA);
}

}  // namespace
