// What the contracts cannot say about ErfInv and its relatives: the double EP kernel's row
// selection at its ends (bit for bit the row's cubic), and the reports of every ErfInv, ErfcInv
// and CdfNormInv kernel for the poles and the domain errors: each element once, the argument as
// both arguments, the result as both results.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <dlfcn.h>
#include <limits>
#include <string>
#include <tuple>
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
Fn<R> kernel(char type, int slot, const char* name = "ErfInv") {
  return reinterpret_cast<Fn<R>>(kernel_table(type, name)[slot]);
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

// The inverses' poles and domain errors, one table per function: the arguments (the first an
// ordinary one, the sixth a NaN, both unreported), the reports in order and the sign of the
// ordinary result. -0 is a pole of ErfcInv and CdfNormInv, an ordinary zero of ErfInv.
struct Report {
  int index, status;
  double result;
};
struct InverseCase {
  const char* name;
  double args[7];
  std::vector<Report> reports;
  int ordinary_sign;
};
constexpr double kInf = std::numeric_limits<double>::infinity(), kNaN = std::numeric_limits<double>::quiet_NaN();
const InverseCase kInverseCases[] = {
    {"ErfInv", {0.25, 1, -1, 1.5, -kInf, kNaN, -0.0}, {{1, 2, kInf}, {2, 2, -kInf}, {3, 1, kNaN}, {4, 1, kNaN}}, 1},
    {"ErfcInv", {0.25, 0, 2, -1, 3, kNaN, -0.0}, {{1, 2, kInf}, {2, 2, -kInf}, {3, 1, kNaN}, {4, 1, kNaN}, {6, 2, kInf}}, 1},
    {"CdfNormInv", {0.25, 0, 1, -1, 1.5, kNaN, -0.0}, {{1, 2, -kInf}, {2, 2, kInf}, {3, 1, kNaN}, {4, 1, kNaN}, {6, 2, -kInf}}, -1},
};

class InverseReports : public Reporting<testing::TestWithParam<std::tuple<int, char, int>>> {
 protected:
  template <typename R>
  void check() {
    using Bits = std::conditional_t<sizeof(R) == 4, uint32_t, uint64_t>;
    const auto [which, type, slot] = GetParam();
    const InverseCase& c = kInverseCases[which];
    const std::vector<R> a(std::begin(c.args), std::end(c.args));
    std::vector<R> r(a.size());
    kernel<R>(type, slot, c.name)(static_cast<int32_t>(a.size()), a.data(), r.data());
    ASSERT_EQ(g_records.size(), c.reports.size());
    for (size_t k = 0; k < c.reports.size(); ++k) {
      const ZorpVmErrorRecord& rec = g_records[k];
      const Report& w = c.reports[k];
      EXPECT_EQ(rec.index, w.index);
      EXPECT_EQ(rec.status, w.status);
      EXPECT_EQ(std::string(rec.name), std::string("v") + type + c.name);
      EXPECT_EQ(rec.arg1, double(a[w.index]));
      EXPECT_EQ(rec.arg2, double(a[w.index]));
      // The results in memory: the infinities, or the positive default NaN.
      EXPECT_EQ(std::bit_cast<Bits>(r[w.index]), std::bit_cast<Bits>(static_cast<R>(w.result)));
      EXPECT_EQ(std::bit_cast<uint64_t>(rec.res1), std::bit_cast<uint64_t>(rec.res2));
      EXPECT_EQ(std::bit_cast<uint64_t>(rec.res1), std::bit_cast<uint64_t>(double(r[w.index])));
    }
    EXPECT_TRUE(std::isnan(r[5]));
    if (c.reports.size() == 4) EXPECT_TRUE(r[6] == 0 && std::signbit(r[6]));
    EXPECT_TRUE(std::isfinite(r[0]) && r[0] * c.ordinary_sign > 0);
  }
};

TEST_P(InverseReports, PolesAndDomainErrorsOncePerElement) {
  if (std::get<1>(GetParam()) == 's') check<float>();
  else check<double>();
}

INSTANTIATE_TEST_SUITE_P(Kernels, InverseReports,
                         testing::Combine(testing::Range(0, int(std::size(kInverseCases))), testing::Values('s', 'd'),
                                          testing::Range(0, 3)),
                         [](const auto& info) {
                           return std::string(kInverseCases[std::get<0>(info.param)].name) + "_" +
                                  std::get<1>(info.param) + "_" + ("LA\0HA\0EP" + 3 * std::get<2>(info.param));
                         });

}  // namespace
}  // namespace zorp::test
