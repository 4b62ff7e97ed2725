// The trigonometric argument reductions against MPFR (the rows of vm/half_pi_methods.h, scalar
// and vector) on (a) the double and the float nearest to a multiple of pi/2 in every binade,
// found exactly by tools/accuracy/near_pio2.h, (b) random arguments in every binade, (c) the published
// worst cases, integers, and the edges where one method hands over to the next.
// tools/reduce_sweep runs the same check on wider sweeps.
#include <gtest/gtest.h>

#include <cfloat>
#include <random>
#include <string>
#include <vector>

#include "common/regenerated.h"
#include "accuracy/half_pi_methods.h"

namespace {

namespace pio2 = zorp::test::pio2;
using zorp::vm::trig::HalfPi;

struct Case {
  double x;
  const char* kind;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.kind << " " << std::hexfloat << c.x; }

std::vector<Case> cases() {
  std::vector<Case> c;
  // (a) from the binade [1/2, 1) up, with alternating signs
  for (int e = -53; e <= 971; ++e) c.push_back({(e & 1 ? -1 : 1) * pio2::nearest_in_binade(53, e).value(), "nearest double"});
  for (int e = -24; e <= 104; ++e) c.push_back({(e & 1 ? -1 : 1) * pio2::nearest_in_binade(24, e).value(), "nearest float"});
  // (b)
  std::mt19937_64 g(20240611);
  for (int e = -53; e <= 971; ++e)
    for (int i = 0; i < 2; ++i)
      c.push_back({(g() & 1 ? -1 : 1) * std::ldexp(static_cast<double>((g() >> 11) | (uint64_t(1) << 52)), e), "random double"});
  for (int e = -24; e <= 104; ++e)
    for (int i = 0; i < 2; ++i)
      c.push_back({(g() & 1 ? -1 : 1) * std::ldexp(static_cast<double>((g() >> 40) | (uint64_t(1) << 23)), e), "random float"});
  // (c)
  for (const double x : {6381956970095103 * 0x1p797, 6411027962775774 * 0x1p-47, 16367173 * 0x1p72, 1.0, 2.0, 3.0,
                         4.0, 5.0, 6.0, 7.0, 11.0, 22.0, 355.0, 1e5, 1e10, 1e15, 1e22, 0x1p53 - 1, 0x1p63,
                         0x1p64 + 0x1p12, -1e300, DBL_MAX, -DBL_MAX, 0.0, -0.0, DBL_TRUE_MIN, DBL_MIN, 1e-300, 0.5,
                         double(FLT_MAX), -double(FLT_TRUE_MIN)})
    c.push_back({x, "fixed"});
  for (double edge : {HalfPi<double>::kIdentityLimit, HalfPi<double>::kSingleLimit, HalfPi<double>::kPairLimit,
                      HalfPi<double>::kShortPairLimit})
    for (double x : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, INFINITY)}) c.push_back({x, "edge"});
  const float f = HalfPi<float>::kSingleLimit;
  for (float x : {std::nextafter(f, 0.0f), f, std::nextafter(f, INFINITY)}) c.push_back({x, "edge"});
  return c;
}

class HalfPiReduction : public testing::TestWithParam<Case> {};

TEST_P(HalfPiReduction, EveryMethodKeepsItsContract) {
  for (const pio2::Finding& f : pio2::check(GetParam().x))
    EXPECT_TRUE(f.failure.empty()) << f.method->name << ": " << f.failure;
}

INSTANTIATE_TEST_SUITE_P(Arguments, HalfPiReduction, testing::ValuesIn(cases()));

// A kernel runs its large-argument path on whole registers before the callout finishes the
// infinite and NaN lanes: those lanes must read nothing outside the table (the sanitizer build
// sees the scalar form's reads) and come out finite.
TEST(HalfPiReductionOfNonFinite, StaysInsideTheTable) {
  const double odd[8] = {INFINITY, -INFINITY, NAN, -NAN, 1e300, 3.0, 0.5, 0x1p1023};
  const zorp::vm::trig::HugeReduction<__m512d> v = zorp::vm::trig::reduce_half_pi_huge(zorp::simd::load(odd));
  double hi[8];
  zorp::simd::store(hi, v.r.hi);
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(std::isfinite(zorp::vm::trig::reduce_half_pi_huge(odd[i]).hi)) << odd[i];
    EXPECT_TRUE(std::isfinite(hi[i])) << odd[i];
  }
}

TEST(TrigReduceTables, ToolRegeneratesTheCommittedFile) {
  zorp::test::expect_tool_regenerates("gen_pi_bits", "src/vm/kernels/common/generated/trig_reduce_tables.inc");
}

}  // namespace
