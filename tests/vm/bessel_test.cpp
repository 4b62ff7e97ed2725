// The Bessel functions where their accuracy is hardest to keep: J0, J1, Y0 and Y1 near their
// zeros, below 8 pi (each a tabled centre) and beyond 63 pi/8 (the phase form), and Jn below
// twice its order, must keep the relative accuracy of their class there. And Jn's orders beyond
// the sweep's list: outside the domain, or so large that only an underflow shortcut keeps the
// call short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "accuracy/rows.h"

namespace zorp::test {
namespace {

using MpfrFn = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

struct NearZeros {
  const char* name;
  MpfrFn f;
  double first;  // the first positive zero lies within 1/2 of first, the others pi apart
  bool both_signs;  // J is even or odd; Y is defined for positive arguments only
};

int sign_at(MpfrFn f, double v) {
  accuracy::Z x, y;
  mpfr_set_d(x.part(0), v, MPFR_RNDN);
  f(y.part(0), x.part(0), MPFR_RNDN);
  return mpfr_sgn(y.part(0));
}

// The two doubles about the one sign change of f between lo and hi, by bisection.
std::pair<double, double> bisect(MpfrFn f, double lo, double hi) {
  const int s_lo = sign_at(f, lo);
  while (std::nextafter(lo, hi) < hi) {
    const double mid = lo + (hi - lo) / 2;
    if (mid == lo || mid == hi) break;
    (sign_at(f, mid) == s_lo ? lo : hi) = mid;
  }
  return {lo, hi};
}

// The k-th positive zero of f to double precision.
double zero_of(const NearZeros& z, int k) {
  const double lo = z.first + k * M_PI - 0.5;
  return bisect(z.f, lo, lo + 1).first;
}

// The sample in the HA slot of `name`, held to the HA class (not the row's own rule), its figures
// printed.
template <typename R>
void expect_ha(const std::string& name, const Sample<R>& s) {
  VmRow row = row_named(name);
  row.rule = Rule::CLASS;
  const auto st = sweep<R>(row, 1, s);
  EXPECT_TRUE(st.meets(accuracy::Class::HA)) << st.describe(name, accuracy::Class::HA);
  std::printf("%s\n", st.describe(name, accuracy::Class::HA).c_str());
}

// The same arguments in both precisions, each held to the HA class in its own row: fill(sample)
// is called once with a Sample<double> and once with a Sample<float>; `plain` keeps the row's
// own rule instead of the class's.
template <typename Fill>
void expect_ha_both(const std::string& fn, Fill fill, bool plain = false) {
  auto run = [&](auto sample, char t) {
    fill(sample);
    if (!plain) return expect_ha(std::string("v") + t + fn, sample);
    using R = std::remove_reference_t<decltype(sample.a[0])>;
    const auto st = sweep<R>(row_named(std::string("v") + t + fn), 1, sample);
    EXPECT_TRUE(st.meets(accuracy::Class::HA)) << st.describe(std::string("v") + t + fn, accuracy::Class::HA);
  };
  run(Sample<double>{}, 'd');
  run(Sample<float>{}, 's');
}
template <typename S>
void push(S& sample, double a, double b) {
  using R = std::remove_reference_t<decltype(sample.a[0])>;
  sample.a.push_back(R(a)), sample.b.push_back(R(b)), ++sample.n;
}

class BesselNearZeros : public testing::TestWithParam<NearZeros> {};

// Around each zero below 8 pi: its 64 neighbours on either side and points at relative
// distances 2^-10 to 2^-50, both signs of the argument where there are two, in both precisions.
TEST_P(BesselNearZeros, KeepTheirClass) {
  const NearZeros z = GetParam();
  expect_ha_both(z.name, [&](auto& sample) {
    auto both = [&](double v) {
      push(sample, v, v);
      if (z.both_signs) push(sample, -v, -v);
    };
    for (int k = 0; z.first + k * M_PI < 8 * M_PI - 0.5; ++k) {
      const double zero = zero_of(z, k);
      double up = zero, down = zero;
      for (int j = 0; j < 64; ++j) both(up = std::nextafter(up, 100.0)), both(down = std::nextafter(down, 0.0));
      for (int e = 10; e <= 50; e += 4) both(zero * (1 + std::ldexp(1.0, -e))), both(zero * (1 - std::ldexp(1.0, -e)));
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Tabled, BesselNearZeros,
                         testing::Values(NearZeros{"J0", mpfr_j0, 2.40, true}, NearZeros{"J1", mpfr_j1, 3.83, true},
                                         NearZeros{"Y0", mpfr_y0, 0.89, false}, NearZeros{"Y1", mpfr_y1, 2.20, false}),
                         [](const testing::TestParamInfo<NearZeros>& i) { return std::string(i.param.name); });

// Beyond 63 pi/8: the doubles on either side of the first zero past each scale (the first zeros
// of the Hankel form; about the scales of the arguments found far from 1 ulp; on both sides of
// 2^28, where the reduction changes; up to 10^15, where doubles lie 1/8 apart) with 16 neighbours
// each way and points at relative distances 2^-10 to 2^-50; the floats about the same zeros; and
// doubles from 2^28 to the largest, drawn at random and kept where the phase is within 2^-6 of a
// zero (by MPFR's cosine of x - c pi/4, c the function's shift, the phase correction being below
// 2^-30 there): in every fourth binade above 2^28 and each of the last five, the top one (where
// 2x itself would overflow) with 16; and the doubles nearest to multiples of pi/4, binade by
// binade. Each test prints its figures.
struct FarZeros {
  const char* name;
  MpfrFn f;
  int quarter;  // f = M cos(x - quarter pi/4 + alpha), alpha ~ 1/x
};

// The two doubles about the first sign change of f above `from`: steps of 1/4 (the zeros lie
// some pi apart), then bisection down to neighbours.
std::pair<double, double> zero_after(const FarZeros& z, double from) {
  double hi = from;
  const int s_from = sign_at(z.f, from);
  do hi = std::max(hi + 0.25, std::nextafter(hi, INFINITY));
  while (sign_at(z.f, hi) == s_from);
  return bisect(z.f, from, hi);
}

// |cos(x - quarter pi/4)| below 2^-6: cos x and sin x by MPFR (its reduction is exact), combined
// with cos and sin of quarter pi/4, +-sqrt(2)/2.
bool near_a_zero(const FarZeros& z, double v) {
  mpfr_t x, s, c;
  mpfr_inits2(64, x, s, c, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(x, v, MPFR_RNDN);
  mpfr_sin_cos(s, c, x, MPFR_RNDN);
  const double cq = z.quarter == 1 ? 1 : -1, sq = z.quarter == 5 ? -1 : 1;
  const double cosine = (cq * mpfr_get_d(c, MPFR_RNDN) + sq * mpfr_get_d(s, MPFR_RNDN)) * M_SQRT1_2;
  mpfr_clears(x, s, c, static_cast<mpfr_ptr>(nullptr));
  return std::fabs(cosine) < 0x1p-6;
}

class BesselFarZeros : public testing::TestWithParam<FarZeros> {};

TEST_P(BesselFarZeros, KeepTheirClass) {
  const FarZeros z = GetParam();
  Sample<double> sd;
  Sample<float> sf;
  for (double scale : {24.75, 30.0, 100.0, 600.0, 935.0, 1e4, 1e6, 0x1p28 - 8, 0x1p28, 1e10, 1e15}) {
    const auto [lo, hi] = zero_after(z, scale);
    double up = hi, down = lo;
    push(sd, lo, lo), push(sd, hi, hi);
    for (int j = 0; j < 16; ++j) up = std::nextafter(up, INFINITY), down = std::nextafter(down, 0.0), push(sd, up, up), push(sd, down, down);
    for (int e = 10; e <= 50; e += 4)
      for (double v : {lo * (1 + std::ldexp(1.0, -e)), lo * (1 - std::ldexp(1.0, -e))}) push(sd, v, v);
    float fu = float(lo), fd = fu;
    push(sf, fu, fu);
    for (int j = 0; j < 16; ++j) fu = std::nextafter(fu, INFINITY), fd = std::nextafter(fd, 0.0f), push(sf, fu, fu), push(sf, fd, fd);
  }
  // The double of each binade from 2^28 nearest to a multiple of pi/4 (half the one nearest to a
  // multiple of pi/2 one binade up): at an odd multiple, from 2^50 on, the distance from a zero
  // is about alpha ~ 1/(8x) or less, and only a reduction of 2x (not x's reduced by pi/2, shifted
  // by pi/4) keeps the phase relative there.
  for (int e = 28 - 52; e <= 1023 - 52; ++e) {
    const pio2::Nearest n = pio2::nearest_in_binade(53, e + 1);
    const double v = std::ldexp(static_cast<double>(n.m), e);
    push(sd, v, v);
  }
  std::mt19937_64 rng(1);
  for (int e = 28; e < 1024; e += e < 1019 ? 4 : 1) {
    int kept = 0;
    for (int tries = 0; kept < (e == 1023 ? 16 : 1) && tries < 2000; ++tries) {
      const double v = std::ldexp(std::uniform_real_distribution<double>(1, 2)(rng), e);
      if (near_a_zero(z, v)) push(sd, v, v), ++kept;
    }
  }
  expect_ha(std::string("vd") + z.name, sd);
  expect_ha(std::string("vs") + z.name, sf);
}

INSTANTIATE_TEST_SUITE_P(Hankel, BesselFarZeros,
                         testing::Values(FarZeros{"J0", mpfr_j0, 1}, FarZeros{"J1", mpfr_j1, 3},
                                         FarZeros{"Y0", mpfr_y0, 3}, FarZeros{"Y1", mpfr_y1, 5}),
                         [](const testing::TestParamInfo<FarZeros>& i) { return std::string(i.param.name); });

// Beside the first zeros beyond 63 pi/8, where the Hankel form's V Q is largest beside the result:
// 2048 arguments either side of each of the first three zeros past 24.75, spread over the
// distances 2^-6 to 2^-3 from it (|cos theta| alike), where the form hands over to the phase form
// (at 2^-5, or twelve times |Q| where that is more, J1 and Y1 here; the rounding of V Q in double
// leaves the Hankel form above an ulp at times below that).
TEST_P(BesselFarZeros, HandOverKeepsTheClass) {
  const FarZeros z = GetParam();
  Sample<double> sd;
  double from = 24.75;
  for (int k = 0; k < 3; ++k) {
    const double zero = zero_after(z, from).first;
    for (int j = 0; j < 2048; ++j) {
      const double d = std::ldexp(1.0, -6) * std::exp2(3.0 * (j + 0.5) / 2048);
      for (double x : {zero + d, zero - d}) push(sd, x, x);
    }
    from = zero + 1;
  }
  expect_ha(std::string("vd") + z.name, sd);
}

// The arguments first reported far from the class (J0 51 ulp, J1 39, Y0 32 before the phase
// form), each with its 8 neighbours either way.
TEST(BesselNearZerosReported, KeepTheirClass) {
  const std::pair<const char*, double> cases[] = {
      {"vdJ0", 935.41046039282628}, {"vdJ1", 603.97172206937103}, {"vdY0", 619.67603019426519}};
  for (const auto& [name, x] : cases) {
    Sample<double> s;
    double up = x, down = x;
    push(s, x, x);
    for (int j = 0; j < 8; ++j) up = std::nextafter(up, INFINITY), down = std::nextafter(down, 0.0), push(s, up, up), push(s, down, down);
    expect_ha(name, s);
  }
}

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
  expect_ha_both("Jn", [](auto& sample) {
    const bool dbl = sizeof(sample.a[0]) == 8;
    const int least_exp2 = dbl ? -1074 : -149, normal_exp2 = dbl ? -1022 : -126;
    for (double order : {2.0, -5.0, 17.0, 100.0}) {
      const double m = std::fabs(order);
      // where (x/2)^m / m! = 2^e
      const auto at = [m](double e) { return 2 * std::exp((std::lgamma(m + 1) + e * std::log(2.0)) / m); };
      const double lo = at(least_exp2 + 7);
      for (int j = 0; j < 64; ++j) push(sample, lo * std::pow(2 * m / lo, j / 64.0) * (j % 2 ? -1 : 1), order);
      for (int j = 0; j < 32; ++j) push(sample, at(normal_exp2 - 5 + j / 6.4), order);
    }
  });
}

// Yn where its lowest orders leave the vector path: below the least normal order +-1 is Y1's
// quotient (finite, or an overflow) and the higher orders overflow; each order fills one call.
TEST(BesselYn, LowOrdersBelowTheLeastNormal) {
  expect_ha_both("Yn", [](auto& sample) {
    using R = std::remove_reference_t<decltype(sample.a[0])>;
    const bool dbl = sizeof(R) == 8;
    const int min_exp = dbl ? -1074 : -149;
    const R threshold = dbl ? R(0x0.28be60db9391p-1022) : R(0x1.45f3p-129f);
    for (double order : {1.0, -1.0, 2.0, -3.0})
      for (int j = 0; j < 64; ++j)
        push(sample, j < 40 ? std::ldexp(R(1), min_exp + j % 30) : threshold * (1 + (j - 50) * 0x1p-20f), order);
  }, true);
}

}  // namespace
}  // namespace zorp::test
