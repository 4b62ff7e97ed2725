// What the contracts cannot say about ErfInv: the double EP kernel's row selection at its ends
// (bit for bit the row's cubic), and the reports of every kernel for the poles and the domain
// errors: each element once, the argument as both arguments, the result as both results.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <dlfcn.h>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "vm/kernels/special/generated/erfinv_table.inc"
#include "common/reporting.h"
#include "zorp/vm.h"

namespace zorp::test {
namespace {

template <typename R>
using Fn = void (*)(int32_t, const R*, R*);

template <typename R>
Fn<R> kernel(char type, int slot) {
  return reinterpret_cast<Fn<R>>(kernel_table(type, "ErfInv")[slot]);
}

std::vector<ZorpVmErrorRecord>& g_records = reported();

// The table kernel's result for x from row `row`, as the kernel forms it.
double from_row(double x, int row) {
  const double y = std::fmin(1 - std::fmin(std::fabs(x), 0x1.fffffffffffffp-1), 0x1.fffffffffffffp-1);
  const double mid = std::bit_cast<double>((std::bit_cast<uint64_t>(y) & 0x3FFF000000000000ull) | 0x0000800000000000ull);
  const double t = y - mid;
  const double* q = zorp::vm::erfinvtab::kEpRows[row];
  return x * std::fma(std::fma(std::fma(q[3], t, q[2]), t, q[1]), t, q[0]);
}

TEST(ErfInvEp, ReadsTheRowOfYsSixteenthOfItsBinade) {
  struct Case {
    double x;
    int row;
  };
  const Case cases[] = {
      {0x1.fffffffffffffp-1, 0},      // 1 - 2^-53: the first row (exponent 970)
      {-0x1.fffffffffffffp-1, 0},     //
      {1 - 0x1.8p-50, 56},            // y = 1.5 2^-50: exponent 973, top bits 8
      {0.75, 16 * (1021 - 970)},      // y = 1/4
      {-0.5, 16 * (1022 - 970)},      // y = 1/2
      {0x1p-60, 16 * 53 - 1},         // 1 - x rounds to 1: held in the last row
      {0x1p-1074, 16 * 53 - 1},
  };
  for (const Case& c : cases) {
    double r;
    kernel<double>('d', 2)(1, &c.x, &r);
    EXPECT_EQ(std::bit_cast<uint64_t>(r), std::bit_cast<uint64_t>(from_row(c.x, c.row))) << c.x;
    EXPECT_TRUE(std::isfinite(r)) << c.x;
  }
}

class ErfInvReports : public Reporting<testing::TestWithParam<std::pair<char, int>>> {
 protected:

  template <typename R>
  void check() {
    using L = std::numeric_limits<R>;
    using Bits = std::conditional_t<sizeof(R) == 4, uint32_t, uint64_t>;
    const auto [type, slot] = GetParam();
    const std::vector<R> a = {R(0.25), R(1), R(-1), R(1.5), -L::infinity(), L::quiet_NaN(), R(-0.0)};
    struct Wanted {
      int index, status;
      R result;
    };
    const Wanted wanted[] = {{1, 2, L::infinity()}, {2, 2, -L::infinity()}, {3, 1, L::quiet_NaN()},
                             {4, 1, L::quiet_NaN()}};
    std::vector<R> r(a.size());
    kernel<R>(type, slot)(static_cast<int32_t>(a.size()), a.data(), r.data());
    ASSERT_EQ(g_records.size(), std::size(wanted));
    for (size_t k = 0; k < std::size(wanted); ++k) {
      const ZorpVmErrorRecord& rec = g_records[k];
      const Wanted& w = wanted[k];
      EXPECT_EQ(rec.index, w.index);
      EXPECT_EQ(rec.status, w.status);
      EXPECT_EQ(std::string(rec.name), std::string("v") + type + "ErfInv");
      EXPECT_EQ(rec.arg1, double(a[w.index]));
      EXPECT_EQ(rec.arg2, double(a[w.index]));
      // The results in memory: the infinities, or the positive default NaN.
      EXPECT_EQ(std::bit_cast<Bits>(r[w.index]), std::bit_cast<Bits>(w.result));
      EXPECT_EQ(std::bit_cast<uint64_t>(rec.res1), std::bit_cast<uint64_t>(rec.res2));
      EXPECT_EQ(std::bit_cast<uint64_t>(rec.res1), std::bit_cast<uint64_t>(double(r[w.index])));
    }
    EXPECT_TRUE(std::isnan(r[5]));
    EXPECT_TRUE(r[6] == 0 && std::signbit(r[6]));
    EXPECT_TRUE(std::isfinite(r[0]) && r[0] > 0);
  }
};

TEST_P(ErfInvReports, PolesAndDomainErrorsOncePerElement) {
  if (GetParam().first == 's') check<float>();
  else check<double>();
}

INSTANTIATE_TEST_SUITE_P(Kernels, ErfInvReports,
                         testing::Values(std::pair{'s', 0}, std::pair{'s', 1}, std::pair{'s', 2}, std::pair{'d', 0},
                                         std::pair{'d', 1}, std::pair{'d', 2}),
                         [](const auto& info) {
                           return std::string(1, info.param.first) + "_" + ("LA\0HA\0EP" + 3 * info.param.second);
                         });

}  // namespace
}  // namespace zorp::test
