// LGamma right at its zeros on the negative axis, which the contract's random sweep almost never
// reaches: there the result is the difference of two terms of order one or larger, and only an
// absolute bound holds. For every interval (-k-1, -k), k = 2 .. 15, both zeros are found here
// (ln|Gamma| is convex between its poles: its minimum by ternary search, then the doubles where
// the exact sign changes on each side by bisection), and the five doubles around each must come
// within 2^-54 of the exact value, in every slot.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <vector>

#include "common/vm_rows.h"

namespace zorp::test {
namespace {

double exact_lgamma(double x, mpfr_t m) {
  int sign;
  mpfr_set_d(m, x, MPFR_RNDN);
  mpfr_lgamma(m, &sign, m, MPFR_RNDN);
  return mpfr_get_d(m, MPFR_RNDN);
}

// The doubles next to the zeros in (-k-1, -k): the first double past each sign change.
std::vector<double> zeros_between(int k, mpfr_t m) {
  double a = -k - 1.0, b = -static_cast<double>(k);
  for (int i = 0; i < 200; ++i) {  // the minimum
    const double l = a + (b - a) / 3, r = b - (b - a) / 3;
    if (exact_lgamma(l, m) < exact_lgamma(r, m)) b = r;
    else a = l;
  }
  const double lowest = (a + b) / 2;
  std::vector<double> v;
  if (exact_lgamma(lowest, m) >= 0) return v;
  for (double pole : {-k - 1.0, -static_cast<double>(k)}) {
    double in = lowest, out = std::nextafter(pole, lowest);  // lgamma(in) < 0 <= lgamma(out)
    while (std::nextafter(in, out) != out) {
      const double mid = in + (out - in) / 2;
      (exact_lgamma(mid, m) < 0 ? in : out) = mid;
    }
    v.push_back(out);
  }
  return v;
}

TEST(LGammaZeros, NegativeZerosWithinAnAbsoluteBound) {
  const VmRow& row = row_named("vdLGamma");
  mpfr_t m;
  mpfr_init2(m, 200);
  std::vector<double> args;
  for (int k = 2; k <= 15; ++k)
    for (double z : zeros_between(k, m)) {
      double x = std::nextafter(std::nextafter(z, -INFINITY), -INFINITY);
      for (int i = 0; i < 5; ++i, x = std::nextafter(x, INFINITY)) args.push_back(x);
    }
  ASSERT_EQ(args.size(), 14u * 2 * 5);  // two zeros in every interval
  for (int slot = 0; slot < 3; ++slot) {
    std::vector<double> r(args.size());
    call<double>(row, slot, false, static_cast<int32_t>(args.size()), args.data(), nullptr, r.data(), nullptr);
    for (size_t i = 0; i < args.size(); ++i) {
      int sign;
      mpfr_set_d(m, args[i], MPFR_RNDN);
      mpfr_lgamma(m, &sign, m, MPFR_RNDN);
      mpfr_sub_d(m, m, r[i], MPFR_RNDN);
      EXPECT_LE(std::fabs(mpfr_get_d(m, MPFR_RNDN)), 0x1p-56) << "slot " << slot << " x = " << args[i];
    }
  }
  mpfr_clear(m);
}

}  // namespace
}  // namespace zorp::test
