// The chi-square helpers and ln|Gamma| against MPFR: the distribution function and density from
// mpfr_gamma_inc / mpfr_lngamma at 1200 bits (so that a lower tail of 1e-300 is still exact after
// 1 - Q), the quantile by the exact distribution function bracketing its probability within a
// relative 1e-12 of the returned point, the large-dof expansion against the exact method at the
// switch; and every special value, with the last accepted and first refused argument of each
// check.  The square root helper against MPFR.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "zorp/ss.h"

namespace {

using Lim = std::numeric_limits<double>;
const double kInf = Lim::infinity(), kNaN = Lim::quiet_NaN(), kDenorm = Lim::denorm_min(), kMax = Lim::max();
constexpr int kPrec = 1200;

struct Mp {
  mpfr_t v;
  explicit Mp(int prec = kPrec) { mpfr_init2(v, prec); }
  ~Mp() { mpfr_clear(v); }
  operator mpfr_ptr() { return v; }
  double d() const { return mpfr_get_d(v, MPFR_RNDN); }
};

// |got - exact| / max(floor, |exact|) in MPFR.
double error(double got, mpfr_ptr exact, double floor) {
  Mp e, s;
  mpfr_set_d(e, got, MPFR_RNDN);
  mpfr_sub(e, e, exact, MPFR_RNDN);
  mpfr_abs(s, exact, MPFR_RNDN);
  if (mpfr_cmp_d(s, floor) < 0) mpfr_set_d(s, floor, MPFR_RNDN);
  mpfr_div(e, e, s, MPFR_RNDN);
  return std::fabs(e.d());
}

// a = dof/2 and z = x/2, exact.
void halves(double x, double dof, mpfr_ptr a, mpfr_ptr z) {
  mpfr_set_d(a, dof, MPFR_RNDN);
  mpfr_div_2ui(a, a, 1, MPFR_RNDN);
  mpfr_set_d(z, x, MPFR_RNDN);
  mpfr_div_2ui(z, z, 1, MPFR_RNDN);
}

// P(a, z) and Q(a, z) for z = x/2 > 0.
void tails(double x, double dof, mpfr_ptr P, mpfr_ptr Q) {
  Mp a, z, g;
  halves(x, dof, a, z);
  mpfr_gamma_inc(Q, a, z, MPFR_RNDN);
  mpfr_gamma(g, a, MPFR_RNDN);
  mpfr_div(Q, Q, g, MPFR_RNDN);
  mpfr_ui_sub(P, 1, Q, MPFR_RNDN);
}

// The density z^(a-1) e^-z / (2 Gamma(a)), x > 0.
void density(double x, double dof, mpfr_ptr f) {
  Mp a, z, t;
  halves(x, dof, a, z);
  int sign;
  mpfr_sub_ui(t, a, 1, MPFR_RNDN);
  mpfr_log(f, z, MPFR_RNDN);
  mpfr_mul(f, f, t, MPFR_RNDN);
  mpfr_sub(f, f, z, MPFR_RNDN);
  mpfr_lgamma(t, &sign, a, MPFR_RNDN);
  mpfr_sub(f, f, t, MPFR_RNDN);
  mpfr_exp(f, f, MPFR_RNDN);
  mpfr_div_2ui(f, f, 1, MPFR_RNDN);
}

// Whether x is within a relative 1e-12 of the exact quantile of prob: the exact distribution
// function at x (1 - 1e-12) and x (1 + 1e-12) brackets prob (through Q above 1/2, where 1 - prob
// is exact).
bool brackets(double x, double prob, double dof) {
  Mp P0, Q0, P1, Q1;
  tails(x * (1 - 1e-12), dof, P0, Q0);
  tails(x * (1 + 1e-12), dof, P1, Q1);
  return prob > 0.5 ? mpfr_cmp_d(Q0, 1 - prob) >= 0 && mpfr_cmp_d(Q1, 1 - prob) <= 0
                    : mpfr_cmp_d(P0, prob) <= 0 && mpfr_cmp_d(P1, prob) >= 0;
}

// ---- special values of the chi-square functions and of ln|Gamma| ---------------------------
enum Fn { kCdf, kPdf, kIcdf, kLGamma };
struct Special {
  const char* what;
  Fn fn;
  double arg, dof, want;  // want NaN: the result must be NaN; dof unused for ln|Gamma|
};

double call(Fn fn, double arg, double dof) {
  return fn == kCdf    ? __tarrdChi2CDF(arg, dof)
         : fn == kPdf  ? __tarrdChi2PDF(arg, dof)
         : fn == kIcdf ? __tarrdChi2ICDF(arg, dof)
                       : __tarrdLGamma(arg);
}
constexpr double kOverflowBound = 0x1.754d9278b51a7p+1014;  // ln Gamma's last argument with a finite result

const Special kSpecials[] = {
    {"CdfNaNArgument", kCdf, kNaN, 1, kNaN}, {"CdfNaNDof", kCdf, 1, kNaN, kNaN},
    {"CdfZeroDofRefused", kCdf, 1, 0.0, kNaN}, {"CdfMinusZeroDofRefused", kCdf, 1, -0.0, kNaN},
    {"CdfNegativeDofRefused", kCdf, 1, -kDenorm, kNaN}, {"CdfMinusInfDofRefused", kCdf, 1, -kInf, kNaN},
    {"CdfLeastDofAccepted", kCdf, 4, kDenorm, 1.0},  // Q = dof/2 E1(2), far below 2^-53
    {"CdfNegativeArgument", kCdf, -1, 3, 0.0}, {"CdfLeastNegativeArgument", kCdf, -kDenorm, 3, 0.0},
    {"CdfMinusInf", kCdf, -kInf, 3, 0.0}, {"CdfZero", kCdf, 0.0, 0.1, 0.0}, {"CdfMinusZero", kCdf, -0.0, 3, 0.0},
    {"CdfPlusInf", kCdf, kInf, 3, 1.0}, {"CdfPlusInfLargeDof", kCdf, kInf, 1e4, 1.0},
    {"CdfLargestArgument", kCdf, kMax, 1, 1.0}, {"CdfInfiniteDof", kCdf, 1e300, kInf, 0.0},
    {"CdfInfiniteBoth", kCdf, kInf, kInf, 1.0}, {"PdfNaNArgument", kPdf, kNaN, 1, kNaN},
    {"PdfNaNDof", kPdf, 1, kNaN, kNaN}, {"PdfZeroDofRefused", kPdf, 1, 0.0, kNaN},
    {"PdfNegativeDofRefused", kPdf, 1, -1, kNaN}, {"PdfNegativeArgument", kPdf, -1, 3, 0.0},
    {"PdfLeastNegativeArgument", kPdf, -kDenorm, 1, 0.0}, {"PdfMinusInf", kPdf, -kInf, 1, 0.0},
    {"PdfPlusInf", kPdf, kInf, 1, 0.0}, {"PdfInfiniteDof", kPdf, 1, kInf, 0.0},
    {"PdfAtZeroSmallDof", kPdf, 0.0, 0.1, kInf}, {"PdfAtZeroDofBelowTwo", kPdf, 0.0, 0x1.fffffffffffffp+0, kInf},
    {"PdfAtZeroDofTwo", kPdf, 0.0, 2.0, 0.5}, {"PdfAtMinusZeroDofTwo", kPdf, -0.0, 2.0, 0.5},
    {"PdfAtZeroDofAboveTwo", kPdf, 0.0, 0x1.0000000000001p+1, 0.0}, {"PdfAtZeroLargeDof", kPdf, 0.0, 1e4, 0.0},
    {"IcdfNaNProbability", kIcdf, kNaN, 1, kNaN}, {"IcdfNaNDof", kIcdf, 0.5, kNaN, kNaN},
    {"IcdfZeroDofRefused", kIcdf, 0.5, 0.0, kNaN}, {"IcdfNegativeDofRefused", kIcdf, 0.5, -2, kNaN},
    {"IcdfNegativeProbabilityRefused", kIcdf, -kDenorm, 1, kNaN},
    {"IcdfMinusInfProbabilityRefused", kIcdf, -kInf, 1, kNaN},
    {"IcdfProbabilityAboveOneRefused", kIcdf, 0x1.0000000000001p+0, 1, kNaN},
    {"IcdfPlusInfProbabilityRefused", kIcdf, kInf, 1, kNaN}, {"IcdfZero", kIcdf, 0.0, 3, 0.0},
    {"IcdfMinusZero", kIcdf, -0.0, 3, 0.0}, {"IcdfOne", kIcdf, 1.0, 3, kInf},
    {"IcdfInfiniteDof", kIcdf, 0.5, kInf, kInf},
    {"IcdfLeastProbabilityUnderflows", kIcdf, kDenorm, 1, 0.0},  // the quantile is near 1e-647
    {"IcdfLeastDof", kIcdf, 0.5, kDenorm, 0.0},                  // (1/2)^(2/dof) underflows
    {"LGammaOne", kLGamma, 1.0, 0, 0.0}, {"LGammaTwo", kLGamma, 2.0, 0, 0.0}, {"LGammaZero", kLGamma, 0.0, 0, kInf},
    {"LGammaMinusZero", kLGamma, -0.0, 0, kInf}, {"LGammaMinusOne", kLGamma, -1.0, 0, kInf},
    {"LGammaMinusTwo", kLGamma, -2.0, 0, kInf},
    {"LGammaLargestNegativeNonIntegerNeighbour", kLGamma, -0x1p52, 0, kInf},
    {"LGammaBeyondTwoToThe53", kLGamma, -0x1p53 - 2, 0, kInf}, {"LGammaMostNegative", kLGamma, -kMax, 0, kInf},
    {"LGammaMinusInf", kLGamma, -kInf, 0, kInf}, {"LGammaPlusInf", kLGamma, kInf, 0, kInf},
    {"LGammaPastOverflowBound", kLGamma, std::nextafter(kOverflowBound, kInf), 0, kInf},
    {"LGammaLargest", kLGamma, kMax, 0, kInf}, {"LGammaNaN", kLGamma, kNaN, 0, kNaN},
};

class Chi2Special : public testing::TestWithParam<Special> {};

TEST_P(Chi2Special, Value) {
  const Special s = GetParam();
  const double got = call(s.fn, s.arg, s.dof);
  if (std::isnan(s.want)) {
    EXPECT_TRUE(std::isnan(got)) << got;
  } else {
    EXPECT_EQ(got, s.want);
    EXPECT_FALSE(std::signbit(got)) << "no -0";
  }
}

INSTANTIATE_TEST_SUITE_P(Chi2Specials, Chi2Special, testing::ValuesIn(kSpecials),
                         [](const auto& i) { return std::string(i.param.what); });

// ---- distribution function and density ------------------------------------------------------
// Degrees of freedom from the goal range's ends through the small shapes (a < 1, a = 1, the
// recurrence of the log-gamma) to 10^4; 20 puts a = 10 on the log-gamma's switch to Stirling.
const double kDofs[] = {0.1, 0.5, 1, 1.5, 2, 3, 7.5, 20, 57, 100, 333, 1000, 1e4};

class Chi2Dof : public testing::TestWithParam<double> {};

// Points across the law: fractions of the mean down to where P is 1e-300 or below, the switch
// of methods at z = a + 1 (x = dof + 2) and its neighbours, and the upper tail out to where Q is
// near 1e-300.
std::vector<double> points(double dof) {
  std::vector<double> xs;
  for (double f : {1e-12, 1e-6, 1e-3, 0.01, 0.1, 0.3, 0.6, 0.9, 1.0, 1.1, 1.5, 2.0, 3.0}) xs.push_back(f * dof);
  const double sd = std::sqrt(2 * dof);
  for (double k : {-30.0, -10.0, -3.0, -1.0, 1.0, 3.0, 10.0, 30.0, 100.0}) xs.push_back(dof + k * sd);
  for (double t : {10.0, 100.0, 600.0, 1300.0}) xs.push_back(dof + t);
  const double sw = dof + 2;
  xs.insert(xs.end(), {sw, std::nextafter(sw, 0.0), std::nextafter(sw, kInf)});
  std::vector<double> kept;
  for (double x : xs)
    if (x > 0) kept.push_back(x);
  return kept;
}

TEST_P(Chi2Dof, CdfAndPdfMatchMpfr) {
  const double dof = GetParam();
  double worst_cdf = 0, worst_pdf = 0;
  for (double x : points(dof)) {
    Mp P, Q, f;
    tails(x, dof, P, Q);
    density(x, dof, f);
    if (mpfr_cmp_d(P, 1e-300) > 0) {
      const double e = error(__tarrdChi2CDF(x, dof), P, 0);
      worst_cdf = std::max(worst_cdf, e);
      EXPECT_LE(e, 1e-13) << "CDF x=" << x;
    }
    if (mpfr_cmp_d(f, 1e-300) > 0) {
      const double e = error(__tarrdChi2PDF(x, dof), f, 0);
      worst_pdf = std::max(worst_pdf, e);
      EXPECT_LE(e, 1e-13) << "PDF x=" << x;
    }
  }
  std::printf("dof %g: CDF %.2e PDF %.2e\n", dof, worst_cdf, worst_pdf);
}

// Far below the goal range: dof down into the subnormals, where D = z^a e^-z / Gamma(a) is itself
// subnormal and P must come from D/a formed in logarithms.
TEST(Chi2TinyDof, CdfAndPdfMatchMpfr) {
  for (double dof : {1e-100, 1e-300, 1e-310, 0x1p-1070, kDenorm})
    for (double x : {1e-300, 1e-5, 0.5, 1.9, 2.1, 30.0}) {
      Mp P, Q, f;
      tails(x, dof, P, Q);
      density(x, dof, f);
      EXPECT_LE(error(__tarrdChi2CDF(x, dof), P, 0), 1e-13) << "dof=" << dof << " x=" << x;
      if (mpfr_cmp_d(f, 1e-300) > 0) {
        EXPECT_LE(error(__tarrdChi2PDF(x, dof), f, 0), 1e-13) << "dof=" << dof << " x=" << x;
      }
    }
}

// Probabilities of the goal range, 1e-10 to 1 - 1e-12, both sides of the tail switch at 1/2, and
// the last probability below 1.
const double kProbs[] = {1e-10, 1e-7, 1e-4, 0.01, 0.3, 0.5, 0x1.0000000000001p-1, 0.7, 0.95, 0.99,
                         1 - 1e-3, 1 - 1e-6, 1 - 1e-9, 1 - 1e-12, 1 - 0x1p-53};

TEST_P(Chi2Dof, QuantileMatchesMpfr) {
  const double dof = GetParam();
  for (double p : kProbs) {
    const double x = __tarrdChi2ICDF(p, dof);
    ASSERT_TRUE(x > 0 && x < kInf) << p;
    EXPECT_TRUE(brackets(x, p, dof)) << "p=" << p << " x=" << x;
  }
}

INSTANTIATE_TEST_SUITE_P(Chi2Dofs, Chi2Dof, testing::ValuesIn(kDofs), [](const auto& i) {
  std::string s = std::to_string(i.param);
  for (char& c : s)
    if (c == '.') c = '_';
  return "Dof" + s;
});

// Past a = 10^8 the leading term of the uniform expansion, whose error is of order 1/(540 a):
// across the switch (dof 2e8 is the last on the exact side) the two methods must meet, and the
// quantile beyond it must invert the distribution function (at dof 2e8 a relative error of 1e-12
// in x moves P by some 4e-9 of itself, so the round trip pins x to a few parts in 1e13).
TEST(Chi2LargeDof, ExpansionMeetsTheExactMethodAtTheSwitch) {
  const double dof = 2e8, beyond = std::nextafter(dof, kInf);
  for (double c : {-6.0, -1.0, -0.01, 0.0, 0.01, 1.0, 3.0}) {
    const double x = dof + c * std::sqrt(2 * dof), exact = __tarrdChi2CDF(x, dof);
    EXPECT_NEAR(__tarrdChi2CDF(x, beyond), exact, 1e-9 * exact) << c;
  }
  for (double d : {beyond, 3e8})
    for (double p : {1e-10, 0.5, 0.99}) EXPECT_NEAR(__tarrdChi2CDF(__tarrdChi2ICDF(p, d), d), p, 1e-9 * p) << d << " " << p;
}

// ---- ln|Gamma| --------------------------------------------------------------------------------
// The goal: |error| <= 2e-16 max(1, |ln Gamma|): rounding to double alone takes up to 1.1e-16.
constexpr double kLGammaTolerance = 2e-16;

double lgamma_error(double x) {
  Mp r(256);
  int sign;
  mpfr_set_d(r, x, MPFR_RNDN);
  mpfr_lgamma(r, &sign, r, MPFR_RNDN);
  return error(__tarrdLGamma(x), r, 1.0);
}

struct Range {
  const char* name;
  double lo, hi;
  bool log_scale;
};
// The pieces: -ln x - gamma x below 2^-40, the recurrence below 10, Stirling above, and the
// reflection for negative arguments, whose zeros (between -2 and -3, -3 and -4, ...) are where
// the terms cancel.
const Range kRanges[] = {
    {"Subnormal", kDenorm, Lim::min(), true},       {"AroundTinySwitch", 0x1p-46, 0x1p-34, true},
    {"ZerosAtOneAndTwo", 0.5, 3, false},            {"Recurrence", 3, 10, false},
    {"AroundStirlingSwitch", 9.9, 10.1, false},     {"Stirling", 10, 1e6, true},
    {"BeyondGoal", 1e6, kOverflowBound, true},      {"NegativeUnit", -1, 0, false},
    {"NegativeZeros", -8, -2, false},               {"NegativeWide", -1e6, -8, true},
    {"NegativeTiny", -0x1p-30, -kDenorm, true},
};

class LGammaRange : public testing::TestWithParam<Range> {};

TEST_P(LGammaRange, MatchesMpfr) {
  const Range r = GetParam();
  std::mt19937_64 g(7);
  std::uniform_real_distribution<double> u(0, 1);
  double worst = 0;
  for (int i = 0; i < 4000; ++i) {
    const double t = u(g);
    const double lo = std::log(std::fabs(r.lo)), hi = std::log(std::fabs(r.hi));
    const double x = r.log_scale ? std::copysign(std::exp(lo + (hi - lo) * t), r.lo) : r.lo + (r.hi - r.lo) * t;
    if (x <= 0 && x == std::round(x)) continue;
    const double e = lgamma_error(x);
    worst = std::max(worst, e);
    ASSERT_LE(e, kLGammaTolerance) << x;
  }
  std::printf("%s: %.3g\n", r.name, worst);
}

INSTANTIATE_TEST_SUITE_P(LGammaRanges, LGammaRange, testing::ValuesIn(kRanges),
                         [](const auto& i) { return std::string(i.param.name); });

// Switch points and their neighbours, the half-integers where |r| = 1/2, a point just off a pole,
// the largest negative non-integer, and the last finite argument.
TEST(LGammaPoints, MatchMpfr) {
  const double xs[] = {0x1p-40, std::nextafter(0x1p-40, 0.0), 10.0, std::nextafter(10.0, 0.0), std::nextafter(1.0, 0.0),
                       std::nextafter(1.0, 2.0), std::nextafter(2.0, 0.0), std::nextafter(2.0, 3.0), 0.5, -0.5, -2.5,
                       -3 + 0x1p-50, -3 - 0x1p-50, -2.4570247382208006, -0x1p52 + 0.5, 1e6, kOverflowBound};
  for (double x : xs) EXPECT_LE(lgamma_error(x), kLGammaTolerance) << x;
  EXPECT_TRUE(std::isfinite(__tarrdLGamma(kOverflowBound)));
}

// ---- __tarrdSqrt --------------------------------------------------------------------------
TEST(SSSupport, SqrtIsCorrectlyRounded) {
  std::mt19937_64 g(5);
  mpfr_t a;
  mpfr_init2(a, 53);
  std::vector<double> xs = {0.0, 1.0, 2.0, 4.0, 0.25, std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
                            std::nextafter(1.0, 2.0), std::nextafter(4.0, 0.0)};
  for (int k = 0; k < 20000; ++k) {  // random bit patterns: every exponent, subnormals included
    uint64_t b = g() & 0x7FFFFFFFFFFFFFFFull;
    double x;
    std::memcpy(&x, &b, 8);
    if (std::isfinite(x)) xs.push_back(x);
  }
  for (double x : xs) {
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfr_sqrt(a, a, MPFR_RNDN);
    const double want = mpfr_get_d(a, MPFR_RNDN), got = __tarrdSqrt(x);
    ASSERT_EQ(std::memcmp(&got, &want, 8), 0) << x;
  }
  mpfr_clear(a);
  const double nz = __tarrdSqrt(-0.0);
  EXPECT_TRUE(nz == 0.0 && std::signbit(nz));
  EXPECT_TRUE(std::isnan(__tarrdSqrt(-1.0)));
  EXPECT_TRUE(std::isnan(__tarrdSqrt(-std::numeric_limits<double>::denorm_min())));
  EXPECT_TRUE(std::isnan(__tarrdSqrt(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(__tarrdSqrt(std::numeric_limits<double>::infinity()), std::numeric_limits<double>::infinity());
}

}  // namespace
