// The Bessel functions where their contract is loosest: J0, J1, Y0 and Y1 near the zeros below 8 pi,
// which the kernels resolve (each is a tabled centre), and Jn below twice its order, must keep
// the relative accuracy of their class there, although the contract's envelope rule would accept
// an absolute error. And Jn's orders beyond the sweep's list: outside the domain, or so large
// that only an underflow shortcut keeps the call short.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "common/vm_rows.h"

namespace zorp::test {
namespace {

struct NearZeros {
  const char* name;
  int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
  double first;  // the first positive zero lies within 1/2 of first, the others pi apart
  bool both_signs;  // J is even or odd; Y is defined for positive arguments only
};

// The k-th positive zero of f to double precision, by bisection on the sign of f.
double zero_of(const NearZeros& z, int k) {
  double lo = z.first + k * M_PI - 0.5, hi = lo + 1;
  accuracy::Z x, y;
  auto sign = [&](double v) {
    mpfr_set_d(x.part(0), v, MPFR_RNDN);
    z.f(y.part(0), x.part(0), MPFR_RNDN);
    return mpfr_sgn(y.part(0));
  };
  const int s_lo = sign(lo);
  while (std::nextafter(lo, hi) < hi) {
    const double mid = lo + (hi - lo) / 2;
    if (mid == lo || mid == hi) break;
    (sign(mid) == s_lo ? lo : hi) = mid;
  }
  return lo;
}

class BesselNearZeros : public testing::TestWithParam<NearZeros> {};

// Around each zero below 8 pi: its 64 neighbours on either side and points at relative
// distances 2^-10 to 2^-50, both signs of the argument where there are two, in both precisions.
TEST_P(BesselNearZeros, KeepTheirClass) {
  const NearZeros z = GetParam();
  for (const char t : {'s', 'd'}) {
    const std::string name = std::string("v") + t + z.name;
    VmRow row = row_named(name);
    row.rule = Rule::CLASS;
    Sample<double> sd;
    Sample<float> sf;
    auto push = [&](double v) {
      for (double x : {v, -v}) {
        sd.a.push_back(x), sd.b.push_back(x), ++sd.n;
        sf.a.push_back(float(x)), sf.b.push_back(float(x)), ++sf.n;
        if (!z.both_signs) break;
      }
    };
    for (int k = 0; z.first + k * M_PI < 8 * M_PI - 0.5; ++k) {
      const double zero = zero_of(z, k);
      double up = zero, down = zero;
      for (int j = 0; j < 64; ++j) push(up = std::nextafter(up, 100.0)), push(down = std::nextafter(down, 0.0));
      for (int e = 10; e <= 50; e += 4) push(zero * (1 + std::ldexp(1.0, -e))), push(zero * (1 - std::ldexp(1.0, -e)));
    }
    if (t == 'd') {
      const auto st = sweep<double>(row, 1, sd);
      EXPECT_TRUE(st.meets(accuracy::Class::HA)) << st.describe(name, accuracy::Class::HA);
    } else {
      const auto st = sweep<float>(row, 1, sf);
      EXPECT_TRUE(st.meets(accuracy::Class::HA)) << st.describe(name, accuracy::Class::HA);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tabled, BesselNearZeros,
                         testing::Values(NearZeros{"J0", mpfr_j0, 2.40, true}, NearZeros{"J1", mpfr_j1, 3.83, true},
                                         NearZeros{"Y0", mpfr_y0, 0.89, false}, NearZeros{"Y1", mpfr_y1, 2.20, false}),
                         [](const testing::TestParamInfo<NearZeros>& i) { return std::string(i.param.name); });

// Each order with one argument: the result and the status the call leaves (NaN orders and those
// of magnitude 2^31 or more are outside the domain; order 2^30 at 1000 underflows with no loop).
TEST(JnOrders, OutsideTheDomainOrUnderflowing) {
  struct Case {
    double order, x;
    bool nan;
    int status;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {{nan, 1.5, true, 1}, {0x1p31, 1.5, true, 1}, {-0x1p31, -2.0, true, 1}, {inf, 0.0, true, 1},
                        {nan, nan, true, 0}, {0x1p30, 1000.0, false, 4}, {-0x1p30, -3.0, false, 4}};
  for (const char t : {'s', 'd'}) {
    const VmRow& row = row_named(std::string("v") + t + "Jn");
    for (const Case& c : cases) {
      _fennClearErrStatus();
      double r = 0;
      if (t == 'd') {
        call<double>(row, 1, false, 1, &c.x, &c.order, &r, nullptr);
      } else {
        const float x = float(c.x), b = float(c.order);
        float rf = 0;
        call<float>(row, 1, false, 1, &x, &b, &rf, nullptr);
        r = rf;
      }
      EXPECT_EQ(std::isnan(r), c.nan) << t << " order " << c.order << " x " << c.x;
      if (!c.nan) {
        EXPECT_EQ(r, 0.0) << t << " order " << c.order;
      }
      EXPECT_EQ(_fennGetErrStatus(), c.status) << t << " order " << c.order << " x " << c.x;
    }
  }
  _fennClearErrStatus();
}

// Below twice its order Jn is Miller's quotient, relative (J_m has no zero below m); the sweep's
// envelope rule would accept an absolute error there. Each order takes 64 arguments from where
// the result is a hundred-odd ulps of the least subnormal up to twice the order, and 32 where it
// lies within 2^-5 below the least normal, where the kernel rounds the quotient to the
// subnormal's fewer bits by hand (a wrong step there costs over an ulp), under the class's bound.
TEST(JnOrders, BelowTwiceTheOrderKeepTheirClass) {
  auto fill = [](auto& sample, int least_exp2, int normal_exp2) {
    using R = std::remove_reference_t<decltype(sample.a[0])>;
    for (double order : {2.0, -5.0, 17.0, 100.0}) {
      const double m = std::fabs(order);
      // where (x/2)^m / m! = 2^e
      const auto at = [m](double e) { return 2 * std::exp((std::lgamma(m + 1) + e * std::log(2.0)) / m); };
      auto push = [&](double x) { sample.a.push_back(R(x)), sample.b.push_back(R(order)), ++sample.n; };
      const double lo = at(least_exp2 + 7);
      for (int j = 0; j < 64; ++j) push(lo * std::pow(2 * m / lo, j / 64.0) * (j % 2 ? -1 : 1));
      for (int j = 0; j < 32; ++j) push(at(normal_exp2 - 5 + j / 6.4));
    }
  };
  VmRow d_row = row_named("vdJn"), s_row = row_named("vsJn");
  d_row.rule = s_row.rule = Rule::CLASS;
  Sample<double> sd;
  fill(sd, -1074, -1022);
  const auto d = sweep<double>(d_row, 1, sd);
  EXPECT_TRUE(d.meets(accuracy::Class::HA)) << d.describe("vdJn", accuracy::Class::HA);
  Sample<float> sf;
  fill(sf, -149, -126);
  const auto f = sweep<float>(s_row, 1, sf);
  EXPECT_TRUE(f.meets(accuracy::Class::HA)) << f.describe("vsJn", accuracy::Class::HA);
}

// Yn where its lowest orders leave the vector path: below the least normal order +-1 is Y1's
// quotient (finite, or an overflow) and the higher orders overflow; each order fills one call.
TEST(BesselYn, LowOrdersBelowTheLeastNormal) {
  auto fill = [](auto& sample, int min_exp, auto threshold) {
    for (double order : {1.0, -1.0, 2.0, -3.0})
      for (int j = 0; j < 64; ++j) {
        const auto x = j < 40 ? std::ldexp(decltype(threshold)(1), min_exp + j % 30) : threshold * (1 + (j - 50) * 0x1p-20f);
        sample.a.push_back(x), sample.b.push_back(decltype(threshold)(order)), ++sample.n;
      }
  };
  Sample<double> sd;
  fill(sd, -1074, 0x0.28be60db9391p-1022);
  const auto d = sweep<double>(row_named("vdYn"), 1, sd);
  EXPECT_TRUE(d.meets(accuracy::Class::HA)) << d.describe("vdYn", accuracy::Class::HA);
  Sample<float> sf;
  fill(sf, -149, 0x1.45f3p-129f);
  const auto f = sweep<float>(row_named("vsYn"), 1, sf);
  EXPECT_TRUE(f.meets(accuracy::Class::HA)) << f.describe("vsYn", accuracy::Class::HA);
}

}  // namespace
}  // namespace zorp::test
