// What the contracts cannot say about ErfInv and its relatives: the double EP kernel's row
// selection at its ends (pinned by a hash of its bits), and the reports of every ErfInv, ErfcInv
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

// The double EP kernel at the ends of its table, where the row it reads is chosen from y = 1 - |x|
// by the exponent and the top bits of y: 1 - 2^-53 (the first row, both signs), y = 1.5 2^-50, 1/4
// and 1/2, and x so small that 1 - x rounds to 1 (held in the last row). The results are pinned by
// one hash of their bits; when it was taken each result was equal, bit for bit, to a scalar
// evaluation of the expected row's cubic in double (y's row midpoint, Horner's rule in fused
// multiply-adds, the table's coefficients), and finite.
TEST(ErfInvEp, ReadsTheRowOfYsSixteenthOfItsBinade) {
  const double xs[] = {0x1.fffffffffffffp-1, -0x1.fffffffffffffp-1, 1 - 0x1.8p-50, 0.75, -0.5, 0x1p-60, 0x1p-1074};
  uint64_t h = 1469598103934665603ull;
  for (double x : xs) {
    double r;
    kernel<double>('d', 2)(1, &x, &r);
    h = (h ^ std::bit_cast<uint64_t>(r)) * 1099511628211ull;
  }
  EXPECT_EQ(h, 0x6e6bab895b87fa69ull);
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
